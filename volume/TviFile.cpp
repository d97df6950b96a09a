#include "TviFile.h"

#include <sys/stat.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <limits>
#include <new>

#include "IntensityWindow.h"
#include "SliceImage.h"

namespace {

// Byte offsets of the header fields.
constexpr size_t kTextOffset = 20;
constexpr size_t kCalibrationOffset = 596;
constexpr size_t kReservedOffsetV2 = 628;
constexpr size_t kReservedSizeV2 = 480;

// The largest sample count we try to hold: beyond this the 16-bit block
// alone would not fit any address space we run on.
constexpr int64_t kMaxSamples = std::numeric_limits<int64_t>::max() / 8;

int32_t LittleEndianInt32(const uint8_t* bytes) {
    return static_cast<int32_t>(uint32_t{bytes[0]} | uint32_t{bytes[1]} << 8 | uint32_t{bytes[2]} << 16 |
                                uint32_t{bytes[3]} << 24);
}

double LittleEndianDouble(const uint8_t* bytes) {
    uint64_t bits = 0;
    for (int i = 7; i >= 0; --i) bits = bits << 8 | bytes[i];
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

std::string Format(const char* format, long long a, long long b = 0) {
    char text[160];
    std::snprintf(text, sizeof text, format, a, b);
    return text;
}

}  // namespace

struct CTviFile::Header {
    int32_t version, sizeX, sizeY, frames, sizeZ;
    char text1[64], text2[512];
    uint8_t reserved[512];
    double pixelSizeX, pixelSizeY, pixelSizeZ, frameTime;
    int64_t sampleCount;
};

CTviFile::CTviFile() = default;
CTviFile::~CTviFile() = default;

bool CTviFile::ParseHeader(std::FILE* file, Header& header, std::string& error) {
    struct stat info {};
    if (fstat(fileno(file), &info) != 0 || !S_ISREG(info.st_mode)) {
        error = "not a regular file";
        return false;
    }
    const int64_t fileSize = info.st_size;

    uint8_t bytes[kHeaderSize];
    if (fileSize < kHeaderSize || std::fread(bytes, 1, sizeof bytes, file) != sizeof bytes) {
        error = Format("file is truncated: %lld bytes, the header alone needs %lld", fileSize, kHeaderSize);
        return false;
    }

    header.version = LittleEndianInt32(bytes);
    header.sizeX = LittleEndianInt32(bytes + 4);
    header.sizeY = LittleEndianInt32(bytes + 8);
    header.frames = LittleEndianInt32(bytes + 12);
    header.sizeZ = LittleEndianInt32(bytes + 16);
    std::memcpy(header.text1, bytes + kTextOffset, sizeof header.text1);
    std::memcpy(header.text2, bytes + kTextOffset + sizeof header.text1, sizeof header.text2);
    // Version 1 has no calibration block; every other version word has one.
    header.pixelSizeX = header.pixelSizeY = header.pixelSizeZ = header.frameTime = 0.0;
    if (header.version == 1) {
        std::memcpy(header.reserved, bytes + kCalibrationOffset, sizeof header.reserved);
    } else {
        header.pixelSizeX = LittleEndianDouble(bytes + kCalibrationOffset);
        header.pixelSizeY = LittleEndianDouble(bytes + kCalibrationOffset + 8);
        header.pixelSizeZ = LittleEndianDouble(bytes + kCalibrationOffset + 16);
        header.frameTime = LittleEndianDouble(bytes + kCalibrationOffset + 24);
        std::memcpy(header.reserved, bytes + kReservedOffsetV2, kReservedSizeV2);
        std::memset(header.reserved + kReservedSizeV2, 0, sizeof header.reserved - kReservedSizeV2);
    }

    const int32_t sizes[4] = {header.sizeX, header.sizeY, header.frames, header.sizeZ};
    const char* names[4] = {"X", "Y", "T", "Z"};
    for (int i = 0; i < 4; ++i) {
        if (sizes[i] < 0) {
            error = std::string("negative size in header: ") + names[i] + " = " + std::to_string(sizes[i]);
            return false;
        }
    }
    // The sizes may be multiplied in any order, and a zero among them must
    // not let the others pass unchecked: every non-zero size goes into the
    // bound, and the count is worked out once, here.
    int64_t bound = 1;
    for (int32_t size : sizes) {
        if (__builtin_mul_overflow(bound, int64_t{std::max(size, 1)}, &bound) || bound > kMaxSamples) {
            error = "header sizes are too large: " + std::to_string(header.sizeX) + " x " +
                    std::to_string(header.sizeY) + " x " + std::to_string(header.sizeZ) + " slices x " +
                    std::to_string(header.frames) + " frames";
            return false;
        }
    }
    const bool empty = std::find(std::begin(sizes), std::end(sizes), 0) != std::end(sizes);
    header.sampleCount = empty ? 0 : bound;
    const int64_t needed = kHeaderSize + 2 * header.sampleCount;
    if (fileSize < needed) {
        error = Format("file is truncated: %lld bytes, header needs %lld", fileSize, needed);
        return false;
    }
    // Every side becomes the side of a plane texture; beyond the longest
    // one a texture can have, no plane of the volume could be shown.
    for (int i : {0, 1, 3}) {
        if (sizes[i] > kMaxVolumeSide) {
            error = std::string("the slices are too large to show: ") + names[i] + " = " +
                    std::to_string(sizes[i]) + ", at most " + std::to_string(kMaxVolumeSide) +
                    " can be shown";
            return false;
        }
    }
    return true;
}

void CTviFile::Adopt(const Header& header) {
    m_version = header.version;
    m_sizeX = header.sizeX;
    m_sizeY = header.sizeY;
    m_frames = header.frames;
    m_sizeZ = header.sizeZ;
    m_sampleCount = header.sampleCount;
    std::memcpy(m_text1, header.text1, sizeof m_text1);
    std::memcpy(m_text2, header.text2, sizeof m_text2);
    std::memcpy(m_reserved, header.reserved, sizeof m_reserved);
    // A version-1 file carries no calibration: the previous values stay.
    if (header.version != 1) {
        m_pixelSizeX = header.pixelSizeX;
        m_pixelSizeY = header.pixelSizeY;
        m_pixelSizeZ = header.pixelSizeZ;
        m_frameTime = header.frameTime;
    }
}

CTviFile::FilePtr CTviFile::OpenAndParse(const std::string& path, Header& header) {
    FilePtr file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (file == nullptr) {
        m_errorText = "cannot open file: " + std::string(std::strerror(errno));
        return FilePtr(nullptr, &std::fclose);
    }
    if (!ParseHeader(file.get(), header, m_errorText)) return FilePtr(nullptr, &std::fclose);
    return file;
}

int CTviFile::ReadHeader(const std::string& path) {
    Header header;
    if (OpenAndParse(path, header) == nullptr) return -1;
    Adopt(header);
    m_samples.reset();  // they belonged to the previous file
    m_errorText.clear();
    return 0;
}

int CTviFile::Read(const std::string& path) {
    Header header;
    FilePtr file = OpenAndParse(path, header);
    if (file == nullptr) return -1;
    std::unique_ptr<uint16_t[]> samples(new (std::nothrow) uint16_t[static_cast<size_t>(header.sampleCount)]);
    if (samples == nullptr) {
        m_errorText = "not enough memory for " + std::to_string(header.sampleCount) + " samples";
        return -1;
    }
    const auto count = static_cast<size_t>(header.sampleCount);
    const size_t got = std::fread(samples.get(), sizeof(uint16_t), count, file.get());
    if (got != count) {
        m_errorText = "file is truncated: read " + std::to_string(got) + " of " + std::to_string(count) +
                      " samples";
        return -1;
    }
    if constexpr (std::endian::native == std::endian::big) {
        for (size_t i = 0; i < count; ++i)
            samples[i] = static_cast<uint16_t>(samples[i] >> 8 | samples[i] << 8);
    }
    Adopt(header);
    m_samples = std::move(samples);
    m_errorText.clear();
    return 0;
}

uint16_t CTviFile::SaturationLevel(double fraction) const {
    const size_t count = m_samples != nullptr ? static_cast<size_t>(SampleCount()) : 0;
    return SaturationLevelOfSamples(m_samples.get(), count, fraction);
}
