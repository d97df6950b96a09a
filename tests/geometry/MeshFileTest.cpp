// Mesh files of every format: what is written reads back, frames go to files
// of their own, failed writes change nothing, and damaged files are refused.

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <vector>

#include "MeshExport.h"
#include "MeshReadProcess.h"
#include "MeshSet.h"
#include "ObjTestFiles.h"

namespace {

// A closed box of 8 corners and 12 triangles, counter-clockwise seen from
// outside, from (x, y, z) with sides 1, 2 and 3.
CMeshObject Box(const std::string& name, double x, double y, double z) {
    CMeshObject box(name);
    for (int corner = 0; corner < 8; ++corner)
        box.m_vertices.push_back({x + (corner & 1), y + 2.0 * ((corner >> 1) & 1), z + 3.0 * (corner >> 2)});
    box.m_triangles = {{{0, 2, 1}}, {{1, 2, 3}}, {{4, 5, 6}}, {{5, 7, 6}}, {{0, 1, 4}}, {{1, 5, 4}},
                       {{2, 6, 3}}, {{3, 6, 7}}, {{0, 4, 2}}, {{2, 4, 6}}, {{1, 3, 5}}, {{3, 7, 5}}};
    return box;
}

// Two frames of two boxes each, with coordinates a float holds only
// approximately, and one object outside every frame.
CMeshSet TwoFrames() {
    CMeshSet set;
    set.AddObject(Box("lv-00", 0.1, 0.2, 0.3));
    set.AddObject(Box("rv-00", 10.7, -4.25, 1e-3));
    set.AddObject(Box("lv-03", 1.0 / 3.0, 5, 6));
    set.AddObject(Box("rv-03", 20, 21.5, 22.125));
    set.AddObject(Box("stray", 50, 50, 50));
    return set;
}

// An object's triangles as their corners' coordinates (as floats, which the
// files hold), sorted: equal for the same surface however its vertices are
// numbered.
using Corners = std::array<float, 9>;
std::vector<Corners> Surface(const std::vector<const CMeshObject*>& objects) {
    std::vector<Corners> triangles;
    for (const CMeshObject* object : objects)
        for (const Triangle& t : object->m_triangles) {
            Corners corners;
            for (int c = 0; c < 3; ++c) {
                const Vec3d& v = object->m_vertices.at(static_cast<size_t>(t.v[c]));
                corners[3 * c] = static_cast<float>(v.x);
                corners[3 * c + 1] = static_cast<float>(v.y);
                corners[3 * c + 2] = static_cast<float>(v.z);
            }
            triangles.push_back(corners);
        }
    std::sort(triangles.begin(), triangles.end());
    return triangles;
}

std::vector<const CMeshObject*> Pointers(const std::vector<CMeshObject>& objects) {
    std::vector<const CMeshObject*> pointers;
    for (const CMeshObject& object : objects) pointers.push_back(&object);
    return pointers;
}

// `text` with its first `from` replaced by `to`.
std::string Replaced(std::string text, const std::string& from, const std::string& to) {
    const size_t at = text.find(from);
    EXPECT_NE(at, std::string::npos) << from;
    return at == std::string::npos ? text : text.replace(at, from.size(), to);
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), {}};
}

struct FormatCase {
    const char* extension;
    bool keepsNames;  // objects and their vertex order come back as written
};
constexpr FormatCase kFormats[] = {
    {".obj", true}, {".ply", true}, {".vtp", true}, {".stl", false}, {".gii", false},
};

}  // namespace

TEST(MeshFormat, ExtensionsNameTheFormat) {
    const struct {
        const char* path;
        EMeshFormat format;
    } cases[] = {
        {"a.obj", EMeshFormat::kObj},
        {"A.STL", EMeshFormat::kStl},
        {"dir.ply/x.Ply", EMeshFormat::kPly},
        {"x.vtp", EMeshFormat::kVtp},
        {"lh.pial.surf.gii", EMeshFormat::kGifti},
        {"obj", EMeshFormat::kObj},
        {"x.stl.gz", EMeshFormat::kNone},
        {"x.vtk", EMeshFormat::kNone},
        {"x.pvd", EMeshFormat::kNone},
        {"x.giix", EMeshFormat::kNone},
    };
    for (const auto& c : cases) EXPECT_EQ(MeshFormatOfPath(c.path), c.format) << c.path;
    EXPECT_EQ(CMeshExport::FramePath("/d/heart.vtp", 7), "/d/heart-07.vtp");
    EXPECT_EQ(CMeshExport::FramePath("/d.x/heart.STL", 123), "/d.x/heart-123.stl");
}

// Each format gives back what it was given: the same surfaces, vertex counts
// and triangles, and the object names where the format keeps them (in STL
// and GIfTI files the frame's objects are one surface, named after the file).
TEST(MeshFile, EveryFormatReadsBackWhatItWrote) {
    const CMeshSet set = TwoFrames();
    for (const FormatCase& format : kFormats) {
        SCOPED_TRACE(format.extension);
        TempFolder folder;
        const std::string path = folder.File(std::string("frame-03") + format.extension);
        std::string error;
        ASSERT_TRUE(CMeshExport::WriteFrame(set, 3, path, error)) << error;
        CMeshSet loaded;
        ASSERT_TRUE(loaded.Load(path, error)) << error;

        const std::vector<const CMeshObject*> written = {&set.Object(2), &set.Object(3)};
        EXPECT_EQ(Surface(Pointers(loaded.Objects())), Surface(written));
        size_t loadedVertices = 0;
        for (const CMeshObject& object : loaded.Objects()) {
            loadedVertices += object.m_vertices.size();
            EXPECT_EQ(object.m_normals.size(), object.m_vertices.size()) << object.m_name;
        }
        EXPECT_EQ(loadedVertices, 16u);
        if (format.keepsNames) {
            ASSERT_EQ(loaded.ObjectCount(), 2);
            for (int i = 0; i < 2; ++i) {
                EXPECT_EQ(loaded.Object(i).m_name, written[static_cast<size_t>(i)]->m_name);
                EXPECT_EQ(loaded.Object(i).m_triangles, written[static_cast<size_t>(i)]->m_triangles);
                EXPECT_EQ(loaded.Object(i).m_vertices.size(), 8u);
            }
        } else {
            ASSERT_EQ(loaded.ObjectCount(), 1);
            EXPECT_EQ(loaded.Object(0).m_name, "frame-03");
            EXPECT_EQ(loaded.Object(0).m_triangles.size(), 24u);
            EXPECT_EQ(loaded.LastFrame(), 3);
        }
    }
}

// Every frame with objects gets a file of its own; objects outside every
// frame go nowhere; VTK polydata come with a ParaView collection that gives
// each file its time (frame x frame time).
TEST(MeshFile, AllFramesGoToOneFileEach) {
    const CMeshSet set = TwoFrames();
    for (const FormatCase& format : kFormats) {
        SCOPED_TRACE(format.extension);
        TempFolder folder;
        std::vector<std::string> written;
        std::string error;
        const std::string extension = format.extension;
        ASSERT_TRUE(CMeshExport::WriteAllFrames(set, folder.File("heart" + extension), 55, written, error))
            << error;
        std::vector<std::string> expected = {folder.File("heart-00" + extension),
                                             folder.File("heart-03" + extension)};
        if (extension == ".vtp") expected.push_back(folder.File("heart.pvd"));
        EXPECT_EQ(written, expected);
        EXPECT_EQ(FolderEntries(folder.Path()).size(), expected.size());

        CMeshSet frame0;
        ASSERT_TRUE(frame0.Load(expected[0], error)) << error;
        EXPECT_EQ(Surface(Pointers(frame0.Objects())), Surface({&set.Object(0), &set.Object(1)}));
    }
}

TEST(MeshFile, CollectionGivesEachFrameFileItsTime) {
    CMeshSet set;
    set.AddObject(Box("a-02", 0, 0, 0));
    set.AddObject(Box("a-13", 0, 0, 0));
    set.AddObject(Box("b-13", 1, 1, 1));
    TempFolder folder;
    std::vector<std::string> written;
    std::string error;
    ASSERT_TRUE(CMeshExport::WriteAllFrames(set, folder.File("a&b.vtp"), 40, written, error)) << error;
    const std::string collection = ReadFile(folder.File("a&b.pvd"));
    // The time and file of each data set, in file order.
    std::vector<std::pair<std::string, std::string>> entries;
    const auto attribute = [&](size_t from, const std::string& name) {
        const size_t start = collection.find(name + "=\"", from) + name.size() + 2;
        return collection.substr(start, collection.find('"', start) - start);
    };
    for (size_t at = collection.find("<DataSet "); at != std::string::npos;
         at = collection.find("<DataSet ", at + 1))
        entries.emplace_back(attribute(at, "timestep"), attribute(at, "file"));
    const std::vector<std::pair<std::string, std::string>> expected = {{"80", "a&amp;b-02.vtp"},
                                                                       {"520", "a&amp;b-13.vtp"}};
    EXPECT_EQ(entries, expected) << collection;
    EXPECT_NE(collection.find("<VTKFile type=\"Collection\""), std::string::npos) << collection;
}

// A write that fails leaves every file as it was and no part file behind.
TEST(MeshFile, FailedWritesChangeNothing) {
    const CMeshSet set = TwoFrames();
    std::string error;
    EXPECT_FALSE(CMeshExport::WriteFrame(set, 3, "/no/such/folder/m.stl", error));
    EXPECT_NE(error.find("/no/such/folder/m.stl"), std::string::npos) << error;
    EXPECT_FALSE(CMeshExport::WriteFrame(set, 1, "/tmp/m.stl", error));
    EXPECT_EQ(error, "there are no meshes in frame 1 to write");
    EXPECT_FALSE(CMeshExport::WriteFrame(set, 0, "/tmp/m.dae", error));
    EXPECT_NE(error.find(".obj, .stl, .ply, .vtp or .gii"), std::string::npos) << error;

    for (const FormatCase& format : kFormats) {
        SCOPED_TRACE(format.extension);
        TempFolder folder;
        const std::string extension = format.extension;
        // An older frame 0 file, and a folder where frame 3 would go.
        std::ofstream(folder.File("m-00" + extension)) << "old";
        std::filesystem::create_directory(folder.File("m-03" + extension));
        std::vector<std::string> written;
        EXPECT_FALSE(CMeshExport::WriteAllFrames(set, folder.File("m" + extension), 40, written, error));
        EXPECT_NE(error.find("m-03" + extension), std::string::npos) << error;
        EXPECT_TRUE(written.empty());
        EXPECT_EQ(ReadFile(folder.File("m-00" + extension)), "old");
        EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"m-00" + extension, "m-03" + extension}));
    }
}

// Files that are cut short, hostile or of another kind are refused with a
// reason, and the set keeps what it held.
TEST(MeshFile, DamagedFilesAreRefused) {
    const CMeshSet set = TwoFrames();
    TempFolder folder;
    std::string stl, ply, vtp, gii;
    for (auto [extension, bytes] : {std::pair{".stl", &stl}, {".ply", &ply}, {".vtp", &vtp}, {".gii", &gii}})
        *bytes = CMeshExport::Encode({&set.Object(0), &set.Object(1)}, MeshFormatOfPath(extension));

    std::string bigStl(84, '\0');
    bigStl[80] = '\xff';  // claims 255 triangles, has none
    const std::string giiRows = Replaced(gii, "Dim1=\"3\"", "Dim1=\"2\"");
    const std::string giiExternal = Replaced(gii, "GZipBase64Binary", "ExternalFileBinary");
    const struct {
        const char* name;
        std::string content;
    } cases[] = {
        {"empty.stl", ""},
        {"half.stl", stl.substr(0, stl.size() / 2)},
        {"claims.stl", bigStl},
        {"text.stl", "solid x\n facet normal 0 0 1\n outer loop\n vertex 1 2\n"},
        {"empty.ply", ""},
        {"half.ply", ply.substr(0, ply.size() / 2)},
        {"header.ply", ply.substr(0, ply.find("end_header"))},
        {"huge.ply",
         "ply\nformat binary_little_endian 1.0\nelement vertex 4000000000\nproperty float x\n"
         "property float y\nproperty float z\nend_header\n"},
        {"names.ply", Replaced(ply, "orvanta-object 8 rv-00", "orvanta-object 9 rv-00")},
        {"empty.vtp", ""},
        {"half.vtp", vtp.substr(0, vtp.size() / 2)},
        {"other.vtp", "<?xml version=\"1.0\"?><VTKFile type=\"ImageData\"></VTKFile>"},
        {"empty.gii", ""},
        {"half.gii", gii.substr(0, gii.size() / 2)},
        {"rows.gii", giiRows},
        {"external.gii", giiExternal},
        {"scan.gii", "<?xml version=\"1.0\"?><GIFTI Version=\"1.0\" NumberOfDataArrays=\"0\"></GIFTI>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CMeshSet loaded = set;
        std::string error;
        const bool ok = loaded.Load(WriteTextFile(folder, c.name, c.content), error);
        if (std::string(c.name) == "names.ply") {
            // Object lists that do not add up are not trusted: one object.
            ASSERT_TRUE(ok) << error;
            EXPECT_EQ(loaded.ObjectCount(), 1);
            EXPECT_EQ(loaded.Object(0).m_name, "names");
            continue;
        }
        EXPECT_FALSE(ok);
        EXPECT_FALSE(error.empty());
        EXPECT_EQ(loaded.ObjectCount(), set.ObjectCount());
    }
}

// GIfTI surfaces written by other programs (the test files of nibabel, when
// python3-nibabel is installed).
TEST(MeshFile, ReadsGiftiSurfacesOfOtherPrograms) {
    const std::string data = "/usr/lib/python3/dist-packages/nibabel/gifti/tests/data/";
    if (!std::filesystem::exists(data + "ascii.gii"))
        GTEST_SKIP() << "python3-nibabel's GIfTI test files are absent";
    std::string error;
    CMeshSet ascii;
    ASSERT_TRUE(ascii.Load(data + "ascii.gii", error)) << error;
    ASSERT_EQ(ascii.ObjectCount(), 1);
    EXPECT_EQ(ascii.Object(0).m_name, "ascii");
    ASSERT_EQ(ascii.Object(0).m_vertices.size(), 3u);
    EXPECT_EQ(ascii.Object(0).m_vertices[0], (Vec3d{-16.072010f, -66.187515f, 21.266994f}));
    EXPECT_EQ(ascii.Object(0).m_vertices[2], (Vec3d{-17.614349f, -65.401642f, 21.071466f}));
    EXPECT_EQ(ascii.Object(0).m_triangles, (std::vector<Triangle>{{{0, 1, 2}}}));

    // A shape file has values, not a surface; external data are not read;
    // arrays without an encoding the library knows are not read either.
    const struct {
        const char* file;
        const char* reason;
    } refused[] = {
        {"gzipbase64.gii", "it holds no vertices: it is not a surface"},
        {"external.gii", "its vertices are kept in another file, which is not read"},
        {"base64bin.gii", "its vertices could not be read"},
    };
    for (const auto& r : refused) {
        EXPECT_FALSE(ascii.Load(data + r.file, error));
        EXPECT_EQ(error, r.reason) << r.file;
        EXPECT_EQ(ascii.Object(0).m_name, "ascii");
    }
}

// Readers run in a child process: what they read comes back whole, and a
// reader that fails, crashes or hangs costs only the file.
TEST(MeshReadProcess, OnlyTheChildPaysForAFailingReader) {
    const CMeshSet set = TwoFrames();
    const std::vector<CMeshObject> read = CMeshReadProcess::Run(
        [&] {
            return std::vector<CMeshObject>{set.Object(0), set.Object(4)};
        },
        10);
    ASSERT_EQ(read.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const CMeshObject& sent = set.Object(i == 0 ? 0 : 4);
        EXPECT_EQ(read[i].m_name, sent.m_name);
        EXPECT_EQ(read[i].m_vertices, sent.m_vertices);
        EXPECT_EQ(read[i].m_triangles, sent.m_triangles);
    }

    const struct {
        std::function<std::vector<CMeshObject>()> read;
        std::string error;
    } failures[] = {
        {[]() -> std::vector<CMeshObject> { throw std::runtime_error("it is not a mesh"); },
         "it is not a mesh"},
        {[]() -> std::vector<CMeshObject> { throw std::bad_alloc(); }, "it does not fit in memory"},
        {[]() -> std::vector<CMeshObject> {
             std::raise(SIGSEGV);
             return {};
         },
         "its reader crashed on it (signal 11)"},
        {[]() -> std::vector<CMeshObject> { std::abort(); }, "its reader crashed on it (signal 6)"},
        {[]() -> std::vector<CMeshObject> { _exit(0); }, "its reader stopped on it"},
        {[]() -> std::vector<CMeshObject> {
             for (;;) pause();
         },
         "its reader took more than 1 s"},
    };
    for (const auto& failure : failures) {
        try {
            CMeshReadProcess::Run(failure.read, 1);
            ADD_FAILURE() << "no error; expected " << failure.error;
        } catch (const std::runtime_error& e) {
            EXPECT_EQ(std::string(e.what()), failure.error);
        }
    }
}
