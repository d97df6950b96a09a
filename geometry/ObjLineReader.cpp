#include "ObjLineReader.h"

CObjLineReader::CObjLineReader(std::FILE* file) : m_file(file) {
    m_line[0] = '\0';
}

bool CObjLineReader::Refill() {
    m_position = 0;
    m_filled = std::fread(m_block, 1, kBlockSize, m_file);
    return m_filled > 0;
}

inline int CObjLineReader::Next() {
    if (m_position == m_filled && !Refill()) return kEnd;
    const char c = m_block[m_position++];
    if (c == '\r') {
        if (m_position == m_filled && !Refill()) return '\r';
        if (m_block[m_position] == '\n') {
            ++m_position;
            return '\n';
        }
    }
    return static_cast<unsigned char>(c);
}

bool CObjLineReader::ReadLine() {
    m_length = 0;
    ++m_lineNumber;
    bool complete = false;
    for (;;) {
        // Fast path: copy plain characters straight out of the block.
        while (m_position < m_filled && m_length < kMaxLength) {
            const char c = m_block[m_position];
            if (c == '\n' || c == '\r') break;
            m_line[m_length++] = c;
            ++m_position;
        }
        const int c = Next();
        if (c == kEnd) break;
        if (c == '\n') {
            complete = true;
            break;
        }
        if (m_length == kMaxLength) {
            // The character after a full line is dropped; it ends the line.
            complete = true;
            break;
        }
        m_line[m_length++] = static_cast<char>(c);
    }
    m_line[m_length] = '\0';
    return complete;
}
