#pragma once

#include "SliceImage.h"
#include "VolumeGrid.h"

// Gathers the YZ (plane 0) or XZ (plane 1) plane through position `index`
// (the viewer's numbering) of an X x Y x Z volume whose file voxels
// `voxel(x, y, z)` gives, as the planes show it; which file voxel each texel
// shows is the grid's to say (CVolumeGrid::VoxelOfUprightTexel). Resampled to
// power-of-two sides when asked. Returns an owned image; throws
// std::bad_alloc like MakeOwnedSliceImage.
template <typename Voxel>
CSliceImage GatherUprightPlane(int plane, int index, int sizeX, int sizeY, int sizeZ, bool powerOfTwo,
                               Voxel voxel) {
    // Only the numbering is asked of the grid: the pixel sizes play no part.
    const CVolumeGrid grid({sizeX, sizeY, sizeZ}, {});
    const int width = plane == 1 ? sizeX : sizeY;
    // A texture row walks one file axis, x or y, in even steps, and every row
    // maps its columns alike: the first texel and the step are asked once a
    // plane and the slice once a row, and the loop over a row holds the other
    // axis still, as a plain walk the compiler can see.
    const CVolumeGrid::Index first = grid.VoxelOfUprightTexel(plane, index, 0, 0);
    const CVolumeGrid::Index next = grid.VoxelOfUprightTexel(plane, index, 0, 1);
    const int stepX = next[0] - first[0], stepY = next[1] - first[1];
    CSliceImage image = MakeOwnedSliceImage(width, sizeZ, 1);
    for (int r = 0; r < sizeZ; ++r) {
        const int slice = grid.VoxelOfUprightTexel(plane, index, r, 0)[2];
        uint8_t* out = image.m_data + static_cast<int64_t>(r) * width;
        if (stepY == 0)
            for (int c = 0; c < width; ++c) out[c] = voxel(first[0] + c * stepX, first[1], slice);
        else
            for (int c = 0; c < width; ++c) out[c] = voxel(first[0], first[1] + c * stepY, slice);
    }
    if (powerOfTwo) {
        CSliceImage resampled = ResampleToPowerOfTwo(image);
        FreeSliceImage(image);
        return resampled;
    }
    return image;
}
