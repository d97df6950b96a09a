#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

// What one pass over an image's values v (after any scaling) finds: the
// smallest and largest finite value, and whether every value is a whole
// number from 0 to 65535 and so can be shown as the sample it is.
class CValueRange {
public:
    void Add(const double* values, size_t count);
    void Merge(const CValueRange& other);

    // False when no value was finite (or none was added).
    bool HasFinite() const { return m_min <= m_max; }
    double Min() const { return m_min; }
    double Max() const { return m_max; }
    bool AllAreSamples() const { return m_allAreSamples; }

private:
    double m_min = std::numeric_limits<double>::infinity();
    double m_max = -std::numeric_limits<double>::infinity();
    bool m_allAreSamples = true;
};

// How values v become unsigned 16-bit samples, for every format whose values
// are not such samples already. Integer data whose every value is a whole
// number from 0 to 65535 keeps its values, so it shows exactly as a .tvi with
// those samples would. Anything else is stretched linearly from its finite
// range [m, M] onto 0..65535:
//   sample = trunc((v - m) * 65535 / (M - m) + 0.5),
// computed in double in that order and without fused multiply-add, so that
// every build gives the same samples; 0 when M = m, and 0 for NaN and
// infinite values.
class CSampleRule {
public:
    CSampleRule(const CValueRange& range, bool integerData);

    // True when every value is kept as its own sample.
    bool KeepsValues() const { return m_keepsValues; }

    uint16_t Sample(double v) const;
    void Apply(const double* values, size_t count, uint16_t* samples) const;

    // What a sample stands for, as a value m + sample (M - m) / 65535: the
    // value itself where values are kept, else within half a step of the
    // values that became that sample.
    double ValueOf(uint16_t sample) const;

private:
    bool m_keepsValues = false;
    bool m_flat = true;  // M = m, or no finite value: every sample is 0
    double m_min = 0.0;
    double m_max = 0.0;
    // The range is so wide that (v - m) * 65535 could overflow; the values
    // are then scaled down by a power of two first.
    bool m_huge = false;
};
