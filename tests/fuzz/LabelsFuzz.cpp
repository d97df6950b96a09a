// Reads the input as a label image (NIfTI, plain or gzip-compressed), the way
// the viewer does, then gathers every plane and, for grids small enough to
// mesh quickly, builds the surface of every label of the first frame.
// A refused file must say why and leave the labels as they were.

#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "LabelFile.h"
#include "LabelImage.h"
#include "LabelSurface.h"
#include "SliceImage.h"

namespace {

// Meshing costs about the grid's voxel count; larger grids are only read.
constexpr int64_t kMaxMeshedVoxels = 32 * 32 * 32;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = WriteScratchFile("labels.nii.gz", data, size);
    CLabelImage labels;
    std::string error;
    if (!ReadLabelFile(path, labels, error)) {
        FuzzCheck(!error.empty(), "a refused label image says why");
        FuzzCheck(labels.Empty(), "a refused label image leaves the labels as they were");
        return 0;
    }
    FuzzCheck(labels.SizeX() >= 1 && labels.SizeY() >= 1 && labels.SizeZ() >= 1 && labels.Frames() >= 1,
              "accepted labels have a grid");
    FuzzCheck(labels.Values().size() <= 256, "at most 255 labels besides the background");

    const int sizes[3] = {labels.SizeX(), labels.SizeY(), labels.SizeZ()};
    for (int frame = 0; frame < labels.Frames() && frame < 4; ++frame)
        for (int plane = 0; plane < 3; ++plane)
            for (int index : {0, sizes[plane] / 2, sizes[plane] - 1}) {
                CSliceImage slice = labels.GetSlice(plane, index, frame, true);
                if (slice.m_data != nullptr) Consume(slice.m_data, static_cast<size_t>(slice.ByteCount()));
                FreeSliceImage(slice);
            }

    if (int64_t{sizes[0]} * sizes[1] * sizes[2] <= kMaxMeshedVoxels) {
        const CLabelGrid grid{labels.FrameVoxels(0), sizes[0], sizes[1], sizes[2], {1.0, 1.5, 2.0}};
        for (size_t label = 1; label < labels.Values().size(); ++label) {
            const CMeshObject mesh = CLabelSurface::Extract(grid, static_cast<uint8_t>(label), "label");
            for (const Triangle& triangle : mesh.m_triangles)
                for (int32_t vertex : triangle.v)
                    FuzzCheck(vertex >= 0 && static_cast<size_t>(vertex) < mesh.m_vertices.size(),
                              "triangles index their own vertices");
        }
    }
    return 0;
}
