#pragma once

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "OffscreenContext.h"
#include "OrbitCamera.h"
#include "SceneRenderer.h"
#include "SceneState.h"
#include "TimeVolume.h"

// Draws scenes into an offscreen context and reads them back, with the
// projection of world points to pixels, so tests can check what a person
// would see at a given place.
class RenderFixture : public ::testing::Test {
public:
    struct Colour {
        int r, g, b;
    };

protected:

    void SetUp() override;
    void TearDown() override;

    // Builds a volume from samples that map 1:1 to grey values (the largest
    // sample is 255 and the saturation 1.0).
    void LoadVolume(int sizeX, int sizeY, int sizeZ, int frames, double pixelSize[3],
                    const std::vector<uint16_t>& samples);
    // What the main frame does on a refresh: box, target, plane positions
    // and the three textures of frame `frame` at voxel (x, y, z).
    void Refresh(int x, int y, int z, int frame = 0);
    // Starts a frame and keeps its camera matrices for Project.
    void BeginFrame();
    // Draws one frame and keeps its pixels and its camera matrices.
    void Draw();

    // Window coordinates (x right, y down from the top) of world point p.
    std::array<double, 2> Project(double x, double y, double z) const;
    Colour PixelAt(int x, int y) const;
    Colour PixelAtWorld(double x, double y, double z) const;
    // True when some pixel within `radius` of (x, y) has `colour` (each
    // channel within `tolerance`).
    bool FindColourNear(double x, double y, int radius, Colour colour, int tolerance) const;
    // Number of pixels whose colour differs from the clear colour.
    int CountNonBackground(Colour background) const;

    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;

    COffscreenContext m_context;
    CSceneRenderer m_renderer;
    COrbitCamera m_camera;
    CSceneState m_state;
    CTimeVolume m_volume;
    std::vector<uint8_t> m_pixels;  // BGRA, bottom row first
    double m_modelView[16] = {};
    double m_projection[16] = {};
    int m_viewport[4] = {};
};

::testing::AssertionResult ColoursNear(const RenderFixture::Colour& actual, const RenderFixture::Colour& expected,
                                       int tolerance);
