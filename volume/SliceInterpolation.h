#pragma once

#include <cstdint>
#include <string>

#include "LabelChange.h"

class CLabelImage;

// Fills the slices between the drawn slices of one label: along `axis`
// (0 = i, 1 = j, 2 = k, the file's voxel axes), in label frame `frame`,
// every slice between two slices that hold `value` gets the shape blended
// from those two by interpolating their signed distance maps, so a shape
// grows or shrinks between them rather than being copied. Only voxels of
// background are written: other labels' voxels stay. The voxels written are
// recorded in `change`. False, with `error` saying why and nothing written,
// for a frame, axis or value outside, or fewer than two drawn slices.
bool InterpolateBetweenSlices(CLabelImage& labels, int64_t value, int axis, int frame, CLabelChange& change,
                              std::string& error);
