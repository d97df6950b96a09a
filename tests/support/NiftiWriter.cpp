#include "NiftiWriter.h"

#include <nifti2_io.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include "TestData.h"

void NiftiContents::SetSizes(int dimensions, int64_t x, int64_t y, int64_t z, int64_t t) {
    dim[0] = dimensions;
    dim[1] = x;
    dim[2] = y;
    dim[3] = z;
    dim[4] = t;
}

namespace {

template <typename T>
std::vector<T> Converted(const std::vector<double>& values) {
    std::vector<T> out;
    for (double v : values) out.push_back(static_cast<T>(v));
    return out;
}

}  // namespace

void NiftiContents::SetValuesAs(int type, const std::vector<double>& values) {
    datatype = type;
    switch (type) {
        case DT_UINT8: return SetValues(Converted<uint8_t>(values));
        case DT_INT8: return SetValues(Converted<int8_t>(values));
        case DT_UINT16: return SetValues(Converted<uint16_t>(values));
        case DT_INT16: return SetValues(Converted<int16_t>(values));
        case DT_UINT32: return SetValues(Converted<uint32_t>(values));
        case DT_INT32: return SetValues(Converted<int32_t>(values));
        case DT_UINT64: return SetValues(Converted<uint64_t>(values));
        case DT_INT64: return SetValues(Converted<int64_t>(values));
        case DT_FLOAT32: return SetValues(Converted<float>(values));
        default: return SetValues(values);
    }
}

int NiftiContents::BytesPerVoxel() const {
    int bytes = 0, swapSize = 0;
    nifti_datatype_sizes(datatype, &bytes, &swapSize);
    return std::max(bytes, 1);
}

namespace {

template <typename Header>
void Fill(Header& header, const NiftiContents& c, int64_t offset) {
    for (int i = 0; i < 8; ++i)
        header.dim[i] = static_cast<std::remove_reference_t<decltype(header.dim[0])>>(c.dim[i]);
    for (int i = 0; i < 8; ++i)
        header.pixdim[i] = static_cast<std::remove_reference_t<decltype(header.pixdim[0])>>(c.pixdim[i]);
    header.datatype = static_cast<decltype(header.datatype)>(c.datatype);
    header.bitpix = static_cast<decltype(header.bitpix)>(8 * c.BytesPerVoxel());
    header.xyzt_units = static_cast<decltype(header.xyzt_units)>(c.xyztUnits);
    header.scl_slope = static_cast<decltype(header.scl_slope)>(c.slope);
    header.scl_inter = static_cast<decltype(header.scl_inter)>(c.intercept);
    header.vox_offset = static_cast<decltype(header.vox_offset)>(offset);
    header.intent_code = static_cast<decltype(header.intent_code)>(c.intentCode);
    std::snprintf(header.descrip, sizeof header.descrip, "%s", c.descrip.c_str());
    using Real = std::remove_reference_t<decltype(header.quatern_b)>;
    header.qform_code = c.qformCode;
    header.sform_code = c.sformCode;
    header.quatern_b = static_cast<Real>(c.quatern[0]);
    header.quatern_c = static_cast<Real>(c.quatern[1]);
    header.quatern_d = static_cast<Real>(c.quatern[2]);
    header.qoffset_x = static_cast<Real>(c.qoffset[0]);
    header.qoffset_y = static_cast<Real>(c.qoffset[1]);
    header.qoffset_z = static_cast<Real>(c.qoffset[2]);
    for (int i = 0; i < 4; ++i) {
        header.srow_x[i] = static_cast<Real>(c.srow[0][i]);
        header.srow_y[i] = static_cast<Real>(c.srow[1][i]);
        header.srow_z[i] = static_cast<Real>(c.srow[2][i]);
    }
}

}  // namespace

std::vector<uint8_t> NiftiFileBytes(const NiftiContents& c) {
    const int64_t headerBytes = c.version == 1 ? 348 : 540;
    const int64_t offset = c.voxOffset >= 0 ? c.voxOffset : headerBytes + 4;
    const int64_t dims[8] = {3, 1, 1, 1, 1, 1, 1, 1};
    std::vector<uint8_t> bytes(static_cast<size_t>(std::max(offset, headerBytes + 4)), 0);
    if (c.version == 1) {
        nifti_1_header* header = nifti_make_new_n1_header(dims, DT_INT16);
        Fill(*header, c, offset);
        if (c.swapped) nifti_swap_as_nifti1(header);
        std::memcpy(bytes.data(), header, sizeof *header);
        std::free(header);
    } else {
        nifti_2_header* header = nifti_make_new_n2_header(dims, DT_INT16);
        Fill(*header, c, offset);
        if (c.swapped) nifti_swap_as_nifti2(header);
        std::memcpy(bytes.data(), header, sizeof *header);
        std::free(header);
    }
    // An offset inside the header leaves the header whole and the voxels behind it.
    bytes.resize(static_cast<size_t>(std::max(offset, headerBytes)));
    std::vector<uint8_t> data = c.data;
    const int size = c.BytesPerVoxel();
    if (c.swapped && size > 1) nifti_swap_Nbytes(static_cast<int64_t>(data.size()) / size, size, data.data());
    bytes.insert(bytes.end(), data.begin(), data.end());
    return bytes;
}

bool WriteNiftiFile(const std::string& path, const NiftiContents& contents) {
    const std::vector<uint8_t> bytes = NiftiFileBytes(contents);
    if (contents.gzip) {
        gzFile file = gzopen(path.c_str(), "wb6");
        if (file == nullptr) return false;
        bool ok = true;
        for (size_t at = 0; at < bytes.size() && ok;) {
            const unsigned piece = static_cast<unsigned>(std::min<size_t>(bytes.size() - at, 1u << 30));
            ok = gzwrite(file, bytes.data() + at, piece) == static_cast<int>(piece);
            at += piece;
        }
        return gzclose(file) == Z_OK && ok;
    }
    return WriteBytes(path, bytes);
}
