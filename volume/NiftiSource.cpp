#include "NiftiSource.h"

#include <nifti1.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "ParallelRanges.h"

namespace {

// Values are turned into samples through a buffer of doubles this long.
constexpr int64_t kValueChunk = 4096;

// Decompressing costs about this many passes over the decompressed samples.
constexpr double kInflateWeight = 4.0;

uint16_t StoredUint16(const uint8_t* bytes, int64_t i, bool swapped) {
    uint16_t value;
    std::memcpy(&value, bytes + 2 * i, sizeof value);
    return swapped ? static_cast<uint16_t>((value >> 8) | (value << 8)) : value;
}

}  // namespace

bool CNiftiSource::Open(const std::string& path, std::string& error) {
    if (!m_image.Open(path, error)) return false;
    const CNiftiHeader& header = Header();
    m_sizeX = header.m_sizeX;
    m_sizeY = header.m_sizeY;
    m_sizeZ = header.m_sizeZ;
    m_frames = header.m_frames;
    m_calibration = header.Calibration();
    m_narrow = header.m_bytesPerVoxel <= 2;
    return true;
}

std::optional<std::array<double, 2>> CNiftiSource::ValueRange() const {
    if (!m_range.HasFinite()) return std::nullopt;
    return std::array<double, 2>{m_range.Min(), m_range.Max()};
}

void CNiftiSource::ImagePlace(int64_t image, int32_t& z, int32_t& t) const {
    z = static_cast<int32_t>(image % m_sizeZ);
    t = static_cast<int32_t>(image / m_sizeZ);
}

double CNiftiSource::PrepareWeight() const {
    return (Header().m_compressed ? kInflateWeight : 0.0) + (m_narrow ? 0.0 : 1.0);
}

bool CNiftiSource::Prepare(const Progress& progress, std::string& error) {
    const double weight = PrepareWeight();
    const double inflateShare = Header().m_compressed ? kInflateWeight / weight : 0.0;
    auto report = [&progress](double fraction) {
        if (progress) progress(fraction);
    };
    if (!m_image.LoadVoxels([&](double fraction) { report(fraction * inflateShare); }, error)) return false;
    if (m_narrow) return true;

    // Wide integers and reals: one pass for the finite range and whether
    // every value can be its own sample.
    const int64_t total = SampleCount();
    const int threads = WorthwhileThreads(Header().DataBytes());
    std::vector<CValueRange> ranges(static_cast<size_t>(threads));
    ParallelRanges(total, threads, [&](int part, int64_t begin, int64_t end) {
        std::vector<double> values(kValueChunk);
        CValueRange& range = ranges[static_cast<size_t>(part)];
        constexpr int64_t kReleaseEvery = CSampleSource::kMaxBlock;
        int64_t unreleased = begin;
        for (int64_t at = begin; at < end; at += kValueChunk) {
            const int64_t count = std::min(kValueChunk, end - at);
            m_image.Values(at, count, values.data());
            range.Add(values.data(), static_cast<size_t>(count));
            if (at + count - unreleased >= kReleaseEvery || at + count == end) {
                m_image.Release(unreleased, at + count);
                unreleased = at + count;
                if (part == 0)
                    report(inflateShare + (1.0 - inflateShare) * static_cast<double>(at + count - begin) /
                                              static_cast<double>(end - begin));
            }
        }
    });
    m_range = CValueRange();
    for (const CValueRange& range : ranges) m_range.Merge(range);
    m_rule.emplace(m_range, Header().IsIntegerType());
    report(1.0);
    return true;
}

const uint16_t* CNiftiSource::Codes(int64_t first, int64_t count, uint16_t* scratch) const {
    const CNiftiHeader& header = Header();
    const uint8_t* bytes = m_image.VoxelBytes(first);
    const bool swapped = header.m_swapped;
    if (!m_narrow) {
        double values[kValueChunk];
        for (int64_t at = 0; at < count; at += kValueChunk) {
            const int64_t n = std::min(kValueChunk, count - at);
            m_image.Values(first + at, n, values);
            m_rule->Apply(values, static_cast<size_t>(n), scratch + at);
        }
        return scratch;
    }
    switch (header.m_datatype) {
        case DT_UINT16:
            // Stored in the host's order and aligned: the file's own bytes are the codes.
            if (!swapped && reinterpret_cast<uintptr_t>(bytes) % alignof(uint16_t) == 0)
                return reinterpret_cast<const uint16_t*>(bytes);
            for (int64_t i = 0; i < count; ++i) scratch[i] = StoredUint16(bytes, i, swapped);
            break;
        case DT_INT16:
            for (int64_t i = 0; i < count; ++i) scratch[i] = StoredUint16(bytes, i, swapped) ^ 0x8000u;
            break;
        case DT_UINT8:
            for (int64_t i = 0; i < count; ++i) scratch[i] = bytes[i];
            break;
        default:  // DT_INT8
            for (int64_t i = 0; i < count; ++i) scratch[i] = bytes[i] ^ 0x80u;
            break;
    }
    return scratch;
}

double CNiftiSource::ValueOfCode(uint32_t code) const {
    const CNiftiHeader& header = Header();
    double raw = code;
    if (header.m_datatype == DT_INT16) raw -= 32768.0;
    if (header.m_datatype == DT_INT8) raw -= 128.0;
    return header.IsScaled() ? raw * header.Slope() + header.Intercept() : raw;
}

void CNiftiSource::MapCodes(const IntensityHistogram& codeCounts, SampleOfCode& samples) {
    std::vector<double> present;
    for (uint32_t code = 0; code < codeCounts.size(); ++code)
        if (codeCounts[code] != 0) present.push_back(ValueOfCode(code));
    m_range = CValueRange();
    m_range.Add(present.data(), present.size());
    const CSampleRule rule(m_range, true);
    for (uint32_t code = 0; code < codeCounts.size(); ++code)
        samples[code] = codeCounts[code] != 0 ? rule.Sample(ValueOfCode(code)) : 0;
}

void CNiftiSource::Release(int64_t first, int64_t end) const {
    m_image.Release(first, end);
}
