#include "DicomCodec.h"

#include "RuntimeModule.h"

// The modules' entry points; see GdcmCodec.cpp and GdcmHeader.cpp.
using CodecEntry = const CDicomCodec* (*)();

const CDicomCodec& CDicomCodec::Get() {
    static const CDicomCodec& codec =
        *reinterpret_cast<CodecEntry>(CRuntimeModule::Symbol("orvanta-dicom", "OrvantaDicomCodec"))();
    return codec;
}

const CDicomCodec& CDicomCodec::Headers() {
    static const CDicomCodec& reader = *reinterpret_cast<CodecEntry>(
        CRuntimeModule::Symbol("orvanta-dicom-header", "OrvantaDicomHeaderReader"))();
    return reader;
}
