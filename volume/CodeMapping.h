#pragma once

#include <cstdint>
#include <type_traits>

#include "SampleRule.h"
#include "SampleSource.h"
#include "ValueType.h"

// How 8- and 16-bit integer values travel through a load as 16-bit codes.
//
// A code keeps the order of the stored values: unsigned values are their own
// code, signed ones are shifted by 32768. Once every code has been counted,
// MapCodes applies the value rule to the values that occurred, so data whose
// samples depend on its whole value range still takes two passes, not three.
// A value is the stored value times the slope plus the intercept (a file's
// rescale), in double and, as this file is compiled, without fused
// multiply-add, so every build maps the same codes to the same samples.
class CCodeMapping {
public:
    CCodeMapping(bool signedValues, double slope, double intercept)
        : m_shift(signedValues ? 32768.0 : 0.0), m_slope(slope), m_intercept(intercept) {}
    // Codes that are their own values.
    CCodeMapping() : CCodeMapping(false, 1.0, 0.0) {}

    // True for the types whose values have codes: integers of up to 16 bits.
    static bool HasCodes(EValueType type) {
        return type == EValueType::kUInt8 || type == EValueType::kInt8 || type == EValueType::kUInt16 ||
               type == EValueType::kInt16;
    }

    template <typename T>
    static uint16_t CodeOf(T value) {
        static_assert(std::is_integral_v<T> && sizeof(T) <= 2);
        constexpr int32_t kShift = std::is_signed_v<T> ? 32768 : 0;
        return static_cast<uint16_t>(static_cast<int32_t>(value) + kShift);
    }

    // The value a code stands for.
    double ValueOf(uint32_t code) const;

    // Fills the sample of every code that occurred (the rest map to 0) and
    // returns the range of the values that occurred.
    CValueRange MapCodes(const IntensityHistogram& codeCounts, SampleOfCode& samples) const;

private:
    double m_shift;
    double m_slope;
    double m_intercept;
};
