#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

// What a single-file NIfTI image holds. Every field is written as given, so a
// test can also write files whose header lies.
struct NiftiContents {
    int version = 1;       // 1 or 2
    bool swapped = false;  // written in the byte order the host does not use
    bool gzip = false;
    int64_t dim[8] = {4, 1, 1, 1, 1, 1, 1, 1};
    int datatype = 4;  // DT_INT16
    double pixdim[8] = {1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0};
    int xyztUnits = 2 | 8;  // mm, s
    double slope = 0.0;
    double intercept = 0.0;
    // The orientation: codes (0 = none), the quaternion b, c, d and offsets of
    // the qform (qfac in pixdim[0]), the rows of the sform.
    int qformCode = 0;
    int sformCode = 0;
    double quatern[3] = {};
    double qoffset[3] = {};
    double srow[3][4] = {};
    std::string descrip;
    int intentCode = 0;
    int64_t voxOffset = -1;     // -1: right behind the header and its extension flag
    std::vector<uint8_t> data;  // the voxels in host byte order, i fastest

    // Sets the four sizes (and dim[0] = `dimensions`).
    void SetSizes(int dimensions, int64_t x, int64_t y, int64_t z, int64_t t);
    void SetPixelSizes(double x, double y, double z) {
        pixdim[1] = x;
        pixdim[2] = y;
        pixdim[3] = z;
    }
    // The voxels, of whatever type T the datatype stands for.
    template <typename T>
    void SetValues(const std::vector<T>& values) {
        const auto* bytes = reinterpret_cast<const uint8_t*>(values.data());
        data.assign(bytes, bytes + values.size() * sizeof(T));
    }
    // `values` converted to the plain integer or real type `type` stands for, which becomes the datatype.
    void SetValuesAs(int type, const std::vector<double>& values);
    int BytesPerVoxel() const;
};

// The bytes of the file, uncompressed, voxels swapped when `swapped` is set.
std::vector<uint8_t> NiftiFileBytes(const NiftiContents& contents);

// Writes the file, gzip-compressed when `gzip` is set. False when it cannot be written.
bool WriteNiftiFile(const std::string& path, const NiftiContents& contents);
