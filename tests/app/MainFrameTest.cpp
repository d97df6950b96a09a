#include <gtest/gtest.h>
#include <nifti1.h>

#include <QAction>
#include <QApplication>
#include <QChartView>
#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsTextItem>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QLegendMarker>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QUrl>
#include <QWheelEvent>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <cmath>
#include <map>
#include <numbers>
#include <string>
#include <thread>
#include <tuple>

#include "CommandTable.h"
#include "Curves.h"
#include "CurvesChart.h"
#include "CurvesPanel.h"
#include "LabelsPanel.h"
#include "MeasurementsPanel.h"
#include "MainFrame.h"
#include "MovieTools.h"
#include "PngReader.h"
#include "LabelEditing.h"
#include "SceneGeometry.h"
#include "ViewerExports.h"
#include "WindowLevel.h"
#include "WindowTool.h"
#include "Workspace.h"
#include "ViewerFixture.h"

namespace {

class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY")) GTEST_SKIP() << "no X display for window tests";
        m_frame.SetDialogService(&m_dialogs);
        m_frame.show();
        m_frame.activateWindow();
        // Keys reach window shortcuts only once the window is active; the X
        // server takes its time to say so.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
        while (!m_frame.isActiveWindow() && std::chrono::steady_clock::now() < deadline) {
            QApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        QApplication::processEvents();
        if (!m_frame.isActiveWindow()) GTEST_SKIP() << "the window never became active";
        if (!m_frame.View().isValid()) GTEST_SKIP() << "the view got no OpenGL context";
    }
    // A key as the keyboard delivers it to the focused view.
    void Press(Qt::Key key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
        QWidget* target =
            QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : &m_frame.View();
        QKeyEvent press(QEvent::KeyPress, key, modifiers);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, modifiers);
        QApplication::sendEvent(target, &release);
        QApplication::processEvents();
    }
    // A mouse event on the view: press, move with the buttons held, release.
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons held) {
        QWidget& view = m_frame.View();
        const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
        QMouseEvent event(type, QPointF(at), view.mapToGlobal(QPointF(at)), button, held, Qt::NoModifier);
        QApplication::sendEvent(&view, &event);
        QApplication::processEvents();
    }
    // A left drag on the view from `from` through `steps`.
    void LeftDrag(QPoint from, const std::vector<QPoint>& steps) {
        Mouse(QEvent::MouseButtonPress, from, Qt::LeftButton);
        for (const QPoint& step : steps) Mouse(QEvent::MouseMove, from + step, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, from + steps.back(), Qt::NoButton);
    }
    // The XY-plane alone, face on and near, at slice 2, for the tools.
    void ShowSlice2FaceOn() {
        ShowSliceFaceOn(m_frame.Viewer(), m_frame.View(), 2);
        m_frame.View().m_distance = 30.0;
    }
    // The view's pixel over file voxel (i, j) of slice 2.
    QPoint PixelOf(double i, double j) {
        const CTool::CPointer at =
            PointerOver(m_frame.Viewer(), {i, j, 2.0}, m_frame.View().width(), m_frame.View().height());
        return {at.x, at.y};
    }
    void Click(QPoint at) {
        Mouse(QEvent::MouseButtonPress, at, Qt::LeftButton);
        Mouse(QEvent::MouseButtonRelease, at, Qt::NoButton);
    }
    // An 8 x 8 x 4 volume of voxels `voxelMm` on a side.
    std::string WriteVolume(int frames, const VoxelRule& rule = {}, double voxelMm = 1.0) {
        TviContents tvi = TviVolume(8, 8, 4, frames, rule);
        tvi.pixelSizeX = tvi.pixelSizeY = tvi.pixelSizeZ = voxelMm;
        // Slow playback: no tick may step the frame between a key and its check.
        tvi.frameTime = 1000;
        const std::string path = m_folder.File("v.tvi");
        EXPECT_TRUE(WriteTviFile(path, tvi));
        return path;
    }
    // A label image on the volume's grid.
    std::string WriteLabels(int frames, const VoxelRule& rule) {
        const std::string path = m_folder.File("labels.nii");
        EXPECT_TRUE(
            WriteNiftiFile(path, NiftiVolume(8, 8, 4, frames, DT_UINT8, LabelValues(8, 8, 4, frames, rule))));
        return path;
    }

    TempFolder m_folder;
    CRecordingDialogs m_dialogs;
    CMainFrame m_frame;
};

}  // namespace

TEST_F(MainFrameTest, MenusCarryTheTableTexts) {
    const QList<QAction*> menus = m_frame.menuBar()->actions();
    ASSERT_EQ(menus.size(), 8);
    EXPECT_EQ(menus[0]->text(), "&File");
    EXPECT_EQ(menus[1]->text(), "&Edit");
    EXPECT_EQ(menus[4]->text(), "Geometry");
    for (const CCommand& command : CommandTable()) {
        QAction* action = m_frame.Action(command.id);
        ASSERT_NE(action, nullptr) << std::hex << command.id;
        if (command.text != nullptr) {
            EXPECT_EQ(action->text().toStdString(), command.text);
        }
    }
    EXPECT_EQ(m_frame.Action(kCmdResetBrightnessContrast)->text(), "&Reset Brightness && Contrast\tR");
    EXPECT_EQ(m_frame.windowTitle(), "Orvanta");
    EXPECT_EQ(QApplication::focusWidget(), &m_frame.View());
}

TEST_F(MainFrameTest, KeysRunTheirCommandsWithExactModifiers) {
    CViewer& viewer = m_frame.Viewer();
    viewer.LoadVolumeFile(WriteVolume(5));
    Press(Qt::Key_S);
    EXPECT_EQ(viewer.State().m_t, 1);
    Press(Qt::Key_S, Qt::ShiftModifier);  // letters are bound without Shift
    EXPECT_EQ(viewer.State().m_t, 1);
    Press(Qt::Key_Plus, Qt::KeypadModifier);
    EXPECT_DOUBLE_EQ(viewer.State().m_contrast, 0.55);
    Press(Qt::Key_Plus);  // the main keyboard's plus is not bound
    EXPECT_DOUBLE_EQ(viewer.State().m_contrast, 0.55);
    Press(Qt::Key_Plus, Qt::KeypadModifier | Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(viewer.State().m_brightness, 0.55);
    Press(Qt::Key_1);
    EXPECT_FALSE(viewer.State().m_showX);
    Press(Qt::Key_Left);
    EXPECT_EQ(viewer.State().m_sliceDragMode, 1);
    Press(Qt::Key_Left);
    EXPECT_EQ(viewer.State().m_sliceDragMode, 0);
    Press(Qt::Key_Down);  // not a command: the view's plane opacity
    EXPECT_NEAR(m_frame.View().m_planeAlpha[0], 0.95, 1e-12);

    // A disabled command's key does nothing: no stepping while playing.
    Press(Qt::Key_Space);
    ASSERT_TRUE(viewer.State().m_playing);
    const int t = viewer.State().m_t;
    Press(Qt::Key_A);
    EXPECT_EQ(viewer.State().m_t, t);
    Press(Qt::Key_Home, Qt::ControlModifier);
    EXPECT_EQ(viewer.State().m_t, 0);
    Press(Qt::Key_Space);
    EXPECT_FALSE(viewer.State().m_playing);
}

TEST_F(MainFrameTest, TabTogglesObjectsInsteadOfMovingTheFocus) {
    for (const char* name : {"a-00", "b-00"}) m_frame.View().m_meshes.AddObject(CMeshObject(name));
    Press(Qt::Key_Tab);
    EXPECT_EQ(m_frame.View().m_selectedObject, 0);
    Press(Qt::Key_Tab);
    EXPECT_EQ(m_frame.View().m_selectedObject, 1);
    EXPECT_EQ(QApplication::focusWidget(), &m_frame.View());
}

TEST_F(MainFrameTest, MenuStatesFollowTheRules) {
    m_frame.UpdateCommandStates();
    EXPECT_FALSE(m_frame.Action(kCmdPlayStop)->isEnabled()) << "Play needs frames";
    EXPECT_FALSE(m_frame.Action(kCmdDrawGeometry)->isEnabled()) << "Draw Geometry needs meshes";
    EXPECT_TRUE(m_frame.Action(kCmdBoundingBox)->isChecked()) << "Bounding Box";
    EXPECT_FALSE(m_frame.Action(kCmdAxes)->isChecked()) << "Axes";
    m_frame.Viewer().LoadVolumeFile(WriteVolume(3));
    m_frame.Viewer().Navigation().OnPingPong();
    m_frame.UpdateCommandStates();
    EXPECT_TRUE(m_frame.Action(kCmdPlayStop)->isEnabled());
    EXPECT_TRUE(m_frame.Action(kCmdPingPong)->isChecked());
}

// Also with the Curves panel shown, whose width the window then adds; the
// panel's least height can hold the window taller than a low view needs.
TEST_F(MainFrameTest, ResizeGivesTheViewExactlyThatArea) {
    for (const auto& [curves, command, width, height] :
         {std::tuple{false, kCmdResize640x480, 640, 480}, std::tuple{false, kCmdResize320x240, 320, 240},
          std::tuple{true, kCmdResize640x480, 640, 480}}) {
        m_frame.Curves().setVisible(curves);
        QApplication::processEvents();
        m_frame.Viewer().Execute(command);
        QApplication::processEvents();
        const QSize view = m_frame.View().DeviceSize();
        EXPECT_EQ(view.width(), width) << "curves shown " << curves;
        const double logicalHeight = height / m_frame.View().devicePixelRatio();
        if (!curves || m_frame.Curves().minimumSizeHint().height() <= logicalHeight) {
            EXPECT_EQ(view.height(), height) << "curves shown " << curves;
        }
    }
}

// Also run with QT_SCALE_FACTOR=2, where a logical pixel is two device pixels.
TEST_F(MainFrameTest, SnapshotsAndMoviesHaveTheSizeNamed) {
    CViewer& viewer = m_frame.Viewer();
    viewer.LoadVolumeFile(WriteVolume(2));
    for (const auto& [command, width, height] :
         {std::tuple{kCmdResize640x480, 640, 480}, std::tuple{kCmdResize320x240, 320, 240}}) {
        viewer.Execute(command);
        QApplication::processEvents();
        const std::string size = std::to_string(width) + "x" + std::to_string(height);
        ASSERT_TRUE(CViewerExports(viewer).SaveSnapshot(m_folder.File("view.png"))) << size;
        const DecodedPng png = ReadPng(m_folder.File("view.png"));
        EXPECT_EQ(png.width, static_cast<unsigned>(width)) << size;
        EXPECT_EQ(png.height, static_cast<unsigned>(height)) << size;
        ASSERT_TRUE(CViewerExports(viewer).ExportMovie(m_folder.File("view.avi"))) << size;
        auto stream = ProbeVideoStream(m_folder.File("view.avi"));
        EXPECT_EQ(stream["width"], std::to_string(width)) << size;
        EXPECT_EQ(stream["height"], std::to_string(height)) << size;
    }
}

TEST_F(MainFrameTest, FullScreenTwiceRestoresTheWindow) {
    QApplication::processEvents();
    const QRect before = m_frame.geometry();
    m_frame.Viewer().Execute(kCmdFullScreen);
    QApplication::processEvents();
    EXPECT_TRUE(m_frame.IsFullScreen());
    EXPECT_FALSE(m_frame.menuBar()->isVisible());
    m_frame.Viewer().Execute(kCmdFullScreen);
    QApplication::processEvents();
    QApplication::processEvents();
    EXPECT_FALSE(m_frame.IsFullScreen());
    EXPECT_TRUE(m_frame.menuBar()->isVisible());
    EXPECT_EQ(m_frame.geometry(), before);
}

TEST_F(MainFrameTest, TheWheelOverTheViewStepsZ) {
    m_frame.Viewer().LoadVolumeFile(WriteVolume(1));
    EXPECT_EQ(m_frame.Viewer().State().m_z, 2);
    QWheelEvent wheel(QPointF(10, 10), QPointF(10, 10), QPoint(), QPoint(0, -120), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(&m_frame.View(), &wheel);
    EXPECT_EQ(m_frame.Viewer().State().m_z, 3);
}

TEST_F(MainFrameTest, SlowLoadsShowTheirProgress) {
    m_frame.LoadProgress(0.0);
    m_frame.LoadProgress(0.2);
    EXPECT_FALSE(m_frame.IsShowingLoadProgress()) << "a quick load shows nothing";
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    m_frame.LoadProgress(0.4);
    EXPECT_TRUE(m_frame.IsShowingLoadProgress());
    m_frame.LoadProgress(1.0);
    EXPECT_FALSE(m_frame.IsShowingLoadProgress());
}

// The label keys, and a file dropped with Shift held loading as labels.
TEST_F(MainFrameTest, LabelKeysAndShiftDrop) {
    CViewer& viewer = m_frame.Viewer();
    viewer.LoadVolumeFile(WriteVolume(2));
    const std::string path = WriteLabels(1, [](int x, int y, int z, int) { return x + y + z == 0 ? 4 : 0; });

    auto drop = [&](const std::string& file, Qt::KeyboardModifiers modifiers) {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(QString::fromStdString(file))});
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, modifiers);
        // The application hands drops only to the target of a drag in
        // progress; the window's own event handling is what a drop reaches.
        static_cast<QObject&>(m_frame).event(&event);
    };
    // With Shift only a NIfTI file will do.
    drop(m_folder.File("v.tvi"), Qt::ShiftModifier);
    EXPECT_TRUE(viewer.Labels().Image().Empty());
    ASSERT_EQ(m_dialogs.m_messages.size(), 1u);
    EXPECT_NE(m_dialogs.m_messages[0].text.find("label images"), std::string::npos);
    drop(path, Qt::ShiftModifier);
    ASSERT_FALSE(viewer.Labels().Image().Empty());
    EXPECT_EQ(viewer.Labels().Image().Values().back(), 4);
    EXPECT_EQ(m_dialogs.m_messages.size(), 1u);
    EXPECT_EQ(viewer.Volume().SizeX(), 8);

    Press(Qt::Key_V);
    EXPECT_FALSE(m_frame.View().m_showLabels);
    m_frame.UpdateCommandStates();
    EXPECT_FALSE(m_frame.Action(kCmdLabelOverlay)->isChecked());
    Press(Qt::Key_BracketRight);
    EXPECT_EQ(m_frame.View().m_labelOpacity, 0.5);
    Press(Qt::Key_BracketLeft);
    Press(Qt::Key_BracketLeft);
    EXPECT_EQ(m_frame.View().m_labelOpacity, 0.3);
}

// The Labels and Measurements docks: hidden at first, Ctrl+Shift+L and
// Ctrl+Shift+M (keys no other action of the window has) and their Display
// menu items show and hide them, and the Labels dock edits the window's
// editing settings.
TEST_F(MainFrameTest, DocksToggleByTheirKeysAndTheLabelsDockEditsTheSettings) {
    std::map<QString, QString> owner;
    for (const QAction* action : m_frame.findChildren<QAction*>())
        for (const QKeySequence& key : action->shortcuts()) {
            const auto [at, fresh] = owner.emplace(key.toString(), action->text());
            EXPECT_TRUE(fresh) << key.toString().toStdString() << " belongs to " << at->second.toStdString()
                               << " and " << action->text().toStdString();
        }
    EXPECT_GT(owner.size(), 40u) << "the window's keys were not found";
    const struct {
        QDockWidget* panel;
        const char* item;
        Qt::Key key;
    } docks[] = {{&m_frame.LabelsPanel(), "Labels Panel", Qt::Key_L},
                 {&m_frame.MeasurementsPanel(), "Measurements Panel", Qt::Key_M}};
    for (const auto& dock : docks) {
        SCOPED_TRACE(dock.item);
        EXPECT_TRUE(dock.panel->isHidden());
        QAction* item = nullptr;
        for (QAction* menu : m_frame.menuBar()->actions())
            if (menu->text() == "&Display")
                for (QAction* entry : menu->menu()->actions())
                    if (entry->text().startsWith(dock.item)) item = entry;
        ASSERT_NE(item, nullptr);
        Press(dock.key, Qt::ControlModifier | Qt::ShiftModifier);
        EXPECT_FALSE(dock.panel->isHidden());
        EXPECT_TRUE(item->isChecked());
        if (dock.panel == &m_frame.LabelsPanel()) {
            m_frame.LabelsPanel().BrushRadius().setValue(12.0);
            EXPECT_EQ(m_frame.EditSettings().brushRadiusMm, 12.0);
        }
        item->trigger();
        EXPECT_TRUE(dock.panel->isHidden());
    }
}

// The Curves dock: U shows it, it follows the frame, label loads and pixel
// sizes, and a click on the chart shows the frame clicked.
TEST_F(MainFrameTest, CurvesPanelFollowsTheViewerAndSetsTheFrame) {
    CViewer& viewer = m_frame.Viewer();
    viewer.LoadVolumeFile(WriteVolume(4));
    // Label 1 has t + 1 voxels in frame t.
    const std::string path =
        WriteLabels(4, [](int x, int y, int z, int t) { return y == 0 && z == 0 && x <= t ? 1 : 0; });
    CCurvesPanel& panel = m_frame.Curves();
    EXPECT_TRUE(panel.isHidden());
    Press(Qt::Key_U);
    ASSERT_FALSE(panel.isHidden());
    m_frame.UpdateCommandStates();
    EXPECT_TRUE(m_frame.Action(kCmdCurves)->isChecked());
    EXPECT_TRUE(panel.Curves().LabelLines().empty());

    viewer.LoadLabelFile(path);
    ASSERT_EQ(panel.Curves().LabelLines().size(), 1u);
    const CViewerState& state = viewer.State();
    const double voxelMl = state.m_pixelSizeX * state.m_pixelSizeY * state.m_pixelSizeZ / 1000;
    EXPECT_NEAR(panel.Curves().LabelLines()[0].ml[3], 4 * voxelMl, 1e-12);
    EXPECT_NE(panel.EjectionText().find("EF 75.0 %"), std::string::npos) << panel.EjectionText();
    viewer.Navigation().SetFrame(2);
    EXPECT_EQ(panel.Chart().Frame(), 2);
    // The samples are all 0: the value at the position is 0 in every frame,
    // and so is the mean inside label 1 once asked for.
    EXPECT_EQ(panel.Curves().ValueLine().ml, (std::vector<double>{0, 0, 0, 0}));
    EXPECT_TRUE(panel.Curves().MeanLines().empty());
    panel.LabelMeans().setChecked(true);
    ASSERT_EQ(panel.Curves().MeanLines().size(), 1u);
    EXPECT_EQ(panel.Curves().MeanLines()[0].ml, (std::vector<double>{0, 0, 0, 0}));

    CPreferenceValues preferences = viewer.CurrentPreferences();
    preferences.pixelSizeX *= 2;
    viewer.ApplyPreferences(preferences);
    EXPECT_NEAR(panel.Curves().LabelLines()[0].ml[3], 8 * voxelMl, 1e-12);

    QApplication::processEvents();
    QChartView& view = panel.ChartView();
    const QList<QAbstractSeries*> series = panel.Chart().series();
    ASSERT_FALSE(series.isEmpty());
    const QPointF inChart = panel.Chart().mapToPosition(QPointF(3, 0.01), series.front());
    const QPoint at = view.mapFromScene(panel.Chart().mapToScene(inChart));
    QMouseEvent click(QEvent::MouseButtonPress, QPointF(at), view.viewport()->mapToGlobal(QPointF(at)),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &click);
    EXPECT_EQ(viewer.State().m_t, 3);
    EXPECT_EQ(panel.Chart().Frame(), 3);

    Press(Qt::Key_U);
    EXPECT_TRUE(panel.isHidden());
}

// The Window tool: its key chooses it, the status bar names it and its
// window, and a left drag with real mouse events moves the window by the
// amounts the mouse moved while the camera stays; Turn gives the drag back.
TEST_F(MainFrameTest, TheWindowToolDragsTheWindowAndTurnTurns) {
    CViewer& viewer = m_frame.Viewer();
    viewer.LoadVolumeFile(WriteVolume(2));
    EXPECT_TRUE(m_frame.ToolAction(CToolBox::ETool::kTurn)->isChecked());
    Press(Qt::Key_N);
    ASSERT_EQ(m_frame.Tools().ActiveId(), CToolBox::ETool::kWindow);
    EXPECT_TRUE(m_frame.ToolAction(CToolBox::ETool::kWindow)->isChecked());
    EXPECT_TRUE(m_frame.ToolStatus().startsWith("Tool: Window   W ")) << m_frame.ToolStatus().toStdString();

    const CDisplayWindow start = viewer.Volume().Window();
    const std::optional<CDisplayWindow> full = viewer.Volume().PresetWindow(EWindowPreset::kFullRange);
    ASSERT_TRUE(full.has_value());
    const double azimuth = m_frame.View().m_azimuth, elevation = m_frame.View().m_elevation;
    const QPoint from(100, 100);
    LeftDrag(from, {QPoint(30, -12), QPoint(50, -20)});
    const CDisplayWindow expected = CWindowTool::Dragged(start, 50, -20, full->width);
    EXPECT_DOUBLE_EQ(viewer.Volume().Window().center, expected.center);
    EXPECT_DOUBLE_EQ(viewer.Volume().Window().width, expected.width);
    EXPECT_NE(expected.width, start.width);
    EXPECT_EQ(m_frame.View().m_azimuth, azimuth);
    EXPECT_EQ(m_frame.View().m_elevation, elevation);
    const std::string status = CWindowLevel::StatusText(viewer);
    EXPECT_TRUE(m_frame.ToolStatus().endsWith(QString::fromStdString(status)));

    // Shift + R: the load default again; Q: the left drag turns the camera.
    Press(Qt::Key_R, Qt::ShiftModifier);
    EXPECT_TRUE(viewer.Volume().WindowIsLoadDefault());
    Press(Qt::Key_Q);
    const CDisplayWindow kept = viewer.Volume().Window();
    LeftDrag(from, {QPoint(40, 10)});
    EXPECT_NE(m_frame.View().m_azimuth, azimuth);
    EXPECT_EQ(viewer.Volume().Window().width, kept.width);
    EXPECT_TRUE(m_frame.ToolStatus().startsWith("Tool: Turn"));
}

// The label tools in the window: Shift + B takes the brush, whose circle
// follows the mouse over the plane; a left drag with real mouse events
// paints the voxels under it on the plane shown, Alt + Backspace undoes the
// stroke, and the polygon (Shift + P) fills the triangle of three clicks on
// Enter. The title carries "*" while edits are unsaved.
TEST_F(MainFrameTest, TheLabelToolsPaintWithTheMouse) {
    CViewer& viewer = m_frame.Viewer();
    viewer.LoadVolumeFile(WriteVolume(2));
    viewer.LoadLabelFile(WriteLabels(2, [](int, int, int, int) { return 0; }));
    ASSERT_FALSE(viewer.Labels().Empty());
    ShowSlice2FaceOn();
    CVolumeView& view = m_frame.View();
    const auto label = [&](int i, int j) {
        const CLabelImage& image = viewer.Labels().Image();
        return image.Values()[image.FrameVoxels(0)[(2 * 8 + j) * 8 + i]];
    };

    Press(Qt::Key_B, Qt::ShiftModifier);
    ASSERT_EQ(m_frame.Tools().ActiveId(), CToolBox::ETool::kBrush);
    viewer.Editing().Settings().activeLabel = 3;
    viewer.Editing().Settings().brushRadiusMm = 0.4;
    Mouse(QEvent::MouseMove, PixelOf(4, 4), Qt::NoButton);
    EXPECT_EQ(view.m_toolOutlines.size(), 1u) << "the brush's circle";
    const QPoint from = PixelOf(1, 5);
    LeftDrag(from, {PixelOf(3, 5) - from, PixelOf(6, 5) - from});
    for (int i = 0; i < 8; ++i) EXPECT_EQ(label(i, 5), i >= 1 && i <= 6 ? 3 : 0) << "column " << i;
    EXPECT_EQ(label(3, 4), 0);
    EXPECT_TRUE(m_frame.windowTitle().startsWith("*")) << m_frame.windowTitle().toStdString();
    Press(Qt::Key_Backspace, Qt::AltModifier);
    for (int i = 0; i < 8; ++i) EXPECT_EQ(label(i, 5), 0) << "undone, column " << i;
    EXPECT_FALSE(m_frame.windowTitle().startsWith("*"));

    Press(Qt::Key_P, Qt::ShiftModifier);
    ASSERT_EQ(m_frame.Tools().ActiveId(), CToolBox::ETool::kPolygon);
    EXPECT_TRUE(view.m_toolOutlines.empty()) << "the brush's circle went with the brush";
    for (const QPoint& at : {PixelOf(1, 1), PixelOf(6, 1), PixelOf(6, 6)}) Click(at);
    EXPECT_EQ(label(5, 3), 0) << "nothing before Enter";
    Press(Qt::Key_Return);
    EXPECT_EQ(label(5, 3), 3);
    EXPECT_EQ(label(2, 5), 0) << "outside the triangle";
    m_dialogs.m_unsavedAnswers = {CDialogService::EUnsavedAnswer::kDiscard};
}

// The measuring tools by their keys and the mouse: a ruler of two clicks, an
// end dragged and the drag undone whole, an outline closed by Enter.
TEST_F(MainFrameTest, TheMeasuringToolsWorkWithTheMouse) {
    CViewer& viewer = m_frame.Viewer();
    viewer.LoadVolumeFile(WriteVolume(2));
    ShowSlice2FaceOn();
    const CMeasurementLayer& layer = viewer.Measurements();
    const auto value = [&viewer, &layer](size_t index) {
        const CMeasurementLayer::CVolumeContext context = CCurves::MeasurementContext(viewer);
        return layer.Items().at(index).ValueAt(0, context.labels, context.metric);
    };
    Press(Qt::Key_D, Qt::ShiftModifier);
    ASSERT_EQ(m_frame.Tools().ActiveId(), CToolBox::ETool::kRuler);
    Click(PixelOf(1, 1));
    Mouse(QEvent::MouseMove, PixelOf(3, 3), Qt::NoButton);
    EXPECT_EQ(m_frame.View().m_toolOutlines.size(), 1u) << "the line on to the mouse";
    Click(PixelOf(5, 4));
    ASSERT_EQ(layer.Size(), 1u);
    EXPECT_NEAR(value(0), 5.0, 0.1);  // 4 and 3 voxels of 1 mm
    const QPoint end = PixelOf(5, 4);
    LeftDrag(end, {PixelOf(5, 3) - end, PixelOf(5, 1) - end});
    EXPECT_NEAR(value(0), 4.0, 0.1);
    Press(Qt::Key_Backspace, Qt::AltModifier);
    EXPECT_NEAR(value(0), 5.0, 0.1) << "the drag undone whole";

    Press(Qt::Key_A, Qt::ShiftModifier);
    ASSERT_EQ(m_frame.Tools().ActiveId(), CToolBox::ETool::kArea);
    for (const QPoint& at : {PixelOf(1, 5), PixelOf(6, 5), PixelOf(6, 7)}) Click(at);
    EXPECT_EQ(layer.Size(), 1u) << "nothing before Enter";
    Press(Qt::Key_Return);
    ASSERT_EQ(layer.Size(), 2u);
    EXPECT_EQ(layer.Items()[1].Name(), "s1");
    EXPECT_NEAR(value(1), 5.0, 0.2);  // legs of 5 and 2 mm
    EXPECT_EQ(m_frame.View().m_measureMarks.size(), 2u);
}

namespace {

// Every text of `chart` whole and inside it, the legend below the plot with
// every line's name, and on each axis at least three numbers a round step apart.
void ExpectReadable(const CCurvesChart& chart, const std::string& where) {
    const QRectF plot = chart.mapRectToScene(chart.plotArea());
    EXPECT_EQ(chart.legend()->alignment(), Qt::AlignBottom);
    EXPECT_GE(chart.legend()->sceneBoundingRect().top(), plot.bottom());
    // The numbers of each axis, told apart by where they lie: below the plot
    // the frames, left of it the volumes, right of it the values.
    std::map<std::string, std::vector<double>> axes;
    QStringList texts;
    const QRectF whole = chart.mapRectToScene(chart.rect());
    for (const QGraphicsItem* item : chart.scene()->items()) {
        QString text;
        if (const auto* rich = dynamic_cast<const QGraphicsTextItem*>(item))
            text = rich->toPlainText();
        else if (const auto* simple = dynamic_cast<const QGraphicsSimpleTextItem*>(item))
            text = simple->text();
        if (text.isEmpty() || !item->isVisible()) continue;
        EXPECT_FALSE(text.contains(QChar(0x2026)) || text.contains("..."))
            << where << ": " << text.toStdString();
        EXPECT_TRUE(whole.contains(item->sceneBoundingRect())) << where << ": " << text.toStdString();
        texts << text;
        bool isNumber = false;
        const double number = text.toDouble(&isNumber);
        const QPointF at = item->sceneBoundingRect().center();
        if (isNumber)
            axes[at.y() > plot.bottom() ? "frame"
                 : at.x() < plot.left() ? "volume"
                                        : "value"]
                .push_back(number);
    }
    // Every line's name in the legend, whole.
    for (const QLegendMarker* marker : chart.legend()->markers()) {
        if (marker->isVisible()) {
            EXPECT_TRUE(texts.contains(marker->label())) << where << ": " << marker->label().toStdString();
        }
    }
    for (const char* axis : {"frame", "volume", "value"}) {
        std::vector<double> numbers = axes[axis];
        std::sort(numbers.begin(), numbers.end());
        ASSERT_GE(numbers.size(), 3u) << where << ": " << axis;
        // Evenly spaced by 1, 2 or 5 times a power of ten, on its multiples.
        const double step = numbers[1] - numbers[0];
        const double leading = step / std::pow(10.0, std::floor(std::log10(step) + 1e-9));
        EXPECT_TRUE(std::abs(leading - 1) < 1e-6 || std::abs(leading - 2) < 1e-6 ||
                    std::abs(leading - 5) < 1e-6)
            << where << ": " << axis << " step " << step;
        for (size_t i = 0; i < numbers.size(); ++i) {
            EXPECT_NEAR(numbers[i] / step, std::round(numbers[i] / step), 1e-6)
                << where << ": " << axis << " " << numbers[i];
            if (i > 0) {
                EXPECT_NEAR(numbers[i] - numbers[i - 1], step, step * 1e-6) << where << ": " << axis;
            }
        }
    }
}

}  // namespace

// As a new user first sees it: at the default window size the shown panel is
// wide enough that every axis number is whole and round, with the legend
// under the plot and the view keeping the rest of the window.
TEST_F(MainFrameTest, CurvesPanelIsReadableAtTheDefaultSize) {
    // Like the demo heart: 20 frames, a blood pool (label 2) that empties and
    // fills again beside a wall (label 1), tens of ml, samples in the hundreds.
    const auto poolColumns = [](int t) {
        return 6 - static_cast<int>(std::lround(2 - 2 * std::cos(t * std::numbers::pi / 10)));
    };
    CViewer& viewer = m_frame.Viewer();
    viewer.LoadVolumeFile(WriteVolume(
        20, [&](int x, int, int, int t) { return x < poolColumns(t) ? 520 + 5 * t
                                                 : x == 7           ? 1150
                                                                    : 320; },
        8.0));
    viewer.LoadLabelFile(WriteLabels(20, [&](int x, int, int, int t) {
        return x < poolColumns(t) ? 2 : x == 7 ? 1 : 0;
    }));
    CCurvesPanel& panel = m_frame.Curves();
    Press(Qt::Key_U);
    QApplication::processEvents();
    EXPECT_GE(panel.width(), 400);
    EXPECT_GE(m_frame.View().width(), 300);
    EXPECT_GE(m_frame.View().height(), 400);

    ExpectReadable(panel.Chart(), "panel");
    // Two more lines, two more names for the legend's rows.
    panel.LabelMeans().setChecked(true);
    QApplication::processEvents();
    ExpectReadable(panel.Chart(), "panel with the label means");
    // An exported plot is drawn at once, with no event loop to lay it out.
    for (const QSize size : {QSize(640, 480), QSize(400, 300)}) {
        QGraphicsScene scene;
        auto* chart = new CCurvesChart;
        scene.addItem(chart);
        chart->SetCurves(panel.Curves());
        chart->setGeometry(QRectF(QPointF(), size));
        ExpectReadable(*chart, std::to_string(size.width()) + "x" + std::to_string(size.height()));
    }
}

// File > Open Recent lists what was opened, newest first, and opens it again;
// an entry whose file went says so.
TEST_F(MainFrameTest, OpenRecentListsWhatWasOpenedAndOpensIt) {
    m_frame.RecentFiles().Clear();
    const std::string volume = WriteVolume(2);
    m_frame.Viewer().LoadVolumeFile(volume);
    const std::string workspace = m_folder.File("r.orvanta");
    ASSERT_TRUE(CWorkspace::SaveFile(workspace, m_frame.Viewer()));
    QMenu* recent = nullptr;
    for (QAction* action : m_frame.menuBar()->actions()[0]->menu()->actions())
        if (action->menu() != nullptr && action->text() == "Open &Recent") recent = action->menu();
    ASSERT_NE(recent, nullptr);
    emit recent->aboutToShow();
    const QList<QAction*> entries = recent->actions();
    ASSERT_GE(entries.size(), 2);
    EXPECT_EQ(entries[0]->text().toStdString(), "&1 " + workspace);
    EXPECT_EQ(entries[1]->text().toStdString(), "&2 " + volume);

    m_frame.Viewer().Navigation().SetFrame(1);
    entries[0]->trigger();
    EXPECT_EQ(m_frame.Viewer().State().m_t, 0) << "the workspace's frame again";
    EXPECT_TRUE(m_dialogs.m_messages.empty());
    std::filesystem::remove(volume);
    m_frame.OpenRecent(volume);
    ASSERT_EQ(m_dialogs.m_messages.size(), 1u);
    EXPECT_EQ(m_dialogs.m_messages[0].text, volume + " no longer exists.");
    m_frame.RecentFiles().Clear();
}
