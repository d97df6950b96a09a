#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

// Splits an .obj file into lines, reading it in blocks.
//
// A line is the characters up to a line feed or the end of the file; a
// carriage return right before a line feed is not part of it, so files with
// Windows line ends read like Unix ones. A line holds at most kMaxLength
// characters: when that many are stored and the next character is neither a
// line feed nor the end of the file, that character is dropped and the next
// line starts after it.
class CObjLineReader {
public:
    static constexpr size_t kMaxLength = 1023;

    explicit CObjLineReader(std::FILE* file);
    CObjLineReader(const CObjLineReader&) = delete;
    CObjLineReader& operator=(const CObjLineReader&) = delete;

    // Reads the next line. Returns true when it was ended by a line feed (or
    // cut at kMaxLength), false when the end of the file ended it: such a last
    // line without a line feed is incomplete and left to the caller to ignore.
    bool ReadLine();

    // The line just read, NUL-terminated, and its character count (it may
    // itself hold NUL characters).
    const char* Line() const { return m_line; }
    size_t Length() const { return m_length; }
    // The 1-based number of the line just read, counting the pieces of cut
    // lines as lines.
    int64_t LineNumber() const { return m_lineNumber; }

    // True when reading the file failed (as against reaching its end).
    bool Failed() const { return std::ferror(m_file) != 0; }

private:
    static constexpr size_t kBlockSize = 64 * 1024;
    static constexpr int kEnd = -1;

    // Refills the block; false at the end of the file or on a read error.
    bool Refill();
    // The next character with CR LF read as LF, or kEnd.
    int Next();

    std::FILE* m_file;
    size_t m_position = 0;
    size_t m_filled = 0;
    size_t m_length = 0;
    int64_t m_lineNumber = 0;
    char m_block[kBlockSize];
    char m_line[kMaxLength + 1];
};
