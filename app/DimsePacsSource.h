#pragma once

#include "DimseClient.h"
#include "PacsCache.h"
#include "PacsSource.h"

// An archive reached over DIMSE: C-ECHO to test it, a series-level C-FIND to
// search, C-GET (or C-MOVE to our own storage service) into the cache.
class CDimsePacsSource : public CPacsSource {
public:
    CDimsePacsSource(const CPacsServer& server, const CDimseClient::Settings& settings, CPacsCache cache,
                     CDimseClient::EMethod method = CDimseClient::EMethod::kGet, int movePort = 11113);

    std::string Name() const override;
    std::string SearchStep() const override { return "C-FIND"; }
    void Test() override;
    std::vector<CSeries> FindSeries(const CQuery& query) override;
    std::string Retrieve(const CSeries& series, const Progress& progress) override;

private:
    CPacsServer m_server;
    CDimseClient::Settings m_settings;
    CPacsCache m_cache;
    CDimseClient::EMethod m_method;
    int m_movePort;
};
