#include "NiftiSource.h"

#include <algorithm>
#include <cstring>
#include <vector>

#include "CodeMapping.h"
#include "ParallelRanges.h"
#include "VolumeFormat.h"

namespace {

// Values are turned into samples through a buffer of doubles this long.
constexpr int64_t kValueChunk = 4096;

// Decompressing costs about this many passes over the decompressed samples.
constexpr double kInflateWeight = 4.0;

}  // namespace

bool CNiftiSource::Open(const std::string& path, std::string& error) {
    if (!m_image.Open(path, error)) return false;
    const CNiftiHeader& header = Header();
    m_sizeX = header.m_sizeX;
    m_sizeY = header.m_sizeY;
    m_sizeZ = header.m_sizeZ;
    m_frames = header.m_frames;
    m_calibration = header.Calibration();
    m_transform = header.m_transform;
    m_narrow = CCodeMapping::HasCodes(header.ValueType());
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
    m_rule.emplace(m_range, IsIntegerValueType(Header().ValueType()));
    report(1.0);
    return true;
}

const uint16_t* CNiftiSource::Codes(int64_t first, int64_t count, uint16_t* scratch) const {
    const CNiftiHeader& header = Header();
    if (!m_narrow) {
        double values[kValueChunk];
        for (int64_t at = 0; at < count; at += kValueChunk) {
            const int64_t n = std::min(kValueChunk, count - at);
            m_image.Values(first + at, n, values);
            m_rule->Apply(values, static_cast<size_t>(n), scratch + at);
        }
        return scratch;
    }
    // 16-bit values in the host's order, aligned, are their own codes: no copy.
    const uint8_t* bytes = m_image.VoxelBytes(first);
    if (StoredAsCodes()) return reinterpret_cast<const uint16_t*>(bytes);
    uint16_t* out = scratch;
    VisitValues(header.ValueType(), bytes, count, header.m_swapped, [&out](const auto* values, int64_t n) {
        using T = std::remove_cv_t<std::remove_pointer_t<decltype(values)>>;
        if constexpr (std::is_integral_v<T> && sizeof(T) <= 2) {
            for (int64_t i = 0; i < n; ++i) out[i] = CCodeMapping::BitsOf(values[i]);
            out += n;
        }
    });
    return scratch;
}

CCodeMapping CNiftiSource::Mapping() const {
    const CNiftiHeader& header = Header();
    return CCodeMapping(header.ValueType() == EValueType::kInt8 || header.ValueType() == EValueType::kInt16,
                        header.Slope(), header.Intercept(), CCodeMapping::EOrder::kBits);
}

bool CNiftiSource::StoredAsCodes() const {
    const CNiftiHeader& header = Header();
    const EValueType type = header.ValueType();
    return (type == EValueType::kUInt16 || type == EValueType::kInt16) && !header.m_swapped &&
           reinterpret_cast<uintptr_t>(m_image.VoxelBytes(0)) % alignof(uint16_t) == 0;
}

std::optional<CSampleSource::CLentCodes> CNiftiSource::LendCodes() const {
    if (!m_image.FileMapping() || !StoredAsCodes()) return std::nullopt;
    return CLentCodes{reinterpret_cast<const uint16_t*>(m_image.VoxelBytes(0)), m_image.FileMapping(),
                      m_image.FileMapping()};
}

double CNiftiSource::ValueOfCode(uint16_t code) const {
    // Codes of wide data are the samples their values became.
    if (!m_narrow) return m_rule ? m_rule->ValueOf(code) : 0.0;
    return Mapping().ValueOf(code);
}

void CNiftiSource::MapCodes(const IntensityHistogram& codeCounts, SampleOfCode& samples) {
    m_range = Mapping().MapCodes(codeCounts, samples);
}

void CNiftiSource::Release(int64_t first, int64_t end) const {
    m_image.Release(first, end);
}

void CNiftiSource::Describe(CVolumeFileInfo& info) const {
    info.m_fields.push_back({"datatype", Header().DatatypeName()});
    if (const auto range = ValueRange()) info.m_fields.push_back({"value_range", std::vector<double>{(*range)[0], (*range)[1]}});
}
