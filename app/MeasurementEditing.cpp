#include "MeasurementEditing.h"

#include <QUndoCommand>

#include "LabelEditing.h"
#include "Viewer.h"

// A step holds the measurements before and after it: a few points each.
class CMeasurementEditing::CStep : public QUndoCommand {
public:
    CStep(CMeasurementEditing& owner, CMeasurementLayer before, CMeasurementLayer after, const QString& text,
          int labelIndex)
        : QUndoCommand(text),
          m_owner(owner),
          m_before(std::move(before)),
          m_after(std::move(after)),
          m_labelIndex(labelIndex) {}

    // The change is made before the step is pushed, so its first redo does nothing.
    void redo() override {
        if (m_done) {
            m_done = false;
            return;
        }
        m_owner.Restore(m_after);
    }
    void undo() override { m_owner.Restore(m_before); }
    // The label history's index when the step was taken.
    int LabelIndex() const { return m_labelIndex; }

private:
    CMeasurementEditing& m_owner;
    CMeasurementLayer m_before, m_after;
    int m_labelIndex;
    bool m_done = true;
};

CMeasurementEditing::CMeasurementEditing(CViewer& viewer) : m_viewer(viewer) {
    // Measurements go with their volume, and so does their history.
    m_noticeId = m_viewer.Notices().Subscribe([this](unsigned changes) {
        if ((changes & kChangeVolume) != 0) m_undo.clear();
    });
}

CMeasurementEditing::~CMeasurementEditing() {
    m_viewer.Notices().Unsubscribe(m_noticeId);
    m_undo.clear();
}

void CMeasurementEditing::Set(const CMeasurementLayer& layer) {
    m_viewer.Measurements() = layer;
    m_viewer.Notices().Announce(kChangeMeasurements);
}

void CMeasurementEditing::Restore(const CMeasurementLayer& layer) {
    // Shown or hidden is no step: a measurement there now keeps its state.
    CMeasurementLayer restored = layer;
    const CMeasurementLayer& now = m_viewer.Measurements();
    for (size_t i = 0; i < restored.Size(); ++i) {
        const int at = now.IndexOf(restored.Items()[i].Name());
        if (at >= 0) restored.SetShown(i, now.Shown(static_cast<size_t>(at)));
    }
    Set(restored);
}

void CMeasurementEditing::Show(const CMeasurementLayer& now) {
    if (now == m_viewer.Measurements()) return;
    Set(now);
}

void CMeasurementEditing::Commit(const CMeasurementLayer& before, const QString& text) {
    if (before == m_viewer.Measurements()) return;
    m_undo.push(
        new CStep(*this, before, m_viewer.Measurements(), text, m_viewer.Editing().UndoStack().index()));
}

void CMeasurementEditing::Change(const CMeasurementLayer& after, const QString& text) {
    const CMeasurementLayer before = m_viewer.Measurements();
    Show(after);
    Commit(before, text);
}

void CMeasurementEditing::SetShown(size_t index, bool shown) {
    if (index >= m_viewer.Measurements().Size() || m_viewer.Measurements().Shown(index) == shown) return;
    m_viewer.Measurements().SetShown(index, shown);
    m_viewer.Notices().Announce(kChangeMeasurements);
}

bool CMeasurementEditing::MeasurementFirst(bool undo) const {
    const QUndoStack& labels = m_viewer.Editing().UndoStack();
    if (!(undo ? m_undo.canUndo() : m_undo.canRedo())) return false;
    if (!(undo ? labels.canUndo() : labels.canRedo())) return true;
    const auto* step = static_cast<const CStep*>(m_undo.command(m_undo.index() - (undo ? 1 : 0)));
    // A step taken at label index n came after the first n label steps.
    return undo ? step->LabelIndex() >= labels.index() : step->LabelIndex() <= labels.index();
}

bool CMeasurementEditing::CanUndo() const {
    return !m_viewer.Editing().InStep() && (m_undo.canUndo() || m_viewer.Editing().UndoStack().canUndo());
}

bool CMeasurementEditing::CanRedo() const {
    return !m_viewer.Editing().InStep() && (m_undo.canRedo() || m_viewer.Editing().UndoStack().canRedo());
}

void CMeasurementEditing::Undo() {
    if (!CanUndo()) return;
    if (MeasurementFirst(true))
        m_undo.undo();
    else
        m_viewer.Editing().UndoStack().undo();
}

void CMeasurementEditing::Redo() {
    if (!CanRedo()) return;
    if (MeasurementFirst(false))
        m_undo.redo();
    else
        m_viewer.Editing().UndoStack().redo();
}
