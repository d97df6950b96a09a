// The viewer's change notices: what each kind of command announces, that a
// command is told once however many parts of it change things, and that the
// Curves panel follows them, also for changes made in place.

#include <gtest/gtest.h>

#include <functional>

#include "CommandTable.h"
#include "CurvesChart.h"
#include "CurvesPanel.h"
#include "MeshShapes.h"
#include "ViewerFixture.h"

namespace {

class ViewerNoticesTest : public ViewerTest {
protected:
    ViewerNoticesTest() {
        m_viewer.Notices().Subscribe([this](unsigned changes) { m_told.push_back(changes); });
    }
    std::vector<unsigned> m_told;
};

// One closed box per frame, named box-<frame>, of side `side` mm.
void ShowBoxes(CViewer& viewer, int frames, double side) {
    CMeshSet boxes;
    for (int frame = 0; frame < frames; ++frame)
        boxes.AddObject(BoxMesh("box-0" + std::to_string(frame), {0, 0, 0}, {side, side, side}));
    viewer.View().m_meshes = boxes;
    viewer.Notices().Announce(kChangeMeshes);
}

// A label image of the given grid whose first slice is label 1.
CLabelImage SliceLabels(int x, int y, int z) {
    std::vector<uint8_t> values(static_cast<size_t>(x) * y * z, 0);
    std::fill(values.begin(), values.begin() + x * y, 1);
    CLabelImage labels;
    std::string error;
    EXPECT_TRUE(labels.Assign(values.data(), x, y, z, 1, error)) << error;
    return labels;
}

}  // namespace

TEST_F(ViewerNoticesTest, EachCommandIsToldOnceWithWhatItChanged) {
    const std::string volume = WriteVolume("beat.tvi", 6, 5, 4, 3);
    double centre[3] = {2, 2, 2};
    // A .tvi file's companion meshes load with it, inside the same notice.
    WriteMeshes("beat.obj", {"lv-00", "lv-01"}, centre);
    struct Case {
        const char* what;
        std::function<void()> run;
        unsigned expected;
    };
    const Case cases[] = {
        {"load with companion meshes", [&] { m_viewer.LoadVolumeFile(volume); },
         kChangeVolume | kChangePosition | kChangeFrame | kChangeCalibration | kChangeLabels | kChangeMeshes},
        {"next frame", [&] { m_viewer.Execute(kCmdNextFrame); }, kChangeFrame},
        {"voxel step", [&] { m_viewer.Execute(kCmdIncreaseZ); }, kChangePosition},
        {"voxel of the file", [&] { m_viewer.SetVoxel({1, 1, 1}); }, kChangePosition},
        {"plane switch", [&] { m_viewer.Execute(kCmdXPlane); }, kChangeDisplay},
        {"view switch", [&] { m_viewer.Execute(kCmdWireframe); }, kChangeDisplay},
        {"brightness", [&] { m_viewer.Execute(kCmdIncreaseBrightness); }, kChangeDisplay},
        {"z-cap", [&] { m_viewer.Execute(kCmdZCapGeometry); }, kChangeMeshes},
        {"pixel sizes", [&] { SetPixelSizes(2, 2, 3); }, kChangeCalibration | kChangeLabels | kChangeMeshes},
        {"labels", [&] { m_viewer.ShowLabels(SliceLabels(6, 5, 4), "labels.nii"); },
         kChangeLabels | kChangeMeshes},
        {"a file that cannot load", [&] { m_viewer.LoadVolumeFile(m_folder.File("none.tvi")); }, 0},
    };
    for (const Case& c : cases) {
        m_told.clear();
        c.run();
        if (c.expected == 0) {
            EXPECT_TRUE(m_told.empty()) << c.what;
            continue;
        }
        ASSERT_EQ(m_told.size(), 1u) << c.what;
        EXPECT_EQ(m_told[0], c.expected) << c.what;
    }
    // The view followed the notices.
    EXPECT_EQ(m_view.m_meshFrame, 1);
}

TEST_F(ViewerNoticesTest, BatchesHoldNoticesAndListenersMayLeaveWhileTold) {
    CViewerNotices notices;
    std::vector<std::string> told;
    int second = 0;
    notices.Subscribe([&](unsigned changes) {
        told.push_back("first " + std::to_string(changes));
        notices.Unsubscribe(second);  // the second leaves before its turn
    });
    second = notices.Subscribe([&](unsigned changes) { told.push_back("second " + std::to_string(changes)); });
    {
        const CViewerNotices::CBatch outer(notices);
        notices.Announce(kChangeFrame);
        {
            const CViewerNotices::CBatch inner(notices);
            notices.Announce(kChangePosition);
        }
        EXPECT_TRUE(told.empty()) << "an inner batch tells nothing";
        notices.Announce(0);
    }
    EXPECT_EQ(told, std::vector<std::string>{"first " + std::to_string(kChangeFrame | kChangePosition)});
    notices.Announce(kChangeDisplay);  // outside a batch: at once
    EXPECT_EQ(told.back(), "first " + std::to_string(kChangeDisplay));
    EXPECT_EQ(told.size(), 2u);
}

TEST_F(ViewerNoticesTest, CurvesFollowChangesMadeInPlaceAndCatchUpWhenShown) {
    CCurvesPanel panel(m_viewer, nullptr);
    panel.show();
    ShowBoxes(m_viewer, 2, 10.0);
    ASSERT_EQ(panel.Curves().MeshLines().size(), 1u);
    EXPECT_NEAR(panel.Curves().MeshLines()[0].ml[0], 1.0, 1e-12);

    // The vertices change where they are, as an editor would change them:
    // the same buffers and counts, which no key of addresses would tell apart.
    for (const CMeshObject& object : m_view.m_meshes.Objects())
        for (Vec3d& vertex : const_cast<CMeshObject&>(object).m_vertices) vertex = vertex * 2.0;
    m_viewer.Notices().Announce(kChangeMeshes);
    EXPECT_NEAR(panel.Curves().MeshLines()[0].ml[0], 8.0, 1e-9);

    // Hidden, the panel computes nothing; shown again, it catches up.
    panel.hide();
    ShowBoxes(m_viewer, 2, 30.0);
    EXPECT_NEAR(panel.Curves().MeshLines()[0].ml[0], 8.0, 1e-9);
    m_viewer.Navigation().SetFrame(1);
    panel.show();
    EXPECT_NEAR(panel.Curves().MeshLines()[0].ml[0], 27.0, 1e-9);
    EXPECT_EQ(panel.Chart().Frame(), 1);
}
