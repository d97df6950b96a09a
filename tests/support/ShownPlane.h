#pragma once

#include <algorithm>
#include <cstdlib>

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

// The largest difference between the grey levels two volumes show, over every
// plane, slice and frame; -1 when their sizes or any plane's size differ.
inline int LargestPlaneDifference(const CTimeVolume& a, const CTimeVolume& b) {
    if (a.SizeX() != b.SizeX() || a.SizeY() != b.SizeY() || a.SizeZ() != b.SizeZ() || a.Frames() != b.Frames())
        return -1;
    const int extents[3] = {a.SizeX(), a.SizeY(), a.SizeZ()};
    int largest = 0;
    for (int plane = 0; plane < 3; ++plane)
        for (int index = 0; index < extents[plane]; ++index)
            for (int t = 0; t < a.Frames(); ++t) {
                const ShownPlane pa(a.GetSlice(plane, index, t, false));
                const ShownPlane pb(b.GetSlice(plane, index, t, false));
                if (pa.ByteCount() != pb.ByteCount()) return -1;
                for (int64_t i = 0; i < pa.ByteCount(); ++i)
                    largest = std::max(largest, std::abs(int{pa.m_data[i]} - int{pb.m_data[i]}));
            }
    return largest;
}
