// Opens the input as a .tvi file, the way the viewer does, and then asks the
// loaded volume for its planes: every index and frame of a small volume, a
// spread of them for a large one, plain and resampled to power-of-two sizes.
// The gathered planes are compared voxel by voxel with the stored XY slices,
// and the full 16-bit read must agree with the mapped load on the saturation.
// Both are checked against the samples themselves by counting: the level is
// the first sample value that reaches the fraction, and every voxel is its
// sample on that level's ramp.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>

#include "FuzzInput.h"
#include "IntensityWindow.h"
#include "SliceImage.h"
#include "TimeVolume.h"
#include "TviFile.h"
#include "VolumeGrid.h"

namespace {

// Indices and frames asked per plane at most; longer axes are walked with a
// stride that still visits the first and the last one.
constexpr int kMaxSteps = 24;

std::vector<int> Spread(int count) {
    std::vector<int> values;
    if (count <= 0) return values;
    const int stride = std::max(1, count / kMaxSteps);
    for (int i = 0; i < count; i += stride) values.push_back(i);
    if (values.back() != count - 1) values.push_back(count - 1);
    return values;
}

// The voxel the XY slices hold, rows top first.
uint8_t StoredVoxel(const CTimeVolume& volume, int x, int y, int z, int t) {
    const CSliceValues& slice = volume.SliceValues(z, t);
    return (*slice.greyOfCode)[slice.Code(int64_t{y} * slice.width + x)];
}

void CheckWindow(const CTviFile& file, const CTimeVolume& volume, double fraction) {
    const int64_t total = file.SampleCount();
    const uint16_t level = volume.SaturationLevel();
    int64_t atOrBelow = 0, below = 0;
    for (int64_t i = 0; i < total; ++i) {
        const uint16_t sample = file.m_samples[static_cast<size_t>(i)];
        atOrBelow += sample <= level;
        below += sample < level;
    }
    auto reaches = [&](int64_t count) {
        return static_cast<double>(count) / static_cast<double>(total) >= fraction;
    };
    FuzzCheck(total == 0 || (reaches(atOrBelow) && (level == 0 || !reaches(below))),
              "the saturation level is not the first sample value that reaches the fraction");

    // The file holds x fastest, then y, then frames, then slices.
    const int32_t sizeX = file.m_sizeX, sizeY = file.m_sizeY, frames = file.m_frames;
    for (int64_t i = 0; i < total; ++i) {
        const int64_t x = i % sizeX, y = i / sizeX % sizeY, t = i / sizeX / sizeY % frames;
        const int64_t z = i / sizeX / sizeY / frames;
        FuzzCheck(
            StoredVoxel(volume, static_cast<int>(x), static_cast<int>(y), static_cast<int>(z),
                        static_cast<int>(t)) == EightBitValue(file.m_samples[static_cast<size_t>(i)], level),
            "a voxel is not its sample on the ramp");
        FuzzCheck(volume.Value(static_cast<int>(x), static_cast<int>(y), static_cast<int>(z), static_cast<int>(t)) ==
                      double(file.m_samples[static_cast<size_t>(i)]),
                  "a voxel's value is not its sample");
    }
}

void CheckPlane(const CTimeVolume& volume, int plane, int index, int frame, bool powerOfTwo) {
    CSliceImage image = volume.GetSlice(plane, index, frame, powerOfTwo);
    const int32_t widths[3] = {volume.SizeY(), volume.SizeX(), volume.SizeX()};
    const int32_t heights[3] = {volume.SizeZ(), volume.SizeZ(), volume.SizeY()};
    int32_t width = widths[plane];
    int32_t height = heights[plane];
    // The XY plane is handed out as stored, never resampled.
    if (powerOfTwo && plane != 2) {
        width = PowerOfTwoTextureSize(width);
        height = PowerOfTwoTextureSize(height);
    }
    FuzzCheck(image.m_data != nullptr, "a plane inside the volume comes back empty");
    FuzzCheck(image.m_width == width && image.m_height == height && image.m_bytesPerPixel == 1,
              "a plane has the wrong size");
    FuzzCheck(image.m_ownsData, "a plane is handed out without its own pixels");
    if (plane == 2) {
        // The XY plane is the slice as it lies, rows top first.
        for (int r = 0; r < height; ++r)
            for (int c = 0; c < width; ++c)
                FuzzCheck(image.m_data[static_cast<size_t>(r) * static_cast<size_t>(width) + c] ==
                              StoredVoxel(volume, c, r, index, frame),
                          "the XY plane differs from its slice");
    } else if (!powerOfTwo) {
        // The gathered planes read mirrored rows and columns of the XY slices,
        // texel by texel as the grid (checked on its own) maps them.
        const CVolumeGrid grid({volume.SizeX(), volume.SizeY(), volume.SizeZ()}, {1.0, 1.0, 1.0});
        for (int r = 0; r < height; ++r) {
            for (int c = 0; c < width; ++c) {
                const CVolumeGrid::Index voxel = grid.VoxelOfUprightTexel(plane, index, r, c);
                const uint8_t expected = StoredVoxel(volume, voxel[0], voxel[1], voxel[2], frame);
                FuzzCheck(image.m_data[static_cast<size_t>(r) * static_cast<size_t>(width) + c] == expected,
                          "a gathered plane differs from the stored slices");
            }
        }
    } else {
        Consume(image.m_data, static_cast<size_t>(image.ByteCount()));
    }
    FreeSliceImage(image);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = WriteScratchFile("input.tvi", data, size);

    CTviFile file;
    const bool read = file.Read(path) == 0;
    FuzzCheck(read == file.ErrorText().empty(), "a failed read says why, a good one has no error");

    CTimeVolume volume;
    if (!volume.LoadFile(path, 0.98)) {
        FuzzCheck(!volume.LastError().empty(), "a refused load says why");
        FuzzCheck(!read, "the load refuses a file the full read accepts");
        FuzzCheck(volume.SizeZ() == 0 && volume.SizeX() == 0 && volume.Frames() == 0,
                  "a refused load leaves the volume as it was");
        return 0;
    }
    FuzzCheck(read, "the load accepts a file the full read refuses");
    FuzzCheck(volume.SaturationLevel() == file.SaturationLevel(0.98),
              "the load and the full read disagree on the saturation level");
    CheckWindow(file, volume, 0.98);

    // A volume holds either nothing or the file's sizes with one slice per (z, t).
    if (!file.IsEmpty()) {
        FuzzCheck(volume.SizeX() == file.m_sizeX && volume.SizeY() == file.m_sizeY &&
                      volume.SizeZ() == file.m_sizeZ && volume.Frames() == file.m_frames,
                  "the volume's sizes differ from the header's");
    }
    for (int z = 0; z < volume.SizeZ(); ++z)
        FuzzCheck(volume.SliceFrames(z) == volume.Frames(), "one slice per frame");

    const int32_t extents[3] = {volume.SizeX(), volume.SizeY(), volume.SizeZ()};
    for (int plane = 0; plane < 3; ++plane) {
        for (int index : Spread(extents[plane]))
            for (int frame : Spread(volume.Frames()))
                for (bool powerOfTwo : {false, true}) CheckPlane(volume, plane, index, frame, powerOfTwo);
        // Outside the volume there is nothing to hand out.
        for (const int index : {-1, extents[plane]})
            FuzzCheck(volume.GetSlice(plane, index, 0, true).m_data == nullptr, "a plane outside the volume");
        FuzzCheck(volume.GetSlice(plane, 0, volume.Frames(), false).m_data == nullptr,
                  "a frame past the end");
    }
    return 0;
}
