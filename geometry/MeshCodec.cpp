#include "MeshCodec.h"

#include <stdexcept>

#include "RuntimeModule.h"

// Each module's one entry point; see VtkMeshCodec.cpp and GiftiMeshCodec.cpp.
using CodecEntry = const CMeshCodec* (*)();

const CMeshCodec& CMeshCodec::Get(EMeshFormat format) {
    if (format == EMeshFormat::kGifti) {
        static const CMeshCodec& gifti =
            *reinterpret_cast<CodecEntry>(CRuntimeModule::Symbol("orvanta-gifti", "OrvantaGiftiCodec"))();
        return gifti;
    }
    if (format == EMeshFormat::kStl || format == EMeshFormat::kPly || format == EMeshFormat::kVtp) {
        static const CMeshCodec& vtk =
            *reinterpret_cast<CodecEntry>(CRuntimeModule::Symbol("orvanta-surface", "OrvantaMeshCodec"))();
        return vtk;
    }
    throw std::logic_error("no mesh codec for this format");
}
