// Reads the input as a mesh file of one format (ORVANTA_FUZZ_EXTENSION, one
// target per format) through the library that reads it, then checks what the
// viewer gets: triangles within their objects, one normal per vertex, finite
// coordinates; and that writing what was read in the same format and reading
// it again gives the same triangles.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "MeshExport.h"
#include "MeshSet.h"

namespace {

size_t CheckObjects(const CMeshSet& meshes) {
    size_t triangles = 0;
    for (const CMeshObject& object : meshes.Objects()) {
        const size_t count = object.m_vertices.size();
        FuzzCheck(object.m_normals.size() == count, "one normal per vertex");
        for (const Triangle& triangle : object.m_triangles)
            for (int32_t v : triangle.v)
                FuzzCheck(v >= 0 && static_cast<size_t>(v) < count,
                          "a triangle refers to a vertex it does not have");
        for (const Vec3d& v : object.m_vertices)
            FuzzCheck(std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z),
                      "a vertex is not finite");
        triangles += object.m_triangles.size();
    }
    return triangles;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = WriteScratchFile(std::string("input") + ORVANTA_FUZZ_EXTENSION, data, size);
    CMeshSet meshes;
    std::string error;
    if (!meshes.Load(path, error)) {
        FuzzCheck(!error.empty(), "a refused file without a reason");
        FuzzCheck(meshes.ObjectCount() == 0, "a refused file changed the set");
        return 0;
    }
    const size_t triangles = CheckObjects(meshes);

    std::vector<const CMeshObject*> objects;
    for (const CMeshObject& object : meshes.Objects()) objects.push_back(&object);
    const std::string again = ScratchPath(std::string("again") + ORVANTA_FUZZ_EXTENSION);
    if (!CMeshExport::WriteFile(objects, MeshFormatOfPath(path), again, error)) return 0;
    CMeshSet reread;
    FuzzCheck(reread.Load(again, error), "what was written cannot be read");
    FuzzCheck(CheckObjects(reread) == triangles, "what was written reads back with other triangles");
    return 0;
}
