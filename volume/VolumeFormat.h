#pragma once

#include <array>
#include <optional>
#include <string>

#include "SampleSource.h"

// The image file formats a volume loads from.
enum class EVolumeFormat { kNone, kTvi, kNifti };

// The format a file's name says it holds, its extension compared ignoring
// case: .tvi, .nii or .nii.gz; kNone for any other name.
EVolumeFormat VolumeFormatOfPath(const std::string& path);

// The path without its format's extension: "heart.nii.gz" -> "heart", so that
// files beside a volume (its meshes, saved pictures) take its plain name.
std::string PathWithoutVolumeExtension(const std::string& path);

// True when `text` ends with `ending`, letters compared ignoring case.
bool EndsWithIgnoringCase(const std::string& text, const std::string& ending);

// What a volume's file was, as --info reports it.
struct CVolumeFileInfo {
    std::string m_format;    // "tvi" or "nifti"; empty without a file
    std::string m_datatype;  // NIfTI only: "int16", "float32" ...
    // NIfTI only: the smallest and largest finite value, after scaling.
    std::optional<std::array<double, 2>> m_valueRange;
    // The calibration values the file itself set.
    CVolumeCalibration m_calibration;
};
