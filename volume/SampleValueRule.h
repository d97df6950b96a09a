#pragma once

#include <cstdint>
#include <limits>

// How the values of an image file become the volume's 16-bit samples.
//
// Integer data whose every value is a whole number from 0 to 65535 keeps its
// values, so such data shows exactly as the same samples would from a .tvi
// file. Anything else (negative, scaled, fractional or wider values) is mapped
// linearly from its finite range [m, M] onto 0..65535. The map is computed in
// double in a fixed order and its source file is compiled without fused
// multiply-add, so every build gives the same samples.
class CSampleValueRule {
public:
    // The values of one image, gathered one by one (or merged from parts).
    struct Range {
        double m_min = std::numeric_limits<double>::infinity();  // of the finite values
        double m_max = -std::numeric_limits<double>::infinity();
        bool m_allSamples = true;  // every value a whole number in 0..65535

        void Add(double value);
        void Merge(const Range& other);
    };

    // raw x slope + intercept, in double, never fused.
    static double Rescaled(double raw, double slope, double intercept);

    // `integerData`: the file stores integers (before any rescale).
    CSampleValueRule(const Range& range, bool integerData);

    // True when values are kept as they are.
    bool KeepsValues() const { return m_keep; }
    // The sample of `value`, a value of the range given. NaN, infinite values
    // and every value of a range with M = m give 0.
    uint16_t Sample(double value) const;

private:
    bool m_keep = false;
    double m_min = 0.0;
    double m_max = 0.0;
};
