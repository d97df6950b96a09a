#pragma once

#include <functional>
#include <string>
#include <vector>

#include "LabelChange.h"
#include "OpticalFlow.h"

class CLabelImage;
class CTimeVolume;

// What carrying labels over time takes: the reference frames whose labels
// are carried (one, typically end-diastole, or two: end-diastole and
// end-systole), and the frames that keep their labels whatever happens.
struct CPropagationSettings {
    std::vector<int> references;
    // Per frame: true for frames not to be overwritten. Shorter than the
    // frame count means the rest are not kept. References are always kept.
    std::vector<bool> keep;
    // How the motion between neighbouring frames is measured.
    EFlowMethod method = EFlowMethod::kFarneback;
    // Whether the voxels written are recorded (for undo, and to take a
    // cancel or a failure back). A run that needs neither (headless) saves
    // the record's memory; a cancel or a failure may then leave frames half
    // carried.
    bool record = true;
};

// Hears how far a propagation has come: `done` of `total` steps. Returns
// false to cancel, which the propagation answers within a second.
using CPropagationProgress = std::function<bool(int done, int total)>;

// Carries every label of the reference frames of `labels` to every other
// frame of it, following the motion of `volume` (which has the labels' grid
// and frame count): the motion between neighbouring frames is measured by
// dense registration, slice by slice, composed along the cycle in both
// directions, and the two ways (and, with two references, the results of
// both, by their distance in time) blended. Each reference's labels go as
// far as the next reference each way, whose own labels take over there;
// with one reference, all the way round. The frames written are recorded
// in `change` for undo. False, with `error` saying why and `labels` left as
// they were, for references outside the frames, a grid that does not fit,
// a registration module that cannot be loaded, or a cancel ("cancelled").
bool PropagateLabels(const CTimeVolume& volume, CLabelImage& labels, const CPropagationSettings& settings,
                     const CPropagationProgress& progress, CLabelChange& change, std::string& error);
