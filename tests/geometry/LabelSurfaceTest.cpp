#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "LabelSurface.h"

namespace {

// A label grid that owns its voxels.
struct Grid {
    int sizeX, sizeY, sizeZ;
    double pixelSize[3];
    std::vector<uint8_t> voxels;

    Grid(int x, int y, int z, double px, double py, double pz)
        : sizeX(x), sizeY(y), sizeZ(z), pixelSize{px, py, pz}, voxels(static_cast<size_t>(x) * y * z, 0) {}
    uint8_t& At(int c, int r, int s) { return voxels[(static_cast<size_t>(s) * sizeY + r) * sizeX + c]; }
    void Fill(int c0, int r0, int s0, int c1, int r1, int s1, uint8_t label) {
        for (int s = s0; s <= s1; ++s)
            for (int r = r0; r <= r1; ++r)
                for (int c = c0; c <= c1; ++c) At(c, r, s) = label;
    }
    CLabelGrid View() const {
        return {voxels.data(), sizeX, sizeY, sizeZ, {pixelSize[0], pixelSize[1], pixelSize[2]}};
    }
    // Where the planes show the centre of voxel (c, r, s).
    Vec3d Centre(double c, double r, double s) const {
        return {(c + 0.5) * pixelSize[0], (sizeY - r - 0.5) * pixelSize[1], (s + 0.5) * pixelSize[2]};
    }
};

// Signed volume enclosed by the triangles: positive when they wind
// counter-clockwise seen from outside.
double SignedVolume(const CMeshObject& object) {
    double volume = 0;
    for (const Triangle& t : object.m_triangles) {
        const Vec3d& a = object.m_vertices[static_cast<size_t>(t.v[0])];
        const Vec3d& b = object.m_vertices[static_cast<size_t>(t.v[1])];
        const Vec3d& c = object.m_vertices[static_cast<size_t>(t.v[2])];
        volume += (a.x * (b.y * c.z - b.z * c.y) - a.y * (b.x * c.z - b.z * c.x) + a.z * (b.x * c.y - b.y * c.x)) / 6;
    }
    return volume;
}

// A closed surface with consistent winding uses every edge once in each direction.
::testing::AssertionResult ClosedAndConsistent(const CMeshObject& object) {
    std::map<std::pair<int, int>, int> edges;
    for (const Triangle& t : object.m_triangles)
        for (int i = 0; i < 3; ++i) ++edges[{t.v[i], t.v[(i + 1) % 3]}];
    for (const auto& [edge, count] : edges) {
        const auto reverse = edges.find({edge.second, edge.first});
        if (count != 1 || reverse == edges.end() || reverse->second != 1)
            return ::testing::AssertionFailure()
                   << "edge " << edge.first << "-" << edge.second << " used " << count << " times, reverse "
                   << (reverse == edges.end() ? 0 : reverse->second) << " times";
    }
    return ::testing::AssertionSuccess();
}

void ExpectNear(const Vec3d& actual, const Vec3d& expected, double tolerance, const std::string& what) {
    EXPECT_NEAR(actual.x, expected.x, tolerance) << what;
    EXPECT_NEAR(actual.y, expected.y, tolerance) << what;
    EXPECT_NEAR(actual.z, expected.z, tolerance) << what;
}

}  // namespace

// Surfaces are closed, outward-wound, centred on the voxels they enclose and
// lie within them, for labels inside the grid and against its borders.
TEST(LabelSurface, SurfacesAreClosedOutwardAndWhereTheVoxelsAre) {
    struct Case {
        const char* name;
        int box[6];              // first and last column, row, slice
        double centreTolerance;  // mm: the vertex mean of a box is not quite its middle
    };
    const Case cases[] = {
        {"one voxel", {2, 1, 1, 2, 1, 1}, 1e-5},
        {"one voxel in a corner", {0, 0, 0, 0, 0, 0}, 1e-5},
        {"box", {1, 1, 0, 4, 2, 2}, 0.02},
        {"box filling the grid", {0, 0, 0, 5, 3, 2}, 0.02},
    };
    for (const Case& test : cases) {
        Grid grid(6, 4, 3, 1.5, 2.0, 3.0);
        const int* b = test.box;
        grid.Fill(b[0], b[1], b[2], b[3], b[4], b[5], 3);
        if (grid.At(5, 3, 2) != 3) grid.At(5, 3, 2) = 1;  // another label does not count
        const CMeshObject object = CLabelSurface::Extract(grid.View(), 3, "label3-00");
        SCOPED_TRACE(test.name);
        EXPECT_EQ(object.m_name, "label3-00");
        ASSERT_FALSE(object.m_triangles.empty());
        EXPECT_TRUE(ClosedAndConsistent(object));
        EXPECT_GT(SignedVolume(object), 0.0);
        ASSERT_EQ(object.m_normals.size(), object.m_vertices.size());

        const Vec3d centre = grid.Centre((b[0] + b[3]) / 2.0, (b[1] + b[4]) / 2.0, (b[2] + b[5]) / 2.0);
        ExpectNear(object.Centroid(), centre, test.centreTolerance, "centroid");
        // Smoothing moves no point more than a quarter voxel off the voxels' faces.
        const Vec3d low = grid.Centre(b[0] - 0.75, b[4] + 0.75, b[2] - 0.75);
        const Vec3d high = grid.Centre(b[3] + 0.75, b[1] - 0.75, b[5] + 0.75);
        for (const Vec3d& v : object.m_vertices) {
            EXPECT_GE(v.x, low.x - 1e-4);
            EXPECT_LE(v.x, high.x + 1e-4);
            EXPECT_GE(v.y, low.y - 1e-4);
            EXPECT_LE(v.y, high.y + 1e-4);
            EXPECT_GE(v.z, low.z - 1e-4);
            EXPECT_LE(v.z, high.z + 1e-4);
        }
        // Convex shapes: every vertex normal points away from the centre.
        for (size_t i = 0; i < object.m_vertices.size(); ++i) {
            const Vec3d out = object.m_vertices[i] - centre;
            const Vec3d& n = object.m_normals[i];
            EXPECT_GT(out.x * n.x + out.y * n.y + out.z * n.z, 0.0) << "vertex " << i;
        }
    }
}

// A rounded blob with a hole through it stays one closed surface, smooth
// rather than stepped: no vertex is left on a voxel face's corner grid.
TEST(LabelSurface, RingIsClosedAndSmooth) {
    Grid grid(24, 24, 8, 1.0, 1.0, 2.0);
    for (int s = 1; s < 7; ++s)
        for (int r = 0; r < 24; ++r)
            for (int c = 0; c < 24; ++c) {
                const double d = std::hypot(c - 11.5, r - 11.5);
                if (d > 4 && d < 9) grid.At(c, r, s) = 1;
            }
    const CMeshObject object = CLabelSurface::Extract(grid.View(), 1, "label1-00");
    EXPECT_TRUE(ClosedAndConsistent(object));
    EXPECT_GT(SignedVolume(object), 0.0);
    // Euler characteristic of a torus: V - E + F = 0.
    const long long v = static_cast<long long>(object.m_vertices.size());
    const long long f = static_cast<long long>(object.m_triangles.size());
    EXPECT_EQ(v - 3 * f / 2 + f, 0);
    int offGrid = 0;
    for (const Vec3d& p : object.m_vertices)
        if (std::fabs(p.x - std::round(p.x * 2) / 2) > 0.01 && std::fabs(p.y - std::round(p.y * 2) / 2) > 0.01)
            ++offGrid;
    EXPECT_GT(offGrid, static_cast<int>(object.m_vertices.size()) / 2);
}

TEST(LabelSurface, MissingLabelGivesAnEmptyObject) {
    Grid grid(3, 3, 3, 1, 1, 1);
    grid.At(1, 1, 1) = 2;
    for (uint8_t label : {uint8_t{0}, uint8_t{1}}) {
        const CMeshObject object = CLabelSurface::Extract(grid.View(), label, "x-00");
        EXPECT_TRUE(object.m_vertices.empty());
        EXPECT_TRUE(object.m_triangles.empty());
    }
    EXPECT_TRUE(CLabelSurface::Extract({nullptr, 3, 3, 3, {1, 1, 1}}, 2, "x-00").m_vertices.empty());
}

// The parallel run gives what one extraction per job gives, in job order.
TEST(LabelSurface, ExtractAllKeepsJobOrder) {
    Grid first(8, 8, 4, 1, 1, 1), second(8, 8, 4, 1, 1, 1);
    first.Fill(1, 1, 1, 3, 3, 2, 1);
    first.Fill(5, 5, 0, 6, 6, 3, 2);
    second.Fill(2, 2, 1, 6, 6, 2, 1);
    std::vector<CLabelSurface::Job> jobs;
    for (int i = 0; i < 6; ++i)
        jobs.push_back({(i % 2 ? second : first).View(), static_cast<uint8_t>(1 + i / 2 % 2),
                        "label-" + std::to_string(i)});
    std::vector<double> fractions;
    const std::vector<CMeshObject> objects =
        CLabelSurface::ExtractAll(jobs, [&](double fraction) { fractions.push_back(fraction); });
    ASSERT_EQ(objects.size(), jobs.size());
    for (size_t i = 0; i < jobs.size(); ++i) {
        const CMeshObject alone = CLabelSurface::Extract(jobs[i].grid, jobs[i].label, jobs[i].name);
        EXPECT_EQ(objects[i].m_name, jobs[i].name);
        EXPECT_EQ(objects[i].m_vertices, alone.m_vertices) << "job " << i;
        EXPECT_EQ(objects[i].m_triangles, alone.m_triangles) << "job " << i;
    }
    ASSERT_FALSE(fractions.empty());
    EXPECT_TRUE(std::is_sorted(fractions.begin(), fractions.end()));
    EXPECT_EQ(fractions.back(), 1.0);
}

// Flying edges closes every surface it makes, so the surfaces tell the mesh
// volume they need no check: worst for that are voxels that touch only at
// edges and corners, as in noise, and labels cut off by the grid's border.
TEST(LabelSurface, SurfacesOfNoiseAreClosed) {
    uint32_t state = 12345;
    const auto random = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 24;
    };
    for (int fill : {20, 50, 80}) {
        Grid grid(12, 10, 7, 1.0, 0.8, 2.5);
        for (uint8_t& voxel : grid.voxels) voxel = static_cast<int>(random() % 100) < fill ? 2 : 0;
        const CMeshObject object = CLabelSurface::Extract(grid.View(), 2, "label2-00");
        SCOPED_TRACE(fill);
        ASSERT_FALSE(object.m_triangles.empty());
        EXPECT_TRUE(object.m_closedSurface);
        EXPECT_TRUE(ClosedAndConsistent(object));
    }
}
