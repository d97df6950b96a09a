// The Labels panel and the label table behind it: rows from the image and
// its description file, edits that reach the overlay, the surfaces, the
// curves and the file, the active label, and the editing options.

#include <gtest/gtest.h>
#include <nifti1.h>

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineSeries>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <functional>
#include <string>
#include <vector>

#include "CurvesChart.h"
#include "CurvesPanel.h"
#include "LabelDescriptions.h"
#include "LabelPalette.h"
#include "LabelsPanel.h"
#include "ViewerFixture.h"

namespace {

using Rgba = std::array<uint8_t, 4>;
constexpr int kX = 6, kY = 5, kZ = 4, kT = 3;
// Voxels of 2 mm a side hold 8 mm^3, 0.008 mL.
constexpr double kVoxelMl = 0.008;

// Label 1 on voxel (1, 1, 2) in every frame, label 2 on a 2 x 2 box of slice
// 0 in frame 1 only, label 5 along row 4 of slice 3 (6 voxels) in every frame.
uint16_t Label(int c, int r, int s, int t) {
    if (c == 1 && r == 1 && s == 2) return 1;
    if (c >= 3 && c <= 4 && r >= 3 && r <= 4 && s == 0 && t == 1) return 2;
    return r == 4 && s == 3 ? 5 : 0;
}

// ITK-SNAP's lines: label 1 named and coloured, label 2 hidden, label 9 not painted yet.
const char* const kDescriptions =
    "# IDX   -R-  -G-  -B-  -A--  VIS MSH  LABEL\n"
    "    0     0    0    0        0  0  0    \"Clear Label\"\n"
    "    1    10   20   30        1  1  1    \"Left ventricle\"\n"
    "    2   200  100    0      0.5  0  1    \"Scar\"\n"
    "    9     1    2    3        1  1  0    \"Planned\"\n";

class LabelsPanelTest : public ViewerTest {
protected:
    LabelsPanelTest() : m_panel(m_viewer, m_settings, nullptr) {
        m_panel.SetColourChooser([this](const QColor&) { return m_chosenColour; });
    }

    // The volume, and the labels as seg.nii.gz with `descriptions` (none when
    // null) as seg_labels.txt beside it; the panel shown.
    std::string Load(const char* descriptions) {
        m_viewer.LoadVolumeFile(WriteVolume("v.tvi", kX, kY, kZ, kT, 2.0));
        const std::string path = m_folder.File("seg.nii.gz");
        NiftiContents labels = NiftiVolume(kX, kY, kZ, kT, DT_UINT8, LabelValues(kX, kY, kZ, kT, Label));
        labels.gzip = true;
        EXPECT_TRUE(WriteNiftiFile(path, labels));
        if (descriptions != nullptr) {
            EXPECT_TRUE(WriteText(m_folder.File("seg_labels.txt"), descriptions));
        }
        m_viewer.LoadLabelFile(path);
        EXPECT_EQ(m_viewer.Labels().Path(), path);
        m_panel.show();
        return path;
    }

    struct Row {
        int64_t value;
        std::string name;
        Rgba colour;  // alpha 0: not shown
        int64_t voxels;
    };
    // The panel's rows as a person reads them.
    void ExpectRows(const std::vector<Row>& expected) const {
        const QTableWidget& table = m_panel.Table();
        ASSERT_EQ(table.rowCount(), static_cast<int>(expected.size()));
        for (int row = 0; row < table.rowCount(); ++row) {
            const Row& e = expected[static_cast<size_t>(row)];
            SCOPED_TRACE("row " + std::to_string(row) + ", label " + std::to_string(e.value));
            const auto text = [&](int column) { return table.item(row, column)->text().toStdString(); };
            EXPECT_EQ(text(CLabelsPanel::kValueColumn), std::to_string(e.value));
            EXPECT_EQ(text(CLabelsPanel::kNameColumn), e.name);
            EXPECT_EQ(table.item(row, CLabelsPanel::kColourColumn)->background().color(),
                      QColor(e.colour[0], e.colour[1], e.colour[2]));
            EXPECT_EQ(table.item(row, CLabelsPanel::kShownColumn)->checkState() == Qt::Checked,
                      e.colour[3] != 0);
            EXPECT_EQ(text(CLabelsPanel::kVoxelsColumn), std::to_string(e.voxels));
            EXPECT_NEAR(table.item(row, CLabelsPanel::kVolumeColumn)->text().toDouble(), e.voxels * kVoxelMl,
                        1e-9);
        }
    }
    QTableWidgetItem& Cell(int64_t value, int column) const {
        const int row = m_panel.RowOf(value);
        EXPECT_GE(row, 0) << "no row of label " << value;
        return *m_panel.Table().item(std::max(row, 0), column);
    }
    // The overlay of the XY plane through slice `z` of frame `t`, at (column, row).
    Rgba XYOverlay(int z, int t, int column, int row) {
        m_viewer.Navigation().SetFrame(t);
        m_viewer.Navigation().SetPosition(m_viewer.State().m_x, m_viewer.State().m_y, z);
        return m_view.LabelPixel(2, column, row);
    }

    CLabelEditSettings m_settings;
    CLabelsPanel m_panel;
    QColor m_chosenColour;
};

const Rgba kCyan = CLabelPalette::Colour(5);

}  // namespace

// Each label of the image and of the description file is a row, named and
// coloured as the file says (label 5, absent from it, by its number and
// palette colour), counted in the frame shown; the overlay, the surfaces'
// colours and the curves take the file's colours, a hidden label shows nowhere.
TEST_F(LabelsPanelTest, RowsAndColoursComeFromTheImageAndItsDescriptionFile) {
    const std::string path = Load(kDescriptions);
    EXPECT_TRUE(m_host.m_dialogs.m_messages.empty());
    EXPECT_EQ(m_viewer.Labels().DescriptionsPath(), m_folder.File("seg_labels.txt"));
    const Rgba lv = {10, 20, 30, 255}, scar = {200, 100, 0, 0}, planned = {1, 2, 3, 255};
    struct Case {
        int frame;
        int64_t scarVoxels;
    };
    for (const Case c : {Case{0, 0}, Case{1, 4}, Case{2, 0}}) {
        SCOPED_TRACE("frame " + std::to_string(c.frame));
        m_viewer.Navigation().SetFrame(c.frame);
        ExpectRows({{1, "Left ventricle", lv, 1},
                    {2, "Scar", scar, c.scarVoxels},
                    {5, "Label 5", kCyan, 6},
                    {9, "Planned", planned, 0}});
    }
    EXPECT_EQ(m_view.m_labelColours, (std::map<int64_t, Rgba>{{1, lv}, {2, scar}, {5, kCyan}}));
    EXPECT_EQ(XYOverlay(2, 0, 1, 1), lv);
    EXPECT_EQ(XYOverlay(3, 0, 0, 4), kCyan);
    EXPECT_EQ(XYOverlay(0, 1, 3, 3), (Rgba{0, 0, 0, 0})) << "a hidden label is clear";

    CCurvesPanel curves(m_viewer, nullptr);
    curves.show();
    std::map<std::string, QColor> lineColours;
    for (QAbstractSeries* series : curves.Chart().series())
        if (auto* line = qobject_cast<QLineSeries*>(series))
            lineColours[line->name().toStdString()] = line->pen().color();
    EXPECT_EQ(lineColours["label 1"], QColor(10, 20, 30));
    EXPECT_EQ(lineColours["label 5"], QColor(0, 255, 255));

    // Labels shown without their file start with no names.
    CLabelImage same = m_viewer.Labels().Image();
    ASSERT_TRUE(m_viewer.ShowLabels(std::move(same), path));
    EXPECT_TRUE(m_viewer.Labels().Table().Empty());
    EXPECT_EQ(m_viewer.Labels().DescriptionsPath(), "");
    ASSERT_EQ(m_viewer.State().m_t, 1);
    ExpectRows({{1, "Label 1", CLabelPalette::Colour(1), 1},
                {2, "Label 2", CLabelPalette::Colour(2), 4},
                {5, "Label 5", kCyan, 6}});
}

// A broken description file named for descriptions is reported once and
// ignored: the labels load by number in their palette colours.
TEST_F(LabelsPanelTest, ABrokenDescriptionFileIsReportedAndTheLabelsStillLoad) {
    Load("    1   255    0    0        1  1  1    \"Label 1\"\n    1   0 0 0 1 1 1 \"again\"\n");
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    const std::string& text = m_host.m_dialogs.m_messages[0].text;
    EXPECT_NE(text.find("seg_labels.txt: line 2: label 1 is described again"), std::string::npos) << text;
    EXPECT_EQ(m_viewer.Labels().Image().Values(), (std::vector<int64_t>{0, 1, 2, 5}));
    ExpectRows({{1, "Label 1", CLabelPalette::Colour(1), 1},
                {2, "Label 2", CLabelPalette::Colour(2), 0},
                {5, "Label 5", kCyan, 6}});
}

// Renaming in the cell, choosing a colour on the swatch and unchecking
// "Shown" change the table, and the overlay, the surfaces' colours and the
// rows follow at once; a name the file cannot hold is refused with a reason
// and a cancelled colour choice changes nothing. Saving writes the table to
// the file it came from, or beside an image saved under another name.
TEST_F(LabelsPanelTest, EditsReachTheOverlayTheSurfacesAndTheDescriptionFile) {
    const std::string path = Load(kDescriptions);
    m_viewer.Navigation().SetPosition(m_viewer.State().m_x, m_viewer.State().m_y, 3);
    struct Step {
        const char* what;
        std::function<void()> act;
        std::string name;  // of label 5 afterwards
        Rgba look;         // of label 5 afterwards
        size_t messages;
    };
    const Rgba olive = {128, 128, 0, 255};
    const Step steps[] = {
        {"rename in the cell", [&] { Cell(5, CLabelsPanel::kNameColumn).setText("Myocardium"); },
         "Myocardium", kCyan, 0},
        {"a quote refused", [&] { Cell(5, CLabelsPanel::kNameColumn).setText("My \"wall\""); }, "Myocardium",
         kCyan, 1},
        {"colour chosen on the swatch",
         [&] {
             m_chosenColour = QColor(128, 128, 0);
             emit m_panel.Table().cellDoubleClicked(m_panel.RowOf(5), CLabelsPanel::kColourColumn);
         },
         "Myocardium", olive, 1},
        {"colour choice cancelled",
         [&] {
             m_chosenColour = QColor();
             emit m_panel.Table().cellDoubleClicked(m_panel.RowOf(5), CLabelsPanel::kColourColumn);
         },
         "Myocardium", olive, 1},
        {"hidden",
         [&] { Cell(5, CLabelsPanel::kShownColumn).setCheckState(Qt::Unchecked); },
         "Myocardium",
         {128, 128, 0, 0},
         1},
        {"shown again", [&] { m_panel.SetShown(5, true); }, "Myocardium", olive, 1},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        step.act();
        EXPECT_EQ(m_viewer.Labels().Table().Name(5), step.name);
        EXPECT_EQ(Cell(5, CLabelsPanel::kNameColumn).text().toStdString(), step.name);
        EXPECT_EQ(m_viewer.Labels().Table().Look(5), step.look);
        EXPECT_EQ(m_view.m_labelColours.at(5), step.look);
        EXPECT_EQ(Cell(5, CLabelsPanel::kColourColumn).background().color(),
                  QColor(step.look[0], step.look[1], step.look[2]));
        EXPECT_EQ(m_view.LabelPixel(2, 0, 4), (step.look[3] != 0 ? step.look : Rgba{0, 0, 0, 0}));
        EXPECT_EQ(m_host.m_dialogs.m_messages.size(), step.messages);
    }
    ASSERT_EQ(m_viewer.State().m_z, 3) << "the overlay checked is slice 3's, where label 5 lies";

    std::string error;
    ASSERT_TRUE(m_viewer.Labels().SaveDescriptions(path, error)) << error;
    std::vector<CLabelDescription> saved;
    ASSERT_TRUE(ReadLabelDescriptions(m_folder.File("seg_labels.txt"), saved, error)) << error;
    const std::vector<CLabelDescription> expected = {{0, {0, 0, 0}, 0.0, false, false, "Clear Label"},
                                                     {1, {10, 20, 30}, 1.0, true, true, "Left ventricle"},
                                                     {2, {200, 100, 0}, 0.5, false, true, "Scar"},
                                                     {5, {128, 128, 0}, 1.0, true, true, "Myocardium"},
                                                     {9, {1, 2, 3}, 1.0, true, false, "Planned"}};
    EXPECT_EQ(saved, expected);
    const std::string copy = m_folder.File("copy.nii");
    ASSERT_TRUE(m_viewer.Labels().SaveDescriptions(copy, error)) << error;
    ASSERT_TRUE(ReadLabelDescriptions(m_folder.File("copy_labels.txt"), saved, error)) << error;
    EXPECT_EQ(saved, expected);
    EXPECT_EQ(m_viewer.Labels().DescriptionsPath(), m_folder.File("copy_labels.txt"));
    EXPECT_FALSE(m_viewer.Labels().SaveDescriptions(m_folder.File("none/seg.nii"), error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
}

// Choosing a row makes its label the one painted, and a change of the
// settings elsewhere moves the highlight; Add Label takes the smallest value
// neither the image nor the table uses (3, then 4) and makes it active; with
// every value taken it says so and adds nothing.
TEST_F(LabelsPanelTest, RowsAndAddLabelChooseTheActiveLabel) {
    Load(kDescriptions);
    m_panel.Table().selectRow(m_panel.RowOf(5));
    EXPECT_EQ(m_settings.activeLabel, 5);
    m_settings.activeLabel = 2;
    m_viewer.Notices().Announce(kChangeFrame);
    EXPECT_EQ(m_panel.Table().currentRow(), m_panel.RowOf(2));
    EXPECT_EQ(m_settings.activeLabel, 2);

    for (const int64_t next : {3, 4}) {
        m_panel.AddButton().click();
        EXPECT_EQ(m_settings.activeLabel, next);
        ASSERT_GE(m_panel.RowOf(next), 0);
        EXPECT_EQ(Cell(next, CLabelsPanel::kNameColumn).text().toStdString(),
                  "Label " + std::to_string(next));
        EXPECT_EQ(m_panel.Table().selectedItems().front()->row(), m_panel.RowOf(next));
    }
    EXPECT_EQ(m_panel.Table().rowCount(), 6);

    CLabelTable& table = m_viewer.Labels().Table();
    for (int64_t value = 1; value <= CLabelImage::kMaxValue; ++value) table.Add(value);
    EXPECT_EQ(table.NextFreeValue(m_viewer.Labels().Image()), -1);
    EXPECT_EQ(m_panel.AddLabel(), -1);
    EXPECT_EQ(m_settings.activeLabel, 4);
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find("taken"), std::string::npos);
}

// Each option widget writes its setting (the radius kept within 0.1 to 100
// mm); switching the value range on starts it from the window the planes
// are shown through; settings changed elsewhere show in the widgets.
TEST_F(LabelsPanelTest, OptionWidgetsWriteTheEditingSettings) {
    Load(nullptr);
    const CDisplayWindow window = m_viewer.Volume().Window();
    ASSERT_GT(window.width, 0.0);
    m_panel.BrushRadius().setValue(500);
    m_panel.BrushShape().setCurrentIndex(1);
    m_panel.FillReach().setCurrentIndex(1);
    m_panel.DrawOver().setCurrentIndex(2);
    m_panel.OverValue().setValue(5);
    m_panel.Scope().setCurrentIndex(1);
    m_panel.UseRange().setChecked(true);
    const CLabelEditOptions& options = m_settings.options;
    EXPECT_EQ(m_settings.brushRadiusMm, 100.0);
    EXPECT_TRUE(m_settings.brushBall && m_settings.fillIn3d);
    EXPECT_TRUE(options.drawOver == EDrawOver::kLabel && options.overValue == 5);
    EXPECT_EQ(options.scope, EEditScope::kEveryFrame);
    EXPECT_TRUE(options.useRange);
    EXPECT_NEAR(options.low, window.center - window.width / 2, 1e-3);
    EXPECT_NEAR(options.high, window.center + window.width / 2, 1e-3);
    m_panel.RangeLow().setValue(-12.5);
    m_panel.DrawOver().setCurrentIndex(1);
    EXPECT_EQ(options.low, -12.5);
    EXPECT_EQ(options.drawOver, EDrawOver::kBackground);
    EXPECT_FALSE(m_panel.OverValue().isEnabled());

    m_settings.brushRadiusMm = 2.5;
    m_settings.options.useRange = false;
    m_panel.ShowSettings();
    EXPECT_EQ(m_panel.BrushRadius().value(), 2.5);
    EXPECT_FALSE(m_panel.UseRange().isChecked());
    EXPECT_FALSE(m_panel.RangeLow().isEnabled());
}
