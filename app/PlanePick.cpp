#include "PlanePick.h"

#include "SceneGeometry.h"
#include "Viewer.h"

std::optional<CPlanePick> CPlanePick::At(const CViewer& viewer, const CTool::CPointer& at) {
    if (at.width <= 0 || at.height <= 0) return std::nullopt;
    const CVolumeGrid grid = viewer.Grid();
    if (!grid.IsUsable()) return std::nullopt;
    const std::optional<CPlaneHit> hit = PickPlane(viewer.View(), viewer.View(), at.width, at.height, at.x, at.y);
    if (!hit) return std::nullopt;
    CPlanePick pick;
    pick.plane = hit->plane;
    pick.scene = hit->point;
    pick.voxelPoint = grid.VoxelOfScene(hit->point);
    pick.voxel = grid.VoxelCellOfScene(hit->point);
    // A point on a plane lies on a cell border only by rounding: the plane
    // shows the position's slice.
    const size_t axis = static_cast<size_t>(hit->plane);
    pick.voxel[axis] = viewer.FileVoxel()[axis];
    pick.voxelPoint[axis] = pick.voxel[axis];
    return pick;
}
