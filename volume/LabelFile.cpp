#include "LabelFile.h"

#include <nifti2_io.h>
#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <vector>

#include "NiftiHeader.h"

namespace {

// Reversing the bytes of every voxel turns the file's byte order into the host's.
void SwapBytes(std::vector<uint8_t>& data, int bytesPerVoxel) {
    for (size_t i = 0; i + static_cast<size_t>(bytesPerVoxel) <= data.size(); i += static_cast<size_t>(bytesPerVoxel))
        std::reverse(data.begin() + static_cast<std::ptrdiff_t>(i),
                     data.begin() + static_cast<std::ptrdiff_t>(i) + bytesPerVoxel);
}

// The voxels of the file, `bytes` of them from `offset` on, in the file's byte
// order. zlib reads plain and gzip files alike. False with `error` when the
// data is damaged or ends early.
bool ReadVoxelBytes(const std::string& path, int64_t offset, int64_t bytes, std::vector<uint8_t>& data,
                    std::string& error, const std::function<void(double)>& progress) {
    gzFile file = gzopen(path.c_str(), "rb");
    if (file == nullptr) {
        error = "cannot open the file: " + std::string(std::strerror(errno));
        return false;
    }
    gzbuffer(file, 1 << 20);
    data.resize(static_cast<size_t>(bytes));
    bool ok = gzseek64(file, offset, SEEK_SET) == offset;
    constexpr int64_t kChunk = int64_t{8} << 20;
    int64_t done = 0;
    while (ok && done < bytes) {
        const auto want = static_cast<unsigned>(std::min(kChunk, bytes - done));
        const int got = gzread(file, data.data() + done, want);
        if (got <= 0) {
            ok = false;
            break;
        }
        done += got;
        if (progress) progress(static_cast<double>(done) / static_cast<double>(bytes));
    }
    if (!ok) {
        int code = Z_OK;
        const char* message = gzerror(file, &code);
        error = code != Z_OK && code != Z_BUF_ERROR && message != nullptr
                    ? "the compressed data is damaged: " + std::string(message)
                    : "the file ends after " + std::to_string(offset + done) + " of the " +
                          std::to_string(offset + bytes) + " bytes its header announces";
    }
    gzclose(file);
    return ok;
}

// The stored values as labels, scaled first when the header asks for it.
template <typename T>
bool AssignValues(const std::vector<uint8_t>& data, const CNiftiHeader& header, CLabelImage& labels,
                  std::string& error) {
    const T* values = reinterpret_cast<const T*>(data.data());
    const int64_t count = header.VoxelCount();
    if (header.IsScaled() && (header.Slope() != 1.0 || header.Intercept() != 0.0)) {
        std::vector<double> scaled(static_cast<size_t>(count));
        for (int64_t i = 0; i < count; ++i)
            scaled[static_cast<size_t>(i)] = static_cast<double>(values[i]) * header.Slope() + header.Intercept();
        return labels.Assign(scaled.data(), header.m_sizeX, header.m_sizeY, header.m_sizeZ, header.m_frames, error);
    }
    return labels.Assign(values, header.m_sizeX, header.m_sizeY, header.m_sizeZ, header.m_frames, error);
}

}  // namespace

bool IsNiftiName(const std::string& path) {
    std::string lower(path);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](unsigned char c) { return std::tolower(c); });
    auto endsWith = [&](const std::string& tail) {
        return lower.size() > tail.size() && lower.compare(lower.size() - tail.size(), tail.size(), tail) == 0;
    };
    return endsWith(".nii") || endsWith(".nii.gz");
}

bool ReadLabelFile(const std::string& path, CLabelImage& labels, std::string& error,
                   const std::function<void(double)>& progress) {
    CNiftiHeader header;
    if (!header.Read(path, error)) return false;
    std::vector<uint8_t> data;
    if (!ReadVoxelBytes(path, header.m_dataOffset, header.DataBytes(), data, error, progress)) return false;
    if (header.m_swapped) SwapBytes(data, header.m_bytesPerVoxel);

    // Labels go into a new image, so a refused file leaves `labels` alone.
    CLabelImage read;
    bool ok = false;
    switch (header.m_datatype) {
        case DT_UINT8: ok = AssignValues<uint8_t>(data, header, read, error); break;
        case DT_INT8: ok = AssignValues<int8_t>(data, header, read, error); break;
        case DT_UINT16: ok = AssignValues<uint16_t>(data, header, read, error); break;
        case DT_INT16: ok = AssignValues<int16_t>(data, header, read, error); break;
        case DT_UINT32: ok = AssignValues<uint32_t>(data, header, read, error); break;
        case DT_INT32: ok = AssignValues<int32_t>(data, header, read, error); break;
        case DT_UINT64: ok = AssignValues<uint64_t>(data, header, read, error); break;
        case DT_INT64: ok = AssignValues<int64_t>(data, header, read, error); break;
        case DT_FLOAT32: ok = AssignValues<float>(data, header, read, error); break;
        case DT_FLOAT64: ok = AssignValues<double>(data, header, read, error); break;
        default: error = "labels cannot be of type " + header.DatatypeName(); break;
    }
    if (!ok) return false;
    const CVolumeCalibration calibration = header.Calibration();
    read.m_pixelSize[0] = calibration.m_pixelSizeX.value_or(0.0);
    read.m_pixelSize[1] = calibration.m_pixelSizeY.value_or(0.0);
    read.m_pixelSize[2] = calibration.m_pixelSizeZ.value_or(0.0);
    labels = std::move(read);
    return true;
}
