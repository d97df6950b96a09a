// Compiled with -ffp-contract=off: the samples must not depend on whether the
// compiler fuses a multiply and an add.

#include "SampleValueRule.h"

#include <cmath>

void CSampleValueRule::Range::Add(double value) {
    if (std::isfinite(value)) {
        if (value < m_min) m_min = value;
        if (value > m_max) m_max = value;
    }
    if (!(value >= 0.0 && value <= 65535.0 && value == std::trunc(value))) m_allSamples = false;
}

void CSampleValueRule::Range::Merge(const Range& other) {
    if (other.m_min < m_min) m_min = other.m_min;
    if (other.m_max > m_max) m_max = other.m_max;
    m_allSamples = m_allSamples && other.m_allSamples;
}

double CSampleValueRule::Rescaled(double raw, double slope, double intercept) { return raw * slope + intercept; }

CSampleValueRule::CSampleValueRule(const Range& range, bool integerData)
    : m_keep(integerData && range.m_allSamples), m_min(range.m_min), m_max(range.m_max) {}

uint16_t CSampleValueRule::Sample(double value) const {
    if (m_keep) return value >= 0.0 && value <= 65535.0 ? static_cast<uint16_t>(value) : 0;
    if (!std::isfinite(value) || !(m_max > m_min)) return 0;
    const double mapped = std::trunc((value - m_min) * 65535.0 / (m_max - m_min) + 0.5);
    // A value outside the range it was gathered in stays within the samples.
    if (!(mapped > 0.0)) return 0;
    if (mapped >= 65535.0) return 65535;
    return static_cast<uint16_t>(mapped);
}
