#pragma once

#include <functional>
#include <string>

#include "LabelImage.h"

// Reads a label image from a NIfTI-1 or NIfTI-2 file (.nii, or .nii.gz),
// 3-D or 4-D, of any integer type or of floats that are all whole numbers,
// with its pixel sizes in mm. False with `error` saying why, `labels`
// unchanged, when the file cannot be read, is damaged or holds values that
// are no labels (CLabelImage::Assign). `progress`, when given, hears the
// fraction read from the calling thread.
bool ReadLabelFile(const std::string& path, CLabelImage& labels, std::string& error,
                   const std::function<void(double)>& progress = {});

// True for names of the format label images come in (NIfTI), in any letter case.
bool IsLabelFileName(const std::string& path);
