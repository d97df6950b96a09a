// Workspaces: what is written comes back, bad files are refused with one
// line, and files that went are named while the rest opens.

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <tuple>

#include "CommandTable.h"
#include "Curves.h"
#include "RecentFiles.h"
#include "ViewerFixture.h"
#include "Workspace.h"

namespace {

class WorkspaceTest : public ViewerTest {
protected:
    // A workspace file in the test folder holding `body` after its version.
    std::string WriteWorkspace(const std::string& body) {
        const std::string path = m_folder.File("reading.orvanta");
        EXPECT_TRUE(WriteText(path, std::string(R"({"orvanta_workspace": 1)") + body + "}"));
        return path;
    }
    std::vector<std::string> Errors() const {
        std::vector<std::string> errors;
        for (const auto& message : m_host.m_dialogs.m_messages)
            if (message.icon == CDialogService::Icon::kError) errors.push_back(message.text);
        return errors;
    }
};

}  // namespace

TEST_F(WorkspaceTest, BadFilesAreRefusedWithOneLineNamingTheFault) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"not json", "not a workspace"},
        {R"({"files": {}})", "no \"orvanta_workspace\" version"},
        {R"({"orvanta_workspace": 2})", "version 2 is not one"},
        {R"({"orvanta_workspace": 1.5})", "version 1.5 is not one"},
        {R"({"orvanta_workspace": 1, "files": {"volume": {"path": ""}}})", "file path"},
        {R"({"orvanta_workspace": 1, "files": {"labels": {"path": 7}}})", "file path"},
        {R"({"orvanta_workspace": 1, "files": {"meshes": "m.obj"}})", "file entry"},
        {R"({"orvanta_workspace": 1, "files": {"labels": {"path": "l.nii", "hidden": [0]}}})",
         "hidden label"},
        {R"({"orvanta_workspace": 1, "display": {"window": [10, 0]}})", "width above 0"},
        {R"({"orvanta_workspace": 1, "display": {"colormap": "rainbow"}})", "colour map"},
        {R"({"orvanta_workspace": 1, "display": {"brightness": 2}})", "out of range"},
        {R"({"orvanta_workspace": 1, "display": {"shown": {"axes": "yes"}}})", "switch"},
        {R"({"orvanta_workspace": 1, "reading": {"position": [1, 2.5, 3]}})", "position"},
        {R"({"orvanta_workspace": 1, "reading": {"frame": -1}})", "out of range"},
        {R"({"orvanta_workspace": 1, "reading": {"pixel_size_mm": [1, 0, 1]}})", "pixel sizes"},
        {R"({"orvanta_workspace": 1, "camera": {"azimuth": 1}})", "distance"},
        {R"({"orvanta_workspace": 1, "camera": {"distance": 1, "view_size": [0, 5]}})", "view size"},
        {R"({"orvanta_workspace": 1, "measurements": {}})", "not a list"},
    };
    for (const auto& [text, fault] : cases) {
        CWorkspace workspace;
        workspace.m_volume = "kept";
        std::string error;
        EXPECT_FALSE(CWorkspace::Parse(text, "w.orvanta", ".", workspace, error)) << text;
        EXPECT_EQ(error.rfind("w.orvanta: ", 0), 0u) << error;
        EXPECT_NE(error.find(fault), std::string::npos) << text << " gave: " << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << error;
        EXPECT_EQ(workspace.m_volume, "kept") << "a refused file changes nothing";
    }
}

TEST_F(WorkspaceTest, PathsAreKeptRelativeToTheWorkspace) {
    // A volume beside the readings' folder, labels kept apart (an atlas).
    CWorkspace workspace;
    workspace.m_volume = m_folder.File("scans/heart.tvi");
    workspace.m_labels = m_folder.File("atlas/labels.nii.gz");
    std::filesystem::create_directories(m_folder.File("atlas"));
    ASSERT_TRUE(WriteText(workspace.m_labels, "labels"));
    const std::string text = workspace.ToJson(m_folder.File("readings/r.orvanta"));
    EXPECT_NE(text.find(R"("path": "../scans/heart.tvi")"), std::string::npos) << text;

    // The readings and scans move; the atlas stays.
    CWorkspace read;
    std::string error;
    ASSERT_TRUE(CWorkspace::Parse(text, "r.orvanta", "moved/readings", read, error)) << error;
    EXPECT_EQ(read.m_volume, "moved/scans/heart.tvi") << "neither place exists: named where it belongs";
    EXPECT_EQ(read.m_labels, m_folder.File("atlas/labels.nii.gz")) << "found where it was";
}

TEST_F(WorkspaceTest, WhatIsSavedOpensAgainAsItWas) {
    const std::string volume = WriteVolume("heart.tvi", 12, 10, 6, 4, 1.5);
    m_viewer.LoadVolumeFile(volume);
    ASSERT_GT(m_viewer.Volume().SizeX(), 0);
    ASSERT_TRUE(m_viewer.SetWindow(CDisplayWindow{50, 80}));
    m_viewer.SetColourMap(EColourMap::kViridis);
    m_viewer.SetBrightnessContrast(0.6, 0.3);
    for (const int command : {kCmdAxes, kCmdYPlane, kCmdWhiteBackground, kCmdPingPong})
        RunCommand(*FindCommand(command), m_viewer);
    m_viewer.Navigation().SetPosition(3, 4, 5);
    m_viewer.Navigation().SetFrame(2);
    m_viewer.Navigation().SetLockedFrame(1);
    m_view.SetCameraAngles(0.3, -0.2);
    m_view.m_distance = 77;
    std::string error;
    ASSERT_TRUE(m_viewer.Measurements().LoadText(
        R"({"measurements": [{"name": "d", "kind": "distance", "points_voxel": [[0, 0, 0], [3, 4, 0.25]]},
            {"name": "p", "kind": "angle", "frames": {"1": [[1, 0, 0], [0, 0, 0], [0, 1, 0]]}}]})",
        "test", CCurves::MeasurementContext(m_viewer), error))
        << error;
    m_viewer.Measurements().SetShown(1, false);
    const std::string path = m_folder.File("r.orvanta");
    ASSERT_TRUE(CWorkspace::SaveFile(path, m_viewer));

    CTestHost host;
    CRecordingView view;
    CViewer opened(view, host);
    ASSERT_TRUE(opened.OpenFile(path));
    EXPECT_TRUE(host.m_dialogs.m_messages.empty());
    const CViewerState& a = m_viewer.State();
    const CViewerState& b = opened.State();
    EXPECT_EQ(b.m_volumePath, a.m_volumePath);
    EXPECT_EQ(std::tie(b.m_x, b.m_y, b.m_z, b.m_t, b.m_lockedFrame),
              std::tie(a.m_x, a.m_y, a.m_z, a.m_t, a.m_lockedFrame));
    EXPECT_EQ(std::tie(b.m_brightness, b.m_contrast), std::tie(a.m_brightness, a.m_contrast));
    EXPECT_EQ(std::tie(b.m_showY, b.m_axes, b.m_whiteBackground, b.m_pingPongUp),
              std::tie(a.m_showY, a.m_axes, a.m_whiteBackground, a.m_pingPongUp));
    EXPECT_EQ(std::tie(b.m_pixelSizeX, b.m_pixelSizeZ, b.m_frameTimeMs),
              std::tie(a.m_pixelSizeX, a.m_pixelSizeZ, a.m_frameTimeMs));
    EXPECT_EQ(opened.Volume().Window().center, 50);
    EXPECT_EQ(opened.Volume().Window().width, 80);
    EXPECT_EQ(view.m_colourMap, EColourMap::kViridis);
    EXPECT_EQ(std::tie(view.m_azimuth, view.m_elevation, view.m_distance),
              std::tie(m_view.m_azimuth, m_view.m_elevation, m_view.m_distance));
    EXPECT_EQ(opened.Measurements().ToJson(), m_viewer.Measurements().ToJson());
    EXPECT_FALSE(opened.Measurements().Shown(1)) << "hidden it stays";
}

TEST_F(WorkspaceTest, FilesThatWentAreNamedInOneMessageAndTheRestOpens) {
    WriteVolume("heart.tvi", 12, 10, 6, 4);
    const std::string path = WriteWorkspace(R"(, "files": {"volume": {"path": "heart.tvi"},
        "labels": {"path": "gone.nii.gz"}, "meshes": {"path": "gone.obj"}}, "reading": {"frame": 3})");
    ASSERT_TRUE(m_viewer.OpenFile(path));
    EXPECT_EQ(m_viewer.Volume().SizeX(), 12);
    EXPECT_EQ(m_viewer.State().m_t, 3);
    const std::vector<std::string> errors = Errors();
    ASSERT_EQ(errors.size(), 1u) << (errors.empty() ? "" : errors[0]);
    EXPECT_NE(errors[0].find("gone.nii.gz, "), std::string::npos) << errors[0];
    EXPECT_NE(errors[0].find("gone.obj"), std::string::npos) << errors[0];
}

TEST_F(WorkspaceTest, RecentFilesKeepTheLastTenNewestFirst) {
    const std::string settings = m_folder.File("recent.conf");
    {
        CRecentFiles recent(settings);
        for (int i = 0; i < 12; ++i) recent.Add(m_folder.File("f" + std::to_string(i) + ".nii"));
        recent.Add(m_folder.File("f5.nii"));
    }
    const std::vector<std::string> files = CRecentFiles(settings).Files();
    ASSERT_EQ(files.size(), CRecentFiles::kMaxFiles);
    EXPECT_EQ(files[0], m_folder.File("f5.nii")) << "opened again, it comes first once";
    EXPECT_EQ(files[1], m_folder.File("f11.nii"));
    EXPECT_EQ(std::count(files.begin(), files.end(), m_folder.File("f5.nii")), 1);
    EXPECT_EQ(files.back(), m_folder.File("f2.nii")) << "the oldest beyond ten went";
}
