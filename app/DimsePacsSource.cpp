#include "DimsePacsSource.h"

#include <utility>

#include "PacsRetriever.h"

CDimsePacsSource::CDimsePacsSource(const CPacsServer& server, const CDimseClient::Settings& settings,
                                   CPacsCache cache, CDimseClient::EMethod method, int movePort)
    : m_server(server),
      m_settings(settings),
      m_cache(std::move(cache)),
      m_method(method),
      m_movePort(movePort) {}

std::string CDimsePacsSource::Name() const {
    return "PACS " + m_server.Text();
}

void CDimsePacsSource::Test() {
    CDimseClient::Get().Echo(m_server, m_settings);
}

std::vector<CPacsSource::CSeries> CDimsePacsSource::FindSeries(const CQuery& query) {
    CDimseClient::Query asked;
    asked.patientName = query.patientName;
    asked.patientId = query.patientId;
    asked.studyDateFrom = query.studyDateFrom;
    asked.studyDateTo = query.studyDateTo;
    asked.studyUid = query.studyUid;
    asked.seriesUid = query.seriesUid;
    asked.modality = query.modality;
    asked.studyDescription = query.description;
    std::vector<CSeries> found;
    for (const CDimseClient::Series& row : CDimseClient::Get().FindSeries(m_server, m_settings, asked))
        found.push_back({row.study.patientName, row.study.patientId, row.study.studyDate, row.study.studyUid,
                         row.study.studyDescription, row.seriesUid, row.seriesNumber, row.seriesDescription,
                         row.modality, row.images});
    return found;
}

std::string CDimsePacsSource::Retrieve(const CSeries& series, const Progress& progress) {
    CDimseClient::Retrieval retrieval;
    retrieval.studyUid = series.studyUid;
    retrieval.seriesUid = series.seriesUid;
    retrieval.method = m_method;
    retrieval.movePort = m_movePort;
    retrieval.expected = series.images;
    return CPacsRetriever::Fetch(m_server, m_settings, m_cache, retrieval, progress).string();
}
