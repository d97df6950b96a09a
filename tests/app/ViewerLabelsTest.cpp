#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "CommandTable.h"
#include "LabelPalette.h"
#include "PathUtils.h"
#include "TextFormat.h"
#include "ViewerFixture.h"
#include "ViewerExports.h"

namespace {

constexpr int kX = 6, kY = 5, kZ = 4, kT = 3;

class ViewerLabelsTest : public ViewerTest {
protected:
    // Labels of the test grid: label 1 on voxel (column 1, row 1, slice 2) in
    // every frame, label 2 on a 2 x 2 x 1 box in frame 1 only (4-D), or both
    // in the one frame of a 3-D image.
    static CLabelImage Labels(int frames, int x = kX) {
        const int boxFrame = frames == 1 ? 0 : 1;
        const auto label = [boxFrame](int c, int r, int s, int t) {
            if (c == 1 && r == 1 && s == 2) return 1;
            return c >= 3 && c <= 4 && r >= 3 && r <= 4 && s == 0 && t == boxFrame ? 2 : 0;
        };
        const std::vector<uint8_t> values = LabelValues(x, kY, kZ, frames, label);
        CLabelImage labels;
        std::string error;
        EXPECT_TRUE(labels.Assign(values.data(), x, kY, kZ, frames, error)) << error;
        labels.m_pixelSize[0] = 2.0;
        labels.m_pixelSize[1] = 3.0;
        labels.m_pixelSize[2] = 4.0;
        return labels;
    }
    std::vector<std::string> MeshNames() const {
        std::vector<std::string> names;
        for (const CMeshObject& object : m_view.m_meshes.Objects()) names.push_back(object.m_name);
        return names;
    }
    // The label value each mesh stands for, 0 for a mesh file's.
    std::vector<int64_t> MeshLabels() const {
        std::vector<int64_t> labels;
        for (const CMeshObject& object : m_view.m_meshes.Objects()) labels.push_back(object.m_label);
        return labels;
    }
    // The overlay colour shown at XY-plane pixel (column, row) of the last upload.
    std::array<uint8_t, 4> XYOverlayAt(int column, int row) const {
        return m_view.LabelPixel(2, column, row);
    }
};

const std::array<uint8_t, 4> kRed = CLabelPalette::Colour(1), kGreen = CLabelPalette::Colour(2),
                             kClear = CLabelPalette::Colour(0);

}  // namespace

// 4-D labels: one mesh per label present and frame, the overlay following the
// shown frame (also a locked one), the position left where it was.
TEST_F(ViewerLabelsTest, FourDLabelsFollowTheFrames) {
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", kX, kY, kZ, kT, 1.5));
    m_viewer.Navigation().SetPosition(1, 2, 0);
    ASSERT_TRUE(m_viewer.ShowLabels(Labels(kT), "labels.nii"));
    EXPECT_EQ(MeshNames(), (std::vector<std::string>{"label1-00", "label1-01", "label2-01", "label1-02"}));
    EXPECT_EQ(m_viewer.Labels().MeshCount(), 4);
    EXPECT_EQ((std::array<int, 3>{m_viewer.State().m_x, m_viewer.State().m_y, m_viewer.State().m_z}), (std::array<int, 3>{1, 2, 0}));
    // The one-voxel label's mesh sits on the voxel centre, in the volume's millimetres.
    const Vec3d centre = m_view.m_meshes.Object(0).Centroid();
    EXPECT_NEAR(centre.x, 1.5 * 1.5, 1e-4);
    EXPECT_NEAR(centre.y, (kY - 1 - 0.5) * 1.5, 1e-4);
    EXPECT_NEAR(centre.z, 2.5 * 1.5, 1e-4);

    // Slice 0 holds the box in frame 1 only.
    struct Step {
        int t, locked;
        std::array<uint8_t, 4> box;
    };
    for (const Step& step : {Step{0, -1, kClear}, Step{1, -1, kGreen}, Step{2, -1, kClear}, Step{2, 1, kGreen}}) {
        m_viewer.Navigation().SetFrame(step.t);
        m_viewer.Navigation().SetLockedFrame(step.locked);
        m_viewer.RefreshView();
        EXPECT_EQ(XYOverlayAt(3, 3), step.box) << "frame " << step.t << " locked " << step.locked;
        EXPECT_EQ(XYOverlayAt(0, 0), kClear);
    }
    m_viewer.Navigation().SetLockedFrame(-1);
    m_viewer.Navigation().SetPosition(m_viewer.State().m_x, m_viewer.State().m_y, 2);
    m_viewer.RefreshView();
    EXPECT_EQ(XYOverlayAt(1, 1), kRed);
}

// A 3-D label image serves every frame of the volume.
TEST_F(ViewerLabelsTest, ThreeDLabelsServeEveryFrame) {
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", kX, kY, kZ, kT, 1.5));
    ASSERT_TRUE(m_viewer.ShowLabels(Labels(1), "labels.nii"));
    EXPECT_EQ(MeshNames(), (std::vector<std::string>{"label1-00", "label2-00", "label1-01", "label2-01",
                                                     "label1-02", "label2-02"}));
    EXPECT_EQ(MeshLabels(), (std::vector<int64_t>{1, 2, 1, 2, 1, 2}));
    EXPECT_EQ(m_view.m_meshes.Object(4).m_vertices, m_view.m_meshes.Object(0).m_vertices);
    m_viewer.Navigation().SetPosition(m_viewer.State().m_x, m_viewer.State().m_y, 0);
    for (int t = 0; t < kT; ++t) {
        m_viewer.Navigation().SetFrame(t);
        m_viewer.RefreshView();
        EXPECT_EQ(XYOverlayAt(4, 4), kGreen) << "frame " << t;
    }
}

// Label meshes and .obj meshes live side by side: each kind of load replaces
// only its own.
TEST_F(ViewerLabelsTest, ObjMeshesAndLabelMeshesCoexist) {
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", kX, kY, kZ, kT, 1.5));
    double centre[3] = {4, 4, 3};
    m_viewer.LoadGeometryFile(WriteMeshes("a.obj", {"lv-00", "lv-01"}, centre));
    ASSERT_TRUE(m_viewer.ShowLabels(Labels(1), "first.nii"));
    ASSERT_EQ(m_view.m_meshes.ObjectCount(), 8);
    CLabelImage single = Labels(kT);
    ASSERT_TRUE(m_viewer.ShowLabels(std::move(single), "second.nii"));
    EXPECT_EQ(MeshNames(), (std::vector<std::string>{"lv-00", "lv-01", "label1-00", "label1-01", "label2-01",
                                                     "label1-02"}));
    m_viewer.LoadGeometryFile(WriteMeshes("b.obj", {"rv-00"}, centre));
    EXPECT_EQ(MeshNames(), (std::vector<std::string>{"rv-00", "label1-00", "label1-01", "label2-01", "label1-02"}));
    EXPECT_EQ(MeshLabels(), (std::vector<int64_t>{0, 1, 1, 2, 1}));
    EXPECT_EQ(m_viewer.Labels().Path(), "second.nii");
}

// Labels that do not fit are refused with both sizes named, and nothing the
// viewer showed changes.
TEST_F(ViewerLabelsTest, LabelsThatDoNotFitChangeNothing) {
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", kX, kY, kZ, kT, 1.5));
    ASSERT_TRUE(m_viewer.ShowLabels(Labels(1), "good.nii"));
    const std::vector<std::string> before = MeshNames();
    struct Case {
        const char* name;
        CLabelImage labels;
        const char* sizes;
    };
    Case cases[] = {
        {"wrong width", Labels(1, kX + 1), "7 x 5 x 4 voxels with 1 frame, the volume 6 x 5 x 4 voxels with 3 frames"},
        {"wrong frame count", Labels(2), "6 x 5 x 4 voxels with 2 frames, the volume 6 x 5 x 4 voxels with 3 frames"},
    };
    for (Case& test : cases) {
        m_host.m_dialogs.m_messages.clear();
        EXPECT_FALSE(m_viewer.ShowLabels(std::move(test.labels), "bad.nii")) << test.name;
        ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u) << test.name;
        EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find(test.sizes), std::string::npos)
            << test.name << ": " << m_host.m_dialogs.m_messages[0].text;
        EXPECT_EQ(MeshNames(), before) << test.name;
        EXPECT_EQ(m_viewer.Labels().Path(), "good.nii") << test.name;
        EXPECT_EQ(m_viewer.Labels().Image().SizeX(), kX) << test.name;
    }
    // A file that cannot be read says so and keeps the labels too.
    m_host.m_dialogs.m_messages.clear();
    m_viewer.LoadLabelFile(m_folder.File("missing.nii"));
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find("missing.nii"), std::string::npos);
    EXPECT_EQ(MeshNames(), before);
    EXPECT_EQ(m_host.m_waitCursors, 0);
}

// Without a volume, labels make the grid with their own voxel size, which
// they must then have.
TEST_F(ViewerLabelsTest, WithoutAVolumeLabelsMakeTheGrid) {
    CLabelImage unsized = Labels(1);
    unsized.m_pixelSize[1] = 0;
    EXPECT_FALSE(m_viewer.ShowLabels(std::move(unsized), "unsized.nii"));
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find("no pixel sizes"), std::string::npos);
    EXPECT_TRUE(m_viewer.Labels().Image().Empty());

    ASSERT_TRUE(m_viewer.ShowLabels(Labels(kT), "labels.nii"));
    EXPECT_EQ(m_view.m_extent[0], kX * 2.0);
    EXPECT_EQ(m_view.m_extent[1], kY * 3.0);
    EXPECT_EQ(m_view.m_extent[2], kZ * 4.0);
    EXPECT_EQ((std::array<int, 3>{m_viewer.State().m_x, m_viewer.State().m_y, m_viewer.State().m_z}), (std::array<int, 3>{3, 2, 2}));
    EXPECT_EQ(m_viewer.Navigation().LastFrameIndex(), kT - 1);
    EXPECT_TRUE(m_view.m_uploads.empty());  // no grey planes
    m_viewer.Navigation().SetFrame(1);
    m_viewer.Navigation().SetPosition(m_viewer.State().m_x, m_viewer.State().m_y, 0);
    m_viewer.RefreshView();
    EXPECT_EQ(XYOverlayAt(3, 3), kGreen);
    // A volume of another size later drops them, with their meshes.
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", kX + 2, kY, kZ, kT, 1.5));
    EXPECT_TRUE(m_viewer.Labels().Image().Empty());
    EXPECT_EQ(m_view.m_meshes.ObjectCount(), 0);
    EXPECT_EQ(m_view.m_labelUploads.back().width, 0);
}

// The overlay commands need labels; the opacity moves in tenths within 0 to 1.
TEST_F(ViewerLabelsTest, OverlayCommands) {
    const int overlay = kCmdLabelOverlay, raise = kCmdIncreaseLabelOpacity, lower = kCmdDecreaseLabelOpacity;
    EXPECT_FALSE(m_viewer.Execute(overlay));
    EXPECT_FALSE(m_viewer.Execute(raise));
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", kX, kY, kZ, kT, 1.5));
    ASSERT_TRUE(m_viewer.ShowLabels(Labels(1), "labels.nii"));
    EXPECT_TRUE(m_viewer.Execute(overlay));
    EXPECT_FALSE(m_view.m_showLabels);
    EXPECT_TRUE(m_viewer.Execute(overlay));
    EXPECT_TRUE(m_view.m_showLabels);
    EXPECT_EQ(m_view.m_labelOpacity, 0.4);
    for (int i = 0; i < 8; ++i) m_viewer.Execute(raise);
    EXPECT_EQ(m_view.m_labelOpacity, 1.0);
    for (int i = 0; i < 10; ++i) m_viewer.Execute(lower);
    EXPECT_EQ(m_view.m_labelOpacity, 0.0);
    m_viewer.Execute(raise);
    EXPECT_EQ(m_view.m_labelOpacity, 0.1);
}

// --export-obj writes OBJ and label meshes of every frame; loading the file
// gives them back.
TEST_F(ViewerLabelsTest, SavedGeometryLoadsBackAsTheSameMeshes) {
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", kX, kY, kZ, kT, 1.5));
    double centre[3] = {4, 4, 3};
    m_viewer.LoadGeometryFile(WriteMeshes("a.obj", {"lv-00"}, centre));
    ASSERT_TRUE(m_viewer.ShowLabels(Labels(kT), "labels.nii"));
    const CMeshSet saved = m_view.m_meshes;
    ASSERT_TRUE(CViewerExports(m_viewer).SaveGeometry(m_folder.File("all.obj")));

    CMeshSet loaded;
    ASSERT_TRUE(loaded.LoadObj(m_folder.File("all.obj")));
    ASSERT_EQ(loaded.ObjectCount(), saved.ObjectCount());
    for (int i = 0; i < saved.ObjectCount(); ++i) {
        EXPECT_EQ(loaded.Object(i).m_name, saved.Object(i).m_name);
        EXPECT_EQ(loaded.Object(i).m_vertices, saved.Object(i).m_vertices) << saved.Object(i).m_name;
        EXPECT_EQ(loaded.Object(i).m_triangles, saved.Object(i).m_triangles) << saved.Object(i).m_name;
        EXPECT_EQ(loaded.Object(i).m_normals, saved.Object(i).m_normals) << saved.Object(i).m_name;
    }
    EXPECT_FALSE(CViewerExports(m_viewer).SaveGeometry(m_folder.File("no/such/folder.obj")));
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    EXPECT_EQ(
        m_host.m_dialogs.m_messages[0].text.rfind("Cannot write " + m_folder.File("no/such/folder.obj"), 0),
        0u)
        << m_host.m_dialogs.m_messages[0].text;
}

// Save Geometry As writes the current frame, or with its check box every
// frame, in the format the name's extension gives; the box keeps the choice.
// What it writes loads back through Load Geometry.
TEST_F(ViewerLabelsTest, SaveGeometryAsWritesTheFrameOrEveryFrame) {
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", kX, kY, kZ, kT, 1.5));
    double centre[3] = {4, 4, 3};
    m_viewer.LoadGeometryFile(WriteMeshes("a.obj", {"lv-01"}, centre));
    ASSERT_TRUE(m_viewer.ShowLabels(Labels(kT), "labels.nii"));
    m_viewer.Navigation().SetFrame(1);
    CRecordingDialogs& dialogs = m_host.m_dialogs;

    dialogs.m_fileAnswers = {m_folder.File("one.ply"), m_folder.File("every.stl"), ""};
    dialogs.m_optionAnswers = {{false}, {true}};
    for (int run = 0; run < 3; ++run) EXPECT_TRUE(m_viewer.Execute(kCmdSaveGeometry));
    ASSERT_EQ(dialogs.m_optionRequests.size(), 3u);
    EXPECT_FALSE(dialogs.m_optionRequests[0][0].checked);
    EXPECT_FALSE(dialogs.m_optionRequests[1][0].checked);
    EXPECT_TRUE(dialogs.m_optionRequests[2][0].checked);  // the last choice
    EXPECT_EQ(dialogs.m_fileRequests[0].initialName, m_folder.File("v_geometry.obj"));
    EXPECT_NE(dialogs.m_fileRequests[0].filter.find("*.gii"), std::string::npos)
        << dialogs.m_fileRequests[0].filter;
    EXPECT_TRUE(dialogs.m_messages.empty());

    // Frame 1 holds lv-01 and the meshes of labels 1 and 2.
    m_viewer.LoadGeometryFile(m_folder.File("one.ply"));
    EXPECT_EQ(MeshNames(), (std::vector<std::string>{"lv-01", "label1-01", "label2-01", "label1-00",
                                                     "label1-01", "label2-01", "label1-02"}));
    for (int frame = 0; frame < kT; ++frame)
        EXPECT_TRUE(FileExists(m_folder.File(FormatText("every-%02d.stl", frame)))) << frame;
    m_viewer.LoadGeometryFile(m_folder.File("every-02.stl"));
    EXPECT_EQ(MeshNames()[0], "every-02");

    // A frame without meshes has nothing to write, and says so.
    CViewerExports(m_viewer).SetAllMeshFrames(false);
    m_viewer.Navigation().SetFrame(kT + 5);
    EXPECT_FALSE(CViewerExports(m_viewer).ExportMeshes(m_folder.File("none.vtp")));
    ASSERT_EQ(dialogs.m_messages.size(), 1u);
    EXPECT_EQ(dialogs.m_messages[0].text, FormatText("There are no meshes in frame %d to write.", kT + 5));
    EXPECT_FALSE(FileExists(m_folder.File("none.vtp")));
}

// Every key runs one command only.
TEST(CommandTable, NoTwoCommandsShareAKey) {
    std::map<int, int> owner;
    for (const CCommand& command : CommandTable())
        for (const QKeyCombination& key : command.keys) {
            const auto [at, fresh] = owner.emplace(key.toCombined(), command.id);
            EXPECT_TRUE(fresh) << std::hex << "commands 0x" << at->second << " and 0x" << command.id
                               << " share a key";
        }
}

// Label meshes follow a new voxel size and a new volume's frame count, so
// they stay on the overlay.
TEST_F(ViewerLabelsTest, LabelMeshesFollowVoxelSizeAndFrames) {
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", kX, kY, kZ, kT, 1.5));
    ASSERT_TRUE(m_viewer.ShowLabels(Labels(1), "labels.nii"));
    SetPixelSizes(2.0, 3.0, 4.0);
    const Vec3d centre = m_view.m_meshes.Object(0).Centroid();
    EXPECT_EQ(m_view.m_meshes.Object(0).m_name, "label1-00");
    EXPECT_NEAR(centre.x, 1.5 * 2.0, 1e-4);
    EXPECT_NEAR(centre.y, (kY - 1 - 0.5) * 3.0, 1e-4);
    EXPECT_NEAR(centre.z, 2.5 * 4.0, 1e-4);

    m_viewer.LoadVolumeFile(WriteVolume("five.tvi", kX, kY, kZ, 5, 1.5));
    EXPECT_EQ(m_view.m_meshes.ObjectCount(), 10);
    EXPECT_EQ(m_view.m_meshes.LastFrame(), 4);
    EXPECT_NEAR(m_view.m_meshes.Object(0).Centroid().x, 1.5 * 1.5, 1e-4);
}
