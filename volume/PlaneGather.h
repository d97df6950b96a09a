#pragma once

#include "SliceImage.h"

// Gathers the YZ (plane 0) or XZ (plane 1) plane through voxel `index` of an
// X x Y x Z volume whose voxels `voxel(x, y, z)` gives, as the planes show
// it: data rows run against y and the YZ plane looks from the far side of x,
// so both read mirrored rows and columns. Resampled to power-of-two sides
// when asked. Returns an owned image; throws std::bad_alloc like
// MakeOwnedSliceImage.
template <typename Voxel>
CSliceImage GatherUprightPlane(int plane, int index, int sizeX, int sizeY, int sizeZ, bool powerOfTwo,
                               Voxel voxel) {
    CSliceImage image;
    if (plane == 1) {
        image = MakeOwnedSliceImage(sizeX, sizeZ, 1);
        const int row = sizeY - 1 - index;
        for (int r = 0; r < sizeZ; ++r)
            for (int c = 0; c < sizeX; ++c) image.m_data[static_cast<int64_t>(r) * sizeX + c] = voxel(c, row, r);
    } else {
        image = MakeOwnedSliceImage(sizeY, sizeZ, 1);
        const int column = sizeX - 1 - index;
        for (int r = 0; r < sizeZ; ++r)
            for (int c = 0; c < sizeY; ++c)
                image.m_data[static_cast<int64_t>(r) * sizeY + c] = voxel(column, sizeY - 1 - c, r);
    }
    if (powerOfTwo) {
        CSliceImage resampled = ResampleToPowerOfTwo(image);
        FreeSliceImage(image);
        return resampled;
    }
    return image;
}
