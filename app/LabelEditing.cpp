#include "LabelEditing.h"

#include <QUndoCommand>

#include <algorithm>
#include <cmath>
#include <limits>
#include <new>

#include "LabelEditor.h"
#include "LabelFile.h"
#include "PathUtils.h"
#include "TextFormat.h"
#include "Viewer.h"

// One step of the history. The edit is already done when the step is
// pushed, so its first redo does nothing.
class CLabelEditing::CStepCommand : public QUndoCommand {
public:
    CStepCommand(CLabelEditing& owner, CLabelChange&& change, const QString& text)
        : QUndoCommand(text), m_owner(owner), m_change(std::move(change)), m_bytes(m_change.Bytes()) {
        m_owner.m_bytes += m_bytes;
    }
    ~CStepCommand() override { m_owner.m_bytes -= m_bytes; }

    void undo() override { m_owner.Replay(m_change, true); }
    void redo() override {
        if (m_done) {
            m_done = false;
            return;
        }
        m_owner.Replay(m_change, false);
    }
    // The record, for a history made again without the oldest steps.
    size_t Bytes() const { return m_bytes; }
    CLabelChange Take() {
        m_owner.m_bytes -= m_bytes;
        m_bytes = 0;
        return std::move(m_change);
    }

private:
    CLabelEditing& m_owner;
    CLabelChange m_change;
    size_t m_bytes;
    bool m_done = true;
};

CLabelEditing::CLabelEditing(CViewer& viewer) : m_viewer(viewer) {
    // The title's "*" follows the history's saved state.
    QObject::connect(&m_undo, &QUndoStack::cleanChanged, [this](bool) { m_viewer.UpdateTitle(); });
    m_noticeId = m_viewer.Notices().Subscribe([this](unsigned changes) {
        if ((changes & (kChangeLabels | kChangeVolume)) != 0) FollowLayer();
    });
    m_generation = m_viewer.Labels().Generation();
    m_identity = m_viewer.Labels().Identity();
}

CLabelEditing::~CLabelEditing() {
    m_viewer.Notices().Unsubscribe(m_noticeId);
    // The commands tell this object of their end.
    m_undo.clear();
}

void CLabelEditing::FollowLayer() {
    const CLabelLayer& layer = m_viewer.Labels();
    if (layer.Generation() == m_generation) return;
    // The same image in another shape keeps its edits unsaved; another
    // image has none.
    const bool unsaved = Unsaved() && layer.Identity() == m_identity;
    m_generation = layer.Generation();
    m_identity = layer.Identity();
    m_undo.clear();
    m_unsavedBeyondHistory = unsaved;
    m_toldDropped = false;
    m_viewer.UpdateTitle();
}

CLabelEditor CLabelEditing::MakeEditor() const {
    const CViewerState& state = m_viewer.State();
    CLabelEditor editor(m_viewer.Labels().EditImage(), {state.m_pixelSizeX, state.m_pixelSizeY, state.m_pixelSizeZ});
    const CTimeVolume& volume = m_viewer.Volume();
    if (volume.SizeX() > 0) {
        // A single frame of labels is edited over whichever frame is shown,
        // so a value range reads that frame.
        const bool single = m_viewer.Labels().Image().Frames() == 1;
        const int shown = m_viewer.Navigation().DisplayFrame();
        editor.SetValues([&volume, single, shown](int i, int j, int k, int frame) {
            const std::optional<double> value = volume.Value(i, j, k, single ? shown : frame);
            return value ? *value : std::numeric_limits<double>::quiet_NaN();
        });
    }
    return editor;
}

bool CLabelEditing::Begin() {
    FollowLayer();
    if (m_inStep) End();
    if (m_viewer.Labels().Empty()) {
        if (m_viewer.Volume().SizeX() == 0) {
            m_viewer.Host().Dialogs().ShowMessage("Error", "There is no volume or label image to edit.",
                                                  CDialogService::Icon::kError);
            return false;
        }
        if (!NewLabelImage()) return false;
    }
    m_inStep = true;
    m_toldRefusal = false;
    m_step = CLabelChange();
    m_editor.emplace(MakeEditor());
    return true;
}

void CLabelEditing::Refuse(const std::string& error) {
    // A stroke refused at every dab says so once.
    if (m_toldRefusal) return;
    m_toldRefusal = true;
    m_viewer.Host().Dialogs().ShowMessage("Error", "The label image was not changed: " + error,
                                          CDialogService::Icon::kError);
}

bool CLabelEditing::Brush(const Voxel& centre, int plane, bool erase) {
    if (!m_inStep) return false;
    CLabelEditor& editor = *m_editor;
    CLabelChange change;
    std::string error;
    const int shape = m_settings.brushBall ? -1 : plane;
    const int frame = m_viewer.Labels().Frame();
    const bool done = erase ? editor.Erase(centre, m_settings.brushRadiusMm, shape, frame, m_settings.options,
                                           change, error)
                            : editor.Brush(centre, m_settings.brushRadiusMm, shape, frame, m_settings.activeLabel,
                                           m_settings.options, change, error);
    if (!done) {
        Refuse(error);
        return false;
    }
    if (!change.Empty()) {
        m_step.Merge(std::move(change));
        // The overlay follows the brush; surfaces wait for the stroke's end.
        m_viewer.Labels().UploadOverlay();
        m_viewer.View().Repaint();
    }
    return true;
}

bool CLabelEditing::BrushLine(const Voxel& from, const Voxel& to, int plane, bool erase) {
    // Dabs at most half a radius apart (and at least a voxel), so a fast
    // stroke paints a band, not beads.
    const CViewerState& state = m_viewer.State();
    const double pixel[3] = {state.m_pixelSizeX, state.m_pixelSizeY, state.m_pixelSizeZ};
    double length = 0.0;
    int voxels = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const double d = to[static_cast<size_t>(axis)] - from[static_cast<size_t>(axis)];
        length += d * d * pixel[axis] * pixel[axis];
        voxels = std::max(voxels, static_cast<int>(std::abs(d)));
    }
    const double spacing = std::max(m_settings.brushRadiusMm / 2.0, 1e-6);
    const int steps = std::clamp(static_cast<int>(std::ceil(std::sqrt(length) / spacing)), 1, std::max(voxels, 1));
    bool done = true;
    for (int step = 1; step <= steps; ++step) {
        const double t = static_cast<double>(step) / steps;
        Voxel at;
        for (size_t axis = 0; axis < 3; ++axis)
            at[axis] = static_cast<int>(std::lround(from[axis] + t * (to[axis] - from[axis])));
        done = Brush(at, plane, erase) && done;
    }
    return done;
}

bool CLabelEditing::Fill(const Voxel& seed, int plane) {
    if (!m_inStep) return false;
    CLabelEditor& editor = *m_editor;
    CLabelChange change;
    std::string error;
    if (!editor.Fill(seed, m_settings.fillIn3d ? -1 : plane, m_viewer.Labels().Frame(), m_settings.activeLabel,
                     m_settings.fillLimit, m_settings.options, change, error)) {
        Refuse(error);
        return false;
    }
    m_step.Merge(std::move(change));
    return true;
}

bool CLabelEditing::Polygon(const std::vector<std::array<double, 2>>& vertices, int plane, int slice) {
    if (!m_inStep) return false;
    CLabelEditor& editor = *m_editor;
    CLabelChange change;
    std::string error;
    if (!editor.Polygon(vertices, plane, slice, m_viewer.Labels().Frame(), m_settings.activeLabel,
                        m_settings.options, change, error)) {
        Refuse(error);
        return false;
    }
    m_step.Merge(std::move(change));
    return true;
}

void CLabelEditing::End() {
    if (!m_inStep) return;
    m_inStep = false;
    m_editor.reset();
    if (m_step.Empty()) return;
    m_step.ShrinkToFit();
    CLabelChange change = std::move(m_step);
    m_step = CLabelChange();
    Changed(change);
    m_undo.push(new CStepCommand(*this, std::move(change), "Edit Labels"));
    Bound();
}

void CLabelEditing::Adopt(CLabelChange&& change, const QString& text) {
    FollowLayer();
    if (m_inStep) End();
    if (change.Empty()) return;
    change.ShrinkToFit();
    Changed(change);
    m_undo.push(new CStepCommand(*this, std::move(change), text));
    Bound();
}

void CLabelEditing::Changed(const CLabelChange& change) {
    CLabelLayer& layer = m_viewer.Labels();
    const CViewerNotices::CBatch batch(m_viewer.Notices());
    layer.RemakeSurfaces(change.Frames(), change.Values());
    layer.UploadOverlay();
    m_viewer.Notices().Announce(kChangeLabels | kChangeMeshes);
}

void CLabelEditing::Replay(const CLabelChange& change, bool undo) {
    std::string error;
    CLabelImage& image = m_viewer.Labels().EditImage();
    if (!(undo ? change.Undo(image, error) : change.Redo(image, error))) {
        m_viewer.Host().Dialogs().ShowMessage("Error", "The edit cannot be " + std::string(undo ? "undone" : "redone") +
                                                           ": " + error, CDialogService::Icon::kError);
        return;
    }
    Changed(change);
}

void CLabelEditing::Bound() {
    if (m_bytes <= m_undoLimit || m_undo.count() <= 1) return;
    const int count = m_undo.count();
    auto step = [this](int index) { return const_cast<CStepCommand*>(static_cast<const CStepCommand*>(m_undo.command(index))); };
    // The newest steps that fit; the newest stays whatever it takes.
    int first = count - 1;
    size_t bytes = step(first)->Bytes();
    while (first > 0 && bytes + step(first - 1)->Bytes() <= m_undoLimit) bytes += step(--first)->Bytes();
    // QUndoStack drops steps only by count, so the history is made again
    // from the steps kept, the saved state kept where it still lies in it.
    const int clean = m_undo.cleanIndex() - first;
    std::vector<std::pair<CLabelChange, QString>> kept;
    for (int i = first; i < count; ++i) kept.emplace_back(step(i)->Take(), step(i)->text());
    m_undo.clear();
    for (size_t n = 0; n < kept.size(); ++n) {
        if (clean == static_cast<int>(n)) m_undo.setClean();
        m_undo.push(new CStepCommand(*this, std::move(kept[n].first), kept[n].second));
    }
    if (clean == static_cast<int>(kept.size()))
        m_undo.setClean();
    else if (clean < 0)
        m_undo.resetClean();
    if (!m_toldDropped) {
        m_toldDropped = true;
        m_viewer.Host().ShowStatusNote(FormatText(
            "The oldest edits were dropped from the undo history, which holds at most %.0f MiB.",
            static_cast<double>(m_undoLimit) / (1 << 20)));
    }
}

bool CLabelEditing::MayDiscard(bool revert) {
    FollowLayer();
    if (m_inStep) End();
    if (!Unsaved()) return true;
    const std::string path = m_viewer.Labels().Path();
    const std::string name = path.empty() ? "The new label image" : "The label image " + FileNameOfPath(path);
    switch (m_viewer.Host().Dialogs().AskSaveChanges(name + " has edits that are not saved. Save them?")) {
        case CDialogService::EUnsavedAnswer::kSave: return Save();
        case CDialogService::EUnsavedAnswer::kCancel: return false;
        case CDialogService::EUnsavedAnswer::kDiscard: break;
    }
    // Without `revert` the edits stay until the image goes: should it not
    // go after all (a load that fails), nothing is lost.
    if (!revert) return true;
    // Back to the saved voxels: through the history where it still reaches
    // them, else from the file.
    if (!m_unsavedBeyondHistory && m_undo.cleanIndex() >= 0) {
        m_undo.setIndex(m_undo.cleanIndex());
        m_undo.clear();
    } else if (!path.empty()) {
        m_undo.clear();
        m_unsavedBeyondHistory = false;
        m_viewer.LoadLabelFile(path);
    }
    return true;
}

bool CLabelEditing::NewLabelImage() {
    const CTimeVolume& volume = m_viewer.Volume();
    if (volume.SizeX() == 0) return false;
    CLabelImage labels;
    std::string error;
    bool made = false;
    try {
        made = labels.Assign([](int64_t, int64_t count, double* out) { std::fill(out, out + count, 0.0); },
                             volume.SizeX(), volume.SizeY(), volume.SizeZ(), std::max(volume.Frames(), 1), error);
    } catch (const std::bad_alloc&) {
        error = "not enough memory";
    }
    if (!made) {
        m_viewer.Host().Dialogs().ShowMessage("Error", "Cannot make a label image: " + error + ".",
                                              CDialogService::Icon::kError);
        return false;
    }
    const CViewerState& state = m_viewer.State();
    labels.m_pixelSize[0] = state.m_pixelSizeX;
    labels.m_pixelSize[1] = state.m_pixelSizeY;
    labels.m_pixelSize[2] = state.m_pixelSizeZ;
    labels.m_transform = m_viewer.PatientTransform();
    // Labels named in the panel before there was an image keep their names.
    CLabelLayer& layer = m_viewer.Labels();
    CLabelTable table = layer.Empty() ? layer.Table() : CLabelTable();
    if (!m_viewer.ShowLabels(std::move(labels), "")) return false;
    layer.Table() = std::move(table);
    return true;
}

std::string CLabelEditing::AskName() {
    const std::string& path = m_viewer.Labels().Path();
    return m_viewer.Host().Dialogs().AskSaveFileName(
        {"NIfTI label images (*.nii.gz *.nii)", "nii.gz", path.empty() ? "labels.nii.gz" : FileNameOfPath(path)});
}

bool CLabelEditing::WriteTo(const std::string& path, bool asRead) {
    if (m_inStep) End();
    CLabelLayer& layer = m_viewer.Labels();
    const CLabelImage& labels = layer.Image();
    std::string note, error;
    bool written = false;
    try {
        written = asRead && layer.Origin() ? WriteLabelFileAsRead(path, labels, *layer.Origin(), note, error)
                                           : WriteNewLabelFile(path, labels, labels.m_transform, labels.m_pixelSize,
                                                               error);
    } catch (const std::bad_alloc&) {
        error = "not enough memory";
    }
    if (!written) {
        m_viewer.Host().Dialogs().ShowMessage("Error", "The label image was not saved to " + path + ": " + error,
                                              CDialogService::Icon::kError);
        return false;
    }
    std::optional<CLabelFileOrigin> origin = asRead ? layer.Origin() : std::nullopt;
    layer.SavedAs(path, std::move(origin));
    m_undo.setClean();
    m_unsavedBeyondHistory = false;
    m_viewer.UpdateTitle();
    // Names and colours go beside the image where it had a description file
    // or the user gave any; a folder is not filled with files of defaults.
    if (!layer.Table().Empty() || !layer.DescriptionsPath().empty()) {
        std::string descriptionError;
        if (!layer.SaveDescriptions(path, descriptionError))
            note += (note.empty() ? "" : "\n") + std::string("The label names and colours were not saved: ") +
                    descriptionError;
    }
    if (!note.empty())
        m_viewer.Host().Dialogs().ShowMessage("Label image saved", note, CDialogService::Icon::kInformation);
    return true;
}

bool CLabelEditing::Save() {
    if (m_viewer.Labels().Empty()) return false;
    const std::string path = m_viewer.Labels().Path();
    if (path.empty()) return SaveAs();
    return WriteTo(path, true);
}

bool CLabelEditing::SaveAs() {
    if (m_viewer.Labels().Empty()) return false;
    const std::string path = AskName();
    return !path.empty() && WriteTo(path, true);
}
