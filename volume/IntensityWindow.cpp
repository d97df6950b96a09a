#include "IntensityWindow.h"

#include <bit>
#include <cstring>
#include <memory>

namespace {

// Samples are stored little-endian; on a big-endian host they need a swap.
inline uint16_t FromLittleEndian(uint16_t v) {
    if constexpr (std::endian::native == std::endian::big) return static_cast<uint16_t>((v >> 8) | (v << 8));
    return v;
}

}  // namespace

uint16_t SaturationLevelOfHistogram(const IntensityHistogram& histogram, double fraction) {
    uint64_t total = 0;
    for (uint64_t count : histogram) total += count;
    if (total == 0) return 0;
    uint64_t running = 0;
    for (size_t v = 0; v < histogram.size(); ++v) {
        running += histogram[v];
        if (static_cast<double>(running) / static_cast<double>(total) >= fraction)
            return static_cast<uint16_t>(v);
    }
    return 0;
}

uint8_t EightBitValue(uint16_t v, uint16_t saturationLevel) {
    // With S = 0 the ramp is empty: 0 stays black and everything else is white
    // (0/0 would otherwise give NaN).
    if (saturationLevel == 0) return v == 0 ? 0 : 255;
    const double q = static_cast<double>(v) / saturationLevel;
    if (q > 1.0) return 255;
    return static_cast<uint8_t>(q * 255.0);
}

IntensityTable MakeIntensityTable(uint16_t saturationLevel) {
    IntensityTable table{};
    for (size_t v = 0; v < table.size(); ++v) table[v] = EightBitValue(static_cast<uint16_t>(v), saturationLevel);
    return table;
}

void AddToHistogram(IntensityHistogram& histogram, const uint16_t* samples, size_t count) {
    // Runs of equal samples (a black background) would make every increment
    // wait for the previous one to the same bin; four interleaved 32-bit
    // histograms break that chain. They are flushed before they can overflow.
    constexpr size_t kBlock = size_t{1} << 30;
    auto partial = std::make_unique<uint32_t[]>(4 * 65536);
    while (count > 0) {
        const size_t n = count < kBlock ? count : kBlock;
        std::memset(partial.get(), 0, 4 * 65536 * sizeof(uint32_t));
        uint32_t* h0 = partial.get();
        uint32_t* h1 = h0 + 65536;
        uint32_t* h2 = h1 + 65536;
        uint32_t* h3 = h2 + 65536;
        size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            ++h0[FromLittleEndian(samples[i])];
            ++h1[FromLittleEndian(samples[i + 1])];
            ++h2[FromLittleEndian(samples[i + 2])];
            ++h3[FromLittleEndian(samples[i + 3])];
        }
        for (; i < n; ++i) ++h0[FromLittleEndian(samples[i])];
        for (size_t v = 0; v < 65536; ++v)
            histogram[v] += uint64_t{h0[v]} + h1[v] + h2[v] + h3[v];
        samples += n;
        count -= n;
    }
}

void ConvertSamples(const uint16_t* samples, uint8_t* out, size_t count, const IntensityTable& table) {
    for (size_t i = 0; i < count; ++i) out[i] = table[FromLittleEndian(samples[i])];
}
