#include "PacsRequest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "DicomWebPacsSource.h"
#include "DimseClient.h"
#include "DimsePacsSource.h"
#include "PacsCache.h"

namespace {

QJsonValue Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

bool CPacsRequest::Check(bool fileGiven, std::string& error) const {
    const bool filters = !patientId.empty() || !modality.empty();
    if (!Given()) {
        if (list || filters || !studyUid.empty() || move || ourAet != "ORVANTA") {
            error =
                "--list, --aet, --patient-id, --study, --modality and --retrieve need a server (--pacs or "
                "--dicomweb)";
            return false;
        }
        return true;
    }
    if (!server.empty() && !dicomWeb.empty()) {
        error = "--pacs and --dicomweb each name the archive: give one";
        return false;
    }
    if (!dicomWeb.empty() && (move || ourAet != "ORVANTA")) {
        error = "--aet and --retrieve are for a DICOM archive (--pacs), not DICOMweb";
        return false;
    }
    if (fileGiven) {
        error = "--pacs retrieves what it loads: give it no file";
        return false;
    }
    if (!list && studyUid.empty() && seriesUid.empty()) {
        error = "--pacs needs --list, or --study or --series to retrieve";
        return false;
    }
    if (!list && filters) {
        error = "--patient-id and --modality filter --list";
        return false;
    }
    for (const std::string* uid : {&studyUid, &seriesUid}) {
        if (!uid->empty() && !CPacsCache::IsUid(*uid)) {
            error =
                "with --pacs, --study and --series take a DICOM UID (digits and dots), not '" + *uid + "'";
            return false;
        }
    }
    return true;
}

std::unique_ptr<CPacsSource> CPacsRequest::Source() const {
    const CPacsCache cache(CPacsCache::DefaultRoot(),
                           static_cast<uint64_t>(std::llround(cacheMegabytes * 1048576.0)));
    if (!dicomWeb.empty()) {
        CDicomWebClient::Settings settings;
        settings.timeoutSeconds = timeoutSeconds;
        return std::make_unique<CDicomWebPacsSource>(dicomWeb, settings, cache);
    }
    CPacsServer server;
    std::string error;
    // Parse() already took the server's text apart; this cannot fail then.
    if (!CPacsServer::Parse(this->server, server, error)) throw std::runtime_error("--pacs " + error);
    CDimseClient::Settings settings;
    settings.ourAet = ourAet;
    settings.timeoutSeconds = timeoutSeconds;
    return std::make_unique<CDimsePacsSource>(
        server, settings, cache, move ? CDimseClient::EMethod::kMove : CDimseClient::EMethod::kGet, movePort);
}

int CPacsRequest::List() const {
    CPacsSource::CQuery query;
    query.patientId = patientId;
    query.studyUid = studyUid;
    query.seriesUid = seriesUid;
    query.modality = modality;
    try {
        const std::unique_ptr<CPacsSource> source = Source();
        const std::vector<CPacsSource::CSeries> rows = source->FindSeries(query);
        if (rows.empty()) {
            std::fprintf(stderr, "orvanta: %s, %s: no series matches\n", source->Name().c_str(),
                         source->SearchStep().c_str());
            return 1;
        }
        for (const CPacsSource::CSeries& row : rows) {
            QJsonObject line;
            line["patient_name"] = Text(row.patientName);
            line["patient_id"] = Text(row.patientId);
            line["study_date"] = Text(row.studyDate);
            line["study_uid"] = Text(row.studyUid);
            line["series_uid"] = Text(row.seriesUid);
            line["series_number"] = Text(row.seriesNumber);
            line["series_description"] = Text(row.seriesDescription);
            line["modality"] = Text(row.modality);
            line["images"] = row.images < 0 ? QJsonValue() : QJsonValue(row.images);
            std::fputs(QJsonDocument(line).toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
        }
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvanta: %s\n", e.what());
        return 1;
    }
    return 0;
}

int CPacsRequest::Fetch(std::string& folder) const {
    CPacsSource::CSeries wanted;
    wanted.studyUid = studyUid;
    wanted.seriesUid = seriesUid;
    try {
        folder = Source()->Retrieve(wanted, {});
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvanta: %s\n", e.what());
        return 1;
    }
    return 0;
}
