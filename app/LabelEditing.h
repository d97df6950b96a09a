#pragma once

#include <QUndoStack>

#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "LabelChange.h"
#include "LabelEditSettings.h"
#include "LabelEditor.h"

class CViewer;

// Label editing in the viewer: the operations the editing tools call on the
// label image shown, the undo history of their steps, and keeping the edits
// (saving, or asking before they would be lost). A step is what the user
// takes back with one Undo: a whole brush stroke, a fill or a polygon. While
// a stroke goes on the overlay follows each dab; when the step ends, the
// surfaces of the frames it changed are made again and the change is told,
// so the Curves panel reads the new volumes.
class CLabelEditing {
public:
    using Voxel = std::array<int, 3>;
    // The most memory the undo history holds; older steps are dropped.
    static constexpr size_t kUndoBytes = size_t{256} << 20;

    explicit CLabelEditing(CViewer& viewer);
    ~CLabelEditing();
    CLabelEditing(const CLabelEditing&) = delete;
    CLabelEditing& operator=(const CLabelEditing&) = delete;

    CLabelEditSettings& Settings() { return m_settings; }
    const CLabelEditSettings& Settings() const { return m_settings; }
    QUndoStack& UndoStack() { return m_undo; }
    const QUndoStack& UndoStack() const { return m_undo; }
    // The undo history's memory, and its bound (kUndoBytes unless set).
    size_t UndoBytes() const { return m_bytes; }
    void SetUndoLimit(size_t bytes) { m_undoLimit = bytes; }

    // --- Steps ---------------------------------------------------------------
    // Starts a step. Without a label image but with a volume it makes an
    // empty one to paint on. False, with the reason told, when there is
    // nothing to edit.
    bool Begin();
    // Brush (or eraser) dab at file voxel `centre` on plane `plane` (0 YZ,
    // 1 XZ, 2 XY) of the frame shown, with the radius, shape and options of
    // the settings. Refusals are told once a step.
    bool Brush(const Voxel& centre, int plane, bool erase);
    // The dabs of a stroke from `from` to `to`, spaced so the strokes leave no gaps.
    bool BrushLine(const Voxel& from, const Voxel& to, int plane, bool erase);
    bool Fill(const Voxel& seed, int plane);
    // `vertices` in the plane's two free file voxel axes (see CLabelEditor::Polygon).
    bool Polygon(const std::vector<std::array<double, 2>>& vertices, int plane, int slice);
    // A change made on the label image by a whole-image command
    // (interpolation, propagation): it becomes one undo step named `text`,
    // and its frames' surfaces and curves follow.
    void Adopt(CLabelChange&& change, const QString& text);
    // Ends the step: what it changed becomes one undo step, and the surfaces
    // and curves of its frames follow. A step that changed nothing leaves no trace.
    void End();
    bool InStep() const { return m_inStep; }

    // --- Keeping the edits ----------------------------------------------------
    // True while the label image holds edits not saved.
    bool Unsaved() const { return !m_undo.isClean() || m_unsavedBeyondHistory; }
    // Geometry > New Label Image: an empty label image on the volume's grid and
    // transform, one frame per volume frame. Asks first about unsaved edits.
    bool NewLabelImage();
    // File > Save Label Image: to the file it came from, in that file's form;
    // a label image of no file asks for a name. False, the edits kept and the
    // reason told, when it could not be written or no name was given.
    bool Save();
    bool SaveAs();
    // Before the label image goes (another is loaded, another volume, the
    // window closes): true when it may. With unsaved edits it asks Save,
    // Discard or Cancel. Discarding takes the image back to how it was saved
    // when `revert` (it stays shown otherwise, e.g. for a load that keeps it).
    bool MayDiscard(bool revert = true);

private:
    class CStepCommand;
    friend class CStepCommand;

    // The editor of the label image shown, for one step.
    CLabelEditor MakeEditor() const;
    // Undoes or redoes a step taken back or forward by the history.
    void Replay(const CLabelChange& change, bool undo);
    // The frames `change` touched get new surfaces; everyone hears of it.
    void Changed(const CLabelChange& change);
    // Keeps the history within kUndoBytes, dropping the oldest steps.
    void Bound();
    // Forgets the history when the label image is no longer the one it was made on.
    void FollowLayer();
    bool WriteTo(const std::string& path, bool asRead);
    std::string AskName();
    void Refuse(const std::string& error);

    CViewer& m_viewer;
    CLabelEditSettings m_settings;
    QUndoStack m_undo;
    size_t m_bytes = 0;
    size_t m_undoLimit = kUndoBytes;
    // The label layer's image the history belongs to.
    unsigned m_generation = 0;
    unsigned m_identity = 0;
    // Edits not saved that the history no longer holds: the image was
    // reordered or given frames, which no step can be replayed on.
    bool m_unsavedBeyondHistory = false;
    // The step under way.
    bool m_inStep = false;
    bool m_toldRefusal = false;
    CLabelChange m_step;
    // Made when a step begins and kept to its end, so that the dabs of a
    // stroke share its buffers.
    std::optional<CLabelEditor> m_editor;
    bool m_toldDropped = false;
    int m_noticeId = -1;
};
