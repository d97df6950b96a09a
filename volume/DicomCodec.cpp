#include "DicomCodec.h"

#include "RuntimeModule.h"

// The module's one entry point; see GdcmCodec.cpp.
using CodecEntry = const CDicomCodec* (*)();

const CDicomCodec& CDicomCodec::Get() {
    static const CDicomCodec& codec =
        *reinterpret_cast<CodecEntry>(CRuntimeModule::Symbol("orvanta-dicom", "OrvantaDicomCodec"))();
    return codec;
}
