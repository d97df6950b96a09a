#pragma once

#include <string>

class CCardiacPhantom;

// Writes one study of `phantom` into `folder` (made when missing), as a
// cohort keeps it: cine.nii.gz (every frame, uint16, 1.5 mm pixels, 8 mm
// slices, 40 ms a frame, on the scanner axes), ed_labels.nii.gz (the true
// labels of frame 0 alone, a 3-D uint8 image on the same grid) and
// truth.csv (the true blood-pool volume of every frame in ml). False when a
// file cannot be written.
bool WritePhantomStudy(const std::string& folder, const CCardiacPhantom& phantom);
