// Reads the input as an .obj file and runs what the viewer does with the
// meshes it gets: normals, the frame structure and its lookups, centroids
// and the centring on them, z-capping, and copies of the set.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "FuzzInput.h"
#include "MeshSet.h"

namespace {

void CheckObject(const CMeshObject& object) {
    const size_t count = object.m_vertices.size();
    FuzzCheck(object.m_normals.size() == count, "one normal per vertex");
    for (const Triangle& triangle : object.m_triangles)
        for (int32_t v : triangle.v)
            FuzzCheck(v >= 0 && static_cast<size_t>(v) < count,
                      "a triangle refers to a vertex it does not have");
    for (const Vec3d& n : object.m_normals) {
        // Unit length or zero; a mesh with infinite coordinates may give NaN.
        const double length = n.Length();
        FuzzCheck(std::isnan(length) || length == 0.0 || std::fabs(length - 1.0) < 1e-9,
                  "a normal is neither unit nor zero");
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = WriteScratchFile("input.obj", data, size);

    CMeshSet meshes;
    if (!meshes.LoadObj(path)) return 0;

    int lastFrame = -1;
    for (int i = 0; i < meshes.ObjectCount(); ++i) {
        const CMeshObject& object = meshes.Object(i);
        CheckObject(object);
        const int frame = object.FrameNumber();
        lastFrame = std::max(lastFrame, frame);
        bool listed = false;
        for (int index : meshes.ObjectsOfFrame(frame)) {
            FuzzCheck(meshes.Object(index).FrameNumber() == frame, "an object listed under another frame");
            listed = listed || index == i;
        }
        FuzzCheck(listed, "an object missing from its frame's list");
        FuzzCheck(object.m_name.compare(0, object.BaseName().size(), object.BaseName()) == 0,
                  "the base name is not the start of the name");
    }
    FuzzCheck(meshes.LastFrame() == lastFrame, "the last frame is not the largest frame number");

    // What a mesh load does next: the centroid decides the position, and the
    // geometry information centres each object to measure it.
    const Vec3d centroid = meshes.Centroid();
    Consume(centroid.x + centroid.y + centroid.z);
    for (const CMeshObject& original : meshes.Objects()) {
        CMeshObject object = original;
        object.Translate(object.Centroid() * -1.0);
        Consume(object.CentroidSize());
    }

    CMeshSet copy = meshes;
    copy.ZCapAll();
    for (int i = 0; i < copy.ObjectCount(); ++i) {
        CMeshObject object = copy.Object(i);
        object.ComputeNormals();
        CheckObject(object);
    }
    CMeshSet moved = std::move(copy);
    FuzzCheck(moved.ObjectCount() == meshes.ObjectCount() && moved.LastFrame() == meshes.LastFrame(),
              "a moved set differs from its source");
    return 0;
}
