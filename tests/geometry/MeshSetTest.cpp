#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "MeshSet.h"
#include "ObjTestFiles.h"

namespace {

const char* const kThreeFrames =
    "g heart-00\nv 0 0 0\nv 2 0 0\nv 0 2 0\nf 1 2 3\n"
    "g heart-02\nv 10 0 0\nv 11 0 0\nv 10 1 0\nv 11 1 0\nf 4 5 6\nf 5 7 6\n"
    "g valve-02\nv 0 0 9\n"
    "g stray\n";

}  // namespace

TEST(MeshSet, EmptySetHasNoFrames) {
    CMeshSet set;
    EXPECT_EQ(set.ObjectCount(), 0);
    EXPECT_EQ(set.LastFrame(), -1);
    EXPECT_TRUE(set.ObjectsOfFrame(0).empty());
    EXPECT_TRUE(set.ObjectsOfFrame(-1).empty());
    EXPECT_EQ(set.Centroid(), (Vec3d{0, 0, 0}));
}

TEST(MeshSet, FramesAndCentroidOfALoadedSet) {
    CMeshSet set;
    LoadObjText(set, kThreeFrames);
    ASSERT_EQ(set.ObjectCount(), 4);
    EXPECT_EQ(set.LastFrame(), 2);
    EXPECT_EQ(set.ObjectsOfFrame(2), (std::vector<int>{1, 2}));
    EXPECT_EQ(set.ObjectsOfFrame(0), (std::vector<int>{0}));
    EXPECT_EQ(set.ObjectsOfFrame(-1), (std::vector<int>{3}));
    EXPECT_TRUE(set.ObjectsOfFrame(1).empty());
    // Eight vertices, each counted once; the empty object adds nothing.
    EXPECT_DOUBLE_EQ(set.Centroid().x, (0 + 2 + 0 + 10 + 11 + 10 + 11 + 0) / 8.0);
    EXPECT_DOUBLE_EQ(set.Centroid().y, (2 + 1 + 1) / 8.0);
    EXPECT_DOUBLE_EQ(set.Centroid().z, 9 / 8.0);
}

TEST(MeshSet, CopiesAreDeepAndKeepTheirFrames) {
    CMeshSet original;
    LoadObjText(original, kThreeFrames);
    CMeshSet copy;
    copy = original;
    CMeshSet constructed(original);

    // Replacing the original leaves the copies as they were.
    LoadObjText(original, "g other-7\nv 1 1 1\n");
    ASSERT_EQ(original.ObjectCount(), 1);
    EXPECT_EQ(original.LastFrame(), 7);
    for (const CMeshSet* set : {&copy, &constructed}) {
        ASSERT_EQ(set->ObjectCount(), 4);
        EXPECT_EQ(set->Object(1).m_name, "heart-02");
        EXPECT_EQ(set->Object(1).m_vertices.size(), 4u);
        EXPECT_EQ(set->Object(1).m_normals.size(), 4u);
        EXPECT_EQ(set->Object(1).m_triangles.size(), 2u);
        EXPECT_EQ(set->LastFrame(), 2);
        EXPECT_EQ(set->ObjectsOfFrame(2), (std::vector<int>{1, 2}));
    }
}

TEST(MeshSet, AddedObjectsJoinTheFrames) {
    CMeshSet set;
    set.AddObject(CMeshObject("a-5"));
    set.AddObject(CMeshObject("b"));
    set.AddObject(CMeshObject("c-5"));
    EXPECT_EQ(set.LastFrame(), 5);
    EXPECT_EQ(set.ObjectsOfFrame(5), (std::vector<int>{0, 2}));
}

TEST(MeshSet, ZCapAllCapsEveryObjectInOrder) {
    std::string text;
    for (const char* group : {"g big-0\n", "g small-1\n"}) {
        text += group;
        for (int i = 0; i < (group[2] == 'b' ? 50 : 3); ++i) text += "v " + std::to_string(i) + " 0 0\n";
    }
    CMeshSet set;
    LoadObjText(set, text);
    testing::internal::CaptureStdout();
    set.ZCapAll();
    const std::string output = testing::internal::GetCapturedStdout();
    EXPECT_EQ(set.Object(0).m_triangles.size(), 46u);
    EXPECT_TRUE(set.Object(1).m_triangles.empty());
    EXPECT_EQ(output.find("***** Z-capping: assuming 25 nodes per slice! *****\n"), 0u) << output;
    EXPECT_NE(output.find("small-1"), std::string::npos) << output;
}

// What SaveObj writes, LoadObj reads back as the same objects: names,
// vertices, triangles and hence normals, whatever their source.
TEST(MeshSet, SavedObjReadsBackAsTheSameObjects) {
    CMeshSet set;
    LoadObjText(set, std::string("v 0.1 0.2 0.3\nv 1 2 3\nv 4 5 6.000001\nf 1 2 3\n") + kThreeFrames);
    CMeshObject computed("label2-05");
    computed.m_vertices = {{0.1f, 1.0 / 3.0, 1e-8}, {12345.678, -0.5, 2}, {3, 4, 5}, {7, 7, 7}};
    computed.m_triangles = {{{0, 1, 2}}, {{2, 1, 3}}, {{0, 3, 9}}};  // the last names no vertex
    computed.ComputeNormals();
    set.AddObject(computed);
    set.ZCapAll();  // objects too small to cap stay as they are

    TempFolder folder;
    const std::string path = folder.File("saved.obj");
    std::string error;
    ASSERT_TRUE(set.SaveObj(path, error)) << error;
    CMeshSet loaded;
    ASSERT_EQ(LoadObjText(loaded, std::string(std::istreambuf_iterator<char>(std::ifstream(path).rdbuf()), {})), "");
    ASSERT_EQ(loaded.ObjectCount(), set.ObjectCount());
    for (int i = 0; i < set.ObjectCount(); ++i) {
        const CMeshObject& a = set.Object(i);
        const CMeshObject& b = loaded.Object(i);
        EXPECT_EQ(b.m_name, a.m_name);
        ASSERT_EQ(b.m_vertices.size(), a.m_vertices.size()) << a.m_name;
        for (size_t v = 0; v < a.m_vertices.size(); ++v) {
            // Coordinates are kept as the reader keeps them: single precision.
            EXPECT_EQ(b.m_vertices[v].x, static_cast<float>(a.m_vertices[v].x)) << a.m_name << " vertex " << v;
            EXPECT_EQ(b.m_vertices[v].y, static_cast<float>(a.m_vertices[v].y)) << a.m_name << " vertex " << v;
            EXPECT_EQ(b.m_vertices[v].z, static_cast<float>(a.m_vertices[v].z)) << a.m_name << " vertex " << v;
        }
        if (a.m_name == "label2-05") {
            EXPECT_EQ(b.m_triangles, std::vector<Triangle>(a.m_triangles.begin(), a.m_triangles.end() - 1));
        } else {
            EXPECT_EQ(b.m_triangles, a.m_triangles) << a.m_name;
            EXPECT_EQ(b.m_normals, a.m_normals) << a.m_name;
        }
    }
}

TEST(MeshSet, FailedSaveLeavesTheFileAlone) {
    CMeshSet set;
    LoadObjText(set, kThreeFrames);
    TempFolder folder;
    std::string error;
    EXPECT_FALSE(set.SaveObj(folder.File("missing/saved.obj"), error));
    EXPECT_FALSE(error.empty());
    // A folder in the way of the rename: the old entry stays and no part file is left.
    std::filesystem::create_directory(folder.File("taken.obj"));
    error.clear();
    EXPECT_FALSE(set.SaveObj(folder.File("taken.obj"), error));
    EXPECT_FALSE(error.empty());
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("taken.obj")));
    int entries = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.Path())) ++entries;
    EXPECT_EQ(entries, 1);
}
