#include <gtest/gtest.h>

#include <climits>
#include <cmath>

#include "PatientFrame.h"
#include "VolumeGrid.h"

namespace {

constexpr double kTolerance = 1e-9;

void ExpectNear(const CAffine::Vector& a, const CAffine::Vector& b, const char* what,
                const CAffine::Vector& at) {
    for (size_t axis = 0; axis < 3; ++axis)
        ASSERT_NEAR(a[axis], b[axis], kTolerance)
            << what << " at (" << at[0] << ", " << at[1] << ", " << at[2] << "), axis " << axis;
}

}  // namespace

// Every voxel corner and centre of a rotated, anisotropic grid goes through
// every map and back: file voxel <-> scene millimetres <-> patient, and the
// two numberings of a voxel; the centres land in their own cells and on the
// planes the viewer draws through them.
TEST(VolumeGrid, EveryCornerAndCentreGoesThroughEveryMapAndBack) {
    const CVolumeGrid grid({7, 5, 4}, {0.8, 1.25, 3.5});
    // 30 degrees about z, then 20 about x, with a flip of x and an offset.
    const double a = 30 * M_PI / 180, b = 20 * M_PI / 180;
    const CAffine rotation(
        CAffine::Matrix{{{-std::cos(a), -std::sin(a), 0, 0},
                         {std::sin(a) * std::cos(b), std::cos(a) * std::cos(b), -std::sin(b), 0},
                         {std::sin(a) * std::sin(b), std::cos(a) * std::sin(b), std::cos(b), 0},
                         {0, 0, 0, 1}}});
    const CAffine voxelToPatient = rotation.Then(
        CAffine(CAffine::Matrix{{{0.8, 0, 0, -40}, {0, 1.25, 0, 12.5}, {0, 0, 3.5, 70}, {0, 0, 0, 1}}}));
    const CPatientFrame frame(grid, voxelToPatient);
    const std::optional<CAffine> sceneToPatient = frame.SceneToPatient();
    ASSERT_TRUE(sceneToPatient.has_value());
    const std::optional<CAffine> sceneToVoxel = grid.SceneToVoxel();
    ASSERT_TRUE(sceneToVoxel.has_value());
    int points = 0;
    for (int i2 = -1; i2 <= 2 * 7 - 1; ++i2)
        for (int j2 = -1; j2 <= 2 * 5 - 1; ++j2)
            for (int k2 = -1; k2 <= 2 * 4 - 1; ++k2) {
                // Half steps: odd ones are corners, even ones centres.
                const CAffine::Vector voxel = {i2 / 2.0, j2 / 2.0, k2 / 2.0};
                const CAffine::Vector scene = grid.SceneOfVoxel(voxel);
                ExpectNear(grid.VoxelOfScene(scene), voxel, "scene and back", voxel);
                const CAffine::Vector fileMillimetres = {(voxel[0] + 0.5) * 0.8, (voxel[1] + 0.5) * 1.25,
                                                         (voxel[2] + 0.5) * 3.5};
                ExpectNear(grid.SceneOfFileMillimetres(fileMillimetres), scene, "file millimetres", voxel);
                ExpectNear(grid.SceneOfFileMillimetres(scene), fileMillimetres, "file millimetres back", voxel);
                ExpectNear(sceneToVoxel->Apply(scene), voxel, "the scene-to-voxel map", voxel);
                const CAffine::Vector patient = frame.PatientOfVoxel(voxel);
                ExpectNear(sceneToPatient->Apply(scene), patient, "scene to patient", voxel);
                const std::optional<CAffine::Vector> back = frame.VoxelOfPatient(patient);
                ASSERT_TRUE(back.has_value());
                ExpectNear(*back, voxel, "patient and back", voxel);
                ++points;
                if (i2 % 2 != 0 || j2 % 2 != 0 || k2 % 2 != 0 || i2 < 0 || j2 < 0 || k2 < 0) continue;
                // A centre: its cell is its own voxel, in the viewer's
                // numbering its planes lie at the scene point's fractions and
                // fractions back at the point, and the upright planes through
                // it show it in the texel under it (columns count scene cells
                // along x or y from 0, rows count slices).
                const CVolumeGrid::Index index = {i2 / 2, j2 / 2, k2 / 2};
                EXPECT_EQ(grid.VoxelCellOfScene(scene), index);
                const CVolumeGrid::Index position = grid.OtherNumbering(index);
                EXPECT_EQ(grid.OtherNumbering(position), index);
                EXPECT_EQ(position[2], index[2]);
                const double extent[3] = {7 * 0.8, 5 * 1.25, 4 * 3.5};
                // The YZ plane is placed from the far side of x, the XZ plane's rows run against y.
                EXPECT_NEAR(grid.PlaneFraction(0, position[0]), 1 - scene[0] / extent[0], kTolerance);
                EXPECT_NEAR(grid.PlaneFraction(1, position[1]), scene[1] / extent[1], kTolerance);
                EXPECT_NEAR(grid.PlaneFraction(2, position[2]), scene[2] / extent[2], kTolerance);
                for (int axis = 0; axis < 3; ++axis)
                    EXPECT_NEAR(CVolumeGrid::SceneOfPlaneFraction(
                                    axis, grid.PlaneFraction(axis, position[static_cast<size_t>(axis)]),
                                    extent[axis]),
                                scene[static_cast<size_t>(axis)], kTolerance)
                        << "axis " << axis;
                const int cellY = static_cast<int>(std::lround(scene[1] / 1.25 - 0.5));
                const int cellX = static_cast<int>(std::lround(scene[0] / 0.8 - 0.5));
                EXPECT_EQ(grid.VoxelOfUprightTexel(0, position[0], index[2], cellY), index);
                EXPECT_EQ(grid.VoxelOfUprightTexel(1, position[1], index[2], cellX), index);
            }
    EXPECT_EQ(points, 15 * 11 * 9);
}

// Positions far outside the grid, and scene points off its box, stay in range.
TEST(VolumeGrid, OutsideTheGridNothingOverflows) {
    const CVolumeGrid grid({7, 5, 4}, {0.8, 1.25, 3.5});
    EXPECT_EQ(grid.OtherNumbering({INT32_MIN, INT32_MIN, 3}), (CVolumeGrid::Index{INT32_MAX, INT32_MAX, 3}));
    EXPECT_EQ(grid.OtherNumbering({INT32_MAX, 0, 0}), (CVolumeGrid::Index{6 - INT32_MAX, 4, 0}));
    EXPECT_EQ(grid.VoxelOfUprightTexel(0, INT32_MIN, 2, INT32_MIN), (CVolumeGrid::Index{INT32_MAX, INT32_MAX, 2}));
    EXPECT_EQ(grid.VoxelCellOfScene({-100, -100, 1e300}), (CVolumeGrid::Index{0, 4, 3}));
    EXPECT_EQ(grid.VoxelCellOfScene({1e9, 1e9, -1}), (CVolumeGrid::Index{6, 0, 0}));
    EXPECT_FALSE(CVolumeGrid({7, 5, 4}, {0.8, 0, 3.5}).SceneToVoxel().has_value());
}
