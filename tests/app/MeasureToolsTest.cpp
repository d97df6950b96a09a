// The measuring tools in the window: placing rulers, angles and areas on a
// plane, dragging their points as undo steps in one history with the label
// edits, the Measurements panel, and the marks the view draws.

#include <gtest/gtest.h>

#include <QAbstractSeries>
#include <QComboBox>
#include <QTableWidget>
#include <algorithm>
#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "AngleTool.h"
#include "AreaTool.h"
#include "CommandTable.h"
#include "Curves.h"
#include "CurvesChart.h"
#include "LabelEditing.h"
#include "MeasurementEditing.h"
#include "MeasurementsPanel.h"
#include "OffscreenView.h"
#include "PolygonTool.h"
#include "RulerTool.h"
#include "ViewerFixture.h"

namespace {

constexpr int kX = 8, kY = 6, kZ = 4, kT = 3;
constexpr int kWidth = 400, kHeight = 300;
// A pointer lands on a whole pixel, a voxel spans some twenty: a point is
// placed within a fortieth of a voxel of the centre aimed at.
constexpr double kPlaced = 0.05;

using Point = CMeasurement::Point;
using Kind = CMeasurement::Kind;

class MeasureToolsTest : public ViewerTest {
protected:
    // A volume of 1 x 1.5 x 2 mm voxels, the XY-plane alone shown face on
    // at slice 1, so a pointer names the point of that slice under it.
    void Open() { OpenIn(m_viewer, m_view); }
    void OpenIn(CViewer& viewer, CViewInterface& view) {
        viewer.LoadVolumeFile(WriteVolume("v.tvi", kX, kY, kZ, kT));
        CPreferenceValues values = viewer.CurrentPreferences();
        values.pixelSizeX = 1.0;
        values.pixelSizeY = 1.5;
        values.pixelSizeZ = 2.0;
        viewer.ApplyPreferences(values);
        ShowSliceFaceOn(viewer, view, 1);
    }
    CTool::CPointer At(double i, double j) const {
        return PointerOver(m_viewer, {i, j, 1.0}, kWidth, kHeight);
    }
    const CMeasurementLayer& Layer() const { return m_viewer.Measurements(); }
    // A ruler from voxel (1, 1) to (5, 4) of slice 1, placed with the tool.
    void PlaceRuler() {
        CRulerTool ruler(m_viewer);
        ruler.Press(At(1, 1));
        ruler.Press(At(5, 4));
    }
    // Label 1 on a triangle of slice 1 in frame 0, painted with the polygon tool: one label step.
    void PaintTriangle() {
        CPolygonTool polygon(m_viewer);
        for (const auto& [i, j] : {std::pair{4, 0}, {7, 0}, {7, 5}}) polygon.Press(At(i, j));
        polygon.Finish();
    }
    // A ruler d1 between `a` and `b` and a right angle a1 at (1, 1), added as one step.
    void AddRulerAndAngle(const Point& a, const Point& b) {
        CMeasurementLayer layer;
        layer.Add(CMeasurement::Fixed("d1", Kind::Distance, {a, b}));
        layer.Add(CMeasurement::Fixed("a1", Kind::Angle, {Point{5, 1, 1}, Point{1, 1, 1}, Point{1, 4, 1}}));
        m_viewer.MeasurementEditing().Change(layer, "Add");
    }
    double ValueOf(size_t index) const {
        const auto context = CCurves::MeasurementContext(m_viewer);
        return Layer().Items().at(index).ValueAt(m_viewer.State().m_t, context.labels, context.metric);
    }
    std::vector<std::string> CurveNames() const {
        CCurves curves;
        curves.Compute(m_viewer, false);
        std::vector<std::string> names;
        for (const CCurves::Line& line : curves.MeasurementLines()) names.push_back(line.name);
        return names;
    }
};

// Each tool placed on voxel centres gives what the voxel sizes work out to by hand.
TEST_F(MeasureToolsTest, PlacedMeasurementsGiveTheirValues) {
    Open();
    struct Case {
        const char* what;
        Kind kind;
        std::vector<std::array<double, 2>> clicks;
        bool enter;  // closed with Enter rather than a double click on the last point
        const char* name;
        double value, tolerance;  // the tolerance from points off the centres by kPlaced
    } const cases[] = {
        // 4 mm across, 3 rows of 1.5 mm down.
        {"ruler", Kind::Distance, {{1, 1}, {5, 4}}, false, "d1", std::sqrt(16.0 + 4.5 * 4.5), 0.15},
        // Arms (4, 0) and (4, 4.5) mm from the vertex.
        {"angle", Kind::Angle, {{5, 1}, {1, 1}, {5, 4}}, false, "a1", std::atan2(4.5, 4.0) * 180 / M_PI, 1.5},
        {"right angle", Kind::Angle, {{1, 4}, {1, 1}, {6, 1}}, false, "a2", 90.0, 1.5},
        {"triangle from the ruler's end",
         Kind::Area,
         {{1, 1}, {5, 1}, {1, 4}},
         false,
         "s1",
         0.5 * 4 * 4.5,
         0.5},
        {"rectangle", Kind::Area, {{1, 1}, {5, 1}, {5, 4}, {1, 4}}, true, "s2", 4 * 4.5, 0.8},
        {"second ruler", Kind::Distance, {{0, 0}, {7, 0}}, false, "d2", 7.0, 0.15},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const size_t before = Layer().Size();
        std::unique_ptr<CMeasureTool> tool;
        if (c.kind == Kind::Distance) tool = std::make_unique<CRulerTool>(m_viewer);
        if (c.kind == Kind::Angle) tool = std::make_unique<CAngleTool>(m_viewer);
        if (c.kind == Kind::Area) tool = std::make_unique<CAreaTool>(m_viewer);
        for (size_t n = 0; n < c.clicks.size(); ++n) {
            const CTool::CPointer at = At(c.clicks[n][0], c.clicks[n][1]);
            tool->Press(at);
            tool->Release();
            if (c.kind == Kind::Area && n + 1 == c.clicks.size() && !c.enter) tool->DoubleClick(at);
        }
        if (c.enter) {
            EXPECT_EQ(Layer().Size(), before) << "an outline waits for its end";
            tool->Finish();
        }
        ASSERT_EQ(Layer().Size(), before + 1);
        const CMeasurement& made = Layer().Items().back();
        EXPECT_EQ(made.Name(), c.name);
        EXPECT_EQ(made.GetKind(), c.kind);
        EXPECT_EQ(made.Mode(), CMeasurement::TimeMode::Fixed);
        ASSERT_EQ(made.PointsAt(0)->size(), c.clicks.size());
        for (size_t n = 0; n < c.clicks.size(); ++n) {
            EXPECT_NEAR((*made.PointsAt(2))[n][0], c.clicks[n][0], kPlaced);
            EXPECT_NEAR((*made.PointsAt(2))[n][1], c.clicks[n][1], kPlaced);
            EXPECT_EQ((*made.PointsAt(2))[n][2], 1.0) << "on the plane's slice";
        }
        EXPECT_NEAR(ValueOf(Layer().Size() - 1), c.value, c.tolerance);
        EXPECT_TRUE(tool->Placed().empty());
        EXPECT_TRUE(m_view.m_toolOutlines.empty());
    }
    EXPECT_EQ(m_viewer.MeasurementEditing().UndoStack().count(), 6);
    EXPECT_EQ(m_viewer.View().m_measureMarks.size(), 6u);
    const std::string& text = m_viewer.View().m_measureMarks[0].text;
    EXPECT_TRUE(text.starts_with("d1 6.") && text.ends_with(" mm")) << text;
    EXPECT_FALSE(m_viewer.Editing().Unsaved());
}

// An outline keeps to its first point's slice, Esc drops what was placed,
// and an outline on one line has no area and is not made.
TEST_F(MeasureToolsTest, AreaRefusesOtherSlicesAndFlatOutlines) {
    Open();
    CAreaTool area(m_viewer);
    area.Press(At(1, 1));
    area.Press(At(5, 1));
    m_viewer.SetVoxel({0, 0, 2});  // the XY-plane now shows slice 2
    area.Press(PointerOver(m_viewer, {5, 4, 2}, kWidth, kHeight));
    EXPECT_EQ(area.Placed().size(), 2u);
    area.Cancel();
    EXPECT_TRUE(area.Placed().empty());
    EXPECT_TRUE(m_view.m_toolOutlines.empty());
    for (const double i : {1.0, 3.0, 5.0}) area.Press(PointerOver(m_viewer, {i, 2, 2}, kWidth, kHeight));
    area.Finish();
    EXPECT_TRUE(Layer().Empty());
    ASSERT_FALSE(m_host.m_statusNotes.empty());
    EXPECT_NE(m_host.m_statusNotes.back().find("one line"), std::string::npos) << m_host.m_statusNotes.back();
}

// A drag moves the point grabbed, one undo step; Undo and Redo share one
// history with the label edits, newest first, and leave the labels' saved
// state alone.
TEST_F(MeasureToolsTest, DragIsOneStepInTheOneHistory) {
    Open();
    PaintTriangle();
    ASSERT_EQ(m_viewer.Editing().UndoStack().count(), 1);
    const int cleanIndex = m_viewer.Editing().UndoStack().cleanIndex();
    const bool unsaved = m_viewer.Editing().Unsaved();
    const auto labelled = [this] {
        return m_viewer.Labels().Image().FrameVoxels(0)[(1 * kY + 1) * kX + 6] != 0;
    };
    ASSERT_TRUE(labelled());

    PlaceRuler();
    const CMeasurementLayer placed = Layer();
    CRulerTool ruler(m_viewer);
    ruler.Press(At(5.1, 4));  // within a few pixels of the far end
    ruler.Drag(At(6, 2));
    ruler.Drag(At(6, 3));
    ruler.Release();
    const CMeasurementLayer dragged = Layer();
    ASSERT_EQ(dragged.Size(), 1u);
    EXPECT_NEAR((*dragged.Items()[0].PointsAt(0))[1][0], 6.0, kPlaced);
    EXPECT_NEAR((*dragged.Items()[0].PointsAt(0))[1][1], 3.0, kPlaced);
    EXPECT_EQ((*dragged.Items()[0].PointsAt(0))[0], (*placed.Items()[0].PointsAt(0))[0])
        << "the other end stays";
    EXPECT_EQ(m_viewer.MeasurementEditing().UndoStack().count(), 2) << "the add and the whole drag";

    // Newest first: the drag, the ruler, the polygon; then forward in the same order.
    const struct {
        int command;
        const CMeasurementLayer* layer;
        bool labelled;
    } steps[] = {{kCmdUndo, &placed, true}, {kCmdUndo, nullptr, true}, {kCmdUndo, nullptr, false},
                 {kCmdRedo, nullptr, true}, {kCmdRedo, &placed, true}, {kCmdRedo, &dragged, true}};
    for (const auto& step : steps) {
        EXPECT_TRUE(m_viewer.Execute(step.command));
        if (step.layer != nullptr)
            EXPECT_TRUE(Layer() == *step.layer);
        else
            EXPECT_TRUE(Layer().Empty());
        EXPECT_EQ(labelled(), step.labelled);
    }
    EXPECT_FALSE(m_viewer.Execute(kCmdRedo)) << "nothing left to redo";
    EXPECT_EQ(m_viewer.Editing().UndoStack().cleanIndex(), cleanIndex);
    EXPECT_EQ(m_viewer.Editing().Unsaved(), unsaved);

    // A press away from every point places instead, and a new volume takes the history with it.
    ruler.Press(At(2, 4));
    ruler.Cancel();
    EXPECT_TRUE(Layer() == dragged);
    m_host.m_dialogs.m_unsavedAnswers = {CDialogService::EUnsavedAnswer::kDiscard};
    m_viewer.LoadVolumeFile(WriteVolume("w.tvi", kX, kY, kZ, kT));
    EXPECT_TRUE(Layer().Empty());
    EXPECT_EQ(m_viewer.MeasurementEditing().UndoStack().count(), 0);
}

// Set frame by frame, a drag sets the frame shown; the frames without
// their own points keep borrowing from the nearest.
TEST_F(MeasureToolsTest, PerFrameDragSetsTheFrameShown) {
    Open();
    PlaceRuler();
    CMeasurementsPanel panel(m_viewer, nullptr);
    ASSERT_TRUE(panel.SetTimeMode(0, CMeasurement::TimeMode::PerFrame));
    ASSERT_FALSE(panel.SetTimeMode(0, CMeasurement::TimeMode::FollowsLabel, 1)) << "there is no label image";
    m_viewer.Navigation().SetFrame(2);
    CRulerTool ruler(m_viewer);
    ruler.Press(At(1, 1));
    ruler.Drag(At(1, 3));
    ruler.Release();
    const CMeasurement& m = Layer().Items()[0];
    EXPECT_NEAR((*m.PointsAt(2))[0][1], 3.0, kPlaced);
    EXPECT_NEAR((*m.PointsAt(1))[0][1], 1.0, kPlaced) << "frame 1 lies as near frame 0: ties go earlier";
    EXPECT_NEAR((*m.PointsAt(0))[0][1], 1.0, kPlaced);
    EXPECT_EQ(m.FramePoints().size(), 2u);
    m_viewer.Execute(kCmdUndo);
    EXPECT_EQ(Layer().Items()[0].FramePoints().size(), 1u);
}

// A ruler may follow a label the image holds, chosen in the panel: its value
// is then the label's chord along its line in each frame, none where the
// label is missing; an angle is offered no label.
TEST_F(MeasureToolsTest, PanelLetsARulerFollowALabel) {
    Open();
    PaintTriangle();
    AddRulerAndAngle({0, 2, 1}, {7.4, 2, 1});
    CMeasurementsPanel panel(m_viewer, nullptr);
    panel.show();
    const auto choices = [&panel](int row) {
        auto* time = qobject_cast<QComboBox*>(panel.Table().cellWidget(row, CMeasurementsPanel::kTimeColumn));
        std::vector<std::string> texts;
        for (int i = 0; time != nullptr && i < time->count(); ++i)
            texts.push_back(time->itemText(i).toStdString());
        return texts;
    };
    EXPECT_EQ(choices(0), (std::vector<std::string>{"Fixed", "Per frame", "Follows label 1"}));
    EXPECT_EQ(choices(1), (std::vector<std::string>{"Fixed", "Per frame"}));
    EXPECT_FALSE(panel.SetTimeMode(1, CMeasurement::TimeMode::FollowsLabel, 1));
    EXPECT_FALSE(panel.SetTimeMode(0, CMeasurement::TimeMode::FollowsLabel, 2)) << "no label 2";
    ASSERT_TRUE(panel.SetTimeMode(0, CMeasurement::TimeMode::FollowsLabel, 1));
    const double chord = ValueOf(0);
    EXPECT_GT(chord, 1.0);
    EXPECT_LT(chord, 7.4 - 1.0) << "less than the line placed";
    ASSERT_EQ(m_view.m_measureMarks.size(), 2u);
    const auto& ends = m_view.m_measureMarks[0].line.points;
    ASSERT_EQ(ends.size(), 2u);
    EXPECT_NEAR(std::hypot(ends[1][0] - ends[0][0], ends[1][1] - ends[0][1]), chord, 1e-6)
        << "drawn between the label's edges";
    m_viewer.Navigation().SetFrame(2);
    EXPECT_TRUE(std::isnan(ValueOf(0)));
    EXPECT_EQ(panel.Table().item(0, CMeasurementsPanel::kValueColumn)->text(), "-");
}

// The panel's rename, delete, hide and time mode reach the measurements,
// the curves, the chart and the view; a taken or empty name is refused.
TEST_F(MeasureToolsTest, PanelEditsReachTheLayerAndTheCurves) {
    Open();
    AddRulerAndAngle({1, 1, 1}, {5, 4, 1});
    CMeasurementsPanel panel(m_viewer, nullptr);
    panel.show();
    QTableWidget& table = panel.Table();
    ASSERT_EQ(table.rowCount(), 2);
    EXPECT_EQ(table.item(0, CMeasurementsPanel::kValueColumn)->text(), "6.0 mm");  // 6.02
    EXPECT_EQ(table.item(1, CMeasurementsPanel::kValueColumn)->text(), "90.0 deg");
    auto* time = qobject_cast<QComboBox*>(table.cellWidget(0, CMeasurementsPanel::kTimeColumn));
    ASSERT_NE(time, nullptr);
    EXPECT_EQ(time->currentText(), "Fixed");

    table.item(0, CMeasurementsPanel::kNameColumn)->setText("lv");
    EXPECT_EQ(Layer().Items()[0].Name(), "lv");
    EXPECT_EQ(CurveNames(), (std::vector<std::string>{"lv_mm", "a1_deg"}));
    for (const char* refused : {"a1", "  "}) {
        EXPECT_FALSE(panel.Rename(0, refused));
        EXPECT_EQ(Layer().Items()[0].Name(), "lv");
        EXPECT_EQ(table.item(0, CMeasurementsPanel::kNameColumn)->text(), "lv");
    }
    EXPECT_EQ(m_host.m_dialogs.m_messages.size(), 2u);

    CCurves curves;
    curves.Compute(m_viewer, false);
    CCurvesChart chart;
    chart.SetCurves(curves);
    std::vector<std::string> series;
    for (const QAbstractSeries* s : chart.series()) series.push_back(s->name().toStdString());
    EXPECT_NE(std::find(series.begin(), series.end(), "lv_mm"), series.end());
    EXPECT_NE(std::find(series.begin(), series.end(), "a1_deg"), series.end());

    table.item(1, CMeasurementsPanel::kShownColumn)->setCheckState(Qt::Unchecked);
    EXPECT_FALSE(Layer().Shown(1));
    ASSERT_EQ(m_view.m_measureMarks.size(), 1u);
    EXPECT_EQ(m_view.m_measureMarks[0].text.substr(0, 3), "lv ");
    EXPECT_EQ(CurveNames().size(), 2u) << "a hidden measurement still has its curve";
    EXPECT_TRUE(panel.Rename(1, "ang"));
    EXPECT_FALSE(Layer().Shown(1)) << "renamed, still hidden";

    panel.Delete(0);
    EXPECT_EQ(CurveNames(), (std::vector<std::string>{"ang_deg"}));
    EXPECT_EQ(table.rowCount(), 1);
    EXPECT_EQ(table.item(0, CMeasurementsPanel::kShownColumn)->checkState(), Qt::Unchecked);
    // Back through the delete and both renames: each was a step.
    const std::vector<std::string> back[] = {{"lv_mm", "ang_deg"}, {"lv_mm", "a1_deg"}, {"d1_mm", "a1_deg"}};
    for (const std::vector<std::string>& names : back) {
        m_viewer.Execute(kCmdUndo);
        EXPECT_EQ(CurveNames(), names);
        EXPECT_EQ(table.rowCount(), 2);
        EXPECT_FALSE(Layer().Shown(1)) << "hiding was no step: going back past it keeps the angle hidden";
    }
}

// A ruler shown changes the picture; hidden, it leaves it as it was.
TEST_F(MeasureToolsTest, ShownRulerIsDrawnHiddenIsNot) {
    COffscreenView view;
    if (!view.Create(kWidth, kHeight)) GTEST_SKIP() << "no offscreen OpenGL: " << view.ErrorText();
    CViewer viewer(view, m_host);
    OpenIn(viewer, view);
    const auto pixels = [&view] {
        int width = 0, height = 0;
        std::vector<uint8_t> frame;
        EXPECT_TRUE(view.ReadFrameBuffer(width, height, frame));
        return frame;
    };
    const std::vector<uint8_t> without = pixels();
    CMeasurementLayer layer;
    layer.Add(CMeasurement::Fixed("d1", Kind::Distance, {Point{1, 1, 1}, Point{6, 4, 1}}));
    viewer.MeasurementEditing().Change(layer, "Add d1");
    const std::vector<uint8_t> shown = pixels();
    ASSERT_EQ(shown.size(), without.size());
    size_t changed = 0;
    for (size_t i = 0; i < shown.size(); ++i) changed += shown[i] != without[i] ? 1 : 0;
    // The line, its two marks and the text "d1 6.0 mm" take hundreds of pixels.
    EXPECT_GT(changed, 300u);
    viewer.MeasurementEditing().SetShown(0, false);
    EXPECT_TRUE(pixels() == without);
}

}  // namespace
