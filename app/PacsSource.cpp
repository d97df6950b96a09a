#include "PacsSource.h"

#include <utility>

#include "DicomWebPacsSource.h"
#include "DimsePacsSource.h"
#include "PacsServerList.h"

namespace {

std::unique_ptr<CPacsSource> MakeSource(const CPacsServerEntry& entry, const CPacsServerList& list) {
    CPacsCache cache(CPacsCache::DefaultRoot(), list.cacheMegabytes << 20);
    if (entry.IsDicomWeb()) {
        CDicomWebClient::Settings settings;
        settings.timeoutSeconds = list.timeoutSeconds;
        return std::make_unique<CDicomWebPacsSource>(entry.url, settings, std::move(cache));
    }
    CDimseClient::Settings settings;
    settings.ourAet = list.ourAet;
    settings.timeoutSeconds = list.timeoutSeconds;
    return std::make_unique<CDimsePacsSource>(CPacsServer{entry.aet, entry.host, entry.port}, settings,
                                              std::move(cache));
}

}  // namespace

CPacsSource::Factory& CPacsSource::MakeFactory() {
    static Factory factory = MakeSource;
    return factory;
}
