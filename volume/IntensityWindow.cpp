#include "IntensityWindow.h"

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
    for (size_t i = 0; i < count; ++i) out[i] = table[samples[i]];
}
