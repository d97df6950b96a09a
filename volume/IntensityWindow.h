#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

// The mapping of 16-bit samples to 8-bit grey values: a linear ramp from 0 up
// to a saturation level S, white at and above S.

using IntensityHistogram = std::array<uint64_t, 65536>;

// A sample as stored in a file (little-endian) in the host's byte order.
inline uint16_t SampleFromFile(uint16_t stored) {
    if constexpr (std::endian::native == std::endian::big)
        return static_cast<uint16_t>((stored >> 8) | (stored << 8));
    return stored;
}
using IntensityTable = std::array<uint8_t, 65536>;

// The smallest sample value v for which at least `fraction` of all samples
// lie at or below v; 0 when no value qualifies (no samples, fraction above 1).
uint16_t SaturationLevelOfHistogram(const IntensityHistogram& histogram, double fraction);

// One value of a histogram kept to the values present, and how often it occurs.
struct SampleCount {
    uint16_t sample = 0;
    uint64_t count = 0;
};

// Up to this many samples, sorting them costs less than a table of every
// possible value: the 65,536 bins take clearing and walking whatever the
// load's size, and for a small file that fixed work is most of the load.
constexpr size_t kFewSamples = size_t{1} << 14;

// The distinct values of `samples`, ascending, with how often each occurs.
std::vector<SampleCount> CountDistinct(std::vector<uint16_t> samples);

// The level SaturationLevelOfHistogram finds for the histogram whose
// non-empty bins `counts` lists in ascending order of sample.
uint16_t SaturationLevelOfCounts(const std::vector<SampleCount>& counts, double fraction);

// The saturation level of `count` samples (host byte order), counted by
// sorting when they are few and into a full histogram otherwise.
uint16_t SaturationLevelOfSamples(const uint16_t* samples, size_t count, double fraction);

// The 8-bit value of sample v under saturation level S.
uint8_t EightBitValue(uint16_t v, uint16_t saturationLevel);

// EightBitValue for every sample value, so a load maps by table look-up.
IntensityTable MakeIntensityTable(uint16_t saturationLevel);

// Adds every sample (host byte order) of [samples, samples + count) to the histogram.
void AddToHistogram(IntensityHistogram& histogram, const uint16_t* samples, size_t count);

// out[i] = table[samples[i]] for i < count; samples are in host byte order.
void ConvertSamples(const uint16_t* samples, uint8_t* out, size_t count, const IntensityTable& table);
