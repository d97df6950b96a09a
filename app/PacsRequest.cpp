#include "PacsRequest.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "DimseClient.h"
#include "PacsCache.h"
#include "PacsRetriever.h"

namespace {

bool Server(const CPacsRequest& request, CPacsServer& server, CDimseClient::Settings& settings) {
    std::string error;
    // Parse() already took the server's text apart; this cannot fail then.
    if (!CPacsServer::Parse(request.server, server, error)) {
        std::fprintf(stderr, "orvanta: --pacs %s\n", error.c_str());
        return false;
    }
    settings.ourAet = request.ourAet;
    settings.timeoutSeconds = request.timeoutSeconds;
    return true;
}

QJsonValue Text(const std::string& text) {
    return QString::fromStdString(text);
}

}  // namespace

bool CPacsRequest::Check(bool fileGiven, std::string& error) const {
    const bool filters = !patientId.empty() || !modality.empty();
    if (!Given()) {
        if (list || filters || !studyUid.empty() || move || ourAet != "ORVANTA") {
            error = "--list, --aet, --patient-id, --study, --modality and --retrieve need a server (--pacs)";
            return false;
        }
        return true;
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

int CPacsRequest::List() const {
    CPacsServer server;
    CDimseClient::Settings settings;
    if (!Server(*this, server, settings)) return 1;
    CDimseClient::Query query;
    query.patientId = patientId;
    query.studyUid = studyUid;
    query.seriesUid = seriesUid;
    query.modality = modality;
    std::vector<CDimseClient::Series> rows;
    try {
        rows = CDimseClient::Get().FindSeries(server, settings, query);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvanta: %s\n", e.what());
        return 1;
    }
    if (rows.empty()) {
        std::fprintf(stderr, "orvanta: PACS %s, C-FIND: no series matches\n", server.Text().c_str());
        return 1;
    }
    for (const CDimseClient::Series& row : rows) {
        QJsonObject line;
        line["patient_name"] = Text(row.study.patientName);
        line["patient_id"] = Text(row.study.patientId);
        line["study_date"] = Text(row.study.studyDate);
        line["study_uid"] = Text(row.study.studyUid);
        line["series_uid"] = Text(row.seriesUid);
        line["series_number"] = Text(row.seriesNumber);
        line["series_description"] = Text(row.seriesDescription);
        line["modality"] = Text(row.modality);
        line["images"] = row.images < 0 ? QJsonValue() : QJsonValue(row.images);
        std::fputs(QJsonDocument(line).toJson(QJsonDocument::Compact).append('\n').constData(), stdout);
    }
    return 0;
}

int CPacsRequest::Fetch(std::string& folder) const {
    CPacsServer server;
    CDimseClient::Settings settings;
    if (!Server(*this, server, settings)) return 1;
    CDimseClient::Retrieval retrieval;
    retrieval.studyUid = studyUid;
    retrieval.seriesUid = seriesUid;
    retrieval.method = move ? CDimseClient::EMethod::kMove : CDimseClient::EMethod::kGet;
    retrieval.movePort = movePort;
    CPacsCache cache(CPacsCache::DefaultRoot(),
                     static_cast<uint64_t>(std::llround(cacheMegabytes * 1048576.0)));
    try {
        folder = CPacsRetriever::Fetch(server, settings, cache, retrieval, {}).string();
    } catch (const std::exception& e) {
        std::fprintf(stderr, "orvanta: %s\n", e.what());
        return 1;
    }
    return 0;
}
