#pragma once

#include <QUndoStack>

#include "MeasurementLayer.h"

class CViewer;

// Changing the measurements in the viewer, each change one undo step, and
// the one Undo and Redo of the Edit menu over both histories: this one and
// the label image's.
//
// The measurements keep a history of their own rather than sharing the
// label image's: that history's saved state tells whether the label image
// has unsaved edits, it is rebuilt step by step to bound its memory, and
// discarding edits rolls it back, none of which may touch measurements.
// Each step notes how far the label history had come when it was taken, so
// Undo takes back whichever step came last and Redo brings back the
// earlier one first: to the user the two read as one history.
class CMeasurementEditing {
public:
    explicit CMeasurementEditing(CViewer& viewer);
    ~CMeasurementEditing();
    CMeasurementEditing(const CMeasurementEditing&) = delete;
    CMeasurementEditing& operator=(const CMeasurementEditing&) = delete;

    const QUndoStack& UndoStack() const { return m_undo; }

    // The measurements become `after`, as one undo step named `text`; no
    // step when nothing changed.
    void Change(const CMeasurementLayer& after, const QString& text);
    // The measurements become `now` at once, with no step: a drag's moves,
    // ended by Commit from how they were before it began.
    void Show(const CMeasurementLayer& now);
    void Commit(const CMeasurementLayer& before, const QString& text);
    // Shown or hidden: how they are looked at, not what they are, so no step.
    void SetShown(size_t index, bool shown);

    // Edit > Undo and Redo over both histories; not while a label stroke is painted.
    bool CanUndo() const;
    bool CanRedo() const;
    void Undo();
    void Redo();

private:
    class CStep;

    // True when the measurement history's next step to undo (or redo) comes
    // after the label history's (or before it).
    bool MeasurementFirst(bool undo) const;
    void Set(const CMeasurementLayer& layer);
    // Takes the measurements back (or forward) to those of a step.
    void Restore(const CMeasurementLayer& layer);

    CViewer& m_viewer;
    QUndoStack m_undo;
    int m_noticeId = -1;
};
