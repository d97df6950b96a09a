#include "PacsSource.h"

#include <cmath>
#include <stdexcept>

#include "DimsePacsSource.h"
#include "PacsServerList.h"

namespace {

std::unique_ptr<CPacsSource> MakeSource(const CPacsServerEntry& entry, const CPacsServerList& list) {
    if (entry.IsDicomWeb()) throw std::runtime_error(entry.url + ": DICOMweb is not available in this build");
    CDimseClient::Settings settings;
    settings.ourAet = list.ourAet;
    settings.timeoutSeconds = list.timeoutSeconds;
    return std::make_unique<CDimsePacsSource>(
        CPacsServer{entry.aet, entry.host, entry.port}, settings,
        CPacsCache(CPacsCache::DefaultRoot(), list.cacheMegabytes << 20));
}

}  // namespace

CPacsSource::Factory& CPacsSource::MakeFactory() {
    static Factory factory = MakeSource;
    return factory;
}
