#include "MultipartReader.h"

#include <algorithm>
#include <cctype>

namespace {

// Padding after a boundary, before its line end, is allowed; this much of it
// is a broken stream.
constexpr size_t kMaxPadding = 1024;
constexpr size_t kMaxBoundary = 70;

std::string Lower(std::string_view text) {
    std::string out(text);
    std::transform(out.begin(), out.end(), out.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return out;
}

std::string_view Trim(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    const size_t last = text.find_last_not_of(" \t");
    return text.substr(first, last - first + 1);
}

// Reads the parameter value at `text[pos]` (a token or a quoted string) and
// moves `pos` past it; false when a quoted string is not closed.
bool ParameterValue(std::string_view text, size_t& pos, std::string& value) {
    value.clear();
    if (pos < text.size() && text[pos] == '"') {
        for (++pos; pos < text.size(); ++pos) {
            if (text[pos] == '"') {
                ++pos;
                return true;
            }
            if (text[pos] == '\\' && pos + 1 < text.size()) ++pos;
            value += text[pos];
        }
        return false;
    }
    const size_t end = std::min(text.find(';', pos), text.size());
    value = std::string(Trim(text.substr(pos, end - pos)));
    pos = end;
    return true;
}

}  // namespace

bool CMultipartReader::BoundaryOf(const std::string& contentType, std::string& boundary, std::string& error) {
    boundary.clear();
    const std::string_view text(contentType);
    const size_t typeEnd = std::min(text.find(';'), text.size());
    const std::string type = Lower(Trim(text.substr(0, typeEnd)));
    if (type.empty()) {
        error = "the answer has no Content-Type";
        return false;
    }
    if (type.rfind("multipart/", 0) != 0) {
        error = std::string("the answer is ") + Shown(type) + ", not multipart";
        return false;
    }
    bool found = false;
    std::string named;  // given to `boundary` only once it passes
    size_t pos = typeEnd;
    while (pos < text.size()) {
        pos = text.find_first_not_of("; \t", pos);
        if (pos == std::string_view::npos) break;
        const size_t nameEnd = std::min(text.find_first_of("=;", pos), text.size());
        const std::string name = Lower(Trim(text.substr(pos, nameEnd - pos)));
        pos = nameEnd;
        std::string value;
        if (pos < text.size() && text[pos] == '=') {
            ++pos;
            while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
            if (!ParameterValue(text, pos, value)) {
                error = std::string("the Content-Type's ") + Shown(name) + " parameter has no closing quote";
                return false;
            }
        }
        if (name == "boundary" && !found) {
            found = true;
            named = value;
        }
    }
    if (!found || named.empty()) {
        error = "the multipart answer names no boundary";
        return false;
    }
    if (named.size() > kMaxBoundary) {
        error = "the multipart boundary is longer than 70 characters";
        return false;
    }
    const bool printable =
        std::all_of(named.begin(), named.end(), [](unsigned char c) { return c >= 0x20 && c < 0x7f; });
    if (!printable || named.back() == ' ') {
        error = "the multipart boundary holds a character a boundary may not";
        return false;
    }
    boundary = named;
    return true;
}

std::string CMultipartReader::Shown(std::string_view text) {
    constexpr size_t kMaxShown = 60;
    std::string shown(text.substr(0, kMaxShown));
    for (char& c : shown)
        if (static_cast<unsigned char>(c) < 0x20 || static_cast<unsigned char>(c) >= 0x7f) c = '?';
    if (text.size() > kMaxShown) shown += "...";
    return shown;
}

CMultipartReader::CMultipartReader(std::string boundary, CMultipartSink& sink)
    : m_delimiter(std::string("\r\n--") + boundary), m_sink(sink), m_pending("\r\n") {
    // The line end before a delimiter belongs to the delimiter; the one that
    // opens the body is implied, so the stream may begin with the boundary.
}

bool CMultipartReader::Fail(std::string error) {
    m_state = EState::kFailed;
    m_error = std::move(error);
    m_pending.clear();
    m_pending.shrink_to_fit();
    return false;
}

bool CMultipartReader::Feed(std::string_view bytes) {
    if (m_state == EState::kFailed) return false;
    if (m_state == EState::kEpilogue) return true;
    m_pending.append(bytes);
    while (Step()) {
    }
    return m_state != EState::kFailed;
}

bool CMultipartReader::Step() {
    const size_t keep = m_delimiter.size() - 1;  // what may be a delimiter's start
    switch (m_state) {
        case EState::kPreamble: {
            const size_t pos = m_pending.find(m_delimiter);
            if (pos == std::string::npos) {
                if (m_pending.size() > keep) m_pending.erase(0, m_pending.size() - keep);
                return false;
            }
            m_pending.erase(0, pos + m_delimiter.size());
            m_state = EState::kDelimiterEnd;
            return true;
        }
        case EState::kDelimiterEnd: {
            if (m_pending.size() < 2) return false;
            if (m_pending.compare(0, 2, "--") == 0) {
                m_state = EState::kEpilogue;
                m_pending.clear();
                return false;
            }
            // The same limits whatever pieces the stream came in.
            const size_t end = m_pending.find_first_not_of(" \t");
            if ((end == std::string::npos ? m_pending.size() : end) > kMaxPadding)
                return Fail("a boundary line runs on without a line end");
            if (end == std::string::npos || end + 1 >= m_pending.size()) return false;
            if (m_pending[end] != '\r' || m_pending[end + 1] != '\n')
                return Fail(std::string("a boundary line goes on after the boundary (part ") +
                            std::to_string(m_parts + 1) + ")");
            m_pending.erase(0, end + 2);
            ++m_parts;
            m_state = EState::kHeaders;
            return true;
        }
        case EState::kHeaders: {
            size_t blockEnd = 0, skip = 2;
            if (m_pending.size() < 2) return false;
            if (m_pending.compare(0, 2, "\r\n") != 0) {
                blockEnd = m_pending.find("\r\n\r\n");
                skip = 4;
                // Without its end in the first 64 KiB + 3 bytes, the block
                // cannot end within 64 KiB.
                if (blockEnd == std::string::npos ? m_pending.size() > kMaxHeaderBytes + 3
                                                  : blockEnd > kMaxHeaderBytes)
                    return Fail(std::string("part ") + std::to_string(m_parts) +
                                "'s headers are over 64 KiB");
                if (blockEnd == std::string::npos) return false;
            }
            if (!ParseHeaders(std::string_view(m_pending).substr(0, blockEnd))) return false;
            m_pending.erase(0, blockEnd + skip);
            m_bodyBytes = 0;
            m_state = EState::kBody;
            return true;
        }
        case EState::kBody: {
            const size_t pos = m_pending.find(m_delimiter);
            const size_t data =
                pos == std::string::npos ? (m_pending.size() > keep ? m_pending.size() - keep : 0) : pos;
            if (data > 0) {
                std::string error = m_sink.PartData(std::string_view(m_pending).substr(0, data));
                if (!error.empty()) return Fail(std::move(error));
                m_bodyBytes += static_cast<int64_t>(data);
            }
            if (pos == std::string::npos) {
                m_pending.erase(0, data);
                return false;
            }
            m_pending.erase(0, pos + m_delimiter.size());
            std::string error = m_sink.EndPart();
            if (!error.empty()) return Fail(std::move(error));
            m_state = EState::kDelimiterEnd;
            return true;
        }
        case EState::kEpilogue:
        case EState::kFailed:
            return false;
    }
    return false;
}

bool CMultipartReader::ParseHeaders(std::string_view block) {
    CMultipartHeaders headers;
    size_t pos = 0;
    while (pos < block.size()) {
        const size_t end = std::min(block.find("\r\n", pos), block.size());
        const std::string_view line = block.substr(pos, end - pos);
        pos = end + 2;
        if (line.empty()) continue;
        if (line.front() == ' ' || line.front() == '\t') {
            // A folded line continues the header before it.
            if (headers.empty())
                return Fail(std::string("part ") + std::to_string(m_parts) +
                            " opens with a folded header line");
            headers.back().second += ' ';
            headers.back().second += Trim(line);
            continue;
        }
        const size_t colon = line.find(':');
        if (colon == std::string_view::npos || Trim(line.substr(0, colon)).empty())
            return Fail(std::string("part ") + std::to_string(m_parts) + " has a header line without a name");
        headers.emplace_back(Lower(Trim(line.substr(0, colon))), std::string(Trim(line.substr(colon + 1))));
    }
    std::string error = m_sink.BeginPart(headers);
    if (!error.empty()) return Fail(std::move(error));
    return true;
}

bool CMultipartReader::Finish() {
    switch (m_state) {
        case EState::kEpilogue:
            return true;
        case EState::kFailed:
            return false;
        case EState::kPreamble:
            return Fail("the answer does not open with its multipart boundary");
        case EState::kDelimiterEnd:
            return Fail(std::string("the answer ends after part ") + std::to_string(m_parts) +
                        " without its closing boundary");
        case EState::kHeaders:
            return Fail(std::string("part ") + std::to_string(m_parts) + " is cut short in its headers");
        case EState::kBody:
            return Fail(std::string("part ") + std::to_string(m_parts) + " is cut short after " +
                        std::to_string(m_bodyBytes + static_cast<int64_t>(m_pending.size())) +
                        " bytes: the answer ends before its closing boundary");
    }
    return false;
}
