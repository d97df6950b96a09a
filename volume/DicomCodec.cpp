#include "DicomCodec.h"

#include <stdexcept>

#include "RuntimeModule.h"

// The module's one entry point; see GdcmCodec.cpp.
using CodecEntry = const CDicomCodec* (*)();

const CDicomCodec& CDicomCodec::Get() {
    static const CDicomCodec& codec =
        *reinterpret_cast<CodecEntry>(CRuntimeModule::Symbol("orvanta-dicom", "OrvantaDicomCodec"))();
    return codec;
}

const CDicomCodec* CDicomCodec::GetOr(const CDicomCodec* inProcess, std::string& error) {
    if (inProcess != nullptr) return inProcess;
    try {
        return &Get();
    } catch (const std::exception& e) {
        error = e.what();
        return nullptr;
    }
}
