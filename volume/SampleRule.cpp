#include "SampleRule.h"

#include <cmath>

void CValueRange::Add(const double* values, size_t count) {
    double low = m_min, high = m_max;
    bool allAreSamples = m_allAreSamples;
    for (size_t i = 0; i < count; ++i) {
        const double v = values[i];
        if (std::isfinite(v)) {
            low = v < low ? v : low;
            high = v > high ? v : high;
        }
        // NaN fails every comparison, so it is no sample either.
        allAreSamples = allAreSamples && v >= 0.0 && v <= 65535.0 && v == std::trunc(v);
    }
    m_min = low;
    m_max = high;
    m_allAreSamples = allAreSamples;
}

void CValueRange::Merge(const CValueRange& other) {
    if (other.m_min < m_min) m_min = other.m_min;
    if (other.m_max > m_max) m_max = other.m_max;
    m_allAreSamples = m_allAreSamples && other.m_allAreSamples;
}

namespace {

// 2^-20: scales a range of any finite width so that it times 65535 stays finite.
constexpr double kHugeScale = 1.0 / 1048576.0;

}  // namespace

CSampleRule::CSampleRule(const CValueRange& range, bool integerData)
    : m_keepsValues(integerData && range.AllAreSamples() && range.HasFinite()),
      m_flat(!range.HasFinite() || range.Max() == range.Min()),
      m_min(range.Min()),
      m_max(range.Max()) {
    m_huge = !m_flat && !std::isfinite((m_max - m_min) * 65535.0);
}

uint16_t CSampleRule::Sample(double v) const {
    if (m_keepsValues) return v >= 0.0 && v <= 65535.0 ? static_cast<uint16_t>(v) : 0;
    if (m_flat || !std::isfinite(v)) return 0;
    double sample;
    if (!m_huge) {
        sample = (v - m_min) * 65535.0 / (m_max - m_min) + 0.5;
    } else {
        // The literal formula would overflow to infinity (or give inf / inf);
        // the same ratio of values scaled by a power of two does not.
        sample =
            (v * kHugeScale - m_min * kHugeScale) * 65535.0 / (m_max * kHugeScale - m_min * kHugeScale) + 0.5;
    }
    // Values outside [m, M] (codes a caller maps that never occurred) stay in range.
    if (!(sample >= 0.0)) return 0;
    if (sample >= 65535.0) return 65535;
    return static_cast<uint16_t>(sample);
}

void CSampleRule::Apply(const double* values, size_t count, uint16_t* samples) const {
    if (m_keepsValues || m_flat || m_huge) {
        for (size_t i = 0; i < count; ++i) samples[i] = Sample(values[i]);
        return;
    }
    // The common case, without branches so that it vectorises: the same
    // arithmetic as Sample, with non-finite values selected to 0 afterwards.
    const double low = m_min, width = m_max - m_min;
    for (size_t i = 0; i < count; ++i) {
        const double v = values[i];
        double sample = (v - low) * 65535.0 / width + 0.5;
        sample = std::isfinite(v) ? sample : 0.0;
        sample = sample > 0.0 ? sample : 0.0;
        sample = sample < 65535.0 ? sample : 65535.0;
        samples[i] = static_cast<uint16_t>(static_cast<int32_t>(sample));
    }
}

double CSampleRule::ValueOf(uint16_t sample) const {
    if (m_keepsValues) return sample;
    if (m_flat) return std::isfinite(m_min) ? m_min : 0.0;
    return m_min + sample * ((m_max - m_min) / 65535.0);
}
