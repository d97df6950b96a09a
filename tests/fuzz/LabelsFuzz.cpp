// Reads the input as a label image (NIfTI, plain or gzip-compressed), the way
// the viewer does, then does what the viewer does with it: gathers planes and
// colours them for the overlay, and, for grids small enough to mesh quickly,
// builds the surface of every label of every frame.
// A refused file must say why and leave the labels as they were. Every label
// pixel has its label's colour, and every surface lies within the grid: its
// points on voxel faces, moved by smoothing at most a quarter voxel. Small
// images are also saved back in their file's form and read again.

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzInput.h"
#include "LabelFile.h"
#include "LabelImage.h"
#include "LabelPalette.h"
#include "LabelSurface.h"
#include "SliceImage.h"

namespace {

// Meshing costs about the voxel count of all frames; larger images are only read.
constexpr int64_t kMaxMeshedVoxels = 32 * 32 * 32;
constexpr double kPixelSize[3] = {1.0, 1.5, 2.0};

void CheckColours(const CSliceImage& slice, const std::vector<int64_t>& values) {
    const std::vector<uint8_t> rgba = CLabelPalette::Colourise(slice, values);
    FuzzCheck(rgba.size() == static_cast<size_t>(slice.ByteCount()) * 4, "an overlay of another size");
    for (size_t i = 0; i < static_cast<size_t>(slice.ByteCount()); ++i) {
        const uint8_t index = slice.m_data[i];
        const std::array<uint8_t, 4> colour =
            index < values.size() ? CLabelPalette::Colour(values[index]) : std::array<uint8_t, 4>{};
        FuzzCheck(std::equal(colour.begin(), colour.end(), rgba.begin() + static_cast<std::ptrdiff_t>(4 * i)),
                  "a label pixel has not its label's colour");
    }
}

void CheckSurface(const CMeshObject& mesh, const int sizes[3]) {
    for (const Triangle& triangle : mesh.m_triangles)
        for (int32_t vertex : triangle.v)
            FuzzCheck(vertex >= 0 && static_cast<size_t>(vertex) < mesh.m_vertices.size(),
                      "triangles index their own vertices");
    for (const auto& vertex : mesh.m_vertices) {
        const double at[3] = {vertex.x, vertex.y, vertex.z};
        for (int axis = 0; axis < 3; ++axis) {
            // A quarter voxel of smoothing, and rounding to single precision.
            const double margin = 0.25 * kPixelSize[axis] + 1e-3;
            FuzzCheck(at[axis] >= -margin && at[axis] <= sizes[axis] * kPixelSize[axis] + margin,
                      "a surface point lies outside the grid");
        }
    }
}

// Saved back to a file of its own form, a label image reads again as it was;
// one that cannot be saved so says why and leaves no file.
void CheckSavedBack(const std::string& path, const CLabelImage& labels) {
    CLabelImage read;
    CLabelFileOrigin origin;
    std::string note, error;
    FuzzCheck(ReadLabelFile(path, read, origin, error), "a label image reads the same twice");
    const std::string saved = ScratchPath("saved.nii");
    std::remove(saved.c_str());
    if (!WriteLabelFileAsRead(saved, read, origin, note, error)) {
        FuzzCheck(!error.empty() && !std::ifstream(saved).good(), "a refused save says why and writes nothing");
        return;
    }
    CLabelImage again;
    FuzzCheck(ReadLabelFile(saved, again, error), "a saved label image reads again");
    FuzzCheck(again.Values() == labels.Values() && again.Frames() == labels.Frames() &&
                  again.SizeX() == labels.SizeX() && again.SizeY() == labels.SizeY() &&
                  again.SizeZ() == labels.SizeZ(),
              "a saved label image keeps its grid and labels");
    const size_t frameVoxels = static_cast<size_t>(labels.SizeX()) * labels.SizeY() * labels.SizeZ();
    for (int frame = 0; frame < labels.Frames(); ++frame)
        FuzzCheck(std::equal(labels.FrameVoxels(frame), labels.FrameVoxels(frame) + frameVoxels,
                             again.FrameVoxels(frame)),
                  "a saved label image keeps its voxels");
}

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
                if (slice.m_data != nullptr) CheckColours(slice, labels.Values());
                FreeSliceImage(slice);
            }

    if (int64_t{sizes[0]} * sizes[1] * sizes[2] * labels.Frames() > kMaxMeshedVoxels) return 0;
    CheckSavedBack(path, labels);

    // As the viewer makes them: one surface per label present in each frame.
    std::vector<CLabelSurface::Job> jobs;
    for (int frame = 0; frame < labels.Frames(); ++frame) {
        const CLabelGrid grid{labels.FrameVoxels(frame), sizes[0], sizes[1], sizes[2],
                              {kPixelSize[0], kPixelSize[1], kPixelSize[2]}};
        for (size_t label = 1; label < labels.Values().size(); ++label)
            if (labels.VoxelCount(frame, static_cast<int>(label)) > 0)
                jobs.push_back({grid, static_cast<uint8_t>(label), "label-" + std::to_string(frame)});
    }
    const std::vector<CMeshObject> meshes = CLabelSurface::ExtractAll(jobs);
    FuzzCheck(meshes.size() == jobs.size(), "one surface per label and frame");
    for (const CMeshObject& mesh : meshes) {
        FuzzCheck(!mesh.m_triangles.empty(), "a label present has no surface");
        CheckSurface(mesh, sizes);
    }
    return 0;
}
