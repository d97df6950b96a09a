#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Writes DICOM MR images for the tests with the DICOM library's own writer,
// so the reader is tried on files it did not make itself.
struct DicomImageFields {
    enum class Pixels { kUint16, kInt16, kUint8, kInt32, kFloat32 };
    // Transfer syntaxes a file can be rewritten in after it is written.
    enum class Syntax {
        kExplicitLittle,
        kImplicitLittle,
        kExplicitBig,
        kRle,
        kJpegBaseline,
        kJpegLossless,
        kJpegLs,
        kJpeg2000,
        kDeflated
    };

    int32_t rows = 4;
    int32_t columns = 5;
    Pixels pixels = Pixels::kUint16;
    std::vector<double> values;  // rows x columns, row by row; converted to the pixel type
    Syntax syntax = Syntax::kExplicitLittle;
    std::string photometric = "MONOCHROME2";
    // > 1 writes a multi-frame image of copies of `values`: a classic X-ray
    // angiography run unless `enhanced`.
    int32_t frames = 1;
    // One frame of a multi-frame file: its values and, in an enhanced image,
    // what its per-frame functional groups say (unset: not written).
    struct Frame {
        std::vector<double> values;
        std::optional<std::array<double, 3>> position;
        std::optional<std::array<double, 6>> orientation;  // else the shared one, `orientation`
        std::optional<double> triggerDelay;
        std::optional<int> temporalIndex;
        std::optional<int> inStackPosition;
        std::vector<uint32_t> dimensionIndex;  // Dimension Index Values
        std::string stackId;
        std::optional<double> rescaleSlope;
        std::optional<double> rescaleIntercept;
        std::string frameType;  // "ORIGINAL\PRIMARY\PHASE\NONE"
    };
    // Not empty: a multi-frame file of these frames (`frames` and `values` unused).
    std::vector<Frame> frameList;
    // An enhanced MR image: geometry, rescale and times only in functional
    // groups (`orientation`, `pixelSpacing` and `sliceThickness` in the shared one).
    bool enhanced = false;
    std::optional<double> frameTime;  // Frame Time of a classic multi-frame image, ms
    std::optional<std::string> imageType;
    // Bits Stored of 16-bit pixels, the rest of each value clear; 16 when unset.
    std::optional<int> bitsStored;
    // Written over the Pixel Representation the coder wrote, after coding: a
    // file whose header says signed while its stream was coded unsigned.
    std::optional<int> pixelRepresentation;

    std::string seriesUid = "1.2.826.0.1.3680043.2.1125.1";
    std::string studyUid = "1.2.826.0.1.3680043.2.1125.99";
    std::string modality = "MR";
    // Written only when set: what an archive indexes its studies by.
    std::string patientName;
    std::string patientId;
    std::string studyDate;  // YYYYMMDD
    std::optional<int> seriesNumber = 1;
    std::string seriesDescription = "cine";
    std::optional<std::array<double, 3>> position;
    std::optional<std::array<double, 6>> orientation;
    std::optional<std::array<double, 2>> pixelSpacing;  // row spacing, column spacing
    std::optional<double> sliceThickness;
    std::optional<double> triggerTime;
    std::optional<int> instanceNumber;
    std::optional<int> temporalPosition;
    std::optional<std::string> acquisitionTime;  // the text of the tag, as a scanner writes it
    std::optional<double> rescaleSlope;
    std::optional<double> rescaleIntercept;
};

// Writes `fields` to `path`; false when the library refuses.
bool WriteDicomImage(const std::string& path, const DicomImageFields& fields);
