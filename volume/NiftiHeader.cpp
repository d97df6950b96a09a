#include "NiftiHeader.h"

#include <fcntl.h>
#include <nifti2_io.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <type_traits>
#include <vector>

namespace {

// The library reports what it dislikes on standard error unless told not to;
// the viewer says why a file was refused in its own words instead.
void SilenceLibrary() {
    static const bool silenced = [] {
        nifti_set_debug_level(0);
        return true;
    }();
    (void)silenced;
}

std::string Text(long long value) {
    return std::to_string(value);
}

// The first `bytes.size()` bytes of a gzip file, decompressed; fewer when the
// data ends first. False, with `error`, when the data is not sound gzip.
bool ReadGzipStart(const std::string& path, std::vector<uint8_t>& bytes, std::string& error) {
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open file: " + std::string(std::strerror(errno));
        return false;
    }
    const int got = gzread(file, bytes.data(), static_cast<unsigned>(bytes.size()));
    if (got < 0) {
        int code = Z_OK;
        const char* message = gzerror(file, &code);
        error = "the gzip data is corrupt: " + std::string(message != nullptr ? message : "unreadable");
        gzclose(file);
        return false;
    }
    gzclose(file);
    bytes.resize(static_cast<size_t>(got));
    return true;
}

bool Multiply(int64_t a, int64_t b, int64_t& product) {
    return !__builtin_mul_overflow(a, b, &product);
}

// The header fields the viewer uses, in the host's byte order, from either version.
struct StoredFields {
    bool swapped = false;
    bool looksGood = false;
    char magic[4] = {};
    int64_t dim[8] = {};
    double pixdim[5] = {};
    int datatype = 0;
    double voxOffset = 0.0;
    int64_t exactVoxOffset = 0;
    double slope = 0.0;
    double intercept = 0.0;
    int xyztUnits = 0;
    int qformCode = 0;
    int sformCode = 0;
    double quatern[3] = {};  // b, c, d
    double qoffset[3] = {};
    double srow[3][4] = {};  // srow_x, srow_y, srow_z
};

template <typename Header>
StoredFields ReadFields(const char* buffer, void (*swap)(Header*), int (*looksGood)(const Header*)) {
    Header header;
    std::memcpy(&header, buffer, sizeof header);
    StoredFields fields;
    // A header that does not give its own size in the host's order was written in the other.
    fields.swapped = header.sizeof_hdr != static_cast<int>(sizeof header);
    if (fields.swapped) swap(&header);
    fields.looksGood = looksGood(&header) != 0;
    std::memcpy(fields.magic, header.magic, sizeof fields.magic);
    for (int i = 0; i < 8; ++i) fields.dim[i] = header.dim[i];
    for (int i = 0; i < 5; ++i) fields.pixdim[i] = header.pixdim[i];
    fields.datatype = header.datatype;
    fields.voxOffset = static_cast<double>(header.vox_offset);
    if constexpr (std::is_integral_v<decltype(header.vox_offset)>) fields.exactVoxOffset = header.vox_offset;
    fields.slope = header.scl_slope;
    fields.intercept = header.scl_inter;
    fields.xyztUnits = header.xyzt_units;
    fields.qformCode = header.qform_code;
    fields.sformCode = header.sform_code;
    fields.quatern[0] = header.quatern_b;
    fields.quatern[1] = header.quatern_c;
    fields.quatern[2] = header.quatern_d;
    fields.qoffset[0] = header.qoffset_x;
    fields.qoffset[1] = header.qoffset_y;
    fields.qoffset[2] = header.qoffset_z;
    for (int c = 0; c < 4; ++c) {
        fields.srow[0][c] = header.srow_x[c];
        fields.srow[1][c] = header.srow_y[c];
        fields.srow[2][c] = header.srow_z[c];
    }
    return fields;
}

}  // namespace

bool CNiftiHeader::Read(const std::string& path, std::string& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open file: " + std::string(std::strerror(errno));
        return false;
    }
    struct stat info {};
    std::vector<uint8_t> bytes(kMaxHeaderBytes);
    ssize_t got = -1;
    if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode)) got = pread(fd, bytes.data(), bytes.size(), 0);
    const int readError = errno;
    close(fd);
    if (got < 0) {
        if (S_ISDIR(info.st_mode))
            error = "is a folder, not a file";
        else if (!S_ISREG(info.st_mode))
            error = "is not a regular file";
        else
            error = "cannot read file: " + std::string(std::strerror(readError));
        return false;
    }
    bytes.resize(static_cast<size_t>(got));
    m_fileBytes = info.st_size;
    m_compressed = bytes.size() >= 2 && bytes[0] == 0x1f && bytes[1] == 0x8b;
    if (m_compressed) {
        bytes.resize(kMaxHeaderBytes);
        if (!ReadGzipStart(path, bytes, error)) return false;
        if (bytes.empty()) {
            error = "the gzip data holds no file";
            return false;
        }
    }
    if (!Parse(bytes.data(), bytes.size(), error)) return false;
    // The size of compressed data is known only once it is decompressed.
    if (!m_compressed) {
        if (m_dataOffset > m_fileBytes) {
            error = "vox_offset " + Text(m_dataOffset) + " lies beyond the end of the file (" +
                    Text(m_fileBytes) + " bytes)";
            return false;
        }
        if (FileBytesNeeded() > m_fileBytes) {
            error = "the file is truncated: " + Text(m_fileBytes) + " bytes, its header announces " +
                    Text(FileBytesNeeded());
            return false;
        }
    }
    return true;
}

bool CNiftiHeader::Parse(const uint8_t* bytes, size_t size, std::string& error) {
    SilenceLibrary();
    if (size == 0) {
        error = "the file is empty";
        return false;
    }
    // The library looks at a whole header's worth of bytes; a short file
    // reads as zeros past its end, and is refused below for its length.
    char buffer[kMaxHeaderBytes] = {};
    std::memcpy(buffer, bytes, std::min(size, sizeof buffer));
    m_version = nifti_header_version(buffer, sizeof buffer);
    if (m_version != 1 && m_version != 2) {
        if (size < sizeof(nifti_1_header))
            error =
                "the file is too short for a NIfTI header (" + Text(static_cast<long long>(size)) + " bytes)";
        else
            error = "not a NIfTI file: it has no NIfTI-1 or NIfTI-2 header";
        return false;
    }
    const size_t headerBytes = m_version == 1 ? sizeof(nifti_1_header) : sizeof(nifti_2_header);
    if (size < headerBytes) {
        error = "the file ends inside its NIfTI-" + Text(m_version) + " header (" +
                Text(static_cast<long long>(size)) + " of " + Text(static_cast<long long>(headerBytes)) +
                " bytes)";
        return false;
    }

    const StoredFields stored =
        m_version == 1 ? ReadFields<nifti_1_header>(buffer, nifti_swap_as_nifti1, nifti_hdr1_looks_good)
                       : ReadFields<nifti_2_header>(buffer, nifti_swap_as_nifti2, nifti_hdr2_looks_good);
    m_swapped = stored.swapped;
    for (int i = 0; i < 5; ++i) m_pixdim[i] = stored.pixdim[i];
    m_datatype = stored.datatype;
    m_transform.reset();
    if (stored.sformCode > 0) {
        CAffine::Matrix rows{};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) rows[r][c] = stored.srow[r][c];
        m_transform = CAffine(rows);
    } else if (stored.qformCode > 0) {
        // The library's own reading of the quaternion, the offsets and qfac.
        const nifti_dmat44 q = nifti_quatern_to_dmat44(
            stored.quatern[0], stored.quatern[1], stored.quatern[2], stored.qoffset[0], stored.qoffset[1],
            stored.qoffset[2], stored.pixdim[1], stored.pixdim[2], stored.pixdim[3], stored.pixdim[0]);
        CAffine::Matrix rows{};
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) rows[r][c] = q.m[r][c];
        m_transform = CAffine(rows);
    }
    m_slope = stored.slope;
    m_intercept = stored.intercept;
    const int xyztUnits = stored.xyztUnits;
    const int64_t* dim = stored.dim;
    const char* magic = stored.magic;
    const double voxOffset = stored.voxOffset;
    const bool looksGood = stored.looksGood;
    m_spaceUnit = XYZT_TO_SPACE(xyztUnits);
    m_timeUnit = XYZT_TO_TIME(xyztUnits);
    if (m_transform) {
        // Millimetres, as for the pixel sizes; a transform that is not finite is none.
        CAffine::Matrix rows = m_transform->Rows();
        bool finite = true;
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c) {
                rows[r][c] *= MillimetresPerUnit();
                finite = finite && std::isfinite(rows[r][c]);
            }
        m_transform.reset();
        if (finite) m_transform = CAffine(rows);
    }

    const char single[4] = {'n', '+', static_cast<char>('0' + m_version), '\0'};
    const char pair[4] = {'n', 'i', static_cast<char>('0' + m_version), '\0'};
    if (std::memcmp(magic, pair, sizeof pair) == 0) {
        error = "the voxels lie in a separate .img file; only single-file NIfTI (.nii) is supported";
        return false;
    }
    if (std::memcmp(magic, single, sizeof single) != 0) {
        error = "not a NIfTI-" + Text(m_version) + " file: its magic is not \"n+" + Text(m_version) + "\"";
        return false;
    }
    if (!CheckSizes(dim, error) || !CheckDatatype(error) || !CheckOffset(voxOffset, error)) return false;
    if (m_version == 2) m_dataOffset = stored.exactVoxOffset;

    int64_t bytesNeeded = 0;
    if (!Multiply(VoxelCount(), m_bytesPerVoxel, bytesNeeded) ||
        bytesNeeded > std::numeric_limits<int64_t>::max() - m_dataOffset) {
        error = "the image is too large: " + Text(VoxelCount()) + " voxels of " + Text(m_bytesPerVoxel) +
                " bytes";
        return false;
    }
    // Everything above is what the viewer needs; the library's own check
    // also covers the fields it does not use.
    if (!looksGood) {
        error = "the NIfTI library finds the header unsound";
        return false;
    }
    return true;
}

bool CNiftiHeader::CheckSizes(const int64_t* dim, std::string& error) {
    if (dim[0] < 1 || dim[0] > 7) {
        error = "dim[0] is " + Text(dim[0]) + ": a NIfTI image has 1 to 7 dimensions";
        return false;
    }
    m_dimensions = static_cast<int>(dim[0]);
    int64_t sizes[4] = {1, 1, 1, 1};
    int64_t count = 1;
    for (int i = 1; i <= m_dimensions; ++i) {
        if (dim[i] < 1) {
            error = "dimension " + Text(i) + " has size " + Text(dim[i]) + ": every size must be at least 1";
            return false;
        }
        if (i > 4 && dim[i] != 1) {
            error = "the image has more than four dimensions (dim[" + Text(i) + "] = " + Text(dim[i]) +
                    "); only x, y, z and time can be shown";
            return false;
        }
        if (i <= 4) {
            if (dim[i] > std::numeric_limits<int32_t>::max()) {
                error = "dimension " + Text(i) + " has size " + Text(dim[i]) + ", more than can be shown";
                return false;
            }
            sizes[i - 1] = dim[i];
        }
        if (!Multiply(count, dim[i], count)) {
            error = "the image is too large: its sizes' product overflows";
            return false;
        }
    }
    m_sizeX = static_cast<int32_t>(sizes[0]);
    m_sizeY = static_cast<int32_t>(sizes[1]);
    m_sizeZ = static_cast<int32_t>(sizes[2]);
    m_frames = static_cast<int32_t>(sizes[3]);
    m_dimensions = std::min(m_dimensions, 4);
    return true;
}

bool CNiftiHeader::CheckDatatype(std::string& error) {
    switch (m_datatype) {
        case DT_UINT8:
        case DT_INT8:
        case DT_UINT16:
        case DT_INT16:
        case DT_UINT32:
        case DT_INT32:
        case DT_FLOAT32:
        case DT_UINT64:
        case DT_INT64:
        case DT_FLOAT64: {
            int swapSize = 0;
            nifti_datatype_sizes(m_datatype, &m_bytesPerVoxel, &swapSize);
            return true;
        }
        case DT_RGB24:
        case DT_RGBA32:
            error = "the data type " + DatatypeName() +
                    " holds colour, which cannot be shown; only grey values can";
            return false;
        case DT_COMPLEX64:
        case DT_COMPLEX128:
        case DT_COMPLEX256:
            error = "the data type " + DatatypeName() + " holds complex values, which cannot be shown";
            return false;
        default:
            error = "the data type " + DatatypeName() + " is not supported";
            return false;
    }
}

bool CNiftiHeader::CheckOffset(double voxOffset, std::string& error) {
    const double headerBytes = m_version == 1 ? sizeof(nifti_1_header) : sizeof(nifti_2_header);
    if (!std::isfinite(voxOffset) || voxOffset != std::trunc(voxOffset) || voxOffset < headerBytes ||
        voxOffset > 0x1p62) {
        char text[64];
        std::snprintf(text, sizeof text, "%.17g", voxOffset);
        error = "vox_offset " + std::string(text) + " does not lie behind the header";
        return false;
    }
    m_dataOffset = static_cast<int64_t>(voxOffset);
    return true;
}

int64_t CNiftiHeader::VoxelCount() const {
    return int64_t{m_sizeX} * m_sizeY * m_sizeZ * m_frames;
}

std::string CNiftiHeader::DatatypeName(int datatype) {
    SilenceLibrary();
    const char* name = nifti_datatype_to_string(datatype);
    std::string text = name != nullptr ? name : "";
    const std::string prefix = "NIFTI_TYPE_";
    if (text.rfind(prefix, 0) != 0) return "code " + Text(datatype);
    text.erase(0, prefix.size());
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

EValueType CNiftiHeader::ValueType() const {
    switch (m_datatype) {
        case DT_UINT8: return EValueType::kUInt8;
        case DT_INT8: return EValueType::kInt8;
        case DT_UINT16: return EValueType::kUInt16;
        case DT_INT16: return EValueType::kInt16;
        case DT_UINT32: return EValueType::kUInt32;
        case DT_INT32: return EValueType::kInt32;
        case DT_UINT64: return EValueType::kUInt64;
        case DT_INT64: return EValueType::kInt64;
        case DT_FLOAT32: return EValueType::kFloat32;
        case DT_FLOAT64: return EValueType::kFloat64;
        default: return EValueType::kUnknown;
    }
}

bool CNiftiHeader::IsScaled() const {
    return std::isfinite(m_slope) && m_slope != 0.0;
}

double CNiftiHeader::Slope() const {
    return IsScaled() ? m_slope : 1.0;
}

double CNiftiHeader::Intercept() const {
    return IsScaled() && std::isfinite(m_intercept) ? m_intercept : 0.0;
}

double CNiftiHeader::MillimetresPerUnit() const {
    switch (m_spaceUnit) {
        case NIFTI_UNITS_METER:
            return 1000.0;
        case NIFTI_UNITS_MICRON:
            return 0.001;
        default:
            return 1.0;  // millimetres, or no unit given
    }
}

double CNiftiHeader::MillisecondsPerUnit() const {
    switch (m_timeUnit) {
        case NIFTI_UNITS_UNKNOWN:
        case NIFTI_UNITS_SEC:
            return 1000.0;
        case NIFTI_UNITS_MSEC:
            return 1.0;
        case NIFTI_UNITS_USEC:
            return 0.001;
        default:
            return 0.0;  // Hz, ppm, rad/s: the fourth axis is not time
    }
}

CVolumeCalibration CNiftiHeader::Calibration() const {
    CVolumeCalibration calibration;
    std::optional<double>* sizes[3] = {&calibration.m_pixelSizeX, &calibration.m_pixelSizeY,
                                       &calibration.m_pixelSizeZ};
    for (int axis = 0; axis < 3; ++axis) {
        const double size = m_pixdim[axis + 1] * MillimetresPerUnit();
        if (std::isfinite(size) && size > 0.0) *sizes[axis] = size;
    }
    const double perUnit = MillisecondsPerUnit();
    if (m_dimensions == 4 && perUnit > 0.0) {
        const double frameTime = std::round(m_pixdim[4] * perUnit);
        if (frameTime >= 1.0 && frameTime <= 5000.0) calibration.m_frameTime = frameTime;
    }
    return calibration;
}
