#include "LabelFile.h"

#include <nifti2_io.h>

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <limits>
#include <type_traits>
#include <vector>

#include "NiftiExport.h"
#include "NiftiImage.h"
#include "PathUtils.h"
#include "ReplacingFile.h"
#include "VolumeFormat.h"

namespace {

// The integer types labels can be stored in, with the whole values each holds.
struct IntegerType {
    int datatype;
    int bytes;
    bool isSigned;
    double lowest;
    double highest;  // the largest double within the type
};
constexpr IntegerType kIntegerTypes[] = {
    {DT_UINT8, 1, false, 0.0, 255.0},
    {DT_INT8, 1, true, -128.0, 127.0},
    {DT_UINT16, 2, false, 0.0, 65535.0},
    {DT_INT16, 2, true, -32768.0, 32767.0},
    {DT_UINT32, 4, false, 0.0, 4294967295.0},
    {DT_INT32, 4, true, -2147483648.0, 2147483647.0},
    {DT_UINT64, 8, false, 0.0, 18446744073709549568.0},
    {DT_INT64, 8, true, -9223372036854775808.0, 9223372036854774784.0},
};

const IntegerType* FindIntegerType(int datatype) {
    for (const IntegerType& type : kIntegerTypes)
        if (type.datatype == datatype) return &type;
    return nullptr;
}

std::string Number(double value) {
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

// The stored value that reads back as label `value` through the header's
// scaling (as CNiftiImage::Values computes it), rounded to `T` where `T` is
// a real type and to a whole number otherwise. False when there is none.
template <typename T>
bool StoredValue(const CNiftiHeader& header, int64_t value, double& stored) {
    const double slope = header.Slope(), intercept = header.Intercept();
    const double label = static_cast<double>(value);
    const double exact = (label - intercept) / slope;
    auto reads = [&](double s) { return s * slope + intercept == label; };
    // The quotient can miss by a step of the stored type either way.
    double candidates[3];
    if constexpr (std::is_floating_point_v<T>) {
        const T near = static_cast<T>(exact);
        candidates[0] = near;
        candidates[1] = std::nextafter(near, std::numeric_limits<T>::lowest());
        candidates[2] = std::nextafter(near, std::numeric_limits<T>::max());
    } else {
        const double near = std::nearbyint(exact);
        candidates[0] = near;
        candidates[1] = near - 1.0;
        candidates[2] = near + 1.0;
    }
    for (const double s : candidates)
        if (std::isfinite(s) && reads(s)) {
            stored = s;
            return true;
        }
    return false;
}

void SwapBytes(void* value, size_t bytes) {
    auto* b = static_cast<uint8_t*>(value);
    std::reverse(b, b + bytes);
}

// Sets a 16-bit field of the stored header at `offset`, in the header's byte order.
void SetShortField(std::vector<uint8_t>& leading, size_t offset, int value, bool swapped) {
    auto field = static_cast<int16_t>(value);
    if (swapped) SwapBytes(&field, sizeof field);
    std::memcpy(leading.data() + offset, &field, sizeof field);
}

// Writes the leading bytes and every voxel, stored as T, each label index
// standing for storedOf[index].
template <typename T>
bool WriteVoxels(const std::string& path, const CLabelImage& labels, const CLabelFileOrigin& origin,
                 const std::vector<uint8_t>& leading, const std::vector<double>& storedOf, std::string& error) {
    const CNiftiHeader& header = origin.m_header;
    std::vector<T> table(storedOf.size());
    for (size_t i = 0; i < storedOf.size(); ++i) {
        table[i] = static_cast<T>(storedOf[i]);
        if (header.m_swapped) SwapBytes(&table[i], sizeof(T));
    }
    const size_t sliceVoxels = static_cast<size_t>(header.m_sizeX) * static_cast<size_t>(header.m_sizeY);
    std::vector<uint8_t> indices(sliceVoxels);
    std::vector<T> slice(sliceVoxels);
    CReplacingFile file;
    if (!file.Open(path, EndsWithIgnoringCase(path, ".gz"), error)) return false;
    if (!file.Write(leading.data(), leading.size())) return file.Commit(error);
    for (int t = 0; t < header.m_frames; ++t)
        for (int k = 0; k < header.m_sizeZ; ++k) {
            labels.AssignedSlice(k, t, indices.data());
            for (size_t i = 0; i < sliceVoxels; ++i) slice[i] = table[indices[i]];
            if (!file.Write(slice.data(), slice.size() * sizeof(T))) return file.Commit(error);
        }
    return file.Commit(error);
}

}  // namespace

bool IsLabelFileName(const std::string& path) {
    const CVolumeFormat* format = VolumeFormatOfPath(path);
    return format != nullptr && format->id == EVolumeFormat::kNifti;
}

bool ReadLabelFile(const std::string& path, CLabelImage& labels, std::string& error,
                   const std::function<void(double)>& progress) {
    CLabelFileOrigin origin;
    return ReadLabelFile(path, labels, origin, error, progress);
}

bool ReadLabelFile(const std::string& path, CLabelImage& labels, CLabelFileOrigin& origin, std::string& error,
                   const std::function<void(double)>& progress) {
    CNiftiImage image;
    if (!image.Open(path, error) || !image.LoadVoxels(progress, error)) return false;
    const CNiftiHeader& header = image.Header();

    // Labels go into a new image, so a refused file leaves `labels` alone.
    // The stored values are scaled first when the header asks for it.
    CLabelImage read;
    const CLabelImage::ValueRuns values = [&image](int64_t first, int64_t count, double* out) {
        image.Values(first, count, out);
    };
    if (!read.Assign(values, header.m_sizeX, header.m_sizeY, header.m_sizeZ, header.m_frames, error)) return false;
    const CVolumeCalibration calibration = header.Calibration();
    read.m_pixelSize[0] = calibration.m_pixelSizeX.value_or(0.0);
    read.m_pixelSize[1] = calibration.m_pixelSizeY.value_or(0.0);
    read.m_pixelSize[2] = calibration.m_pixelSizeZ.value_or(0.0);
    read.m_transform = header.m_transform;
    CLabelFileOrigin from;
    from.m_header = header;
    from.m_leading.assign(image.LeadingBytes(), image.LeadingBytes() + header.m_dataOffset);
    labels = std::move(read);
    origin = std::move(from);
    return true;
}

bool WriteLabelFileAsRead(const std::string& path, const CLabelImage& labels, const CLabelFileOrigin& origin,
                          std::string& note, std::string& error) {
    note.clear();
    if (labels.Empty()) {
        error = "there is no label image to write";
        return false;
    }
    if (origin.Empty()) {
        error = "the label image came from no file to write it back as";
        return false;
    }
    const CNiftiHeader& header = origin.m_header;
    // The header is patched in place below, so the bytes kept must hold it whole.
    const size_t headerBytes = header.m_version == 1 ? sizeof(nifti_1_header) : sizeof(nifti_2_header);
    if (origin.m_leading.size() < headerBytes || static_cast<int64_t>(origin.m_leading.size()) != header.m_dataOffset) {
        error = "the record of the label image's file is incomplete";
        return false;
    }
    const int sizes[4] = {labels.AssignedSize(0), labels.AssignedSize(1), labels.AssignedSize(2), labels.Frames()};
    const int fileSizes[4] = {header.m_sizeX, header.m_sizeY, header.m_sizeZ, header.m_frames};
    if (!std::equal(sizes, sizes + 4, fileSizes)) {
        auto text = [](const int* s) {
            return std::to_string(s[0]) + " x " + std::to_string(s[1]) + " x " + std::to_string(s[2]) + " x " +
                   std::to_string(s[3]);
        };
        error = std::string("the label image (") + text(sizes) + ") no longer has the grid of its file (" +
                text(fileSizes) + ")";
        return false;
    }

    // The stored value of every label in use, in the file's own type where
    // it fits. A label painted over everywhere asks for nothing.
    const std::vector<int64_t>& values = labels.Values();
    std::vector<double> used;
    std::vector<double> storedOf(values.size(), std::nan(""));
    const bool real = header.m_datatype == DT_FLOAT32 || header.m_datatype == DT_FLOAT64;
    for (size_t i = 0; i < values.size(); ++i) {
        bool present = false;
        for (int t = 0; t < labels.Frames() && !present; ++t) present = labels.VoxelCount(t, static_cast<int>(i)) > 0;
        if (!present) continue;
        const bool found = header.m_datatype == DT_FLOAT32   ? StoredValue<float>(header, values[i], storedOf[i])
                           : header.m_datatype == DT_FLOAT64 ? StoredValue<double>(header, values[i], storedOf[i])
                                                             : StoredValue<int64_t>(header, values[i], storedOf[i]);
        if (!found) {
            error = std::string("label ") + std::to_string(values[i]) +
                    " cannot be stored through the file's scaling (scl_slope " + Number(header.Slope()) +
                    ", scl_inter " + Number(header.Intercept()) + ")";
            return false;
        }
        used.push_back(storedOf[i]);
    }
    for (double& stored : storedOf)
        if (std::isnan(stored)) stored = used.front();
    int datatype = header.m_datatype;
    if (!real) {
        const double lowest = *std::min_element(used.begin(), used.end());
        const double highest = *std::max_element(used.begin(), used.end());
        const IntegerType* own = FindIntegerType(header.m_datatype);
        auto holds = [&](const IntegerType& type) { return lowest >= type.lowest && highest <= type.highest; };
        if (own == nullptr) {
            error = std::string("the file's type ") + header.DatatypeName() + " cannot be written";
            return false;
        }
        if (!holds(*own)) {
            // The smallest wider type, of the file's signedness before the other.
            const IntegerType* wider = nullptr;
            for (const bool sameSign : {true, false})
                for (const IntegerType& type : kIntegerTypes)
                    if (type.bytes >= own->bytes && type.datatype != own->datatype &&
                        (type.isSigned == own->isSigned) == sameSign && holds(type) &&
                        (wider == nullptr || type.bytes < wider->bytes))
                        wider = &type;
            if (wider == nullptr) {
                error = "the labels cannot be stored in any integer type through the file's scaling";
                return false;
            }
            datatype = wider->datatype;
            note = std::string("the labels, stored as ") + Number(lowest) + " to " + Number(highest) +
                   ", do not fit the file's type " + header.DatatypeName() + ": they were saved as " +
                   CNiftiHeader::DatatypeName(datatype);
        }
    }

    std::vector<uint8_t> leading = origin.m_leading;
    if (datatype != header.m_datatype) {
        const bool one = header.m_version == 1;
        const size_t type = one ? offsetof(nifti_1_header, datatype) : offsetof(nifti_2_header, datatype);
        const size_t bits = one ? offsetof(nifti_1_header, bitpix) : offsetof(nifti_2_header, bitpix);
        SetShortField(leading, type, datatype, header.m_swapped);
        SetShortField(leading, bits, 8 * FindIntegerType(datatype)->bytes, header.m_swapped);
    }
    switch (datatype) {
        case DT_UINT8: return WriteVoxels<uint8_t>(path, labels, origin, leading, storedOf, error);
        case DT_INT8: return WriteVoxels<int8_t>(path, labels, origin, leading, storedOf, error);
        case DT_UINT16: return WriteVoxels<uint16_t>(path, labels, origin, leading, storedOf, error);
        case DT_INT16: return WriteVoxels<int16_t>(path, labels, origin, leading, storedOf, error);
        case DT_UINT32: return WriteVoxels<uint32_t>(path, labels, origin, leading, storedOf, error);
        case DT_INT32: return WriteVoxels<int32_t>(path, labels, origin, leading, storedOf, error);
        case DT_UINT64: return WriteVoxels<uint64_t>(path, labels, origin, leading, storedOf, error);
        case DT_INT64: return WriteVoxels<int64_t>(path, labels, origin, leading, storedOf, error);
        case DT_FLOAT32: return WriteVoxels<float>(path, labels, origin, leading, storedOf, error);
        default: return WriteVoxels<double>(path, labels, origin, leading, storedOf, error);
    }
}

bool WriteNewLabelFile(const std::string& path, const CLabelImage& labels, const std::optional<CAffine>& transform,
                       const double pixelSize[3], std::string& error) {
    CNiftiExport::CPlacement placement;
    placement.transform = transform;
    std::copy(pixelSize, pixelSize + 3, placement.pixelSize);
    return CNiftiExport::WriteLabels(labels, placement, path, error);
}
