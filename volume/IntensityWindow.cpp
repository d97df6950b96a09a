#include "IntensityWindow.h"

#include <array>
#include <bit>
#include <cstring>
#include <memory>

#include "HistogramCounter.h"

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

std::vector<SampleCount> CountDistinct(std::vector<uint16_t> samples) {
    // Sorted by their low byte, then stably by their high one: two counting
    // passes, in time linear in the number of samples.
    std::vector<uint16_t> sorted(samples.size());
    for (const int shift : {0, 8}) {
        std::array<size_t, 257> start{};
        for (const uint16_t sample : samples) ++start[((sample >> shift) & 0xff) + 1];
        for (size_t digit = 1; digit < start.size(); ++digit) start[digit] += start[digit - 1];
        for (const uint16_t sample : samples) sorted[start[(sample >> shift) & 0xff]++] = sample;
        samples.swap(sorted);
    }
    std::vector<SampleCount> counts;
    for (const uint16_t sample : samples) {
        if (counts.empty() || counts.back().sample != sample) counts.push_back({sample, 0});
        ++counts.back().count;
    }
    return counts;
}

uint16_t SaturationLevelOfCounts(const std::vector<SampleCount>& counts, double fraction) {
    uint64_t total = 0;
    for (const SampleCount& bin : counts) total += bin.count;
    if (total == 0) return 0;
    // The full walk stops at value 0 when nothing needs counting, empty or not.
    if (0.0 >= fraction) return 0;
    uint64_t running = 0;
    for (const SampleCount& bin : counts) {
        running += bin.count;
        if (static_cast<double>(running) / static_cast<double>(total) >= fraction) return bin.sample;
    }
    return 0;
}

uint16_t SaturationLevelOfSamples(const uint16_t* samples, size_t count, double fraction) {
    if (count <= kFewSamples)
        return SaturationLevelOfCounts(CountDistinct({samples, samples + count}), fraction);
    auto histogram = std::make_unique<IntensityHistogram>();
    AddToHistogram(*histogram, samples, count);
    return SaturationLevelOfHistogram(*histogram, fraction);
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
    CHistogramCounter counter;
    counter.Add(samples, count);
    counter.AddTo(histogram);
}

void ConvertSamples(const uint16_t* samples, uint8_t* out, size_t count, const IntensityTable& table) {
    size_t i = 0;
    if constexpr (std::endian::native == std::endian::little) {
        // Eight samples in two loads and eight values in one store: fewer
        // memory operations per sample than one of each.
        for (; i + 8 <= count; i += 8) {
            uint64_t a = 0, b = 0;
            std::memcpy(&a, samples + i, 8);
            std::memcpy(&b, samples + i + 4, 8);
            uint64_t values = 0;
            for (int lane = 0; lane < 4; ++lane) {
                values |= uint64_t{table[(a >> (16 * lane)) & 0xffff]} << (8 * lane);
                values |= uint64_t{table[(b >> (16 * lane)) & 0xffff]} << (8 * lane + 32);
            }
            std::memcpy(out + i, &values, 8);
        }
    }
    for (; i < count; ++i) out[i] = table[samples[i]];
}
