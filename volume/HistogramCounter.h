#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "IntensityWindow.h"

// Counts 16-bit samples (in host byte order) into a histogram, a block at a
// time. Runs of equal samples (a black background) would make every
// increment wait for the previous one to the same bin, so four interleaved
// 32-bit tables take the counts; they are folded into 64-bit totals only
// before they could overflow, not after every block.
class CHistogramCounter {
public:
    CHistogramCounter();

    void Add(const uint16_t* samples, size_t count);
    // Adds everything counted so far to `histogram` and starts afresh.
    void AddTo(IntensityHistogram& histogram);

private:
    static constexpr size_t kBins = 65536;
    // Moves the tables' counts into m_totals and empties the tables.
    void Flush();

    std::unique_ptr<uint32_t[]> m_tables;  // four tables of kBins
    std::unique_ptr<IntensityHistogram> m_totals;
    size_t m_pending = 0;  // samples in the tables
};
