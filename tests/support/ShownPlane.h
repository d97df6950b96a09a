#pragma once

#include "SliceImage.h"
#include "TimeVolume.h"

// A plane as the volume shows it, freed when it goes: the records GetSlice
// hands out are plain and their owner frees them.
struct ShownPlane : CSliceImage {
    explicit ShownPlane(const CSliceImage& image) : CSliceImage(image) {}
    ~ShownPlane() { FreeSliceImage(*this); }
    ShownPlane(const ShownPlane&) = delete;
    ShownPlane& operator=(const ShownPlane&) = delete;
};

// The grey level voxel `at` (row-major) of slice z, frame t is shown as,
// read straight from the volume's codes and display mapping.
inline uint8_t ShownGrey(const CTimeVolume& volume, int z, int t, int64_t at) {
    const CSliceValues& slice = volume.SliceValues(z, t);
    return (*slice.greyOfCode)[slice.Code(at)];
}
