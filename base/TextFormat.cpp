#include "TextFormat.h"

#include <locale.h>

#include <cstdarg>
#include <cstdio>
#include <vector>

std::string FormatText(const char* format, ...) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    const locale_t previous = uselocale(cLocale);
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string text;
    if (length > 0) {
        std::vector<char> buffer(static_cast<size_t>(length) + 1);
        std::vsnprintf(buffer.data(), buffer.size(), format, again);
        text.assign(buffer.data(), static_cast<size_t>(length));
    }
    va_end(again);
    uselocale(previous);
    return text;
}

std::string QuotedForMessage(const std::string& text, size_t limit) {
    std::string quoted = "\"";
    for (size_t i = 0; i < text.size() && i < limit; ++i) {
        const auto c = static_cast<unsigned char>(text[i]);
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += static_cast<char>(c);
        } else if (c < 0x20 || c == 0x7f) {
            quoted += FormatText("\\x%02x", c);
        } else {
            quoted += static_cast<char>(c);
        }
    }
    if (text.size() > limit) quoted += "...";
    return quoted + "\"";
}
