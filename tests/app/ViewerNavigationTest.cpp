#include <climits>

#include "CommandTable.h"
#include "ViewerFixture.h"
#include "VolumeFormat.h"

TEST_F(ViewerTest, VoxelStepsStayInsideTheVolume) {
    using Step = void (CNavigation::*)();
    const std::tuple<Step, Step, int, int> axes[] = {{&CNavigation::OnIncreaseX, &CNavigation::OnDecreaseX, 0, 4},
                                                     {&CNavigation::OnIncreaseY, &CNavigation::OnDecreaseY, 1, 3},
                                                     {&CNavigation::OnIncreaseZ, &CNavigation::OnDecreaseZ, 2, 2}};
    CNavigation& v = m_viewer.Navigation();
    auto at = [this](int axis) {
        const CViewerState& s = m_viewer.State();
        return axis == 0 ? s.m_x : axis == 1 ? s.m_y : s.m_z;
    };
    auto put = [this, &v](int axis, int value) {
        int position[3] = {m_viewer.State().m_x, m_viewer.State().m_y, m_viewer.State().m_z};
        position[axis] = value;
        v.SetPosition(position[0], position[1], position[2]);
    };
    for (const auto& [increase, decrease, axis, size] : axes) {
        (v.*decrease)();
        (v.*increase)();
        EXPECT_EQ(at(axis), 0) << "no volume";
    }
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", 4, 3, 2, 1));
    for (const auto& [increase, decrease, axis, size] : axes) {
        put(axis, size - 1);
        (v.*increase)();
        EXPECT_EQ(at(axis), size - 1);
        (v.*decrease)();
        EXPECT_EQ(at(axis), size - 2);
        put(axis, 0);
        (v.*decrease)();
        EXPECT_EQ(at(axis), 0);
    }
}

TEST_F(ViewerTest, VoxelStepsWalkBackIntoTheVolume) {
    // Meshes may put the position outside the volume; each step toward it is taken.
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", 4, 4, 6, 1));
    struct Case {
        int start;
        void (CNavigation::*step)();
        int expected;
    };
    const Case cases[] = {
        {-5, &CNavigation::OnIncreaseZ, -4},
        {9, &CNavigation::OnDecreaseZ, 8},
        {6, &CNavigation::OnDecreaseZ, 5},
        {-1, &CNavigation::OnIncreaseZ, 0},
        {9, &CNavigation::OnIncreaseZ, 9},
        {-5, &CNavigation::OnDecreaseZ, -5},
        {INT_MAX, &CNavigation::OnIncreaseZ, INT_MAX},
        {INT_MIN, &CNavigation::OnDecreaseZ, INT_MIN},
        {INT_MAX, &CNavigation::OnDecreaseZ, INT_MAX - 1},
    };
    for (const Case& c : cases) {
        m_viewer.Navigation().SetPosition(m_viewer.State().m_x, m_viewer.State().m_y, c.start);
        (m_viewer.Navigation().*c.step)();
        EXPECT_EQ(m_viewer.State().m_z, c.expected) << "from " << c.start;
    }
    // The wheel takes the same steps.
    m_viewer.Navigation().SetPosition(m_viewer.State().m_x, m_viewer.State().m_y, 10);
    m_viewer.Navigation().OnMouseWheel(120);
    EXPECT_EQ(m_viewer.State().m_z, 9);
}

TEST_F(ViewerTest, TheWheelStepsZ) {
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", 4, 4, 8, 1));
    EXPECT_EQ(m_viewer.State().m_z, 4);
    m_viewer.Navigation().OnMouseWheel(-120);  // towards the user
    EXPECT_EQ(m_viewer.State().m_z, 5);
    m_viewer.Navigation().OnMouseWheel(-1200);  // one step whatever the delta
    EXPECT_EQ(m_viewer.State().m_z, 6);
    m_viewer.Navigation().OnMouseWheel(0);
    EXPECT_EQ(m_viewer.State().m_z, 5);
    m_viewer.Navigation().OnMouseWheel(120);
    EXPECT_EQ(m_viewer.State().m_z, 4);
}

TEST_F(ViewerTest, SliceDragMovesThePlaneAgainstTheMouse) {
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", 20, 20, 2, 1));
    m_viewer.Navigation().SetPosition(10, m_viewer.State().m_y, m_viewer.State().m_z);
    ASSERT_TRUE(m_viewer.Execute(kCmdSliceDragX));  // Left arrow: drag x
    EXPECT_TRUE(m_host.m_mouseCaptured);
    EXPECT_EQ(m_viewer.State().m_sliceDragMode, 1);
    m_viewer.Navigation().OnMouseMove(100, 50, false, false);  // the first move only starts
    EXPECT_EQ(m_viewer.State().m_x, 10);
    m_viewer.Navigation().OnMouseMove(101, 50, false, false);  // 10 - 0.5
    EXPECT_EQ(m_viewer.State().m_x, 9);
    m_viewer.Navigation().OnMouseMove(100, 50, false, false);  // 9.5 truncated
    EXPECT_EQ(m_viewer.State().m_x, 9);
    m_viewer.Navigation().OnMouseMove(98, 50, false, false);  // 9 + 1
    EXPECT_EQ(m_viewer.State().m_x, 10);
    m_viewer.Navigation().OnMouseMove(94, 50, true, false);  // Ctrl: 10 + 4
    EXPECT_EQ(m_viewer.State().m_x, 14);
    m_viewer.Navigation().OnMouseMove(90, 50, true, true);  // Ctrl and Shift: 14 + 2
    EXPECT_EQ(m_viewer.State().m_x, 16);
    m_viewer.Navigation().OnMouseMove(0, 50, false, false);  // far left: held at X - 1
    EXPECT_EQ(m_viewer.State().m_x, 19);
    m_viewer.Navigation().OnMouseMove(500, 50, false, false);  // far right: held at 0
    EXPECT_EQ(m_viewer.State().m_x, 0);

    // Right arrow ends any drag rather than switching to y.
    ASSERT_TRUE(m_viewer.Execute(kCmdSliceDragY));
    EXPECT_EQ(m_viewer.State().m_sliceDragMode, 0);
    EXPECT_FALSE(m_host.m_mouseCaptured);
    m_viewer.Navigation().OnMouseMove(0, 0, false, false);
    EXPECT_EQ(m_viewer.State().m_x, 0);

    // A y drag: moving down lowers y; a left click ends it.
    m_viewer.Navigation().SetPosition(m_viewer.State().m_x, 10, m_viewer.State().m_z);
    m_viewer.Execute(kCmdSliceDragY);
    m_viewer.Navigation().OnLeftButtonDown(5, 5);
    m_viewer.Navigation().OnMouseMove(5, 9, false, false);  // 10 - 2
    EXPECT_EQ(m_viewer.State().m_y, 8);
    m_viewer.Navigation().OnMouseMove(5, 1000, false, false);
    EXPECT_EQ(m_viewer.State().m_y, 0);
    m_viewer.Navigation().OnMouseMove(5, -1000, false, false);
    EXPECT_EQ(m_viewer.State().m_y, 19);
    m_viewer.Navigation().OnLeftButtonUp();
    EXPECT_EQ(m_viewer.State().m_sliceDragMode, 0);
    EXPECT_FALSE(m_host.m_mouseCaptured);
}

TEST_F(ViewerTest, FrameStepsWrapAroundTheTimeAxis) {
    m_viewer.Navigation().OnPreviousFrame();  // nothing loaded: last is -1
    EXPECT_EQ(m_viewer.State().m_t, -1);
    m_viewer.Navigation().OnNextFrame();
    EXPECT_EQ(m_viewer.State().m_t, 0);
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", 4, 4, 2, 10));
    m_viewer.Navigation().OnPreviousFrame();
    EXPECT_EQ(m_viewer.State().m_t, 9);
    m_viewer.Navigation().OnNextFrame();
    EXPECT_EQ(m_viewer.State().m_t, 0);
    m_viewer.Navigation().OnMiddleFrame();
    EXPECT_EQ(m_viewer.State().m_t, 4);
    m_viewer.Navigation().OnLastFrame();
    EXPECT_EQ(m_viewer.State().m_t, 9);
    // Meshes extend the time axis.
    for (int frame = 0; frame <= 14; ++frame) m_view.m_meshes.AddObject(CMeshObject("m-" + std::to_string(frame)));
    m_viewer.Navigation().OnNextFrame();
    EXPECT_EQ(m_viewer.State().m_t, 10);
    m_viewer.Navigation().OnLastFrame();
    EXPECT_EQ(m_viewer.State().m_t, 14);
    m_viewer.Navigation().OnFirstFrame();
    EXPECT_EQ(m_viewer.State().m_t, 0);
}

TEST_F(ViewerTest, PlaybackCyclesOrBouncesOnTheTimer) {
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", 4, 4, 2, 4));
    ASSERT_TRUE(m_viewer.Execute(kCmdPlayStop));
    EXPECT_TRUE(m_viewer.State().m_playing);
    EXPECT_EQ(m_host.m_timerPeriod, 55);
    std::vector<int> shown;
    for (int tick = 0; tick < 6; ++tick) {
        m_viewer.Navigation().OnTimer();
        shown.push_back(m_viewer.State().m_t);
    }
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 0, 1, 2}));

    m_viewer.Navigation().SetFrame(0);
    ASSERT_TRUE(m_viewer.Execute(kCmdPingPong));
    shown.clear();
    for (int tick = 0; tick < 9; ++tick) {
        m_viewer.Navigation().OnTimer();
        shown.push_back(m_viewer.State().m_t);
    }
    EXPECT_EQ(shown, (std::vector<int>{1, 2, 3, 2, 1, 0, 1, 2, 3}));
    m_viewer.Execute(kCmdPingPong);
    EXPECT_FALSE(m_viewer.State().m_pingPongUp || m_viewer.State().m_pingPongDown);

    ASSERT_TRUE(m_viewer.Execute(kCmdPlayStop));
    EXPECT_FALSE(m_viewer.State().m_playing);
    EXPECT_FALSE(m_host.m_timerRunning);
    m_host.m_refuseTimer = true;
    m_viewer.Execute(kCmdPlayStop);
    EXPECT_FALSE(m_viewer.State().m_playing);
}

TEST_F(ViewerTest, PlaybackTicksAtLeastEveryMillisecond) {
    // The file's frame time stays what the Preferences show; only the timer is held to 1 ms.
    const std::pair<double, int> frameTimes[] = {{0.4, 0}, {-3.0, -3}, {0.0, 0}, {1.0, 1}, {40.0, 40}};
    for (const auto& [frameTime, shown] : frameTimes) {
        TviContents tvi = TviVolume(2, 2, 1, 3);
        tvi.frameTime = frameTime;
        ASSERT_TRUE(WriteTviFile(m_folder.File("t.tvi"), tvi));
        m_viewer.LoadVolumeFile(m_folder.File("t.tvi"));
        ASSERT_EQ(m_viewer.CurrentPreferences().frameTimeMs, shown) << frameTime;
        m_viewer.Navigation().OnPlayStop();
        EXPECT_TRUE(m_viewer.State().m_playing) << frameTime;
        EXPECT_EQ(m_host.m_timerPeriod, std::max(shown, 1)) << frameTime;
        m_viewer.Navigation().OnPlayStop();
    }
}

TEST_F(ViewerTest, LockedFrameHoldsTheSlicesWhileMeshesPlayOn) {
    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", 4, 4, 2, 10));
    EXPECT_FALSE(m_viewer.Execute(kCmdLockFrame)) << "locking needs meshes";
    for (int frame = 0; frame <= 14; ++frame) m_view.m_meshes.AddObject(CMeshObject("m-" + std::to_string(frame)));
    m_viewer.Navigation().SetFrame(3);
    ASSERT_TRUE(m_viewer.Execute(kCmdLockFrame));
    EXPECT_EQ(m_viewer.State().m_lockedFrame, 3);
    for (int tick = 0; tick < 5; ++tick) m_viewer.Navigation().OnTimer();
    EXPECT_EQ(m_viewer.State().m_t, 8);
    EXPECT_EQ(m_view.m_meshFrame, 8);
    EXPECT_EQ(m_viewer.Navigation().DisplayFrame(), 3);
    m_viewer.Execute(kCmdLockFrame);
    EXPECT_EQ(m_viewer.State().m_lockedFrame, -1);
}

TEST_F(ViewerTest, ContrastAndBrightnessStepsStopExactlyAtTheBounds) {
    for (int step = 1; step <= 10; ++step) m_viewer.Execute(kCmdIncreaseContrast);
    EXPECT_EQ(m_viewer.State().m_contrast, 1.0);
    m_viewer.Execute(kCmdIncreaseContrast);
    EXPECT_EQ(m_viewer.State().m_contrast, 1.0);
    m_viewer.Execute(kCmdResetBrightnessContrast);
    EXPECT_EQ(m_viewer.State().m_contrast, 0.5);
    EXPECT_EQ(m_view.m_contrast, 0.5);
    for (int step = 1; step <= 10; ++step) m_viewer.Execute(kCmdDecreaseContrast);
    EXPECT_GT(m_viewer.State().m_contrast, 0.0);
    EXPECT_LT(m_viewer.State().m_contrast, 1e-15);
    m_viewer.Execute(kCmdDecreaseContrast);
    EXPECT_EQ(m_viewer.State().m_contrast, 0.0);
    m_viewer.Execute(kCmdIncreaseBrightness);
    EXPECT_DOUBLE_EQ(m_viewer.State().m_brightness, 0.55);
    EXPECT_DOUBLE_EQ(m_view.m_brightness, 0.55);
    m_viewer.Execute(kCmdDecreaseBrightness);
    m_viewer.Execute(kCmdDecreaseBrightness);
    EXPECT_DOUBLE_EQ(m_view.m_brightness, 0.45);
    EXPECT_EQ(m_view.m_contrast, 0.0);
}

TEST_F(ViewerTest, RulesGateCommandsFromKeysAndMenus) {
    // Nothing loaded: playback, ping-pong and mesh commands are off.
    for (int id :
         {kCmdPlayStop, kCmdPingPong, kCmdDrawGeometry, kCmdClipGeometry, kCmdToggleObjects, kCmdWireframe,
          kCmdBackfaceCulling, kCmdZCapGeometry, kCmdPointsOnly, kCmdLockFrame, kCmdGeometryInformation})
        EXPECT_FALSE(m_viewer.Execute(id)) << std::hex << id;
    EXPECT_TRUE(m_viewer.Execute(kCmdNextFrame));
    EXPECT_EQ(m_viewer.State().m_t, 0);

    m_viewer.LoadVolumeFile(WriteVolume("v.tvi", 4, 4, 2, 3));
    ASSERT_TRUE(m_viewer.Execute(kCmdPlayStop));
    // While playing, stepping and opening are off but First Frame is not.
    m_viewer.Navigation().SetFrame(2);
    EXPECT_FALSE(m_viewer.Execute(kCmdNextFrame));
    EXPECT_FALSE(m_viewer.Execute(kCmdPreviousFrame));
    EXPECT_FALSE(m_viewer.Execute(kCmdOpenVolume));
    EXPECT_FALSE(m_viewer.Execute(kCmdResize640x480));
    EXPECT_FALSE(m_viewer.Execute(kCmdAbout));
    EXPECT_EQ(m_viewer.State().m_t, 2);
    EXPECT_TRUE(m_viewer.Execute(kCmdFirstFrame));
    EXPECT_EQ(m_viewer.State().m_t, 0);

    // Colour coding needs a shown plane.
    for (int id : {kCmdXPlane, kCmdYPlane, kCmdZPlane}) m_viewer.Execute(id);
    EXPECT_FALSE(m_viewer.Execute(kCmdColourCoding));
    m_viewer.Execute(kCmdZPlane);
    EXPECT_TRUE(m_viewer.Execute(kCmdColourCoding));
    EXPECT_TRUE(m_view.m_colourCoding);
    EXPECT_TRUE(IsCommandChecked(*FindCommand(kCmdColourCoding), m_viewer));
    EXPECT_EQ(m_view.m_showPlane[2], true);
    EXPECT_EQ(m_view.m_showPlane[0], false);
}

TEST_F(ViewerTest, SwitchesReachTheView) {
    double centre[3] = {1, 1, 1};
    m_viewer.LoadGeometryFile(WriteMeshes("m.obj", {"a-00", "b-00"}, centre));
    const std::pair<int, bool CSceneState::*> viewFlags[] = {
        {kCmdDrawGeometry, &CSceneState::m_drawGeometry},
        {kCmdClipGeometry, &CSceneState::m_clipGeometry},
        {kCmdBoundingBox, &CSceneState::m_showBoundingBox},
        {kCmdAxes, &CSceneState::m_showAxes},
        {kCmdBilinearFiltering, &CSceneState::m_bilinear},
        {kCmdWireframe, &CSceneState::m_wireframe},
        {kCmdPointsOnly, &CSceneState::m_pointsOnly},
        {kCmdBackfaceCulling, &CSceneState::m_backfaceCulling},
        {kCmdAlternateTexturing, &CSceneState::m_alternateTexturing}};
    for (const auto& [id, flag] : viewFlags) {
        const bool before = m_view.*flag;
        ASSERT_TRUE(m_viewer.Execute(id)) << std::hex << id;
        EXPECT_NE(m_view.*flag, before) << std::hex << id;
        const CCommand* command = FindCommand(id);
        if (IsCommandCheckable(*command)) {
            EXPECT_EQ(IsCommandChecked(*command, m_viewer), m_view.*flag) << std::hex << id;
        }
    }
    EXPECT_EQ(m_view.m_textureTarget, CSceneState::kTextureRectangle);
    m_viewer.Execute(kCmdAlternateTexturing);
    EXPECT_EQ(m_view.m_textureTarget, static_cast<GLenum>(GL_TEXTURE_2D));

    // Toggle Objects runs -1, 0, 1, -1 over the two objects of frame 0.
    m_viewer.Execute(kCmdToggleObjects);
    m_viewer.Execute(kCmdToggleObjects);
    EXPECT_EQ(m_view.m_selectedObject, 1);
    EXPECT_EQ(m_host.m_title, "Orvanta - m.obj / m.obj [b-00]");
    m_viewer.Execute(kCmdToggleObjects);
    EXPECT_EQ(m_view.m_selectedObject, -1);

    m_viewer.Execute(kCmdShowXY);
    EXPECT_EQ(m_view.m_elevation, COrbitCamera::kPi / 2);
    m_viewer.Execute(kCmdResize640x480);
    m_viewer.Execute(kCmdFullScreen);
    m_viewer.Execute(kCmdExit);
    EXPECT_EQ(m_host.m_windowCommands, (std::vector<std::string>{"resize 640x480", "full screen", "close"}));
}

TEST_F(ViewerTest, OpenDialogsLoadTheChosenFile) {
    const std::string path = WriteVolume("chosen.tvi", 4, 4, 2, 1);
    m_host.m_dialogs.m_fileAnswers = {"", path};
    m_viewer.Execute(kCmdOpenVolume);  // cancelled
    EXPECT_TRUE(m_viewer.State().m_volumePath.empty());
    m_viewer.Execute(kCmdOpenVolume);
    EXPECT_EQ(m_viewer.State().m_volumePath, path);
    ASSERT_EQ(m_host.m_dialogs.m_fileRequests.size(), 2u);
    // Every openable extension first, then each format with a file dialog its own filter.
    const std::string& filter = m_host.m_dialogs.m_fileRequests[0].filter;
    ASSERT_EQ(filter.rfind("Volumes (", 0), 0u) << filter;
    const std::string everything = filter.substr(0, filter.find(";;")) + " ";
    for (const CVolumeFormat& format : VolumeFormats()) {
        if (format.dialogFilter == nullptr) continue;
        EXPECT_NE(filter.find(std::string(";;") + format.dialogFilter), std::string::npos) << format.name;
        for (const std::string extension : format.extensions)
            EXPECT_TRUE(everything.find("*" + extension + " ") != std::string::npos ||
                        everything.find("*" + extension + ")") != std::string::npos)
                << extension << " in " << everything;
    }
}
