#pragma once

#include <cstddef>

// Readers of the pieces of an .obj line. They read the way the C library's
// sscanf and atoi read in the "C" locale, whatever locale the process runs in:
// a viewer started in a locale with a decimal comma must still read "1.5" as
// one and a half.

// Reads up to `count` numbers from the NUL-terminated `text` as
// sscanf(text, "%f %f %f") does: white space before each number is skipped,
// a number has an optional sign, digits with an optional point, an optional
// exponent, or is inf/nan; reading stops at the first text that is not a
// number ("1/2/3" gives one number). Values beyond the float range become
// infinities, values below it zero. Returns how many numbers were read.
int ScanFloats(const char* text, float* values, int count);

// Copies the first word of the NUL-terminated `text` (white space skipped,
// then everything up to the next white space) into `word`, NUL-terminated and
// cut to capacity - 1 characters. Returns false, with `word` empty, when the
// text holds only white space.
bool ScanWord(const char* text, char* word, size_t capacity);

// The integer at the start of `text` as atoi reads it: white space skipped,
// an optional sign, digits up to the first non-digit, 0 when there are none.
// Values beyond the int range are clamped to it.
int LeadingInt(const char* text);

// White space as the "C" locale's isspace sees it.
inline bool IsSpace(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}
