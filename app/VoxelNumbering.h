#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

// One voxel has two numberings. The viewer's position (the title, --position)
// counts x and y from the far side of the volume, as the planes are placed:
// the YZ plane lies at the mirrored x and the data rows run against y. The
// file's voxel (column, row, slice: the status bar, --voxel, the transform)
// counts them as the file stores them. z is the same in both.
//
// The same voxel in the other numbering, for a volume of sizeX x sizeY
// columns and rows. The map is its own inverse, so it serves both ways. It
// counts in 64 bits and holds the result to int: a position need not lie in
// the volume, and no index a caller may hold overflows.
inline std::array<int, 3> OtherVoxelNumbering(const std::array<int, 3>& voxel, int sizeX, int sizeY) {
    const auto mirror = [](int index, int size) {
        const int64_t other = int64_t{size} - 1 - index;
        return static_cast<int>(
            std::clamp<int64_t>(other, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    };
    return {mirror(voxel[0], sizeX), mirror(voxel[1], sizeY), voxel[2]};
}
