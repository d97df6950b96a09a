#pragma once

#include <string>

// printf-style formatting that always uses '.' as the decimal mark: titles
// and reports look the same whatever the user's locale.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
