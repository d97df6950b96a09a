// Reading .obj files: the line rules, the accepted subset, and what becomes
// of files that use more of the format than the viewer reads.

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <cstdlib>
#include <random>
#include <string>

#include "MeshSet.h"
#include "ObjTestFiles.h"

namespace {

// The set of two frames most tests start from or compare with.
const char* const kTwoGroups =
    "g heart-00\nv 1 2 3\nv 4 5 6\nv 7 8 10\nf 1 2 3\n"
    "g heart-01\nv 1 0 0\nv 0 1 0\nv 0 0 1\nf 4 5 6\n";

// Whatever a file held, every object must be safe to draw.
void ExpectConsistent(const CMeshSet& set) {
    for (const CMeshObject& object : set.Objects()) {
        ASSERT_EQ(object.m_normals.size(), object.m_vertices.size()) << object.m_name;
        for (const Triangle& t : object.m_triangles)
            for (int32_t i : t.v) ASSERT_TRUE(i >= 0 && static_cast<size_t>(i) < object.m_vertices.size());
        for (const Vec3d& n : object.m_normals)
            ASSERT_FALSE(std::isnan(n.x) || std::isnan(n.y) || std::isnan(n.z)) << object.m_name;
    }
}

}  // namespace

TEST(ObjReader, GroupsBecomeObjectsWithLocalIndices) {
    CMeshSet set;
    bool loaded = false;
    EXPECT_EQ(LoadObjText(set, kTwoGroups, &loaded), "");
    EXPECT_TRUE(loaded);
    ASSERT_EQ(set.ObjectCount(), 2);
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(set.Object(i).m_vertices.size(), 3u);
        ASSERT_EQ(set.Object(i).m_triangles.size(), 1u);
        EXPECT_EQ(set.Object(i).m_triangles[0], (Triangle{{0, 1, 2}}));
        EXPECT_EQ(set.Object(i).FrameNumber(), i);
    }
    EXPECT_EQ(set.Object(0).m_vertices[2], (Vec3d{7, 8, 10}));
    EXPECT_EQ(set.LastFrame(), 1);
    EXPECT_EQ(set.ObjectsOfFrame(1), (std::vector<int>{1}));
    // Normals are computed on reading: the second triangle faces (1,1,1).
    const double third = 1.0 / std::sqrt(3.0);
    EXPECT_NEAR(set.Object(1).m_normals[0].x, third, 1e-15);
    EXPECT_NEAR(set.Object(1).m_normals[2].z, third, 1e-15);
}

TEST(ObjReader, VerticesBeforeAnyGroupFormANonameObject) {
    CMeshSet set;
    LoadObjText(set, "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\ng lv-04\nv 5 5 5\n");
    ASSERT_EQ(set.ObjectCount(), 2);
    EXPECT_EQ(set.Object(0).m_name, "noname");
    EXPECT_EQ(set.Object(0).FrameNumber(), -1);
    EXPECT_EQ(set.Object(0).m_triangles.size(), 1u);
    EXPECT_EQ(set.Object(1).m_vertices.size(), 1u);
    EXPECT_EQ(set.LastFrame(), 4);
}

TEST(ObjReader, LinesOtherThanVgfAreReportedAndChangeNothing) {
    CMeshSet set;
    const std::string output =
        LoadObjText(set, std::string("# made by hand\n") + kTwoGroups + "s off\nusemtl red\n  v 9 9 9\n");
    EXPECT_EQ(output,
              "Error: Unknown line type '#'\nError: Unknown line type 's'\n"
              "Error: Unknown line type 'u'\nError: Unknown line type ' '\n");
    ASSERT_EQ(set.ObjectCount(), 2);
    EXPECT_EQ(set.Object(1).m_vertices.size(), 3u);
}

TEST(ObjReader, ShortLinesAndAnUnfinishedLastLineAreSkipped) {
    CMeshSet set;
    // "g", "f" and "v" alone are too short to mean anything; so is "#1".
    const std::string output =
        LoadObjText(set, "\n\ng\nf\nv\n#1\ng a-1\nv 1 1 1\nv 2 2 2\nv 3 3 4\nv 5 5 5\nf 1 2 3\nf 2 3 4");
    EXPECT_EQ(output, "");
    ASSERT_EQ(set.ObjectCount(), 1);
    EXPECT_EQ(set.Object(0).m_vertices.size(), 4u);
    EXPECT_EQ(set.Object(0).m_triangles.size(), 1u);

    // Only a final line feed makes the last line count.
    LoadObjText(set, "g only\n");
    EXPECT_EQ(set.ObjectCount(), 1);
    LoadObjText(set, "g only");
    EXPECT_EQ(set.ObjectCount(), 0);
}

TEST(ObjReader, LongLinesAreCutAfter1023CharactersAndOneIsDropped) {
    // 1030 characters: the group line keeps 1023, the 1024th is dropped and
    // the last 6 form a line of their own, here a vertex line.
    const std::string name(1021, 'n');
    CMeshSet set;
    const std::string output = LoadObjText(set, "g " + name + "X" + "v 1 2\n" + "v 3 3 3\n");
    EXPECT_EQ(output, "");
    ASSERT_EQ(set.ObjectCount(), 1);
    EXPECT_EQ(set.Object(0).m_name, name);
    ASSERT_EQ(set.Object(0).m_vertices.size(), 2u);
    EXPECT_EQ(set.Object(0).m_vertices[0], (Vec3d{1, 2, 0}));

    // Exactly 1023 characters and a line feed is one whole line.
    LoadObjText(set, "g " + name + "\nv 1 1 1\n");
    ASSERT_EQ(set.ObjectCount(), 1);
    EXPECT_EQ(set.Object(0).m_vertices.size(), 1u);

    // A comment of 5001 characters is five pieces of 1023, 1023, 1023, 1023
    // and 905 characters (four dropped between them), each reported.
    std::string expected = "Error: Unknown line type '#'\n";
    for (int i = 0; i < 4; ++i) expected += "Error: Unknown line type 'c'\n";
    EXPECT_EQ(LoadObjText(set, "#" + std::string(5000, 'c') + "\n" + kTwoGroups), expected);
    EXPECT_EQ(set.ObjectCount(), 2);
}

TEST(ObjReader, WindowsLineEndsReadLikeUnixOnes) {
    std::string crlf;
    for (const char* c = kTwoGroups; *c; ++c) crlf += *c == '\n' ? std::string("\r\n") : std::string(1, *c);
    CMeshSet unix, windows;
    LoadObjText(unix, kTwoGroups);
    EXPECT_EQ(LoadObjText(windows, crlf), "");
    ASSERT_EQ(windows.ObjectCount(), 2);
    EXPECT_EQ(windows.Object(1).m_name, "heart-01");
    EXPECT_EQ(windows.Object(0).m_vertices, unix.Object(0).m_vertices);
    EXPECT_EQ(windows.Object(1).m_triangles, unix.Object(1).m_triangles);
}

TEST(ObjReader, NumbersIgnoreADecimalCommaLocale) {
    const char* commaLocales[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "nl_NL.UTF-8"};
    const char* found = nullptr;
    for (const char* name : commaLocales)
        if (std::setlocale(LC_NUMERIC, name) && *std::localeconv()->decimal_point == ',') {
            found = name;
            break;
        }
    // scripts/setup-deps.sh installs every locale, so one must be there.
    ASSERT_NE(found, nullptr) << "no locale with a decimal comma is installed";
    CMeshSet set;
    LoadObjText(set, "g m-1\nv 1.5 -2.25 3e-1\nv 0.5 0.5 0.5\nv 1 0 0\nf 1.0 2.9 3\n");
    std::setlocale(LC_NUMERIC, "C");
    ASSERT_EQ(set.ObjectCount(), 1);
    EXPECT_EQ(set.Object(0).m_vertices[0], (Vec3d{1.5, -2.25, static_cast<double>(0.3f)}))
        << "locale " << found;
    ASSERT_EQ(set.Object(0).m_triangles.size(), 1u);
    EXPECT_EQ(set.Object(0).m_triangles[0], (Triangle{{0, 1, 2}}));
}

TEST(ObjReader, FacesOutsideTheirGroupAreDroppedWithOneLineEach) {
    CMeshSet set;
    const std::string output =
        LoadObjText(set, std::string(kTwoGroups) + "f 1 2 3\nf 4 5 7\n\nf 4 nan 6\nf 4 5 1e30\nf 6 5 4\n");
    EXPECT_EQ(output,
              "Error: Face in line 11 refers to vertex 1, outside group 'heart-01'; skipped\n"
              "Error: Face in line 12 refers to vertex 7, outside group 'heart-01'; skipped\n"
              "Error: Face in line 14 refers to vertex nan, outside group 'heart-01'; skipped\n"
              "Error: Face in line 15 refers to vertex 1e+30, outside group 'heart-01'; skipped\n");
    ASSERT_EQ(set.ObjectCount(), 2);
    EXPECT_EQ(set.Object(1).m_triangles, (std::vector<Triangle>{{{0, 1, 2}}, {{2, 1, 0}}}));
}

TEST(ObjReader, IncompleteLinesHaveDefinedResults) {
    CMeshSet set;
    const std::string output = LoadObjText(set,
                                           "f 1 2 3\n"         // no object yet: ignored
                                           "g   \n"            // no name word
                                           "v 1 2 3\nv 4 5\n"  // missing z is 0
                                           "v\t7\nv 8 8 8\n"   // still counted
                                           "f 1 2\nf 2 3\n"    // too few numbers: dropped
                                           "f 1 3 4\nf 2 3 4\n");
    EXPECT_EQ(output, "");
    ASSERT_EQ(set.ObjectCount(), 1);
    const CMeshObject& object = set.Object(0);
    EXPECT_EQ(object.m_name, "noname");
    EXPECT_EQ(object.m_vertices, (std::vector<Vec3d>{{1, 2, 3}, {4, 5, 0}, {7, 0, 0}, {8, 8, 8}}));
    EXPECT_EQ(object.m_triangles, (std::vector<Triangle>{{{0, 2, 3}}, {{1, 2, 3}}}));
}

TEST(ObjReader, RealWorldFilesLoadToBoundedResults) {
    // Normals, texture coordinates, slashed faces, quads, negative indices,
    // objects, smoothing groups: what general exporters write.
    const char* const exported =
        "# Blender\r\nmtllib cube.mtl\r\no Cube\r\ng cube-3\r\n"
        "v 1 1 -1\r\nv 1 -1 -1\r\nv 1 1 1\r\nv 1 -1 1\r\n"
        "vt 0.625 0.5\r\nvn 0 1 0\r\n"
        "usemtl Material\r\ns off\r\n"
        "f 1/1/1 3/1/1 4/1/1\r\nf 1//1 2//1 4//1\r\n"
        "f 1 2 4 3\r\nf -4 -3 -2\r\n";
    CMeshSet set;
    bool loaded = false;
    LoadObjText(set, exported, &loaded);
    EXPECT_TRUE(loaded);
    ASSERT_EQ(set.ObjectCount(), 1);
    ExpectConsistent(set);
    const CMeshObject& cube = set.Object(0);
    // vt and vn lines are read as vertex lines that hold no numbers.
    EXPECT_EQ(cube.m_vertices.size(), 6u);
    EXPECT_EQ(cube.m_vertices[4], (Vec3d{0, 0, 0}));
    // Slashed faces stop after one number and negative ones fall outside;
    // the quad gives the triangle of its first three numbers.
    EXPECT_EQ(cube.m_triangles, (std::vector<Triangle>{{{0, 1, 3}}}));
}

TEST(ObjReader, RandomBytesNeverBreakTheReader) {
    std::mt19937 random(7);
    const std::string alphabet = "vgf#-+.eE/ \t\r\n0123456789nax";
    for (int round = 0; round < 40; ++round) {
        std::string text;
        const size_t size = random() % 20000;
        for (size_t i = 0; i < size; ++i)
            text +=
                round % 4 == 0 ? static_cast<char>(random() & 0xff) : alphabet[random() % alphabet.size()];
        CMeshSet set;
        bool loaded = false;
        LoadObjText(set, text, &loaded);
        EXPECT_TRUE(loaded);
        ExpectConsistent(set);
    }
}

TEST(ObjReader, FailuresKeepTheContent) {
    CMeshSet set;
    LoadObjText(set, kTwoGroups);
    TempFolder folder;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(set.LoadObj(folder.File("missing.obj")));
    EXPECT_FALSE(set.LoadObj(folder.Path().string()));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(set.ObjectCount(), 2);
    EXPECT_EQ(set.LastFrame(), 1);
}

TEST(ObjReader, ReadsTheDemoHeart) {
    TempFolder folder;
    const std::string command =
        std::string(ORVANTA_MAKE_DEMO) + " " + folder.Path().string() + " > /dev/null";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    CMeshSet set;
    testing::internal::CaptureStdout();
    ASSERT_TRUE(set.LoadObj(folder.File("heart.obj")));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << "the demo file reads without a diagnostic";
    ASSERT_EQ(set.ObjectCount(), 20);
    EXPECT_EQ(set.LastFrame(), 19);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(set.Object(i).FrameNumber(), i);
        EXPECT_EQ(set.Object(i).BaseName(), "lv");
        EXPECT_EQ(set.Object(i).m_vertices.size(), 300u);
        EXPECT_EQ(set.Object(i).m_triangles.size(), 550u);
        EXPECT_EQ(set.ObjectsOfFrame(i), (std::vector<int>{i}));
    }
    ExpectConsistent(set);
}
