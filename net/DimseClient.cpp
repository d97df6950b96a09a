#include "DimseClient.h"

#include "RuntimeModule.h"

// The module's one entry point; see DcmtkDimseClient.cpp.
using DimseEntry = const CDimseClient* (*)();

const CDimseClient& CDimseClient::Get() {
    static const CDimseClient& client =
        *reinterpret_cast<DimseEntry>(CRuntimeModule::Symbol("orvanta-dimse", "OrvantaDimseClient"))();
    return client;
}
