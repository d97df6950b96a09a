#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "Affine.h"
#include "SampleSource.h"
#include "ValueType.h"

// The header of a single-file NIfTI-1 or NIfTI-2 image (.nii, or .nii.gz when
// gzip-compressed), read through the NIfTI library in either byte order and
// checked for everything the viewer relies on: after a successful Read or
// Parse the four sizes are at least 1, every size product fits in 64 bits, the
// data type is one the viewer can show and the voxels start behind the header.
// Axes: i -> x, j -> y, k -> z, the fourth dimension -> frames; the voxels
// are shown in stored order, and the orientation matrices give where they lie
// in the patient (m_transform).
class CNiftiHeader {
public:
    // How far into a file its header and the 4-byte extension flag reach.
    static constexpr size_t kMaxHeaderBytes = 544;

    // Reads the start of `path` (decompressing it when it is gzip data,
    // whatever its name) and checks the header, including that a plain file
    // holds every voxel it announces. False, with `error` set, otherwise.
    bool Read(const std::string& path, std::string& error);

    // Checks the header in the first `size` bytes of a decompressed file.
    // Whether the file is long enough is left to the caller (see Read).
    bool Parse(const uint8_t* bytes, size_t size, std::string& error);

    int m_version = 0;          // 1 or 2
    bool m_compressed = false;  // the file is gzip data
    bool m_swapped = false;     // stored in the byte order the host does not use
    int64_t m_fileBytes = 0;    // size of the file as stored (compressed for .nii.gz)

    int32_t m_sizeX = 0;
    int32_t m_sizeY = 0;
    int32_t m_sizeZ = 0;
    int32_t m_frames = 0;
    int m_dimensions = 0;  // dim[0]: 1 to 4

    int m_datatype = 0;        // NIfTI data type code (DT_INT16 ...)
    int m_bytesPerVoxel = 0;   // 1, 2, 4 or 8
    int64_t m_dataOffset = 0;  // vox_offset: where the voxels start

    double m_slope = 0.0;  // scl_slope and scl_inter as stored
    double m_intercept = 0.0;
    double m_pixdim[5] = {};  // pixdim[0..4] as stored
    // Voxel to patient millimetres (RAS): the sform when its code is above
    // 0, else the qform when its code is, else none; in millimetres whatever
    // the file's spatial unit.
    std::optional<CAffine> m_transform;
    int m_spaceUnit = 0;      // NIFTI_UNITS_... of the first three axes
    int m_timeUnit = 0;       // NIFTI_UNITS_... of the fourth

    // X * Y * Z * T, and the bytes they take.
    int64_t VoxelCount() const;
    int64_t DataBytes() const { return VoxelCount() * m_bytesPerVoxel; }
    // Bytes of the decompressed file up to the last voxel.
    int64_t FileBytesNeeded() const { return m_dataOffset + DataBytes(); }

    // "uint8", "int16", "float32" ...
    std::string DatatypeName() const { return DatatypeName(m_datatype); }
    static std::string DatatypeName(int datatype);
    // The stored type; kUnknown for a type the header check refuses.
    EValueType ValueType() const;

    // True when the stored values are scaled: scl_slope is finite and not 0.
    bool IsScaled() const;
    // The slope and intercept that take a stored value to its value v:
    // (1, 0) when the values are not scaled; a non-finite intercept counts as 0.
    double Slope() const;
    double Intercept() const;

    // The pixel sizes (mm) and, for a 4-D image, the frame time (ms, whole
    // milliseconds) this file sets: each only when it makes sense, a pixel size
    // when it is above 0, a frame time when it is 1 to 5000 ms.
    CVolumeCalibration Calibration() const;
    // Millimetres per unit of the spatial axes, milliseconds per unit of time
    // (0 when the time axis is not in a unit of time).
    double MillimetresPerUnit() const;
    double MillisecondsPerUnit() const;

private:
    bool CheckSizes(const int64_t* dim, std::string& error);
    bool CheckDatatype(std::string& error);
    bool CheckOffset(double voxOffset, std::string& error);
};
