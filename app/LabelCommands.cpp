#include "LabelCommands.h"

#include <algorithm>
#include <new>

#include "LabelEditing.h"
#include "LabelPropagation.h"
#include "SliceInterpolation.h"
#include "TextFormat.h"
#include "Viewer.h"

void CLabelCommands::Tell(const std::string& text) {
    m_viewer.Host().Dialogs().ShowMessage("Error", text, CDialogService::Icon::kError);
}

bool CLabelCommands::Interpolate() {
    CLabelEditing& editing = m_viewer.Editing();
    const CLabelEditSettings& settings = editing.Settings();
    CLabelLayer& layer = m_viewer.Labels();
    if (layer.Empty()) {
        Tell("There is no label image to interpolate.");
        return false;
    }
    CLabelChange change;
    std::string error;
    bool done = false;
    try {
        done = InterpolateBetweenSlices(layer.EditImage(), settings.activeLabel, settings.interpolationAxis,
                                        layer.Frame(), change, error);
    } catch (const std::bad_alloc&) {
        error = "not enough memory";
    }
    if (!done) {
        Tell("The slices were not interpolated: " + error);
        return false;
    }
    editing.Adopt(std::move(change), "Interpolate Between Slices");
    return true;
}

bool CLabelCommands::OnPropagate() {
    if (m_viewer.Labels().Empty() || m_viewer.Volume().Frames() < 2) {
        Tell("Carrying labels over time needs a label image over a volume of several frames.");
        return false;
    }
    std::vector<int> references = {m_viewer.Navigation().DisplayFrame()};
    if (!m_viewer.Host().AskPropagation(references, m_viewer.Volume().Frames())) return false;
    return Propagate(references);
}

bool CLabelCommands::Propagate(const std::vector<int>& references, bool undoable) {
    CLabelLayer& layer = m_viewer.Labels();
    const CTimeVolume& volume = m_viewer.Volume();
    const int frames = volume.Frames();
    if (layer.Empty() || frames < 2) {
        Tell("Carrying labels over time needs a label image over a volume of several frames.");
        return false;
    }
    for (const int frame : references)
        if (frame < 0 || frame >= frames) {
            Tell(FormatText("The reference frame %d lies outside the volume's frames 0 to %d.", frame, frames - 1));
            return false;
        }
    if (layer.Image().Frames() == 1 && references.size() > 1) {
        Tell("A label image of a single frame gives the labels of one reference frame, not two.");
        return false;
    }
    std::string error;
    CLabelEditing& editing = m_viewer.Editing();
    // One frame of labels served every frame: each gets its copy, of which
    // the references keep theirs and the others are carried anew.
    if (!layer.RepeatOverFrames(error)) {
        Tell("The labels were not carried over time: " + error + ".");
        return false;
    }
    CPropagationSettings settings;
    settings.references = references;
    settings.keep = editing.Settings().keepFrames;
    settings.record = undoable;
    CViewerHost& host = m_viewer.Host();
    host.BeginProgress(frames);
    const CPropagationProgress progress = [&host, frames](int done, int total) {
        // Steps are told as frames done: the display counts frames.
        const int64_t frame = total > 0 ? int64_t{done} * frames / total : 0;
        return host.StepProgress(static_cast<int>(std::clamp<int64_t>(frame, 0, frames - 1)), frames);
    };
    CLabelChange change;
    bool done = false;
    try {
        done = PropagateLabels(volume, layer.EditImage(), settings, progress, change, error);
    } catch (const std::bad_alloc&) {
        error = "not enough memory";
    } catch (const std::exception& e) {
        // The registration module could not be loaded.
        error = e.what();
    }
    host.EndProgress();
    if (!done) {
        if (error != "cancelled") Tell("The labels were not carried over time: " + error + ".");
        // Whatever happened, the image shows what it did.
        m_viewer.Notices().Announce(kChangeLabels);
        return false;
    }
    if (undoable) {
        editing.Adopt(std::move(change), "Propagate Over Time");
        return true;
    }
    // Nothing records which frames were written: all are made anew.
    std::vector<int> frameList(static_cast<size_t>(frames));
    for (int frame = 0; frame < frames; ++frame) frameList[static_cast<size_t>(frame)] = frame;
    layer.RemakeSurfaces(frameList, layer.Image().Values());
    layer.UploadOverlay();
    m_viewer.Notices().Announce(kChangeLabels | kChangeMeshes);
    return true;
}
