#include "SceneGeometry.h"
#include "SceneState.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(SceneState, ArrowsChangeTheOpacityOfTheUprightPlanesOnly) {
    CSceneState state;
    state.StepPlaneAlpha(true);  // already opaque: no change
    EXPECT_EQ(state.m_planeAlpha[0], 1.0);
    state.StepPlaneAlpha(false);
    state.StepPlaneAlpha(false);
    EXPECT_NEAR(state.m_planeAlpha[0], 0.9, 1e-12);
    EXPECT_NEAR(state.m_planeAlpha[1], 0.9, 1e-12);
    EXPECT_EQ(state.m_planeAlpha[2], 1.0);
    for (int i = 0; i < 30; ++i) state.StepPlaneAlpha(false);
    // The comparison comes before the step, so the last step may overshoot a little.
    EXPECT_LT(state.m_planeAlpha[0], 0.05);
    EXPECT_GT(state.m_planeAlpha[0], -0.05);
}

namespace {

CMeshObject Named(const std::string& name) {
    CMeshObject object(name);
    object.m_vertices = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}};
    object.m_triangles = {Triangle{{0, 1, 2}}};
    return object;
}

}  // namespace

TEST(SceneState, ToggleObjectsCyclesThroughTheFrame) {
    CSceneState state;
    for (const char* name : {"a-00", "b-01", "c-01", "d-01", "noname"}) state.m_meshes.AddObject(Named(name));
    state.m_meshFrame = 1;
    EXPECT_EQ(state.ObjectsToDraw(), (std::vector<int>{1, 2, 3}));
    const int expected[] = {0, 1, 2, -1, 0};
    for (int selection : expected) {
        state.CycleSelectedObject();
        EXPECT_EQ(state.m_selectedObject, selection);
    }
    EXPECT_EQ(state.ObjectsToDraw(), (std::vector<int>{1}));

    // The selection survives a frame change; out of range it draws nothing.
    state.m_selectedObject = 2;
    state.m_meshFrame = 0;
    EXPECT_TRUE(state.ObjectsToDraw().empty());
    state.CycleSelectedObject();  // 2 -> (2 + 1) mod 1
    EXPECT_EQ(state.m_selectedObject, 0);
    state.CycleSelectedObject();  // one object: alternates 0 and -1
    EXPECT_EQ(state.m_selectedObject, -1);
    state.m_meshFrame = 7;        // no objects at all
    state.m_selectedObject = 3;
    state.CycleSelectedObject();
    EXPECT_EQ(state.m_selectedObject, 0);
    EXPECT_TRUE(state.ObjectsToDraw().empty());
}

TEST(SceneGeometry, BrightnessAndContrastTransfer) {
    auto t = BrightnessContrastTransfer(0.5, 0.5);
    EXPECT_EQ(t.scale, 1.0);
    EXPECT_EQ(t.bias, 0.0);
    t = BrightnessContrastTransfer(1.0, 0.5);
    EXPECT_NEAR(t.scale, 1.0, 1e-15);
    EXPECT_NEAR(t.bias, 1.0, 1e-15);
    for (double b : {0.0, 0.25, 0.8}) {
        t = BrightnessContrastTransfer(b, 0.0);
        EXPECT_EQ(t.scale, 0.0);
        EXPECT_DOUBLE_EQ(t.bias, 0.5 + 1.5 * (2 * b - 1));
    }
    t = BrightnessContrastTransfer(0.5, 1.0);
    EXPECT_GT(t.scale, 1e16);
}

TEST(SceneGeometry, ClipSlabsKeepAHundredthOfAMillimetreRoundEachPlane) {
    const double extent[3] = {350, 350, 60};
    const double slicePos[3] = {0.25, 0.5, 0.75};
    const double levels[3] = {350 * 0.75, 175, 45};  // the YZ plane lies at the mirrored x
    for (int plane = 0; plane < 3; ++plane) {
        const auto slab = ClipSlab(plane, extent, slicePos);
        auto kept = [&](double offset) {
            double p[3] = {100, 100, 30};
            p[plane] = levels[plane] + offset;
            for (const auto& e : slab)
                if (e[0] * p[0] + e[1] * p[1] + e[2] * p[2] + e[3] < 0) return false;
            return true;
        };
        EXPECT_TRUE(kept(0.0)) << plane;
        EXPECT_TRUE(kept(0.0049)) << plane;
        EXPECT_TRUE(kept(-0.0049)) << plane;
        EXPECT_FALSE(kept(0.0051)) << plane;
        EXPECT_FALSE(kept(-0.0051)) << plane;
    }
}
