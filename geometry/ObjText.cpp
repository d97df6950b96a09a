#include "ObjText.h"

#include <charconv>
#include <climits>
#include <cmath>
#include <cstring>
#include <limits>

namespace {

// A number that from_chars found but that lies beyond even a double's range:
// its exponent decides between zero and infinity, its sign is kept.
float OutOfRangeValue(const char* begin, const char* end) {
    const bool negative = *begin == '-';
    for (const char* p = begin; p < end; ++p)
        if (*p == 'e' || *p == 'E') {
            const bool tiny = p + 1 < end && p[1] == '-';
            const float magnitude = tiny ? 0.0f : std::numeric_limits<float>::infinity();
            return negative ? -magnitude : magnitude;
        }
    return negative ? -std::numeric_limits<float>::infinity() : std::numeric_limits<float>::infinity();
}

// Reads one number at `p` (no white space before it), not beyond `end`.
// Returns the position after it, or nullptr when there is none.
const char* ParseFloat(const char* p, const char* end, float& value) {
    const char* begin = p;
    // from_chars takes no plus sign; sscanf does, but only one sign.
    if (*begin == '+') {
        ++begin;
        if (*begin == '+' || *begin == '-') return nullptr;
    }
    auto [next, error] = std::from_chars(begin, end, value);
    if (error == std::errc::invalid_argument) return nullptr;
    if (error == std::errc::result_out_of_range) {
        // from_chars leaves the value alone here; sscanf gives the nearest
        // float, which a double reading followed by clamping reproduces.
        double wide = 0.0;
        auto [wideNext, wideError] = std::from_chars(begin, end, wide);
        if (wideError == std::errc::result_out_of_range) {
            value = OutOfRangeValue(begin, wideNext);
        } else if (std::fabs(wide) > std::numeric_limits<float>::max()) {
            const float infinity = std::numeric_limits<float>::infinity();
            value = wide < 0 ? -infinity : infinity;
        } else {
            value = static_cast<float>(wide);
        }
    }
    return next;
}

}  // namespace

int ScanFloats(const char* text, float* values, int count) {
    const char* p = text;
    const char* end = text + std::strlen(text);
    for (int i = 0; i < count; ++i) {
        while (IsSpace(*p)) ++p;
        p = ParseFloat(p, end, values[i]);
        if (!p) return i;
    }
    return count;
}

bool ScanWord(const char* text, char* word, size_t capacity) {
    const char* p = text;
    while (IsSpace(*p)) ++p;
    size_t length = 0;
    while (*p != '\0' && !IsSpace(*p) && length + 1 < capacity) word[length++] = *p++;
    if (capacity > 0) word[length] = '\0';
    return length > 0;
}

int LeadingInt(const char* text) {
    const char* p = text;
    while (IsSpace(*p)) ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+') ++p;
    long long value = 0;
    for (; *p >= '0' && *p <= '9'; ++p) {
        value = value * 10 + (*p - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
    }
    if (negative) value = -value;
    if (value > INT_MAX) value = INT_MAX;
    return static_cast<int>(value);
}
