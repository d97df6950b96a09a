#pragma once

#include <cmath>
#include <limits>

// Truncation toward zero that stays defined for any double: values a file
// may carry (NaN, 1e300) give 0 or the nearest int instead of undefined behaviour.
inline int TruncToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (value <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}
