#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Affine.h"
#include "LabelFileOrigin.h"
#include "LabelImage.h"

// Reads a label image from a NIfTI-1 or NIfTI-2 file (.nii, or .nii.gz),
// 3-D or 4-D, of any integer type or of floats that are all whole numbers,
// with its pixel sizes in mm. False with `error` saying why, `labels`
// unchanged, when the file cannot be read, is damaged or holds values that
// are no labels (CLabelImage::Assign). `progress`, when given, hears the
// fraction read from the calling thread.
bool ReadLabelFile(const std::string& path, CLabelImage& labels, std::string& error,
                   const std::function<void(double)>& progress = {});
// The same, keeping in `origin` what WriteLabelFileAsRead needs to write the
// labels back in the file's own form; `origin` is set only when it succeeds.
bool ReadLabelFile(const std::string& path, CLabelImage& labels, CLabelFileOrigin& origin, std::string& error,
                   const std::function<void(double)>& progress = {});

// Writes `labels`, read from the file `origin` describes and perhaps edited
// and placed on another grid since, to `path` as that file was: its header
// and extensions byte for byte, its byte order and its voxel order (whatever
// PlaceOnGrid did since); gzip compressed when the name ends in .gz, as the
// NIfTI library expects.
// Values go in the file's type and through its scaling, so that they read
// back as the labels. When a label does not fit the file's integer type the
// smallest integer type that holds them all is taken instead, and `note`
// says so (empty otherwise). False, with `error` saying why and `path` left
// as it was, when the labels no longer fit the file's grid, a label cannot
// be stored through the file's scaling, or the file cannot be written.
bool WriteLabelFileAsRead(const std::string& path, const CLabelImage& labels, const CLabelFileOrigin& origin,
                          std::string& note, std::string& error);

// Writes a label image that came from no file, in its own voxel order: uint8,
// uint16 once a label passes 255, NIfTI-1 (.nii, or gzip compressed for a
// name ending in .gz), with `transform` (voxel to RAS mm) as sform and qform
// where one is known, else the pixel sizes (mm). False, with `error` saying
// why and `path` left as it was, when it cannot be written.
bool WriteNewLabelFile(const std::string& path, const CLabelImage& labels, const std::optional<CAffine>& transform,
                       const double pixelSize[3], std::string& error);

// True for names of the format label images come in (NIfTI), in any letter case.
bool IsLabelFileName(const std::string& path);
