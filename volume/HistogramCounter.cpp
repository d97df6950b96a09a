#include "HistogramCounter.h"

#include <cstring>

namespace {

// No bin of the 32-bit tables can overflow while fewer samples than this are pending.
constexpr size_t kFlushAt = size_t{1} << 31;

}  // namespace

CHistogramCounter::CHistogramCounter()
    : m_tables(new uint32_t[4 * kBins]()), m_totals(std::make_unique<IntensityHistogram>()) {}

void CHistogramCounter::Add(const uint16_t* samples, size_t count) {
    while (count > 0) {
        if (m_pending == kFlushAt) Flush();
        const size_t room = kFlushAt - m_pending;
        const size_t n = count < room ? count : room;
        uint32_t* h0 = m_tables.get();
        uint32_t* h1 = h0 + kBins;
        uint32_t* h2 = h1 + kBins;
        uint32_t* h3 = h2 + kBins;
        // Four samples come in one load; which table takes which does not
        // matter, so the byte order does not either.
        size_t i = 0;
        for (; i + 4 <= n; i += 4) {
            uint64_t four = 0;
            std::memcpy(&four, samples + i, 8);
            ++h0[four & 0xffff];
            ++h1[(four >> 16) & 0xffff];
            ++h2[(four >> 32) & 0xffff];
            ++h3[four >> 48];
        }
        for (; i < n; ++i) ++h0[samples[i]];
        m_pending += n;
        samples += n;
        count -= n;
    }
}

void CHistogramCounter::Flush() {
    const uint32_t* h = m_tables.get();
    IntensityHistogram& totals = *m_totals;
    for (size_t v = 0; v < kBins; ++v)
        totals[v] += uint64_t{h[v]} + h[v + kBins] + h[v + 2 * kBins] + h[v + 3 * kBins];
    std::memset(m_tables.get(), 0, 4 * kBins * sizeof(uint32_t));
    m_pending = 0;
}

void CHistogramCounter::AddTo(IntensityHistogram& histogram) {
    Flush();
    for (size_t v = 0; v < kBins; ++v) histogram[v] += (*m_totals)[v];
    m_totals->fill(0);
}
