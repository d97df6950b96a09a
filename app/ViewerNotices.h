#pragma once

#include <functional>
#include <memory>
#include <vector>

// What changed in the viewer, as flags: a command may change several at once.
enum EViewerChange : unsigned {
    kChangeVolume = 1u << 0,        // another volume, or none
    kChangeLabels = 1u << 1,        // the label image or its voxels
    kChangeMeshes = 1u << 2,        // the mesh set (files, label surfaces, capping)
    kChangePosition = 1u << 3,      // the voxel the planes go through
    kChangeFrame = 1u << 4,         // the frame shown
    kChangeCalibration = 1u << 5,   // pixel sizes or frame time
    kChangeDisplay = 1u << 6,       // how things are drawn: switches, brightness, saturation
    kChangeCamera = 1u << 7,        // the camera only: nothing to gather again
    kChangeLabelLook = 1u << 8,     // a label's name, colour or shown state
    kChangeMeasurements = 1u << 9,  // a measurement added, removed, moved, renamed, shown or hidden
};

// What the views and panels beside the 3-D view learn from the viewer: one
// notice per command, naming everything the command changed, delivered in
// the order the listeners subscribed. A change made while a command runs is
// held until the command ends (CBatch), so a load that moves the position,
// the frame and the meshes tells each listener once; a change outside any
// batch is told at once.
class CViewerNotices {
public:
    using Listener = std::function<void(unsigned changes)>;

    CViewerNotices() = default;
    CViewerNotices(const CViewerNotices&) = delete;
    CViewerNotices& operator=(const CViewerNotices&) = delete;

    // Adds a listener; the number returned takes it off again.
    int Subscribe(Listener listener);
    void Unsubscribe(int id);

    void Announce(unsigned changes);

    // Expires when these notices go, so that a subscriber that outlives
    // them (a widget torn down after the viewer) knows not to unsubscribe.
    std::weak_ptr<const int> Lifetime() const { return m_lifetime; }

    // Holds the notices of its lifetime and tells them as one when the
    // outermost batch ends.
    class CBatch {
    public:
        explicit CBatch(CViewerNotices& notices);
        ~CBatch();
        CBatch(const CBatch&) = delete;
        CBatch& operator=(const CBatch&) = delete;

    private:
        CViewerNotices& m_notices;
    };

private:
    void Deliver(unsigned changes);

    struct Entry {
        int id;
        Listener listener;
    };
    std::vector<Entry> m_listeners;
    int m_nextId = 1;
    int m_depth = 0;
    unsigned m_pending = 0;
    std::shared_ptr<const int> m_lifetime = std::make_shared<const int>(0);
};
