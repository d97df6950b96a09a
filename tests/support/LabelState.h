#pragma once

#include <cstdint>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "LabelImage.h"

// A label image of X x Y x Z voxels and `frames` frames whose voxel (i, j, k)
// of frame t holds label(i, j, k, t).
inline CLabelImage MakeLabelImage(int sizeX, int sizeY, int sizeZ, int frames,
                                  const std::function<int64_t(int i, int j, int k, int t)>& label) {
    std::vector<int64_t> values;
    for (int t = 0; t < frames; ++t)
        for (int k = 0; k < sizeZ; ++k)
            for (int j = 0; j < sizeY; ++j)
                for (int i = 0; i < sizeX; ++i) values.push_back(label(i, j, k, t));
    CLabelImage image;
    std::string error;
    if (!image.Assign(values.data(), sizeX, sizeY, sizeZ, frames, error)) image.Clear();
    return image;
}

// Everything a label image holds, to compare one state with another: the
// label value of every voxel of every frame, the labels and the counts.
struct CLabelState {
    std::vector<int64_t> values;
    std::vector<int64_t> voxels;  // label values, frame after frame
    std::vector<int64_t> counts;  // frame-major, one a label

    explicit CLabelState(const CLabelImage& image) : values(image.Values()) {
        for (int t = 0; t < image.Frames(); ++t) {
            const uint8_t* frame = image.FrameVoxels(t);
            for (int64_t v = 0; v < image.FrameVoxelCount(); ++v) voxels.push_back(values.at(frame[v]));
            for (size_t label = 0; label < values.size(); ++label)
                counts.push_back(image.VoxelCount(t, static_cast<int>(label)));
        }
    }
    bool operator==(const CLabelState& other) const = default;
};

// Where two states differ first, for a failure message; empty when they do not.
inline std::string FirstDifference(const CLabelState& a, const CLabelState& b) {
    std::ostringstream text;
    if (a.values != b.values) text << "the labels differ; ";
    if (a.voxels.size() != b.voxels.size()) return text.str() + "the sizes differ";
    for (size_t v = 0; v < a.voxels.size(); ++v)
        if (a.voxels[v] != b.voxels[v]) {
            text << "voxel " << v << " holds " << a.voxels[v] << " and " << b.voxels[v];
            break;
        }
    if (a.counts != b.counts) text << "; the counts differ";
    return text.str();
}

// Where a label image's kept counts disagree with its voxels; empty when they agree.
inline std::string WrongCounts(const CLabelImage& image) {
    for (int t = 0; t < image.Frames(); ++t) {
        std::vector<int64_t> counted(image.Values().size(), 0);
        const uint8_t* frame = image.FrameVoxels(t);
        for (int64_t v = 0; v < image.FrameVoxelCount(); ++v) ++counted.at(frame[v]);
        for (size_t label = 0; label < counted.size(); ++label)
            if (counted[label] != image.VoxelCount(t, static_cast<int>(label)))
                return std::string("frame ") + std::to_string(t) + " label " +
                       std::to_string(image.Values()[label]) + ": kept " +
                       std::to_string(image.VoxelCount(t, static_cast<int>(label))) + ", counted " +
                       std::to_string(counted[label]);
    }
    return {};
}
