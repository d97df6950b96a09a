#pragma once

#include <string>
#include <vector>

class CViewer;

// The commands of the Labels menu, which work on the whole label image
// rather than where the mouse is: filling the slices between drawn ones, and
// carrying the labels of one or two frames to every other frame. Each is one
// undo step. Made for one command at a time, like the exports.
class CLabelCommands {
public:
    explicit CLabelCommands(CViewer& viewer) : m_viewer(viewer) {}

    // Labels > Interpolate Between Slices: the active label, in the frame
    // shown, along the settings' axis.
    bool Interpolate();
    // Labels > Propagate Over Time...: asks for the reference frames, then Propagate.
    bool OnPropagate();
    // Carries the labels of `references` (one or two frames) to every frame
    // not kept, with a progress display that can cancel. A single frame of
    // labels is first repeated over the frames, so its labels are those of
    // each reference. False, with the reason told (nothing said for a
    // cancel), when nothing was carried. Without `undoable` (headless runs)
    // no record of the voxels written is kept, which saves its memory.
    bool Propagate(const std::vector<int>& references, bool undoable = true);

private:
    void Tell(const std::string& text);

    CViewer& m_viewer;
};
