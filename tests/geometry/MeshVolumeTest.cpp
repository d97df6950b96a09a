#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "MeshShapes.h"
#include "MeshVolume.h"

namespace {

TEST(MeshVolumeTest, ClosedMeshesEncloseTheirAnalyticVolume) {
    const double icosahedronEdge = 4.0 / std::sqrt(10.0 + 2.0 * std::sqrt(5.0));
    struct Case {
        const char* what;
        CMeshObject mesh;
        double expected;
        double tolerance;
    };
    const Case cases[] = {
        {"unit cube", BoxMesh("cube", {0, 0, 0}, {1, 1, 1}), 1.0, 1e-12},
        {"box far from the origin", BoxMesh("box", {1e5, -2e5, 3e5}, {1e5 + 2, -2e5 + 3, 3e5 + 4}), 24.0,
         1e-9},
        // 5/12 (3 + sqrt 5) a^3 for edge a; a unit circumradius gives the edge above.
        {"icosahedron", IcosphereMesh("ico", 0, 1.0),
         5.0 / 12.0 * (3.0 + std::sqrt(5.0)) * std::pow(icosahedronEdge, 3), 1e-12},
        // Inscribed in the sphere: a little less than 4/3 pi r^3, within 0.25 % at this fineness.
        {"icosphere", IcosphereMesh("sphere", 4, 10.0, {5, 6, 7}), 4.0 / 3.0 * std::numbers::pi * 1000.0,
         10.5},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ASSERT_TRUE(CMeshVolume::IsWatertight(c.mesh));
        const std::optional<double> volume = CMeshVolume::Enclosed(c.mesh);
        ASSERT_TRUE(volume.has_value());
        EXPECT_NEAR(*volume, c.expected, c.tolerance);
    }
    // The sphere's polyhedron lies inside the sphere.
    EXPECT_LT(*CMeshVolume::Enclosed(IcosphereMesh("s", 4, 10.0)), 4.0 / 3.0 * std::numbers::pi * 1000.0);

    // Faces turned inward give the same volume.
    CMeshObject inward = BoxMesh("cube", {0, 0, 0}, {2, 1, 1});
    for (Triangle& t : inward.m_triangles) std::swap(t.v[1], t.v[2]);
    EXPECT_DOUBLE_EQ(CMeshVolume::Enclosed(inward).value_or(-1), 2.0);
}

TEST(MeshVolumeTest, MeshesThatAreNotClosedHaveNoVolume) {
    // A tube: the cube without its two z faces.
    CMeshObject tube = BoxMesh("tube", {0, 0, 0}, {1, 1, 1});
    tube.m_triangles.erase(tube.m_triangles.begin(), tube.m_triangles.begin() + 4);
    CMeshObject oneFlipped = BoxMesh("flipped", {0, 0, 0}, {1, 1, 1});
    std::swap(oneFlipped.m_triangles[0].v[1], oneFlipped.m_triangles[0].v[2]);
    CMeshObject doubled = BoxMesh("doubled", {0, 0, 0}, {1, 1, 1});
    doubled.m_triangles.push_back(doubled.m_triangles[0]);
    doubled.m_triangles.push_back(doubled.m_triangles[1]);
    CMeshObject badIndex = BoxMesh("bad", {0, 0, 0}, {1, 1, 1});
    badIndex.m_triangles[3].v[2] = 8;
    CMeshObject repeated = BoxMesh("repeated", {0, 0, 0}, {1, 1, 1});
    repeated.m_triangles[0].v[1] = repeated.m_triangles[0].v[0];
    for (const CMeshObject& mesh : {tube, oneFlipped, doubled, badIndex, repeated, CMeshObject("empty")}) {
        SCOPED_TRACE(mesh.m_name);
        EXPECT_FALSE(CMeshVolume::IsWatertight(mesh));
        EXPECT_FALSE(CMeshVolume::Enclosed(mesh).has_value());
    }
}

}  // namespace
