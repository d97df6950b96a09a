#include "RenderFixture.h"

#include <GL/glu.h>

#include <cmath>
#include <cstdlib>

#include "TempFolder.h"
#include "TestData.h"

void RenderFixture::SetUp() {
    if (!m_context.Create(kWidth, kHeight)) GTEST_SKIP() << "no offscreen OpenGL: " << m_context.ErrorText();
    m_renderer.InitGLState();
    m_camera.m_distance = 800.0;
    m_renderer.Resize(m_camera, kWidth, kHeight);
}

void RenderFixture::TearDown() {
    if (m_context.MakeCurrent()) m_renderer.ReleaseResources();
}

void RenderFixture::LoadVolume(int sizeX, int sizeY, int sizeZ, int frames, double pixelSize[3],
                               const std::vector<uint16_t>& samples) {
    TviContents tvi = TviVolume(sizeX, sizeY, sizeZ, frames);
    tvi.SetCalibration(pixelSize[0], pixelSize[1], pixelSize[2], tvi.frameTime);
    tvi.samples = samples;
    TempFolder folder;
    ASSERT_TRUE(WriteTviFile(folder.File("v.tvi"), tvi));
    m_volume.Clear();
    ASSERT_TRUE(m_volume.LoadFile(folder.File("v.tvi"), 1.0));
    ASSERT_EQ(m_volume.SaturationLevel(), 255) << "test volumes need a largest sample of 255";
}

void RenderFixture::Refresh(int x, int y, int z, int frame) {
    const CTimeVolume& v = m_volume;
    m_state.m_extent[0] = v.SizeX() * v.PixelSizeX();
    m_state.m_extent[1] = v.SizeY() * v.PixelSizeY();
    m_state.m_extent[2] = v.SizeZ() * v.PixelSizeZ();
    for (int i = 0; i < 3; ++i) m_camera.m_target[static_cast<size_t>(i)] = m_state.m_extent[i] / 2.0;
    m_state.m_slicePos[0] = (x + 0.5) / v.SizeX();
    m_state.m_slicePos[1] = (y + 0.5) / v.SizeY();
    m_state.m_slicePos[2] = (z + 0.5) / v.SizeZ();
    m_state.m_meshFrame = frame;
    const int index[3] = {x, y, z};
    for (int plane = 0; plane < 3; ++plane) {
        CSliceImage image = m_volume.GetSlice(plane, index[plane], frame, true);
        ASSERT_GT(image.m_width, 0);
        m_renderer.SetSliceTexture(m_state, plane, image.m_height, image.m_width, image.m_data);
        FreeSliceImage(image);
    }
}

void RenderFixture::BeginFrame() {
    ASSERT_EQ(m_renderer.BeginFrame(m_camera), static_cast<GLenum>(GL_NO_ERROR));
    glGetDoublev(GL_MODELVIEW_MATRIX, m_modelView);
    glGetDoublev(GL_PROJECTION_MATRIX, m_projection);
    glGetIntegerv(GL_VIEWPORT, m_viewport);
}

void RenderFixture::Draw() {
    BeginFrame();
    m_renderer.DrawScene(m_state);
    m_pixels = m_renderer.ReadFrameBuffer(kWidth, kHeight);
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
}

std::array<double, 2> RenderFixture::Project(double x, double y, double z) const {
    double wx = 0, wy = 0, wz = 0;
    gluProject(x, y, z, m_modelView, m_projection, m_viewport, &wx, &wy, &wz);
    return {wx, kHeight - wy};
}

RenderFixture::Colour RenderFixture::PixelAt(int x, int y) const {
    if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return {-1, -1, -1};
    const size_t at = (static_cast<size_t>(kHeight - 1 - y) * kWidth + static_cast<size_t>(x)) * 4;
    return {m_pixels[at + 2], m_pixels[at + 1], m_pixels[at]};
}

RenderFixture::Colour RenderFixture::PixelAtWorld(double x, double y, double z) const {
    const auto p = Project(x, y, z);
    return PixelAt(static_cast<int>(std::floor(p[0])), static_cast<int>(std::floor(p[1])));
}

bool RenderFixture::FindColourNear(double x, double y, int radius, Colour colour, int tolerance) const {
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx)
            if (ColoursNear(PixelAt(static_cast<int>(x) + dx, static_cast<int>(y) + dy), colour, tolerance))
                return true;
    return false;
}

int RenderFixture::CountNonBackground(Colour background) const {
    int count = 0;
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x)
            if (!ColoursNear(PixelAt(x, y), background, 0)) ++count;
    return count;
}

::testing::AssertionResult ColoursNear(const RenderFixture::Colour& a, const RenderFixture::Colour& e,
                                       int tolerance) {
    if (std::abs(a.r - e.r) <= tolerance && std::abs(a.g - e.g) <= tolerance && std::abs(a.b - e.b) <= tolerance)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "colour (" << a.r << ", " << a.g << ", " << a.b << ") is not within "
                                         << tolerance << " of (" << e.r << ", " << e.g << ", " << e.b << ")";
}
