#pragma once

#include <QDockWidget>
#include <cstddef>
#include <cstdint>

#include "Measurement.h"

class CViewer;
class QPushButton;
class QTableWidget;
class QTableWidgetItem;

// The Measurements dock: one row per measurement with its name (editable),
// kind, value in the frame shown, how it follows time (fixed, per frame, or
// following a label of the label image, for a ruler) and whether it is
// shown; a button deletes the selected one. Renaming, deleting and changing
// the time mode are undo steps; showing is not. It follows the viewer's
// notices; hidden, it gathers them and catches up when shown.
class CMeasurementsPanel : public QDockWidget {
public:
    enum EColumn { kNameColumn, kKindColumn, kValueColumn, kTimeColumn, kShownColumn, kColumns };

    CMeasurementsPanel(CViewer& viewer, QWidget* parent);

    // What the widgets do, callable directly. Rename refuses (the old name
    // kept, said why) an empty name or one another measurement has;
    // SetTimeMode refuses following a label for other kinds than a ruler
    // and a label the label image does not hold.
    bool Rename(size_t index, const QString& name);
    void Delete(size_t index);
    void SetShown(size_t index, bool shown);
    bool SetTimeMode(size_t index, CMeasurement::TimeMode mode, int64_t label = 0);

    QTableWidget& Table() { return *m_table; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void Follow(unsigned changes);
    // Fills the rows again from the measurements.
    void Fill();
    // The item at (row, column), made with `flags` beside enabled and selectable when there is none.
    QTableWidgetItem& Cell(int row, int column, Qt::ItemFlags flags);

    CViewer& m_viewer;
    QTableWidget* m_table;
    QPushButton* m_delete;
    unsigned m_pending = 0;
    bool m_filling = false;
};
