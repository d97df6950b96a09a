// --pacs through the real executable: --list, and --series or --study with
// --info, against the test archive.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <filesystem>
#include <set>
#include <sstream>

#include "MovieTools.h"
#include "PacsFixture.h"
#include "TestData.h"

namespace fs = std::filesystem;

namespace {

const std::string kRoot = "1.2.826.0.1.3680043.2.1125.7.";

class PacsHeadlessTest : public PacsFixture {
protected:
    // Runs orvanta against the archive with its cache in the test's folder,
    // over DIMSE or, with `web`, over DICOMweb.
    std::string Run(const std::string& arguments, int& status, std::string* errors = nullptr,
                    bool web = false) {
        const std::string errorFile = m_folder.File("stderr.txt");
        const std::string server =
            web ? "--dicomweb http://127.0.0.1:" + std::to_string(m_orthanc.HttpPort()) + "/dicom-web"
                : "--pacs " + m_orthanc.Server().Text();
        const std::string output =
            RunCommand("env -u DISPLAY -u WAYLAND_DISPLAY XDG_CACHE_HOME='" + m_folder.File("cache") +
                           "' '" ORVANTA_EXE "' " + server + " --pacs-timeout 10 " + arguments + " 2> '" +
                           errorFile + "'",
                       &status);
        if (errors != nullptr) {
            const std::vector<uint8_t> bytes = ReadBytes(errorFile);
            *errors = std::string(bytes.begin(), bytes.end());
        }
        return output;
    }
};

std::vector<QJsonObject> Lines(const std::string& text) {
    std::vector<QJsonObject> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        QJsonParseError error{};
        const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
        EXPECT_EQ(error.error, QJsonParseError::NoError) << line;
        lines.push_back(document.object());
    }
    return lines;
}

TEST_F(PacsHeadlessTest, ListPrintsOneJsonLinePerMatchingSeries) {
    struct Case {
        std::string filters;
        std::set<std::string> series;
    };
    const Case cases[] = {
        {"", {kRoot + "1.1", kRoot + "1.2", kRoot + "2.1"}},
        {"--patient-id P001", {kRoot + "1.1", kRoot + "1.2"}},
        {"--patient-id 'P*' --modality CT", {kRoot + "1.2"}},
        {"--study " + kRoot + "2", {kRoot + "2.1"}},
    };
    for (const bool web : {false, true})
        for (const Case& c : cases) {
            int status = -1;
            std::set<std::string> series;
            for (const QJsonObject& line : Lines(Run("--list " + c.filters, status, nullptr, web))) {
                series.insert(line["series_uid"].toString().toStdString());
                for (const char* key : {"patient_name", "patient_id", "study_date", "study_uid",
                                        "series_number", "series_description", "modality", "images"})
                    EXPECT_TRUE(line.contains(key)) << key;
                if (line["series_uid"] == QString::fromStdString(kRoot + "2.1")) {
                    EXPECT_EQ(line["patient_name"], "ROE^RICHARD");
                    EXPECT_EQ(line["study_date"], "20250310");
                    EXPECT_EQ(line["images"], 20);
                }
            }
            EXPECT_EQ(status, 0) << c.filters << (web ? " over DICOMweb" : "");
            EXPECT_EQ(series, c.series) << c.filters << (web ? " over DICOMweb" : "");
        }
}

TEST_F(PacsHeadlessTest, SeriesAndStudyLoadFromTheCache) {
    struct Case {
        std::string arguments;
        std::string folder;  // under the cache
        int slices;
    };
    const Case cases[] = {
        {"--series " + kRoot + "2.1", kRoot + "2/" + kRoot + "2.1", 20},
        {"--retrieve move --move-port " + std::to_string(m_orthanc.MovePort()) + " --series " + kRoot + "1.1",
         kRoot + "1/" + kRoot + "1.1", 3},
        {"--study " + kRoot + "2", kRoot + "2/study", 20},
    };
    for (const bool web : {false, true})
        for (const Case& c : cases) {
            // DICOMweb has one way to retrieve.
            if (web && c.arguments.find("--retrieve") != std::string::npos) continue;
            // Each retrieve starts from an empty cache, so each protocol fills it itself.
            fs::remove_all(m_folder.File("cache"));
            int status = -1;
            std::string errors;
            const QJsonObject info =
                QJsonDocument::fromJson(
                    QByteArray::fromStdString(Run(c.arguments + " --info", status, &errors, web)))
                    .object();
            EXPECT_EQ(status, 0) << c.arguments << ": " << errors;
            const QJsonObject volume = info["volume"].toObject();
            EXPECT_EQ(volume["path"].toString().toStdString(),
                      (fs::path(m_folder.File("cache")) / "orvanta" / "pacs" / c.folder).string())
                << c.arguments;
            EXPECT_EQ(volume["size"].toArray().at(2).toInt(), c.slices) << c.arguments;
        }
}

TEST_F(PacsHeadlessTest, FailuresExitWithOneLineNamingTheServer) {
    const std::string server = m_orthanc.Server().Text();
    struct Case {
        std::string arguments;
        int status;
        std::string message;
    };
    const Case cases[] = {
        {"--list --patient-id NOBODY", 1, "PACS " + server + ", C-FIND: no series matches"},
        {"--series " + kRoot + "9 --info", 1, "PACS " + server + ", C-FIND: no series " + kRoot + "9"},
        {"--study " + kRoot + "9 --info", 1, "PACS " + server + ", C-FIND: no study " + kRoot + "9"},
        {"--aet STRANGER --list", 1, "PACS " + server + ", association: the server refused it"},
        {"--series ../etc --info", 2, "take a DICOM UID"},
        {"--info", 2, "--pacs needs --list, or --study or --series"},
        {"--list some.nii", 2, "give it no file"},
        {"--aet ABCDEFGHIJKLMNOPQ --list", 2, "not an AE title"},
    };
    for (const Case& c : cases) {
        int status = -1;
        std::string errors;
        Run(c.arguments, status, &errors);
        EXPECT_EQ(status, c.status) << c.arguments;
        EXPECT_NE(errors.find(c.message), std::string::npos) << c.arguments << ": " << errors;
        EXPECT_LE(std::count(errors.begin(), errors.end(), '\n'), 2) << c.arguments << ": " << errors;
    }
    // Without a server, or with one written wrong, the archive's options are refused.
    for (const std::string& arguments :
         {std::string("--list"), std::string("--pacs ORTHANC@127.0.0.1 --list")}) {
        int status = -1;
        RunCommand("'" ORVANTA_EXE "' " + arguments + " 2> /dev/null", &status);
        EXPECT_EQ(status, 2) << arguments;
    }
}

}  // namespace
