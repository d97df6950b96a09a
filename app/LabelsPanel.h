#pragma once

#include <QColor>
#include <QDockWidget>
#include <cstdint>
#include <functional>

#include "LabelEditSettings.h"

class CViewer;
class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class QSpinBox;
class QTableWidget;
class QTableWidgetItem;

// The Labels dock: one row per label (its value, name, colour, whether it is
// shown, and its voxels and volume in the frame shown), the label chosen
// there being the one the editing tools paint, a button that adds a label,
// and the editing options. Names, colours and shown states go to the label
// layer's table and are announced as kChangeLabelLook, so the planes, the
// surfaces and the curves take them; the options are written straight into
// the editing settings the panel was given. It follows the viewer's notices;
// hidden, it only gathers them and catches up when shown.
class CLabelsPanel : public QDockWidget {
public:
    enum EColumn {
        kValueColumn,
        kNameColumn,
        kColourColumn,
        kShownColumn,
        kVoxelsColumn,
        kVolumeColumn,
        kColumns
    };

    CLabelsPanel(CViewer& viewer, CLabelEditSettings& settings, QWidget* parent);

    // How a colour is chosen for a double-clicked swatch: given the label's
    // colour, the one chosen, invalid when the choice was cancelled. A
    // colour dialog unless replaced (tests answer at once).
    using ColourChooser = std::function<QColor(const QColor& current)>;
    void SetColourChooser(ColourChooser chooser) { m_chooseColour = std::move(chooser); }

    // What the widgets do, callable directly. Each changes the label's entry
    // and announces it; Rename refuses (saying why, the old name kept) a name
    // the description file cannot hold.
    bool Rename(int64_t value, const QString& name);
    void Recolour(int64_t value, const QColor& colour);
    void SetShown(int64_t value, bool shown);
    // Makes `value` the label the tools paint.
    void ChooseLabel(int64_t value);
    // Adds the smallest free label and makes it the active one; -1 (said why) when none is free.
    int64_t AddLabel();
    // Shows the settings as they are now, the active label's row selected:
    // after whoever else changed them.
    void ShowSettings();

    // The row of label `value`, -1 when there is none.
    int RowOf(int64_t value) const;
    QTableWidget& Table() const { return *m_table; }
    QPushButton& AddButton() const { return *m_add; }
    QDoubleSpinBox& BrushRadius() const { return *m_brushRadius; }
    QComboBox& BrushShape() const { return *m_brushShape; }
    QComboBox& FillReach() const { return *m_fillReach; }
    QComboBox& DrawOver() const { return *m_drawOver; }
    QSpinBox& OverValue() const { return *m_overValue; }
    QCheckBox& UseRange() const { return *m_useRange; }
    QDoubleSpinBox& RangeLow() const { return *m_low; }
    QDoubleSpinBox& RangeHigh() const { return *m_high; }
    QComboBox& Scope() const { return *m_scope; }
    QComboBox& InterpolationAxis() const { return *m_interpolationAxis; }
    // Whether carrying labels over time leaves the frame shown as it is.
    QCheckBox& KeepFrame() const { return *m_keepFrame; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    // Takes `changes` in; brings the panel up to date when it is shown.
    void Follow(unsigned changes);
    // The rows as the label layer has them now; rows of the same labels are
    // updated where they are, so an edit in a cell keeps its item.
    void FillRows();
    void OnItemChanged(QTableWidgetItem* item);
    void OnCellDoubleClicked(int row, int column);
    // Writes the option widgets into the settings.
    void TakeOptions();
    QWidget* BuildOptions();

    CViewer& m_viewer;
    CLabelEditSettings& m_settings;
    QTableWidget* m_table;
    QPushButton* m_add;
    QDoubleSpinBox* m_brushRadius;
    QComboBox* m_brushShape;
    QComboBox* m_fillReach;
    QComboBox* m_drawOver;
    QSpinBox* m_overValue;
    QCheckBox* m_useRange;
    QDoubleSpinBox* m_low;
    QDoubleSpinBox* m_high;
    QComboBox* m_scope;
    QComboBox* m_interpolationAxis;
    QCheckBox* m_keepFrame;
    ColourChooser m_chooseColour;
    // The changes not yet followed: everything, until the panel is first shown.
    unsigned m_pending = ~0u;
};
