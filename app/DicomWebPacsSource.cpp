#include "DicomWebPacsSource.h"

#include <QCoreApplication>
#include <QString>
#include <stdexcept>
#include <utility>

namespace {

std::unique_ptr<QCoreApplication> ApplicationIfNone() {
    if (QCoreApplication::instance() != nullptr) return nullptr;
    static int argc = 1;
    static char name[] = "orvanta";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

bool Contains(const std::string& text, const std::string& part) {
    return QString::fromStdString(text).contains(QString::fromStdString(part), Qt::CaseInsensitive);
}

}  // namespace

CDicomWebPacsSource::CDicomWebPacsSource(const std::string& baseUrl,
                                         const CDicomWebClient::Settings& settings, CPacsCache cache)
    : m_application(ApplicationIfNone()), m_client(baseUrl, settings), m_cache(std::move(cache)) {}

CDicomWebPacsSource::~CDicomWebPacsSource() = default;

std::vector<CPacsSource::CSeries> CDicomWebPacsSource::FindSeries(const CQuery& query) {
    CDicomWebClient::Query asked;
    asked.patientName = query.patientName;
    asked.patientId = query.patientId;
    asked.studyDateFrom = query.studyDateFrom;
    asked.studyDateTo = query.studyDateTo;
    asked.studyUid = query.studyUid;
    asked.seriesUid = query.seriesUid;
    asked.modality = query.modality;
    std::vector<CSeries> found;
    for (const CDicomWebClient::Series& row : m_client.SearchSeries(asked)) {
        // QIDO-RS has no standard filter on descriptions: they are matched here.
        if (!query.description.empty() && !Contains(row.seriesDescription, query.description)) continue;
        found.push_back({row.patientName, row.patientId, row.studyDate, row.studyUid, "", row.seriesUid,
                         row.seriesNumber, row.seriesDescription, row.modality, row.images});
    }
    return found;
}

std::string CDicomWebPacsSource::Retrieve(const CSeries& series, const Progress& progress) {
    CSeries wanted = series;
    // A series named alone (the command line's --series) is looked up first:
    // its study names its place, and the archive says how many images to expect.
    if (!wanted.seriesUid.empty() && (wanted.studyUid.empty() || wanted.images < 0)) {
        CQuery query;
        query.studyUid = wanted.studyUid;
        query.seriesUid = wanted.seriesUid;
        const std::vector<CSeries> found = FindSeries(query);
        if (found.empty()) throw std::runtime_error(Name() + ": " + SearchStep() + ": no series matches");
        wanted = found.front();
    }
    if (wanted.studyUid.empty())
        throw std::runtime_error(Name() + ": WADO-RS retrieve: no study or series named");
    const std::filesystem::path partial = m_cache.BeginPartial();
    try {
        if (wanted.seriesUid.empty())
            m_client.RetrieveStudy(wanted.studyUid, partial.string(), -1, progress);
        else
            m_client.RetrieveSeries(wanted.studyUid, wanted.seriesUid, partial.string(), wanted.images,
                                    progress);
    } catch (...) {
        m_cache.Discard(partial);
        throw;
    }
    return m_cache.Commit(partial, wanted.studyUid, wanted.seriesUid).string();
}
