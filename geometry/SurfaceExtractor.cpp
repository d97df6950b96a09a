#include "SurfaceExtractor.h"

#include "RuntimeModule.h"

// The module's one entry point; see VtkSurfaceExtractor.cpp.
using ExtractorEntry = const CSurfaceExtractor* (*)();

const CSurfaceExtractor& CSurfaceExtractor::Get() {
    static const CSurfaceExtractor& extractor =
        *reinterpret_cast<ExtractorEntry>(CRuntimeModule::Symbol("orvanta-surface", "OrvantaSurfaceExtractor"))();
    return extractor;
}
