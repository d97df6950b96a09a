#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "MeshObject.h"

namespace {

CMeshObject ObjectWithVertices(std::initializer_list<Vec3d> vertices) {
    CMeshObject object("test-0");
    object.m_vertices = vertices;
    return object;
}

void ExpectNear(const Vec3d& actual, const Vec3d& expected, const std::string& what) {
    EXPECT_NEAR(actual.x, expected.x, 1e-12) << what;
    EXPECT_NEAR(actual.y, expected.y, 1e-12) << what;
    EXPECT_NEAR(actual.z, expected.z, 1e-12) << what;
}

}  // namespace

TEST(MeshObject, FrameNumberAndBaseNameSplitAtTheLastDash) {
    struct Case {
        const char* name;
        int frame;
        const char* base;
    };
    for (const Case& c :
         {Case{"heart-07", 7, "heart"}, Case{"a-b-12x", 12, "a-b"}, Case{"heart-", 0, "heart"},
          Case{"heart", -1, "heart"}, Case{"-3", 3, ""}, Case{"lv-+4", 4, "lv"}, Case{"noname", -1, "noname"},
          Case{"x-99999999999", 2147483647, "x"}}) {
        CMeshObject object(c.name);
        EXPECT_EQ(object.FrameNumber(), c.frame) << c.name;
        EXPECT_EQ(object.BaseName(), c.base) << c.name;
    }
}

TEST(MeshObject, CentroidSizeOfTheCentredUnitSquareAndCube) {
    CMeshObject square = ObjectWithVertices({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}});
    ExpectNear(square.Centroid(), {0.5, 0.5, 0}, "square centroid");
    square.Translate(square.Centroid() * -1.0);
    EXPECT_DOUBLE_EQ(square.CentroidSize(), 1.4142135623730951);

    CMeshObject cube;
    for (int i = 0; i < 8; ++i)
        cube.m_vertices.push_back({i & 1 ? 7.0 : 5.0, i & 2 ? 3.0 : 1.0, i & 4 ? 0.0 : -2.0});
    ExpectNear(cube.Centroid(), {6, 2, -1}, "cube centroid");
    cube.Translate(cube.Centroid() * -1.0);
    EXPECT_DOUBLE_EQ(cube.CentroidSize(), std::sqrt(24.0));

    CMeshObject empty;
    EXPECT_EQ(empty.Centroid(), (Vec3d{0, 0, 0}));
    EXPECT_EQ(empty.CentroidSize(), 0.0);
}

TEST(MeshObject, NormalsAverageTriangleDirectionsWhateverTheirArea) {
    // A small triangle facing +z and a large one facing +x share vertex 0;
    // with weight 1 each, vertex 0 points half way between.
    CMeshObject object = ObjectWithVertices({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 100, 0}, {0, 0, 100}});
    object.m_triangles = {{{0, 1, 2}}, {{0, 3, 4}}};
    object.ComputeNormals();
    ASSERT_EQ(object.m_normals.size(), 5u);
    const double h = std::sqrt(0.5);
    ExpectNear(object.m_normals[0], {h, 0, h}, "shared vertex");
    ExpectNear(object.m_normals[1], {0, 0, 1}, "small triangle");
    ExpectNear(object.m_normals[4], {1, 0, 0}, "large triangle");

    // Computing again gives the same, not a second set appended.
    object.ComputeNormals();
    EXPECT_EQ(object.m_normals.size(), 5u);
}

TEST(MeshObject, DegenerateNormalsAreZeroNotNaN) {
    // Vertex 3 belongs to no triangle; triangle 0 1 2 has no area; triangle
    // 4 5 6 names an index (9) outside the list and is left out.
    CMeshObject object =
        ObjectWithVertices({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}, {5, 5, 5}, {0, 0, 0}, {1, 0, 0}});
    object.m_triangles = {{{0, 1, 2}}, {{4, 5, 9}}, {{-1, 4, 5}}};
    object.ComputeNormals();
    for (size_t i = 0; i < object.m_normals.size(); ++i)
        EXPECT_EQ(object.m_normals[i], (Vec3d{0, 0, 0})) << "vertex " << i;
}

TEST(MeshObject, ZCapClosesBothEndsOfATube) {
    CMeshObject object;
    object.m_vertices.resize(100);
    object.m_triangles = {{{0, 1, 25}}};
    testing::internal::CaptureStdout();
    object.ZCap();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "***** Z-capping: assuming 25 nodes per slice! *****\n");
    ASSERT_EQ(object.m_triangles.size(), 47u);
    // (2,1,0) ... (24,23,0), then (99,98,97) ... (99,76,75).
    for (int i = 2; i <= 24; ++i) {
        EXPECT_EQ(object.m_triangles[static_cast<size_t>(i - 1)], (Triangle{{i, i - 1, 0}}));
        EXPECT_EQ(object.m_triangles[static_cast<size_t>(i + 22)], (Triangle{{99, 100 - i, 99 - i}}));
    }
    // Each use caps again.
    testing::internal::CaptureStdout();
    object.ZCap();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(object.m_triangles.size(), 93u);
}

TEST(MeshObject, ZCapLeavesAnObjectSmallerThanOneContourUncapped) {
    for (size_t count : {0u, 3u, 24u}) {
        CMeshObject object("lv-03");
        object.m_vertices.resize(count);
        testing::internal::CaptureStdout();
        object.ZCap();
        const std::string output = testing::internal::GetCapturedStdout();
        EXPECT_TRUE(object.m_triangles.empty()) << count << " vertices";
        EXPECT_EQ(std::count(output.begin(), output.end(), '\n'), 1) << output;
        EXPECT_NE(output.find("lv-03"), std::string::npos) << output;
    }
    CMeshObject exactlyOne;
    exactlyOne.m_vertices.resize(25);
    testing::internal::CaptureStdout();
    exactlyOne.ZCap();
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(exactlyOne.m_triangles.size(), 46u);
    EXPECT_EQ(exactlyOne.m_triangles[23], (Triangle{{24, 23, 22}}));
}
