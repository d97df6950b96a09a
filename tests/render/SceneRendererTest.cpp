#include <GL/gl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "ColourBar.h"
#include "ColourMap.h"
#include "LabelImage.h"
#include "LetterGlyphs.h"
#include "LabelPalette.h"
#include "RenderFixture.h"
#include "SceneGeometry.h"

namespace {

// A 16 x 8 x 4 volume of 10 x 10 x 20 mm voxels, grey 40, with one marker in
// each plane through the current voxel (x, y, z) = (10, 5, 2), which itself is
// 255. The current voxel's data column is X-1-x = 5 and its data row Y-1-y = 2.
constexpr int kX = 16, kY = 8, kZ = 4;
struct Marker {
    int column, row, slice, grey;
};
constexpr Marker kCurrent = {5, 2, 2, 255};
constexpr Marker kXYMarker = {3, 5, 2, 200};  // in slice 2
constexpr Marker kXZMarker = {1, 2, 3, 150};  // in data row 2
constexpr Marker kYZMarker = {5, 6, 3, 100};  // in data column 5
constexpr double kPixelSize[3] = {10, 10, 20};

RenderFixture::Colour MapColour(EColourMap map, int level) {
    const auto& entry = ColourMapTable(map)[static_cast<size_t>(level)];
    return {entry[0], entry[1], entry[2]};
}

// World millimetres of a voxel centre.
std::array<double, 3> World(const Marker& m) {
    return {(m.column + 0.5) * kPixelSize[0], (kY - m.row - 0.5) * kPixelSize[1], (m.slice + 0.5) * kPixelSize[2]};
}

class SceneRendererTest : public RenderFixture {
protected:
    void SetUp() override {
        RenderFixture::SetUp();
        if (IsSkipped()) return;
        std::vector<uint16_t> samples(kX * kY * kZ, 40);
        for (const Marker& m : {kCurrent, kXYMarker, kXZMarker, kYZMarker})
            samples[static_cast<size_t>((m.slice * kY + m.row) * kX + m.column)] = static_cast<uint16_t>(m.grey);
        double pixelSize[3] = {kPixelSize[0], kPixelSize[1], kPixelSize[2]};
        LoadVolume(kX, kY, kZ, 1, pixelSize, samples);
        m_state.m_bilinear = false;
        m_state.m_showBoundingBox = false;
    }
    void ExpectGrey(const Marker& m, int grey, const std::string& where) { ExpectColour(m, {grey, grey, grey}, where); }
    void ExpectColour(const Marker& m, const Colour& colour, const std::string& where) {
        const auto p = World(m);
        EXPECT_TRUE(ColoursNear(PixelAtWorld(p[0], p[1], p[2]), colour, 1))
            << where << ": voxel " << m.column << "," << m.row << "," << m.slice;
    }
};

}  // namespace

TEST_F(SceneRendererTest, EmptySceneShowsTheClearColourOnly) {
    Draw();
    EXPECT_EQ(CountNonBackground({0, 0, 0}), 0);
    m_renderer.SetClearColor(1, 1, 1);
    Draw();
    EXPECT_EQ(CountNonBackground({255, 255, 255}), 0);
}

TEST_F(SceneRendererTest, PlanesShowEachVoxelWhereItLies) {
    for (bool rectangle : {false, true}) {
        m_state.m_alternateTexturing = rectangle;
        m_state.m_textureTarget = rectangle ? CSceneState::kTextureRectangle : GL_TEXTURE_2D;
        Refresh(10, 5, 2);
        const std::string mode = rectangle ? "rectangle textures" : "2-D textures";

        m_camera.ApplyPreset(COrbitCamera::kShowXY);
        Draw();
        ExpectGrey(kXYMarker, 200, "top view, " + mode);
        ExpectGrey({8, 6, 2, 0}, 40, "top view, " + mode);
        // The top view shows x to the right and y up the screen.
        const auto origin = Project(0, 0, 50), right = Project(100, 0, 50), up = Project(0, 100, 50);
        EXPECT_GT(right[0], origin[0] + 40);
        EXPECT_NEAR(right[1], origin[1], 1.0);
        EXPECT_LT(up[1], origin[1] - 40);

        m_camera.ApplyPreset(COrbitCamera::kShowXZ);
        Draw();
        ExpectGrey(kXZMarker, 150, "front view, " + mode);
        ExpectGrey({10, 2, 1, 0}, 40, "front view, " + mode);

        m_camera.ApplyPreset(COrbitCamera::kShowYZ);
        Draw();
        ExpectGrey(kYZMarker, 100, "side view, " + mode);
        ExpectGrey({5, 1, 0, 0}, 40, "side view, " + mode);

        m_camera.ApplyPreset(COrbitCamera::kShow3DRef);
        Draw();
        ExpectGrey(kXYMarker, 200, "oblique view, " + mode);
        ExpectGrey(kXZMarker, 150, "oblique view, " + mode);
        ExpectGrey(kYZMarker, 100, "oblique view, " + mode);
    }
}

TEST_F(SceneRendererTest, ThePlanesMeetAtTheCurrentVoxel) {
    Refresh(10, 5, 2);
    m_camera.ApplyPreset(COrbitCamera::kShow3DRef);
    m_camera.m_distance = 300;
    Draw();
    // The current voxel's faces on each plane, just off the common edge lines.
    const auto c = World(kCurrent);
    EXPECT_TRUE(ColoursNear(PixelAtWorld(c[0] - 3, c[1] - 3, c[2]), {255, 255, 255}, 1)) << "XY plane";
    EXPECT_TRUE(ColoursNear(PixelAtWorld(c[0] - 3, c[1], c[2] + 5), {255, 255, 255}, 1)) << "XZ plane";
    EXPECT_TRUE(ColoursNear(PixelAtWorld(c[0], c[1] - 3, c[2] + 5), {255, 255, 255}, 1)) << "YZ plane";
}

TEST_F(SceneRendererTest, BrightnessAndContrastActOnUploads) {
    m_camera.ApplyPreset(COrbitCamera::kShowXY);
    m_renderer.SetBrightnessContrast(1.0, 0.5);
    Refresh(10, 5, 2);
    Draw();
    ExpectGrey(kXYMarker, 255, "brightness 1");
    ExpectGrey({8, 6, 2, 0}, 255, "brightness 1");
    // The background is untouched: the transfer only concerns the slices.
    EXPECT_TRUE(ColoursNear(PixelAt(2, 2), {0, 0, 0}, 0));

    m_renderer.SetBrightnessContrast(0.5, 0.0);
    Refresh(10, 5, 2);
    Draw();
    ExpectGrey(kXYMarker, 128, "contrast 0");
    ExpectGrey({8, 6, 2, 0}, 128, "contrast 0");

    m_renderer.SetBrightnessContrast(0.5, 0.5);
    Refresh(10, 5, 2);
    Draw();
    ExpectGrey(kXYMarker, 200, "neutral");
    ExpectGrey({8, 6, 2, 0}, 40, "neutral");
}

TEST_F(SceneRendererTest, ReadBackIsTheFrameOnScreenBottomRowFirst) {
    m_camera.ApplyPreset(COrbitCamera::kShowXY);
    Refresh(10, 5, 2);
    m_renderer.SetBrightnessContrast(1.0, 0.5);  // acts on later uploads only
    BeginFrame();
    m_renderer.DrawScene(m_state);
    // Mark the bottom row so its place in the buffer shows.
    glEnable(GL_SCISSOR_TEST);
    glScissor(0, 0, kWidth, 1);
    glClearColor(1, 0, 0, 1);
    glClear(GL_COLOR_BUFFER_BIT);
    glDisable(GL_SCISSOR_TEST);

    // What is on screen, read without any pixel transfer.
    glPixelTransferf(GL_RED_BIAS, 0);
    glPixelTransferf(GL_GREEN_BIAS, 0);
    glPixelTransferf(GL_BLUE_BIAS, 0);
    std::vector<uint8_t> screen(kWidth * kHeight * 4);
    glReadPixels(0, 0, kWidth, kHeight, GL_BGRA, GL_UNSIGNED_BYTE, screen.data());
    m_renderer.SetBrightnessContrast(1.0, 0.5);

    const std::vector<uint8_t> read = m_renderer.ReadFrameBuffer(kWidth, kHeight);
    ASSERT_EQ(read.size(), 320u * 240u * 4u);
    // The colours are the frame's; the alpha is opaque, as the screen is.
    size_t differing = 0, transparent = 0;
    for (size_t i = 0; i < read.size(); i += 4) {
        differing += read[i] != screen[i] || read[i + 1] != screen[i + 1] || read[i + 2] != screen[i + 2];
        transparent += read[i + 3] != 255;
    }
    EXPECT_EQ(differing, 0u) << "pixels of the read-back differ from the frame";
    EXPECT_EQ(transparent, 0u) << "pixels of the read-back are not opaque";
    EXPECT_EQ(screen[(kHeight - 1) * kWidth * 4 + 3], 0) << "the cleared buffer itself is transparent";
    EXPECT_EQ(read[0], 0);    // blue
    EXPECT_EQ(read[1], 0);    // green
    EXPECT_EQ(read[2], 255);  // red
    // A slice voxel keeps its grey rather than the brightened white.
    m_pixels = read;
    const auto p = World(kXYMarker);
    const auto at = Project(p[0], p[1], p[2]);
    EXPECT_TRUE(ColoursNear(PixelAt(static_cast<int>(at[0]), static_cast<int>(at[1])), {200, 200, 200}, 1));
    // And the later read-back still leaves the transfer in force for uploads.
    Refresh(10, 5, 2);
    Draw();
    ExpectGrey(kXYMarker, 255, "upload after read-back");
}

TEST_F(SceneRendererTest, OutlinesAndBoundingBox) {
    Refresh(10, 5, 2);
    m_camera.ApplyPreset(COrbitCamera::kShow3DRef);
    m_state.m_showBoundingBox = true;
    Draw();
    const auto boxEdge = Project(80, 0, 80);
    EXPECT_TRUE(FindColourNear(boxEdge[0], boxEdge[1], 2, {0, 0, 178}, 40)) << "bounding box";

    m_state.m_colourCoding = true;
    Draw();
    EXPECT_FALSE(FindColourNear(boxEdge[0], boxEdge[1], 2, {0, 0, 178}, 60)) << "box hidden by colour coding";
    const auto yzEdge = Project(55, 40, 80);   // top edge of the YZ plane
    const auto xzEdge = Project(80, 55, 80);   // top edge of the XZ plane
    const auto xyEdge = Project(160, 40, 50);  // far edge of the XY plane
    EXPECT_TRUE(FindColourNear(yzEdge[0], yzEdge[1], 2, {255, 0, 0}, 60)) << "YZ outline";
    EXPECT_TRUE(FindColourNear(xzEdge[0], xzEdge[1], 2, {0, 178, 0}, 60)) << "XZ outline";
    EXPECT_TRUE(FindColourNear(xyEdge[0], xyEdge[1], 2, {0, 0, 178}, 60)) << "XY outline";
}

TEST_F(SceneRendererTest, AxesAreRedGreenBlueArrowsAtTheOrigin) {
    Refresh(10, 5, 2);
    for (bool& shown : m_state.m_showPlane) shown = false;
    m_state.m_showAxes = true;
    m_camera.ApplyPreset(COrbitCamera::kShow3DRef);
    m_camera.m_target = {0, 0, 0};
    m_camera.m_distance = 120;
    Draw();
    EXPECT_TRUE(ColoursNear(PixelAtWorld(5, 0, 0), {153, 0, 0}, 2)) << "x axis";
    EXPECT_TRUE(ColoursNear(PixelAtWorld(0, 5, 0), {0, 153, 0}, 2)) << "y axis";
    EXPECT_TRUE(ColoursNear(PixelAtWorld(0, 0, 5), {0, 0, 153}, 2)) << "z axis";
    EXPECT_TRUE(ColoursNear(PixelAtWorld(6, -6, 0), {0, 0, 0}, 0)) << "between the axes";
}

TEST_F(SceneRendererTest, DownArrowMakesTheUprightPlanesTranslucent) {
    Refresh(10, 5, 2);
    m_state.StepPlaneAlpha(false);
    m_state.StepPlaneAlpha(false);
    m_camera.ApplyPreset(COrbitCamera::kShowXZ);
    Draw();
    ExpectGrey(kXZMarker, 135, "XZ plane at 0.9 over black");
    m_camera.ApplyPreset(COrbitCamera::kShowXY);
    Draw();
    ExpectGrey(kXYMarker, 200, "XY plane stays opaque");
}

TEST_F(SceneRendererTest, PlaneTransformsMatchTheBoxPlacement) {
    for (int plane = 0; plane < 3; ++plane) {
        glMatrixMode(GL_MODELVIEW);
        glLoadIdentity();
        CSceneRenderer::ApplyPlaneTransform(plane, 0.3);
        double m[16];
        glGetDoublev(GL_MODELVIEW_MATRIX, m);
        for (double u : {0.0, 0.25, 1.0})
            for (double v : {0.0, 0.6, 1.0}) {
                const auto expected = PlaneLocalToBox(plane, 0.3, u, v);
                for (int row = 0; row < 3; ++row) {
                    const double actual = m[row] * u + m[4 + row] * v + m[12 + row];
                    EXPECT_NEAR(actual, expected[static_cast<size_t>(row)], 1e-6)
                        << "plane " << plane << " local " << u << "," << v << " axis " << row;
                }
            }
    }
}

TEST_F(SceneRendererTest, RepeatedRefreshesKeepOneTexturePerPlane) {
    ASSERT_TRUE(m_context.Resize(32, 24));
    m_renderer.Resize(m_camera, 32, 24);
    m_state.m_showAxes = true;
    for (int i = 0; i < 10000; ++i) {
        Refresh(i % kX, i % kY, i % kZ);
        m_renderer.RenderFrame(m_camera, m_state);
    }
    ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
    // Every name ever handed out lies at or below the newest ones.
    const GLuint newest = std::max({m_renderer.Texture(0), m_renderer.Texture(1), m_renderer.Texture(2), 1000u});
    int textures = 0, lists = 0;
    for (GLuint name = 1; name <= newest; ++name) {
        textures += glIsTexture(name) ? 1 : 0;
        lists += glIsList(name) ? 1 : 0;
    }
    EXPECT_EQ(textures, 3);
    EXPECT_EQ(lists, 1);
    m_renderer.ReleaseResources();
    for (GLuint name = 1; name <= newest; ++name) ASSERT_FALSE(glIsTexture(name) || glIsList(name)) << name;
}

namespace {

// A cube of edge 40 mm round (80, 40, 40), triangles counter-clockwise seen
// from outside, for frame 0.
CMeshObject Cube() {
    CMeshObject cube("cube-00");
    for (int i = 0; i < 8; ++i)
        cube.m_vertices.push_back({i & 1 ? 100.0 : 60.0, i & 2 ? 60.0 : 20.0, i & 4 ? 60.0 : 20.0});
    const int faces[6][4] = {{0, 2, 3, 1}, {4, 5, 7, 6}, {0, 1, 5, 4}, {2, 6, 7, 3}, {0, 4, 6, 2}, {1, 3, 7, 5}};
    for (const auto& f : faces) {
        cube.m_triangles.push_back(Triangle{{f[0], f[1], f[2]}});
        cube.m_triangles.push_back(Triangle{{f[0], f[2], f[3]}});
    }
    cube.ComputeNormals();
    return cube;
}

class MeshRenderingTest : public SceneRendererTest {
protected:
    void SetUp() override {
        SceneRendererTest::SetUp();
        if (IsSkipped()) return;
        Refresh(10, 5, 2);
        m_state.m_meshes.AddObject(Cube());
        m_state.m_drawGeometry = true;
        for (bool& shown : m_state.m_showPlane) shown = false;
        m_camera.ApplyPreset(COrbitCamera::kShow3DRef);
        m_camera.m_distance = 300;
    }
    int CountRed() const {
        int count = 0;
        for (int y = 0; y < kHeight; ++y)
            for (int x = 0; x < kWidth; ++x) {
                const Colour c = PixelAt(x, y);
                if (c.r > 40 && c.r > c.g + 30) ++count;
            }
        return count;
    }
    static bool IsRed(const Colour& c) { return c.r > 40 && c.r > c.g + 30 && std::abs(c.g - c.b) <= 2; }
};

}  // namespace

TEST_F(MeshRenderingTest, SurfacesAreLitInRedShades) {
    Draw();
    const Colour front = PixelAtWorld(80, 20, 40);
    const Colour top = PixelAtWorld(80, 40, 60);
    EXPECT_TRUE(IsRed(front)) << front.r << "," << front.g << "," << front.b;
    EXPECT_TRUE(IsRed(top)) << top.r << "," << top.g << "," << top.b;
    const int filled = CountRed();
    EXPECT_GT(filled, 2000);

    m_state.m_wireframe = true;
    Draw();
    const auto edge = Project(80, 20, 60);
    EXPECT_TRUE(FindColourNear(edge[0], edge[1], 2, {178, 0, 0}, 50)) << "wireframe edge";
    EXPECT_LT(CountRed(), filled / 2) << "wireframe fills the faces";
}

TEST_F(MeshRenderingTest, PointsOnlyDrawsTheVerticesAndTheMarker) {
    m_state.m_pointsOnly = true;
    Draw();
    const auto corner = Project(100, 20, 60);
    EXPECT_TRUE(FindColourNear(corner[0], corner[1], 1, {178, 0, 0}, 10)) << "vertex point";
    EXPECT_FALSE(IsRed(PixelAtWorld(80, 20, 40))) << "face centre";
    const int red = CountRed();
    EXPECT_GT(red, 8 * 4);
    EXPECT_LT(red, 8 * 9 + 200);
}

TEST_F(MeshRenderingTest, AMarkerSphereSitsOnTheFirstVertex) {
    CMeshObject dot("dot-00");
    dot.m_vertices = {{30, 30, 30}};
    m_state.m_meshes = CMeshSet();
    m_state.m_meshes.AddObject(dot);
    Draw();
    EXPECT_TRUE(IsRed(PixelAtWorld(30, 30, 30)));
    // Radius 1 mm at 300 mm: a disc of about 3 pixels across.
    const int red = CountRed();
    EXPECT_GT(red, 4);
    EXPECT_LT(red, 60);
}

TEST_F(MeshRenderingTest, ClippingKeepsOnlyTheContoursInTheShownPlanes) {
    Draw();
    EXPECT_TRUE(IsRed(PixelAtWorld(80, 20, 57))) << "unclipped front face";

    for (bool& shown : m_state.m_showPlane) shown = true;
    m_state.m_clipGeometry = true;
    Draw();
    // The XY plane lies at z = 50: the cube's front face crosses it along y = 20.
    const auto contour = Project(80, 20, 50);
    EXPECT_TRUE(FindColourNear(contour[0], contour[1], 2, {178, 0, 0}, 50)) << "contour in the XY plane";
    EXPECT_FALSE(IsRed(PixelAtWorld(80, 20, 57))) << "front face off the planes";
    EXPECT_FALSE(IsRed(PixelAtWorld(80, 20, 44))) << "front face off the planes";
}

TEST_F(MeshRenderingTest, OnlyTheSelectedObjectOfTheFrameIsDrawn) {
    m_state.m_selectedObject = 1;  // the frame has one object
    Draw();
    EXPECT_EQ(CountRed(), 0);
    m_state.m_selectedObject = 0;
    Draw();
    EXPECT_GT(CountRed(), 2000);
    m_state.m_meshFrame = 1;  // no objects in frame 1
    Draw();
    EXPECT_EQ(CountRed(), 0);
}

TEST_F(MeshRenderingTest, BackFaceCullingRemovesFacesTurnedAway) {
    // One triangle whose front looks down, seen from above.
    CMeshObject sheet("sheet-00");
    sheet.m_vertices = {{40, 40, 40}, {120, 40, 40}, {40, 70, 40}};
    sheet.m_triangles = {Triangle{{0, 2, 1}}};
    sheet.ComputeNormals();
    m_state.m_meshes = CMeshSet();
    m_state.m_meshes.AddObject(sheet);
    Draw();
    const int sides = CountNonBackground({0, 0, 0});
    EXPECT_GT(sides, 500);
    m_renderer.SetBackfaceCulling(true);
    Draw();
    // The marker sphere's front half stays.
    EXPECT_LT(CountNonBackground({0, 0, 0}), 60);
    m_renderer.SetBackfaceCulling(false);
    Draw();
    EXPECT_EQ(CountNonBackground({0, 0, 0}), sides);
}

TEST_F(MeshRenderingTest, AZeroExtentKeepsMeshesAndBox) {
    // A flat mesh loaded alone gets a box of no height; a pixel size of 0
    // flattens the box of a volume. Either way the meshes stay in the picture.
    CMeshObject flat("flat-00");
    flat.m_vertices = {{40, 20, 0}, {120, 20, 0}, {40, 70, 0}};
    flat.m_triangles = {Triangle{{0, 1, 2}}};
    flat.ComputeNormals();
    for (int axis = 0; axis < 3; ++axis) {
        m_state.m_meshes = CMeshSet();
        m_state.m_meshes.AddObject(axis == 2 ? flat : Cube());
        m_state.m_showBoundingBox = true;
        const double saved = m_state.m_extent[axis];
        m_state.m_extent[axis] = 0.0;
        Draw();
        EXPECT_GT(CountRed(), axis == 2 ? 300 : 2000) << "zero extent along axis " << axis;
        GLdouble matrix[16];
        glGetDoublev(GL_MODELVIEW_MATRIX, matrix);
        for (double element : matrix) ASSERT_TRUE(std::isfinite(element)) << "axis " << axis;
        m_state.m_extent[axis] = saved;
    }
}

// Label surfaces take their label's overlay colour (2 green, 3 blue, 25 the
// palette's fifth, cyan); a mesh file's objects stay red, even one named
// like a label's surface. Toggling objects still shows the chosen one alone.
TEST_F(MeshRenderingTest, LabelSurfacesTakeTheirLabelColours) {
    struct Case {
        const char* name;
        int64_t label;
        double shiftX;
        int channel;  // 0 red, 1 green, 2 blue: the strongest one
        int second;   // a channel as strong as the first (cyan), or -1
    };
    const Case cases[] = {{"label2-00", 2, -60, 1, -1},
                          {"label3-00", 3, 0, 2, -1},
                          {"label25-00", 25, 60, 1, 2},
                          {"label2-00", 0, 120, 0, -1}};
    m_state.m_meshes = CMeshSet();
    for (const Case& c : cases) {
        CMeshObject cube = Cube();
        cube.m_name = c.name;
        cube.m_label = c.label;
        cube.Translate({c.shiftX, 0, 0});
        m_state.m_meshes.AddObject(cube);
    }
    m_camera.m_distance = 500;
    const auto strongest = [](const Colour& colour, int channel, int second) {
        const int value[3] = {colour.r, colour.g, colour.b};
        for (int other = 0; other < 3; ++other) {
            if (other == channel) continue;
            if (other == second) {
                if (std::abs(value[other] - value[channel]) > 10) return false;
            } else if (value[channel] < value[other] + 40) {
                return false;
            }
        }
        return true;
    };
    for (int selected : {-1, 1}) {
        m_state.m_selectedObject = selected;
        Draw();
        for (size_t i = 0; i < std::size(cases); ++i) {
            const Case& c = cases[i];
            const Colour front = PixelAtWorld(80 + c.shiftX, 20, 40);
            const bool drawn = selected < 0 || static_cast<int>(i) == selected;
            SCOPED_TRACE(std::string(c.name) + " of label " + std::to_string(c.label) + " selected " +
                         std::to_string(selected));
            EXPECT_EQ(strongest(front, c.channel, c.second), drawn)
                << front.r << "," << front.g << "," << front.b;
            if (!drawn) {
                EXPECT_TRUE(ColoursNear(front, {0, 0, 0}, 0));
            }
        }
    }

    // The colours the user chose win over the palette; a hidden label's
    // surface is not drawn; a mesh file's object stays red whatever label
    // number it would have.
    m_state.m_selectedObject = -1;
    m_state.m_labelColours = {{2, {255, 0, 0, 255}}, {3, {0, 0, 255, 0}}, {0, {0, 255, 0, 255}}};
    Draw();
    const struct {
        double shiftX;
        int channel;  // -1: nothing drawn
        int second;
    } chosen[] = {{-60, 0, -1}, {0, -1, -1}, {60, 1, 2}, {120, 0, -1}};
    for (const auto& c : chosen) {
        const Colour front = PixelAtWorld(80 + c.shiftX, 20, 40);
        SCOPED_TRACE(c.shiftX);
        if (c.channel < 0)
            EXPECT_TRUE(ColoursNear(front, {0, 0, 0}, 0)) << front.r << "," << front.g << "," << front.b;
        else
            EXPECT_TRUE(strongest(front, c.channel, c.second)) << front.r << "," << front.g << "," << front.b;
    }
}

// The label overlay: each plane shows its labels' colours blended over the
// grey at the overlay's opacity, exactly on the labelled voxels, in every
// texturing mode, with the planes pushed back for clipping, and untouched by
// brightness and contrast; label 0 leaves the grey as it is.
TEST_F(SceneRendererTest, LabelOverlayColoursTheLabelledVoxels) {
    // Label 1 (red) on the XY marker, 2 (green) on the XZ marker, 3 (blue) on the YZ marker.
    std::vector<uint8_t> values(kX * kY * kZ, 0);
    const Marker markers[3] = {kXYMarker, kXZMarker, kYZMarker};
    for (int i = 0; i < 3; ++i) {
        const Marker& m = markers[i];
        values[static_cast<size_t>((m.slice * kY + m.row) * kX + m.column)] = static_cast<uint8_t>(i + 1);
    }
    CLabelImage labels;
    std::string error;
    ASSERT_TRUE(labels.Assign(values.data(), kX, kY, kZ, 1, error)) << error;

    struct Case {
        const char* name;
        bool rectangle, clip;
        double opacity, brightness;
        EColourMap map = EColourMap::kGrey;
    };
    const Case cases[] = {
        {"default", false, false, 0.4, 0.5},
        {"rectangle textures", true, false, 0.4, 0.5},
        {"planes pushed back for clipping", false, true, 0.4, 0.5},
        {"opaque, bright", false, false, 1.0, 0.9},
        {"over a colour map", false, false, 0.4, 0.9, EColourMap::kViridis},
    };
    struct View {
        COrbitCamera::CameraPreset preset;
        Marker marker;
        RenderFixture::Colour colour;
        Marker unlabelled;
    };
    const View views[] = {
        {COrbitCamera::kShowXY, kXYMarker, {255, 0, 0}, {8, 6, 2, 40}},
        {COrbitCamera::kShowXZ, kXZMarker, {0, 255, 0}, {10, 2, 1, 40}},
        {COrbitCamera::kShowYZ, kYZMarker, {0, 0, 255}, {5, 1, 0, 40}},
    };
    for (const Case& test : cases) {
        m_state.m_alternateTexturing = test.rectangle;
        m_state.m_textureTarget = test.rectangle ? CSceneState::kTextureRectangle : GL_TEXTURE_2D;
        m_state.m_clipGeometry = test.clip;
        m_state.m_labelOpacity = test.opacity;
        m_state.m_colourMap = test.map;
        m_renderer.SetBrightnessContrast(test.brightness, 0.5);
        Refresh(10, 5, 2);
        const int index[3] = {10, 5, 2};
        for (int plane = 0; plane < 3; ++plane) {
            CSliceImage slice = labels.GetSlice(plane, index[plane], 0, true);
            const std::vector<uint8_t> rgba = CLabelPalette::Colourise(slice, labels.Values());
            m_renderer.SetLabelTexture(m_state, plane, slice.m_height, slice.m_width, rgba.data());
            FreeSliceImage(slice);
        }
        m_renderer.SetBrightnessContrast(0.5, 0.5);
        for (const View& view : views) {
            m_camera.ApplyPreset(view.preset);
            // The grey planes again at neutral brightness; the labels stay as uploaded.
            Refresh(10, 5, 2);
            const auto p = World(view.marker);
            Draw();
            const Colour shown = PixelAtWorld(p[0], p[1], p[2]);
            m_state.m_showLabels = false;
            Draw();
            const Colour hidden = PixelAtWorld(p[0], p[1], p[2]);
            m_state.m_showLabels = true;
            const Colour plane = MapColour(test.map, view.marker.grey);
            const Colour expected = {
                static_cast<int>(std::lround(test.opacity * view.colour.r + (1 - test.opacity) * plane.r)),
                static_cast<int>(std::lround(test.opacity * view.colour.g + (1 - test.opacity) * plane.g)),
                static_cast<int>(std::lround(test.opacity * view.colour.b + (1 - test.opacity) * plane.b))};
            EXPECT_TRUE(ColoursNear(shown, expected, 2)) << test.name << ", label on plane " << view.preset;
            EXPECT_TRUE(ColoursNear(hidden, plane, 1)) << test.name << ", overlay off";
            Draw();
            ExpectColour(view.unlabelled, MapColour(test.map, 40), std::string(test.name) + ", no label");
        }
    }
}

namespace {

// The texels of `texture` as `format` bytes (GL_RED or GL_RGB), packed.
std::vector<uint8_t> ReadTexture(GLenum target, GLuint texture, GLenum format, size_t count) {
    std::vector<uint8_t> texels(count * (format == GL_RGB ? 3 : 1));
    glBindTexture(target, texture);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glGetTexImage(target, 0, format, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

}  // namespace

// A coloured plane takes the map's colour of the level that brightness and
// contrast make of each grey, the level the driver gives a grey plane, and
// the colours go in untouched by them. An odd width checks the row packing.
TEST_F(SceneRendererTest, ColourMapsColourTheLevelsBrightnessAndContrastMake) {
    constexpr int kPlaneWidth = 37, kPlaneHeight = 7;
    constexpr size_t kCount = kPlaneWidth * kPlaneHeight;
    std::vector<uint8_t> ramp(kCount);
    for (size_t i = 0; i < kCount; ++i) ramp[i] = static_cast<uint8_t>(i % 256);
    const EColourMap maps[3] = {EColourMap::kGrey, EColourMap::kHot, EColourMap::kViridis};
    const double settings[][2] = {{0.5, 0.5}, {0.8, 0.5}, {0.3, 0.7}, {0.5, 0.15}, {0.62, 0.33}};
    for (GLenum target : {static_cast<GLenum>(GL_TEXTURE_2D), CSceneState::kTextureRectangle}) {
        m_state.m_textureTarget = target;
        for (const auto& setting : settings) {
            SCOPED_TRACE(testing::Message() << target << ", brightness/contrast " << setting[0] << "/" << setting[1]);
            m_renderer.SetBrightnessContrast(setting[0], setting[1]);
            for (int plane = 0; plane < 3; ++plane) {
                m_state.m_colourMap = maps[plane];
                m_renderer.SetSliceTexture(m_state, plane, kPlaneHeight, kPlaneWidth, ramp.data());
            }
            m_renderer.SetBrightnessContrast(0.5, 0.5);
            const std::vector<uint8_t> levels = ReadTexture(target, m_renderer.Texture(0), GL_RED, kCount);
            ASSERT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
            if (setting[0] != 0.5 || setting[1] != 0.5) {
                EXPECT_NE(levels, ramp) << "the setting changes no level";
            }
            for (int plane = 1; plane < 3; ++plane) {
                const std::vector<uint8_t> rgb = ReadTexture(target, m_renderer.Texture(plane), GL_RGB, kCount);
                size_t wrong = 0;
                for (size_t i = 0; i < 3 * kCount; ++i)
                    wrong += rgb[i] != ColourMapTable(maps[plane])[levels[i / 3]][i % 3] ? 1 : 0;
                EXPECT_EQ(wrong, 0u) << ColourMapInfo(maps[plane]).name;
            }
        }
    }
}

// The bar runs from the map's level 0 at the bottom to 255 at the top inside
// a frame in the letter colour, its end values written in that colour just
// left of its ends; switched off, nothing of it stays.
TEST_F(SceneRendererTest, ColourBarShowsTheMapAndItsEndValues) {
    Refresh(10, 5, 2);
    for (bool& shown : m_state.m_showPlane) shown = false;  // nothing else on screen
    struct Case {
        EColourMap map;
        Colour letter;
        double low, high;
    };
    const Case cases[] = {{EColourMap::kViridis, {255, 255, 0}, -1024, 3071},
                          {EColourMap::kHot, {0, 255, 255}, 0.25, 1234567}};
    const CColourBar::CPlace place = CColourBar::PlaceIn(kWidth, kHeight);
    ASSERT_GT(place.width, 0);
    const auto row = [](int fromBottom) { return kHeight - 1 - fromBottom; };
    const int middle = place.left + place.width / 2, top = place.bottom + place.height;
    for (const Case& c : cases) {
        SCOPED_TRACE(ColourMapInfo(c.map).name);
        m_state.m_colourMap = c.map;
        m_state.m_letterColour[0] = c.letter.r / 255.0;
        m_state.m_letterColour[1] = c.letter.g / 255.0;
        m_state.m_letterColour[2] = c.letter.b / 255.0;
        m_state.m_colourBarLow = c.low;
        m_state.m_colourBarHigh = c.high;
        m_state.m_showColourBar = true;
        Draw();
        EXPECT_TRUE(ColoursNear(PixelAt(middle, row(place.bottom)), MapColour(c.map, 0), 0)) << "bottom";
        EXPECT_TRUE(ColoursNear(PixelAt(middle, row(top - 1)), MapColour(c.map, 255), 0)) << "top";
        EXPECT_TRUE(ColoursNear(PixelAt(place.left - 1, row(place.bottom + 5)), c.letter, 0)) << "frame";
        EXPECT_TRUE(ColoursNear(PixelAt(middle, row(top)), c.letter, 0)) << "frame";
        // Each end value: pixels of the letter colour only, ending just left
        // of the frame, as wide as its text.
        for (const int end : {place.bottom, top}) {
            const std::string text = CColourBar::FormatValue(end == top ? c.high : c.low);
            const int textRight = place.left - 1 - CColourBar::kLabelGap;
            int leftmost = kWidth, rightmost = -1, other = 0;
            for (int y = end - CLetterGlyphs::kHeight; y <= end + CLetterGlyphs::kHeight; ++y)
                for (int x = 0; x < place.left - 1; ++x) {
                    const Colour pixel = PixelAt(x, row(y));
                    if (ColoursNear(pixel, {0, 0, 0}, 0)) continue;
                    other += ColoursNear(pixel, c.letter, 0) ? 0 : 1;
                    leftmost = std::min(leftmost, x);
                    rightmost = std::max(rightmost, x);
                }
            EXPECT_EQ(other, 0) << text;
            EXPECT_NEAR(leftmost, textRight - CLetterGlyphs::TextWidth(text), 1) << text;
            EXPECT_NEAR(rightmost, textRight - 1, 1) << text;
        }
        m_state.m_showColourBar = false;
        Draw();
        EXPECT_EQ(CountNonBackground({0, 0, 0}), 0);
    }
}
