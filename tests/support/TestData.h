#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "DicomWriter.h"
#include "NiftiWriter.h"
#include "TviWriter.h"

// The inputs tests build, in a few calls: files as bytes, .tvi volumes whose
// voxels follow a rule, NIfTI images (label images among them) from a vector
// of values, and DICOM series of given slices and frames.

// Files as bytes. False when the file cannot be written; nothing read from a
// file that cannot be opened.
bool WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool WriteText(const std::string& path, const std::string& text);
std::vector<uint8_t> ReadBytes(const std::string& path);

// The sample of voxel (x, y) of slice z in frame t.
using VoxelRule = std::function<uint16_t(int x, int y, int z, int t)>;

// An X x Y x Z x T volume whose voxels follow `rule` (all 0 without one).
TviContents TviVolume(int x, int y, int z, int t, const VoxelRule& rule = {});

// Samples that tell voxels apart, from 0 to 249, so that with one sample of
// 255 among them a load at saturation 1.0 shows every sample as its own grey.
uint16_t CodedSample(int x, int y, int z, int t);

// The samples of `volume` with the frames outermost, as NIfTI images store them.
std::vector<uint16_t> FrameMajorSamples(const TviContents& volume);

// The labels `rule` gives an X x Y x Z x T grid, in the order of a NIfTI
// image's voxels and of a label image's values.
std::vector<uint8_t> LabelValues(int x, int y, int z, int t, const VoxelRule& rule);

// An X x Y x Z x T image of `values` (x fastest, frames outermost) of the
// type `datatype` stands for; 3-D when it has one frame.
template <typename T>
NiftiContents NiftiVolume(int64_t x, int64_t y, int64_t z, int64_t t, int datatype,
                          const std::vector<T>& values) {
    NiftiContents contents;
    contents.SetSizes(t > 1 ? 4 : 3, x, y, z, t);
    contents.datatype = datatype;
    contents.SetValues(values);
    return contents;
}

// The uint16 NIfTI image that holds the samples and pixel sizes of `volume`.
NiftiContents NiftiOfTvi(const TviContents& volume);

// Writes `slices` x `frames` copies of `image` into `folder` (made when
// missing) as <uid>-<z>-<t>.dcm: slice z lies `gap` mm from the first along
// the normal of the image plane (axial unless `image` has an orientation),
// frame t has the trigger time `step` * t ms, and without values of its own
// every pixel holds 10 z + t. `each` may change an image before it is
// written. Returns the paths, slice by slice; empty when one cannot be written.
using DicomImageChange = std::function<void(DicomImageFields& image, int z, int t)>;
std::vector<std::string> WriteDicomSeries(const std::string& folder, const DicomImageFields& image,
                                          int slices, int frames, double gap, double step,
                                          const DicomImageChange& each = {});

// python3-nibabel's Philips Enhanced MR test file (176 frames of 256 x 256,
// one per slice of an oblique MPRAGE), unpacked to `path`; false when the
// package is not installed.
bool WriteNibabelEnhancedMr(const std::string& path);
// The enhanced file `path` as a classic MR series, one file per frame, as
// GDCM's gdcmtar (libgdcm-tools) writes it into `folder` (made when missing):
// the paths in frame order; empty when the tool is missing or fails.
std::vector<std::string> SplitEnhancedMr(const std::string& path, const std::string& folder);
