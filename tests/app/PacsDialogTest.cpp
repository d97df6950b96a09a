// File > Open from PACS... against an archive of the test's own: what is
// searched is asked, studies and then their series are listed, a retrieve
// names its folder, and each fault is told once without a folder.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>
#include <filesystem>
#include <stdexcept>

#include "OrthancServer.h"
#include "PacsDialog.h"
#include "TempFolder.h"
#include "ViewerFixture.h"

namespace {

// An archive holding two studies, the first with two series.
class CFakeArchive : public CPacsSource {
public:
    struct CLog {
        std::vector<CQuery> queries;
        std::vector<std::string> retrieved;
        std::string fault;  // thrown by every call when set
        bool cancel = false;
    };
    explicit CFakeArchive(CLog& log) : m_log(log) {}
    std::string Name() const override { return "FAKE@127.0.0.1:4242"; }
    std::string SearchStep() const override { return "C-FIND"; }
    void Test() override { Throw("C-ECHO"); }
    std::vector<CSeries> FindSeries(const CQuery& query) override {
        Throw("C-FIND");
        m_log.queries.push_back(query);
        return {{"DOE^JANE", "P1", "20260101", "1.2.1", "Cardiac", "1.2.1.1", "3", "cine SA", "MR", 20},
                {"DOE^JANE", "P1", "20260101", "1.2.1", "Cardiac", "1.2.1.2", "4", "LGE", "MR", -1},
                {"ROE^RICHARD", "P2", "20260202", "1.2.2", "Chest", "1.2.2.1", "1", "axial", "CT", 120}};
    }
    std::string Retrieve(const CSeries& series, const Progress& progress) override {
        Throw("C-GET");
        for (int i = 1; i <= 3; ++i)
            if (!progress(i, 3)) throw std::runtime_error(Name() + ": C-GET: cancelled");
        m_log.retrieved.push_back(series.seriesUid);
        return "/cache/" + series.seriesUid;
    }

private:
    void Throw(const char* step) const {
        if (!m_log.fault.empty()) throw std::runtime_error(Name() + ": " + step + ": " + m_log.fault);
    }
    CLog& m_log;
};

class PacsDialogTest : public ::testing::Test {
protected:
    void SetUp() override {
        CPacsServerList list;
        list.servers = {{"Research archive", "ARCHIVE", "127.0.0.1", 4242, ""}};
        list.Save(m_settings);
        m_default = CPacsSource::MakeFactory();
        CPacsSource::MakeFactory() = [this](const CPacsServerEntry& server, const CPacsServerList&) {
            m_asked.push_back(server.name);
            return std::make_unique<CFakeArchive>(m_log);
        };
    }
    void TearDown() override { CPacsSource::MakeFactory() = m_default; }

    TempFolder m_folder;
    const std::string m_settings = m_folder.File("settings.conf");
    CRecordingDialogs m_dialogs;
    CFakeArchive::CLog m_log;
    std::vector<std::string> m_asked;
    CPacsSource::Factory m_default;
};

}  // namespace

TEST_F(PacsDialogTest, SearchListsStudiesThenTheirSeriesAndRetrieveNamesTheFolder) {
    CPacsDialog dialog(m_dialogs, m_settings);
    ASSERT_EQ(dialog.ServerBox()->count(), 1);
    dialog.Field(CPacsDialog::kPatientId)->setText(" P1 ");
    dialog.Field(CPacsDialog::kDateFrom)->setText("20250101");
    dialog.Field(CPacsDialog::kModality)->setText("MR");
    ASSERT_TRUE(dialog.Search());
    ASSERT_EQ(m_log.queries.size(), 1u);
    EXPECT_EQ(m_log.queries[0].patientId, "P1");
    EXPECT_EQ(m_log.queries[0].studyDateFrom, "20250101");
    EXPECT_EQ(m_log.queries[0].modality, "MR");
    EXPECT_EQ(m_asked, std::vector<std::string>{"Research archive"});

    ASSERT_EQ(dialog.Studies()->rowCount(), 2);
    EXPECT_EQ(dialog.Studies()->item(0, 0)->text(), "DOE^JANE");
    EXPECT_EQ(dialog.Studies()->item(0, 4)->text(), "2") << "two series in the first study";
    ASSERT_EQ(dialog.SeriesTable()->rowCount(), 2) << "the first study is chosen at once";
    EXPECT_EQ(dialog.SeriesTable()->item(1, 1)->text(), "LGE");
    EXPECT_EQ(dialog.SeriesTable()->item(1, 3)->text(), "") << "an image count the archive did not give";
    dialog.ChooseStudy(1);
    ASSERT_EQ(dialog.SeriesTable()->rowCount(), 1);
    EXPECT_EQ(dialog.SeriesTable()->item(0, 3)->text(), "120");

    dialog.SeriesTable()->setCurrentCell(0, 0);
    ASSERT_TRUE(dialog.RetrieveChosen());
    EXPECT_EQ(dialog.Folder(), "/cache/1.2.2.1");
    EXPECT_EQ(dialog.SeriesUid(), "1.2.2.1");
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(m_dialogs.m_messages.empty());
}

TEST_F(PacsDialogTest, FaultsAreToldOnceAndRetrieveNothing) {
    CPacsDialog dialog(m_dialogs, m_settings);
    ASSERT_TRUE(dialog.Search());
    dialog.SeriesTable()->setCurrentCell(0, 0);
    m_log.fault = "association refused";
    const std::vector<std::pair<const char*, bool (CPacsDialog::*)()>> steps = {
        {"C-ECHO", &CPacsDialog::TestServer},
        {"C-FIND", &CPacsDialog::Search},
        {"C-GET", &CPacsDialog::RetrieveChosen}};
    for (const auto& [step, act] : steps) {
        m_dialogs.m_messages.clear();
        EXPECT_FALSE((dialog.*act)()) << step;
        ASSERT_EQ(m_dialogs.m_messages.size(), 1u) << step;
        EXPECT_EQ(m_dialogs.m_messages[0].text,
                  std::string("FAKE@127.0.0.1:4242: ") + step + ": association refused");
    }
    EXPECT_TRUE(dialog.Folder().empty());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.Studies()->rowCount(), 2) << "a failed search keeps what was found";

    // No server, no network module: told, not crashed.
    CPacsSource::MakeFactory() = nullptr;
    m_dialogs.m_messages.clear();
    EXPECT_FALSE(dialog.Search());
    ASSERT_EQ(m_dialogs.m_messages.size(), 1u);
    EXPECT_NE(m_dialogs.m_messages[0].text.find("network module"), std::string::npos);
}

TEST_F(PacsDialogTest, ServersAreKeptAndEntriesThatCannotWorkAreRefused) {
    const struct {
        CPacsServerEntry entry;
        const char* fault;  // nullptr: accepted
    } cases[] = {
        {{"Archive", "ARCHIVE", "pacs.example", 11112, ""}, nullptr},
        {{"Web", "", "", 0, "https://pacs.example/dicom-web"}, nullptr},
        {{"", "A", "h", 104, ""}, "needs a name"},
        {{"Long", "SEVENTEEN_LETTERS", "h", 104, ""}, "AE title"},
        {{"Slash", "A\\B", "h", 104, ""}, "AE title"},
        {{"Port", "A", "h", 70000, ""}, "port"},
        {{"Web", "", "", 0, "ftp://pacs.example"}, "https://"},
    };
    for (const auto& c : cases) {
        const std::string fault = c.entry.Fault();
        if (c.fault == nullptr)
            EXPECT_EQ(fault, "") << c.entry.name;
        else
            EXPECT_NE(fault.find(c.fault), std::string::npos) << c.entry.name << ": " << fault;
    }
    CPacsServerList list;
    list.servers = {cases[0].entry, cases[1].entry, cases[3].entry};
    list.cacheMegabytes = 512;
    list.Save(m_settings);
    const CPacsServerList read = CPacsServerList::Load(m_settings);
    EXPECT_EQ(read.servers, (std::vector<CPacsServerEntry>{cases[0].entry, cases[1].entry}))
        << "an entry that cannot work is left out";
    EXPECT_EQ(read.cacheMegabytes, 512u);
    EXPECT_EQ(read.ourAet, "ORVANTA");

    CPacsDialog dialog(m_dialogs, m_settings);
    dialog.ServerTable()->item(0, 3)->setText("not a port");
    EXPECT_FALSE(dialog.SaveServers());
    ASSERT_EQ(m_dialogs.m_messages.size(), 1u);
    EXPECT_EQ(m_dialogs.m_messages[0].text, "Server 1: the port must be 1 to 65535.");
    EXPECT_EQ(CPacsServerList::Load(m_settings).servers.size(), 2u) << "nothing written";
}

// The dialog with the archives it really reaches: Orthanc over DIMSE and over
// DICOMweb, searched, a series retrieved into the cache and loaded.
TEST(PacsDialogArchive, SearchesAndRetrievesFromOrthancOverBothProtocols) {
    COrthancServer orthanc;
    std::string error;
    ASSERT_TRUE(orthanc.Start(COrthancServer::StandardSeries(), error)) << error;
    TempFolder folder;
    const QByteArray cacheBefore = qgetenv("XDG_CACHE_HOME");
    qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(folder.File("cache")));
    const CPacsServer server = orthanc.Server();
    CPacsServerList list;
    list.servers = {
        {"Orthanc", server.aet, server.host, server.port, ""},
        {"Orthanc web", "", "", 0, "http://127.0.0.1:" + std::to_string(orthanc.HttpPort()) + "/dicom-web"}};
    list.timeoutSeconds = 10;
    const std::string settings = folder.File("settings.conf");
    list.Save(settings);
    for (int at = 0; at < 2; ++at) {
        CRecordingDialogs dialogs;
        CPacsDialog dialog(dialogs, settings);
        dialog.ServerBox()->setCurrentIndex(at);
        EXPECT_TRUE(dialog.TestServer()) << at;
        dialog.Field(CPacsDialog::kPatientId)->setText("P002");
        ASSERT_TRUE(dialog.Search()) << at;
        ASSERT_EQ(dialog.Studies()->rowCount(), 1) << at;
        EXPECT_EQ(dialog.Studies()->item(0, 0)->text(), "ROE^RICHARD");
        ASSERT_EQ(dialog.SeriesTable()->rowCount(), 1) << at;
        dialog.SeriesTable()->setCurrentCell(0, 0);
        ASSERT_TRUE(dialog.RetrieveChosen())
            << (dialogs.m_messages.empty() ? "" : dialogs.m_messages[0].text);
        EXPECT_EQ(std::filesystem::path(dialog.Folder()).parent_path().parent_path(),
                  std::filesystem::path(folder.File("cache")) / "orvanta" / "pacs");

        CTestHost host;
        CRecordingView view;
        CViewer viewer(view, host);
        viewer.LoadVolume(dialog.Folder(), dialog.SeriesUid());
        EXPECT_EQ(viewer.Volume().SizeZ(), 20) << at;
        std::filesystem::remove_all(folder.File("cache"));
    }
    if (cacheBefore.isNull())
        qunsetenv("XDG_CACHE_HOME");
    else
        qputenv("XDG_CACHE_HOME", cacheBefore);
}
