#pragma once

#include <cstdint>
#include <type_traits>

#include "SampleRule.h"
#include "SampleSource.h"
#include "ValueType.h"

// How 8- and 16-bit integer values travel through a load as 16-bit codes.
//
// Unsigned values are their own code. Signed ones are either shifted by 32768,
// so that codes keep the order of the values (EOrder::kValues), or stored as
// their 16-bit two's complement (EOrder::kBits), so that a file's 16-bit
// values are their codes as they lie and need no copy. Once every code has been counted,
// MapCodes applies the value rule to the values that occurred, so data whose
// samples depend on its whole value range still takes two passes, not three.
// A value is the stored value times the slope plus the intercept (a file's
// rescale), in double and, as this file is compiled, without fused
// multiply-add, so every build maps the same codes to the same samples.
class CCodeMapping {
public:
    enum class EOrder { kValues, kBits };
    CCodeMapping(bool signedValues, double slope, double intercept, EOrder order = EOrder::kValues)
        : m_shift(signedValues && order == EOrder::kValues ? 32768.0 : 0.0),
          m_twosComplement(signedValues && order == EOrder::kBits),
          m_slope(slope),
          m_intercept(intercept) {}
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
    // The code of a value under EOrder::kBits.
    template <typename T>
    static uint16_t BitsOf(T value) {
        static_assert(std::is_integral_v<T> && sizeof(T) <= 2);
        return static_cast<uint16_t>(static_cast<int16_t>(value));
    }

    // The value a code stands for.
    double ValueOf(uint32_t code) const;

    // Fills the sample of every code that occurred (the rest map to 0) and
    // returns the range of the values that occurred.
    CValueRange MapCodes(const IntensityHistogram& codeCounts, SampleOfCode& samples) const;

private:
    double m_shift;
    bool m_twosComplement;
    double m_slope;
    double m_intercept;
};
