#pragma once

#include <cstdint>
#include <vector>

#include "LabelEditor.h"

// What the editing tools share, set in the Labels panel: the label they
// paint, the brush, the fill's bound, and which voxels and frames an edit
// may write.
struct CLabelEditSettings {
    // The label the brush, the fill and the polygon write.
    int64_t activeLabel = 1;
    // The brush's (and the eraser's) radius in millimetres.
    double brushRadiusMm = 3.0;
    // The brush as a ball across slices rather than a disc on the plane.
    bool brushBall = false;
    // The fill through the whole volume rather than within the plane.
    bool fillIn3d = false;
    // The largest region a fill takes; a larger one is refused, not cut.
    int64_t fillLimit = 2'000'000;
    CLabelEditOptions options;
    // The file voxel axis Interpolate Between Slices fills along (2: the slices).
    int interpolationAxis = 2;
    // Per frame: labels that carrying labels over time leaves as they are.
    std::vector<bool> keepFrames;
    bool Kept(int frame) const {
        return frame >= 0 && static_cast<size_t>(frame) < keepFrames.size() && keepFrames[static_cast<size_t>(frame)];
    }
};
