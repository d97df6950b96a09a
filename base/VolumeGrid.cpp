#include "VolumeGrid.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

#include "SaturatingCast.h"

namespace {

// Index `index` counted from the other end of `size` places, held to int.
int Mirror(int index, int size) {
    const int64_t other = int64_t{size} - 1 - index;
    return static_cast<int>(
        std::clamp<int64_t>(other, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

}  // namespace

bool CVolumeGrid::IsUsable() const {
    for (int axis = 0; axis < 3; ++axis)
        if (m_size[axis] <= 0 || !(m_pixelSize[axis] > 0) || !std::isfinite(m_pixelSize[axis])) return false;
    return true;
}

CVolumeGrid::Index CVolumeGrid::OtherNumbering(const Index& voxel) const {
    return {Mirror(voxel[0], m_size[0]), Mirror(voxel[1], m_size[1]), voxel[2]};
}

CVolumeGrid::Point CVolumeGrid::SceneOfVoxel(const Point& voxel) const {
    return {(voxel[0] + 0.5) * m_pixelSize[0], (m_size[1] - voxel[1] - 0.5) * m_pixelSize[1],
            (voxel[2] + 0.5) * m_pixelSize[2]};
}

CVolumeGrid::Point CVolumeGrid::VoxelOfScene(const Point& scene) const {
    return {scene[0] / m_pixelSize[0] - 0.5, m_size[1] - 0.5 - scene[1] / m_pixelSize[1],
            scene[2] / m_pixelSize[2] - 0.5};
}

CVolumeGrid::Point CVolumeGrid::SceneOfFileMillimetres(const Point& file) const {
    return {file[0], m_size[1] * m_pixelSize[1] - file[1], file[2]};
}

std::optional<CAffine> CVolumeGrid::SceneToVoxel() const {
    if (!IsUsable()) return std::nullopt;
    const Point& p = m_pixelSize;
    return CAffine(CAffine::Matrix{
        {{1 / p[0], 0, 0, -0.5}, {0, -1 / p[1], 0, m_size[1] - 0.5}, {0, 0, 1 / p[2], -0.5}, {0, 0, 0, 1}}});
}

CVolumeGrid::Index CVolumeGrid::VoxelCellOfScene(const Point& scene) const {
    // The scene is cut into cells of the pixel sizes from 0; rows run against y.
    Index cell{};
    for (int axis = 0; axis < 3; ++axis) {
        const double at =
            std::floor(scene[static_cast<size_t>(axis)] / m_pixelSize[static_cast<size_t>(axis)]);
        const double held = std::clamp(at, 0.0, static_cast<double>(std::max(0, m_size[axis] - 1)));
        cell[static_cast<size_t>(axis)] = std::isfinite(held) ? static_cast<int>(held) : 0;
    }
    cell[1] = m_size[1] - 1 - cell[1];
    return cell;
}

CVolumeGrid::Index CVolumeGrid::PositionNearScene(const Point& scene) const {
    Index at{};
    for (size_t axis = 0; axis < 3; ++axis)
        at[axis] = TruncToInt(TruncToInt(scene[axis] + 0.5) / m_pixelSize[axis]);
    at[0] = static_cast<int>(std::clamp<int64_t>(int64_t{m_size[0]} - at[0], std::numeric_limits<int>::min(),
                                                 std::numeric_limits<int>::max()));
    return at;
}

double CVolumeGrid::PlaneFraction(int axis, int index) const {
    return (index + 0.5) / m_size[static_cast<size_t>(axis)];
}

double CVolumeGrid::SceneOfPlaneFraction(int axis, double fraction, double extent) {
    return axis == 0 ? (1.0 - fraction) * extent : fraction * extent;
}

CVolumeGrid::Index CVolumeGrid::VoxelOfUprightTexel(int plane, int index, int row, int column) const {
    // The plane's own axis is numbered as the viewer numbers it; along the
    // texture, x counts as the file does and y as the viewer does.
    if (plane == 0) return {Mirror(index, m_size[0]), Mirror(column, m_size[1]), row};
    return {column, Mirror(index, m_size[1]), row};
}
