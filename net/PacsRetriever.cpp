#include "PacsRetriever.h"

#include <stdexcept>

std::filesystem::path CPacsRetriever::Fetch(const CPacsServer& server, const CDimseClient::Settings& settings,
                                            CPacsCache& cache, CDimseClient::Retrieval retrieval,
                                            const CDimseClient::Progress& progress) {
    const CDimseClient& client = CDimseClient::Get();
    for (const std::string* uid : {&retrieval.studyUid, &retrieval.seriesUid})
        if (!uid->empty() && !CPacsCache::IsUid(*uid))
            throw std::runtime_error("'" + *uid + "' is not a DICOM UID (digits and dots)");
    const std::string prefix = std::string("PACS ") + server.Text() + ", C-FIND: ";
    if (!retrieval.seriesUid.empty()) {
        CDimseClient::Query query;
        query.studyUid = retrieval.studyUid;
        query.seriesUid = retrieval.seriesUid;
        const std::vector<CDimseClient::Series> found = client.FindSeries(server, settings, query);
        if (found.empty())
            throw std::runtime_error(
                prefix + "no series " + retrieval.seriesUid +
                (retrieval.studyUid.empty() ? std::string() : " in study " + retrieval.studyUid));
        retrieval.studyUid = found.front().study.studyUid;
        retrieval.expected = found.front().images;
    } else {
        CDimseClient::Query query;
        query.studyUid = retrieval.studyUid;
        const std::vector<CDimseClient::Study> found = client.FindStudies(server, settings, query);
        if (found.empty()) throw std::runtime_error(prefix + "no study " + retrieval.studyUid);
        retrieval.expected = found.front().images;
    }
    const std::filesystem::path partial = cache.BeginPartial();
    try {
        client.Retrieve(server, settings, retrieval, partial.string(), progress);
    } catch (...) {
        cache.Discard(partial);
        throw;
    }
    return cache.Commit(partial, retrieval.studyUid, retrieval.seriesUid);
}
