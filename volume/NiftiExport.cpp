#include "NiftiExport.h"

#include <nifti2_io.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <set>
#include <type_traits>
#include <vector>

#include "LabelImage.h"
#include "ParallelRanges.h"
#include "PathUtils.h"
#include "ReplacingFile.h"
#include "TimeVolume.h"

namespace {

// The header of an X x Y x Z x T image of `datatype` placed as `placement`
// says. False when a size does not fit a NIfTI-1 header.
bool MakeHeader(const int64_t sizes[4], int datatype, const CNiftiExport::CPlacement& placement,
                nifti_1_header& header, std::string& error) {
    for (int axis = 0; axis < 4; ++axis)
        if (sizes[axis] < 1 || sizes[axis] > std::numeric_limits<short>::max()) {
            error = "a NIfTI-1 image holds at most 32767 voxels or frames along an axis, not " +
                    std::to_string(sizes[axis]);
            return false;
        }
    header = {};
    header.sizeof_hdr = sizeof(nifti_1_header);
    header.dim[0] = static_cast<short>(sizes[3] > 1 ? 4 : 3);
    for (int axis = 0; axis < 7; ++axis)
        header.dim[axis + 1] = static_cast<short>(axis < 4 ? sizes[axis] : 1);
    header.datatype = static_cast<short>(datatype);
    int bytes = 0, swap = 0;
    nifti_datatype_sizes(datatype, &bytes, &swap);
    header.bitpix = static_cast<short>(8 * bytes);
    header.vox_offset = sizeof(nifti_1_header) + 4;
    header.scl_slope = 1.0f;
    header.xyzt_units = NIFTI_UNITS_MM | NIFTI_UNITS_MSEC;
    for (int i = 0; i < 8; ++i) header.pixdim[i] = 1.0f;
    header.pixdim[4] = static_cast<float>(placement.frameTimeMs);
    std::snprintf(header.descrip, sizeof header.descrip, "Orvanta");
    std::memcpy(header.magic, "n+1", 4);

    if (const std::optional<CAffine>& transform = placement.transform) {
        nifti_dmat44 matrix = {};
        for (int row = 0; row < 4; ++row)
            for (int column = 0; column < 4; ++column) matrix.m[row][column] = transform->Rows()[row][column];
        double qb = 0, qc = 0, qd = 0, qx = 0, qy = 0, qz = 0, dx = 0, dy = 0, dz = 0, qfac = 0;
        nifti_dmat44_to_quatern(matrix, &qb, &qc, &qd, &qx, &qy, &qz, &dx, &dy, &dz, &qfac);
        header.qform_code = header.sform_code = NIFTI_XFORM_SCANNER_ANAT;
        header.quatern_b = static_cast<float>(qb);
        header.quatern_c = static_cast<float>(qc);
        header.quatern_d = static_cast<float>(qd);
        header.qoffset_x = static_cast<float>(qx);
        header.qoffset_y = static_cast<float>(qy);
        header.qoffset_z = static_cast<float>(qz);
        header.pixdim[0] = static_cast<float>(qfac);
        header.pixdim[1] = static_cast<float>(dx);
        header.pixdim[2] = static_cast<float>(dy);
        header.pixdim[3] = static_cast<float>(dz);
        float* rows[3] = {header.srow_x, header.srow_y, header.srow_z};
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 4; ++column)
                rows[row][column] = static_cast<float>(transform->Rows()[row][column]);
    } else {
        // Where nothing is known, the sform still says how large the voxels are.
        for (int axis = 0; axis < 3; ++axis) header.pixdim[axis + 1] = static_cast<float>(placement.pixelSize[axis]);
        header.srow_x[0] = header.pixdim[1];
        header.srow_y[1] = header.pixdim[2];
        header.srow_z[2] = header.pixdim[3];
    }
    return true;
}

// Writes the header and the voxels of every (k, t) slice, t outermost, that
// slice(k, t, out) puts into `out` (X x Y of T).
template <typename T, typename Slice>
bool WriteImage(const std::string& path, const int64_t sizes[4], int datatype,
                const CNiftiExport::CPlacement& placement, Slice slice, std::string& error) {
    nifti_1_header header;
    if (!MakeHeader(sizes, datatype, placement, header, error)) return false;
    CReplacingFile file;
    if (!file.Open(path, EndsWithIgnoringCase(path, ".gz"), error)) return false;
    const char extension[4] = {0, 0, 0, 0};
    if (!file.Write(&header, sizeof header) || !file.Write(extension, sizeof extension)) return file.Commit(error);
    // Slice s is (k, t) = (s % Z, s / Z), in file order.
    const int64_t slices = sizes[2] * sizes[3];
    const size_t sliceBytes = static_cast<size_t>(sizes[0] * sizes[1]) * sizeof(T);
    auto writeSlices = [&](int64_t begin, int64_t end, auto write) {
        std::vector<T> buffer(static_cast<size_t>(sizes[0] * sizes[1]));
        for (int64_t s = begin; s < end; ++s) {
            const T* voxels = slice(static_cast<int>(s % sizes[2]), static_cast<int>(s / sizes[2]), buffer.data());
            if (!write(s, voxels)) return;
        }
    };
    if (file.Compressed()) {
        writeSlices(0, slices, [&](int64_t, const T* voxels) { return file.Write(voxels, sliceBytes); });
    } else {
        // Plain files are written by several threads at once, each its run
        // of slices in place: filling the page cache is most of the work.
        const int64_t data = header.vox_offset;
        ParallelRanges(slices, WorthwhileThreads(slices * static_cast<int64_t>(sliceBytes)),
                       [&](int, int64_t begin, int64_t end) {
                           writeSlices(begin, end, [&](int64_t s, const T* voxels) {
                               return file.WriteAt(voxels, sliceBytes, data + s * static_cast<int64_t>(sliceBytes));
                           });
                       });
    }
    return file.Commit(error);
}

// The distinct tables of values a volume's slices use, with how many codes each has.
struct ValueTable {
    const double* values;
    const uint8_t* present;
    size_t codes;
    bool operator<(const ValueTable& other) const { return values < other.values; }
};

// The smallest type that holds every value present exactly.
int TypeForValues(const std::set<ValueTable>& tables) {
    double smallest = HUGE_VAL, largest = -HUGE_VAL;
    bool whole = true;
    for (const ValueTable& table : tables)
        for (size_t code = 0; code < table.codes; ++code) {
            if (table.present[code] == 0) continue;
            const double value = table.values[code];
            whole = whole && std::isfinite(value) && value == std::floor(value);
            smallest = std::min(smallest, value);
            largest = std::max(largest, value);
        }
    if (!whole) return NIFTI_TYPE_FLOAT32;
    if (smallest >= 0 && largest <= 255) return NIFTI_TYPE_UINT8;
    if (smallest >= -32768 && largest <= 32767) return NIFTI_TYPE_INT16;
    if (smallest >= 0 && largest <= 65535) return NIFTI_TYPE_UINT16;
    if (smallest >= -2147483648.0 && largest <= 2147483647.0) return NIFTI_TYPE_INT32;
    return NIFTI_TYPE_FLOAT64;
}

template <typename T>
bool WriteVolumeAs(const CTimeVolume& volume, int datatype, const std::set<ValueTable>& tables,
                   const CNiftiExport::CPlacement& placement, const std::string& path, std::string& error) {
    // Each table as values of T, so that a voxel costs one lookup.
    std::vector<std::pair<const double*, std::vector<T>>> ofCode;
    bool codesAreValues = std::is_same_v<T, uint16_t>;
    for (const ValueTable& table : tables) {
        std::vector<T> values(table.codes);
        for (size_t code = 0; code < table.codes; ++code) {
            values[code] = static_cast<T>(table.present[code] != 0 ? table.values[code] : 0.0);
            codesAreValues = codesAreValues && (table.present[code] == 0 || table.values[code] == double(code));
        }
        ofCode.emplace_back(table.values, std::move(values));
    }
    const int64_t sizes[4] = {volume.SizeX(), volume.SizeY(), volume.SizeZ(), volume.Frames()};
    const auto slice = [&](int k, int t, T* out) -> const T* {
        const CSliceValues& values = volume.SliceValues(k, t);
        const bool whole = values.width == volume.SizeX() && values.height == volume.SizeY();
        // A .tvi's samples are their own values: its kept codes are the file's voxels as they are.
        if constexpr (std::is_same_v<T, uint16_t>)
            if (codesAreValues && whole && values.codes != nullptr) return values.codes;
        const std::vector<T>& table =
            std::find_if(ofCode.begin(), ofCode.end(), [&](const auto& t) { return t.first == values.valueOfCode; })
                ->second;
        // A slice smaller than the volume (movies that disagree) is black beyond its edges.
        const int width = std::min(values.width, volume.SizeX());
        const int height = std::min(values.height, volume.SizeY());
        if (!whole) std::fill_n(out, int64_t{volume.SizeX()} * volume.SizeY(), T{});
        for (int j = 0; j < height; ++j) {
            T* row = out + int64_t{j} * volume.SizeX();
            const int64_t at = int64_t{j} * values.width;
            for (int i = 0; i < width; ++i) row[i] = table[values.Code(at + i)];
        }
        return out;
    };
    return WriteImage<T>(path, sizes, datatype, placement, slice, error);
}

}  // namespace

bool CNiftiExport::WriteVolume(const CTimeVolume& volume, const CPlacement& placement, const std::string& path,
                               std::string& error) {
    if (volume.SizeX() == 0 || volume.SizeZ() == 0) {
        error = "there is no volume to write";
        return false;
    }
    std::set<ValueTable> tables;
    for (int k = 0; k < volume.SizeZ(); ++k)
        for (int t = 0; t < volume.Frames(); ++t) {
            const CSliceValues& values = volume.SliceValues(k, t);
            if (values.valueOfCode == nullptr ||
                volume.SliceFrames(k) <= t) {
                error = "the volume was loaded without its values";
                return false;
            }
            tables.insert({values.valueOfCode, values.codePresent, values.codes != nullptr ? size_t{65536} : 256});
        }
    switch (const int type = TypeForValues(tables)) {
        case NIFTI_TYPE_UINT8:
            return WriteVolumeAs<uint8_t>(volume, type, tables, placement, path, error);
        case NIFTI_TYPE_INT16:
            return WriteVolumeAs<int16_t>(volume, type, tables, placement, path, error);
        case NIFTI_TYPE_UINT16:
            return WriteVolumeAs<uint16_t>(volume, type, tables, placement, path, error);
        case NIFTI_TYPE_INT32:
            return WriteVolumeAs<int32_t>(volume, type, tables, placement, path, error);
        case NIFTI_TYPE_FLOAT64:
            return WriteVolumeAs<double>(volume, type, tables, placement, path, error);
        default:
            return WriteVolumeAs<float>(volume, type, tables, placement, path, error);
    }
}

bool CNiftiExport::WriteLabels(const CLabelImage& labels, const CPlacement& placement, const std::string& path,
                               std::string& error) {
    if (labels.Empty()) {
        error = "there is no label image to write";
        return false;
    }
    const std::vector<int64_t>& values = labels.Values();
    const int64_t sizes[4] = {labels.SizeX(), labels.SizeY(), labels.SizeZ(), labels.Frames()};
    const int64_t sliceVoxels = sizes[0] * sizes[1];
    auto write = [&](auto zero, int datatype) {
        using T = decltype(zero);
        const auto slice = [&](int k, int t, T* out) -> const T* {
            const uint8_t* indices = labels.FrameVoxels(t) + k * sliceVoxels;
            for (int64_t i = 0; i < sliceVoxels; ++i) out[i] = static_cast<T>(values[indices[i]]);
            return out;
        };
        return WriteImage<T>(path, sizes, datatype, placement, slice, error);
    };
    return values.back() <= 255 ? write(uint8_t{}, NIFTI_TYPE_UINT8) : write(uint16_t{}, NIFTI_TYPE_UINT16);
}
