#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Where a file keeps its pixel data as plain little-endian values of one
// sample each: such frames are read straight from the file, without the
// DICOM library or a reader process.
struct CDicomNativePixels {
    uint64_t fileSize = 0;      // of the file as scanned: a file changed since is decoded the slow way
    uint64_t offset = 0;        // of the value of Pixel Data
    uint64_t length = 0;        // of that value, at least every frame's bytes
    int32_t bitsAllocated = 0;  // 8, 16 or 32
    int32_t bitsStored = 0;     // the low bits of each value; the high bit is the one below them
    bool isSigned = false;
    // The 12 bytes before the value in the file (its tag, VR and length), checked again at the load.
    std::array<unsigned char, 12> lead{};
};

// What the folder scan reads of one DICOM image: the tags that group, sort
// and calibrate a series, and those that say whether its pixels can be
// shown. Pixel data is not read until a series is loaded. A multi-frame file
// gives one header per frame, with what its functional groups (or, in a
// classic multi-frame file, its shared tags) say of that frame.
struct CDicomImageHeader {
    std::string path;
    int32_t frame = 0;  // which frame of the file, from 0
    std::string seriesUid;
    std::optional<int> seriesNumber;
    std::string seriesDescription;
    int32_t rows = 0;
    int32_t columns = 0;
    int32_t frames = 1;  // Number of Frames
    // Whether the file describes its frames in functional groups (an enhanced
    // image), rather than one set of tags for all (a classic one).
    bool enhanced = false;
    std::string stackId;  // Stack ID of an enhanced image's frame
    // In-Stack Position Number and Dimension Index Values of an enhanced
    // image's frame: the order the scanner gives its frames where they carry
    // no position or no time.
    std::optional<double> inStackPosition;
    std::vector<uint32_t> dimensionIndex;
    // "magnitude", "phase" or "velocity", from Image Type or Frame Type; "" when they do not say.
    std::string imageType;
    int32_t samplesPerPixel = 1;
    std::string photometric;  // MONOCHROME2, RGB, ...
    // Image Position Patient (mm) and Image Orientation Patient (row cosines, then column cosines).
    std::optional<std::array<double, 3>> position;
    std::optional<std::array<double, 6>> orientation;
    // Pixel Spacing: row spacing (between rows, mm), then column spacing.
    std::optional<std::array<double, 2>> pixelSpacing;
    std::optional<double> sliceThickness;
    std::optional<double> triggerTime;       // ms
    // Temporal Position Identifier, or the Temporal Position Index of an
    // enhanced image's frame, or the frame number of a classic multi-frame
    // file without frame times.
    std::optional<double> temporalPosition;
    std::optional<double> acquisitionTime;   // seconds since midnight
    std::optional<double> instanceNumber;
    double rescaleSlope = 1.0;
    double rescaleIntercept = 0.0;
    // Where its plain pixel data lies; nothing for compressed, deflated or
    // big-endian data, or any layout less plain.
    using NativePixels = CDicomNativePixels;
    std::optional<NativePixels> native;

    bool HasGeometry() const { return position.has_value() && orientation.has_value(); }
};
