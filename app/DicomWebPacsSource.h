#pragma once

#include <memory>

#include "DicomWebClient.h"
#include "PacsCache.h"
#include "PacsSource.h"

class QCoreApplication;

// An archive reached over DICOMweb: a small QIDO-RS search to test it, a
// series-level QIDO-RS search, WADO-RS into the cache.
class CDicomWebPacsSource : public CPacsSource {
public:
    CDicomWebPacsSource(const std::string& baseUrl, const CDicomWebClient::Settings& settings,
                        CPacsCache cache);
    ~CDicomWebPacsSource() override;

    std::string Name() const override { return m_client.ServerText(); }
    std::string SearchStep() const override { return "QIDO-RS search"; }
    void Test() override { m_client.Verify(); }
    std::vector<CSeries> FindSeries(const CQuery& query) override;
    std::string Retrieve(const CSeries& series, const Progress& progress) override;
    bool RunsEvents() const override { return true; }

private:
    // The client's requests run a local event loop, which needs an
    // application object; a run without a window has none until here.
    std::unique_ptr<QCoreApplication> m_application;
    CDicomWebClient m_client;
    CPacsCache m_cache;
};
