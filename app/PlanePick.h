#pragma once

#include <array>
#include <optional>

#include "Affine.h"
#include "Tool.h"

class CViewer;

// What lies under the pointer on the planes shown, picked as the readout
// picks it: the plane (0 YZ, 1 XZ, 2 XY), the point in scene millimetres,
// the same point in file voxel coordinates (centres at whole numbers) and
// the file voxel whose cell holds it. The voxel lies on the plane's own slice.
struct CPlanePick {
    int plane = -1;
    CAffine::Vector scene{};
    CAffine::Vector voxelPoint{};
    std::array<int, 3> voxel{};

    // Nothing when the pointer meets no plane or there is no grid.
    static std::optional<CPlanePick> At(const CViewer& viewer, const CTool::CPointer& at);
};
