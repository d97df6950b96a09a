#include "OrbitCamera.h"

#include <gtest/gtest.h>

#include <cmath>

TEST(OrbitCamera, StartsAtTheObliqueView) {
    COrbitCamera camera;
    EXPECT_EQ(camera.m_azimuth, -2.356194490192345);
    EXPECT_EQ(camera.m_elevation, 0.7853981633974483);
    EXPECT_EQ(camera.m_distance, 150.0);
    EXPECT_EQ(camera.m_mouseMode, COrbitCamera::kNoDrag);
}

TEST(OrbitCamera, MovesWithoutAButtonChangeNothing) {
    COrbitCamera camera;
    const COrbitCamera before = camera;
    EXPECT_FALSE(camera.DragTo(100, 100, true, true));
    EXPECT_EQ(camera.m_azimuth, before.m_azimuth);
    EXPECT_EQ(camera.m_elevation, before.m_elevation);
    EXPECT_EQ(camera.m_distance, before.m_distance);
    camera.BeginDrag(COrbitCamera::kRotating, 0, 0);
    camera.EndDrag();
    EXPECT_FALSE(camera.DragTo(50, 50, false, false));
}

TEST(OrbitCamera, LeftDragTurnsByModifierFactors) {
    struct Case {
        bool ctrl, shift;
        double factor;
    };
    for (const Case& c : {Case{false, false, 1.0}, Case{true, false, 2.0}, Case{false, true, 0.5},
                          Case{true, true, 1.0}}) {
        COrbitCamera camera;
        camera.SetCameraAngles(0.0, 0.0);
        camera.BeginDrag(COrbitCamera::kRotating, 10, 20);
        ASSERT_TRUE(camera.DragTo(40, 5, c.ctrl, c.shift));
        EXPECT_DOUBLE_EQ(camera.m_azimuth, -c.factor * 30 / 150.0) << c.ctrl << c.shift;
        EXPECT_DOUBLE_EQ(camera.m_elevation, c.factor * -15 / 150.0) << c.ctrl << c.shift;
        EXPECT_EQ(camera.m_distance, 150.0);
        // The next move is measured from the last position.
        ASSERT_TRUE(camera.DragTo(40, 5, c.ctrl, c.shift));
        EXPECT_DOUBLE_EQ(camera.m_azimuth, -c.factor * 30 / 150.0);
    }
}

TEST(OrbitCamera, ElevationStopsJustShortOfThePoles) {
    COrbitCamera camera;
    camera.BeginDrag(COrbitCamera::kRotating, 0, 0);
    camera.DragTo(0, 1000, false, false);
    EXPECT_EQ(camera.m_elevation, 1.5707863267948965);
    camera.DragTo(0, 1001, false, false);  // further up stays clamped
    EXPECT_EQ(camera.m_elevation, 1.5707863267948965);
    camera.DragTo(0, 991, false, false);   // and a drag down starts from there
    EXPECT_DOUBLE_EQ(camera.m_elevation, 1.5707863267948965 - 10 / 150.0);
    camera.DragTo(0, -2000, false, false);
    EXPECT_EQ(camera.m_elevation, -1.5707863267948965);

    // A preset may stand exactly on the pole; a sideways drag leaves it there.
    camera.ApplyPreset(COrbitCamera::kShowXY);
    camera.BeginDrag(COrbitCamera::kRotating, 0, 0);
    camera.DragTo(15, 0, false, false);
    EXPECT_EQ(camera.m_elevation, 1.5707963267948966);
    EXPECT_DOUBLE_EQ(camera.m_azimuth, -COrbitCamera::kPi / 2 - 0.1);
}

TEST(OrbitCamera, RightDragDolliesWithinLimits) {
    COrbitCamera camera;
    camera.m_distance = 800.0;
    camera.BeginDrag(COrbitCamera::kDollying, 0, 0);
    camera.DragTo(99, 10, false, false);  // down moves away: 10 * 2 * 0.5
    EXPECT_DOUBLE_EQ(camera.m_distance, 810.0);
    camera.DragTo(0, 20, true, false);    // Ctrl doubles
    EXPECT_DOUBLE_EQ(camera.m_distance, 830.0);
    camera.DragTo(0, 30, false, true);    // Shift halves
    EXPECT_DOUBLE_EQ(camera.m_distance, 835.0);
    camera.DragTo(0, 5000, false, false);
    EXPECT_EQ(camera.m_distance, 1600.0);
    camera.DragTo(0, -5000, false, false);
    EXPECT_EQ(camera.m_distance, 30.0);
    EXPECT_EQ(camera.m_azimuth, -2.356194490192345);
}

TEST(OrbitCamera, LookAtPlacesTheEyeOnTheOrbit) {
    COrbitCamera camera;
    camera.m_target = {175.0, 175.0, 30.0};
    camera.m_distance = 800.0;
    const auto look = camera.ComputeLookAt();
    const double az = camera.m_azimuth, el = camera.m_elevation;
    EXPECT_DOUBLE_EQ(look.eye[0], 175.0 + 800.0 * std::cos(el) * std::cos(az));
    EXPECT_DOUBLE_EQ(look.eye[1], 175.0 + 800.0 * std::cos(el) * std::sin(az));
    EXPECT_DOUBLE_EQ(look.eye[2], 30.0 + 800.0 * std::sin(el));
    EXPECT_EQ(look.up, (std::array<double, 3>{0, 0, 1}));
    EXPECT_EQ(look.centre, camera.m_target);
}

TEST(OrbitCamera, TopViewHasXRightAndYUp) {
    COrbitCamera camera;
    camera.m_distance = 100.0;
    camera.ApplyPreset(COrbitCamera::kShowXY);
    const auto look = camera.ComputeLookAt();
    EXPECT_EQ(look.eye, (std::array<double, 3>{0, 0, 100}));
    // Looking down -z with y up the screen puts x to the right.
    EXPECT_NEAR(look.up[0], 0.0, 1e-15);
    EXPECT_NEAR(look.up[1], 1.0, 1e-15);
    EXPECT_EQ(look.up[2], 0.0);

    camera.SetCameraAngles(-COrbitCamera::kPi / 2, -COrbitCamera::kPi / 2);  // from below
    const auto below = camera.ComputeLookAt();
    EXPECT_EQ(below.eye[2], -100.0);
    EXPECT_NEAR(below.up[1], -1.0, 1e-15);
}

TEST(OrbitCamera, PresetsSetTheAnglesOnly) {
    COrbitCamera camera;
    camera.m_distance = 321.0;
    const double pi = COrbitCamera::kPi;
    const std::pair<COrbitCamera::CameraPreset, std::array<double, 2>> presets[] = {
        {COrbitCamera::kShowXY, {-pi / 2, pi / 2}},
        {COrbitCamera::kShowXZ, {-pi / 2, 0}},
        {COrbitCamera::kShowYZ, {0, 0}},
        {COrbitCamera::kShow3DRef, {-3 * pi / 4, pi / 4}},
    };
    for (const auto& [preset, angles] : presets) {
        camera.ApplyPreset(preset);
        EXPECT_EQ(camera.m_azimuth, angles[0]);
        EXPECT_EQ(camera.m_elevation, angles[1]);
        EXPECT_EQ(camera.m_distance, 321.0);
    }
}
