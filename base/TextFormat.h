#pragma once

#include <string>

// printf-style formatting that always uses '.' as the decimal mark: titles
// and reports look the same whatever the user's locale.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

// `text` from a file or an argument, quoted for a one-line message: control
// characters and quotes escaped, and cut after `limit` bytes ("...").
std::string QuotedForMessage(const std::string& text, size_t limit = 60);
