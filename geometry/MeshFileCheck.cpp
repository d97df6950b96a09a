#include "MeshFileCheck.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <system_error>
#include <vector>

namespace {

uint64_t FileSize(const std::string& path) {
    std::error_code error;
    const uintmax_t size = std::filesystem::file_size(path, error);
    if (error) throw std::runtime_error("it cannot be opened: " + error.message());
    return size;
}

std::string ReadBytes(const std::string& path, size_t limit) {
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("it cannot be opened");
    std::string bytes(limit, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(limit));
    bytes.resize(static_cast<size_t>(file.gcount()));
    return bytes;
}

// The bytes one value of a PLY property type takes in a binary file; 0 for
// names that are no type.
uint64_t PlyTypeSize(const std::string& type) {
    static const struct {
        const char* name;
        uint64_t size;
    } kTypes[] = {{"char", 1},   {"int8", 1},    {"uchar", 1},  {"uint8", 1},  {"short", 2}, {"int16", 2},
                  {"ushort", 2}, {"uint16", 2},  {"int", 4},    {"int32", 4},  {"uint", 4},  {"uint32", 4},
                  {"float", 4},  {"float32", 4}, {"double", 8}, {"float64", 8}};
    for (const auto& t : kTypes)
        if (type == t.name) return t.size;
    return 0;
}

// The number in `text` from `at` on (digits only), or -1 when there is none
// or it does not fit.
int64_t DigitsAt(const std::string& text, size_t at) {
    int64_t value = 0;
    size_t digits = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits) {
        if (value > (INT64_MAX - 9) / 10) return -1;
        value = value * 10 + (text[at] - '0');
    }
    return digits == 0 ? -1 : value;
}

// True when the file holds printable ASCII, tabs and line ends only: a text
// STL file. The reader takes any other byte (a form feed too) as the sign of
// a binary file and then trusts the triangle count of its header.
bool IsText(const std::string& path, uint64_t size) {
    const std::string bytes = ReadBytes(path, static_cast<size_t>(size));
    for (char c : bytes) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u >= 0x7f || (u < 0x20 && u != '\t' && u != '\n' && u != '\r')) return false;
    }
    return true;
}

}  // namespace

void CMeshFileCheck::CheckStl(const std::string& path) {
    const uint64_t size = FileSize(path);
    const std::string head = ReadBytes(path, 84);
    if (head.size() == 84) {
        uint32_t triangles = 0;
        for (int i = 3; i >= 0; --i)
            triangles = triangles << 8 | static_cast<uint8_t>(head[80 + static_cast<size_t>(i)]);
        if (84 + 50 * static_cast<uint64_t>(triangles) == size) return;
        const size_t text = head.find_first_not_of(" \t\r\n");
        if (text != std::string::npos && head.compare(text, 5, "solid") == 0 && IsText(path, size)) return;
        throw std::runtime_error("its header counts " + std::to_string(triangles) + " triangles (" +
                                 std::to_string(84 + 50 * static_cast<uint64_t>(triangles)) +
                                 " bytes), but it has " + std::to_string(size) +
                                 " bytes: it is cut short or not an STL file");
    }
    const size_t text = head.find_first_not_of(" \t\r\n");
    if (text == std::string::npos || head.compare(text, 5, "solid") != 0 || !IsText(path, size))
        throw std::runtime_error("it is too short for an STL file");
}

namespace {

// True for a line of printable characters, spaces and tabs (a carriage
// return may end it); the reader splits lines into words as C strings.
bool IsTextLine(const std::string& line) {
    for (size_t i = 0; i < line.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(line[i]);
        if (c < 0x20 && c != '\t' && !(c == '\r' && i + 1 == line.size())) return false;
    }
    return true;
}

struct PlyProperty {
    std::string name, type;
    std::string countType;  // for lists: the type of the item count; empty for single values
};
struct PlyElement {
    std::string name;
    uint64_t count = 0, minimumBytes = 0;
    std::vector<PlyProperty> properties;
};

// Reads the values of a PLY body one by one, in text or binary form.
class CPlyValues {
public:
    CPlyValues(std::string body, bool binary, bool bigEndian)
        : m_body(std::move(body)), m_binary(binary), m_bigEndian(bigEndian) {}

    // The next value, of PLY type `type`; throws when the body ends first.
    double Next(const std::string& type) {
        if (!m_binary) return NextText();
        const uint64_t width = PlyTypeSize(type);
        if (m_at + width > m_body.size()) throw std::runtime_error("it is cut short");
        uint8_t bytes[8] = {};
        for (uint64_t i = 0; i < width; ++i)
            bytes[m_bigEndian ? width - 1 - i : i] = static_cast<uint8_t>(m_body[m_at + i]);
        m_at += width;
        uint64_t raw = 0;
        for (int i = 7; i >= 0; --i) raw = raw << 8 | bytes[i];
        const bool isSigned = type == "char" || type == "int8" || type == "short" || type == "int16" ||
                              type == "int" || type == "int32";
        if (type == "float" || type == "float32") {
            float value;
            const uint32_t bits = static_cast<uint32_t>(raw);
            std::memcpy(&value, &bits, sizeof value);
            return value;
        }
        if (type == "double" || type == "float64") {
            double value;
            std::memcpy(&value, &raw, sizeof value);
            return value;
        }
        if (isSigned && width < 8 && (raw >> (width * 8 - 1)) != 0)
            return static_cast<double>(raw) - std::ldexp(1.0, static_cast<int>(width * 8));
        return static_cast<double>(raw);
    }

    // Text files hold each element on a line of its own, which the reader
    // reads as one: a line must not run out of values before its element
    // does, and must fit the reader's line buffer.
    void StartElement() {
        if (m_binary) return;
        if (m_at >= m_body.size()) throw std::runtime_error("it is cut short");
        const size_t end = std::min(m_body.find('\n', m_at), m_body.size());
        if (end - m_at > 4000) throw std::runtime_error("a line of its data is too long");
        m_line = m_body.substr(m_at, end - m_at);
        if (!IsTextLine(m_line)) throw std::runtime_error("a line of its data holds bytes that are not text");
        m_lineAt = 0;
        m_at = end + 1;
    }

private:
    double NextText() {
        const size_t start = m_line.find_first_not_of(" \t\r", m_lineAt);
        if (start == std::string::npos) throw std::runtime_error("a line of its data has too few values");
        const size_t end = std::min(m_line.find_first_of(" \t\r", start), m_line.size());
        const std::string word = m_line.substr(start, end - start);
        m_lineAt = end;
        char* rest = nullptr;
        const double value = std::strtod(word.c_str(), &rest);
        if (rest == word.c_str() || *rest != '\0') throw std::runtime_error("'" + word + "' is not a number");
        return value;
    }

    std::string m_body;
    bool m_binary, m_bigEndian;
    size_t m_at = 0;
    std::string m_line;
    size_t m_lineAt = 0;
};

}  // namespace

void CMeshFileCheck::CheckPly(const std::string& path) {
    const uint64_t size = FileSize(path);
    // Headers list their elements and properties in a few hundred bytes;
    // the comments naming objects add a line each.
    constexpr size_t kMaxHeader = 16 << 20;
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("it cannot be opened");
    std::string line;
    uint64_t headerBytes = 0;
    bool binary = false, bigEndian = false, ended = false, first = true;
    std::vector<PlyElement> elements;
    while (!ended && headerBytes < kMaxHeader && std::getline(file, line)) {
        headerBytes += line.size() + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        // The reader reads lines as C strings: a zero byte would end one early.
        if (line.find('\0') != std::string::npos) throw std::runtime_error("its header holds a zero byte");
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        if (first) {
            if (keyword != "ply") throw std::runtime_error("it is not a PLY file");
            first = false;
        } else if (keyword == "format") {
            std::string kind;
            words >> kind;
            if (kind != "ascii" && kind != "binary_little_endian" && kind != "binary_big_endian")
                throw std::runtime_error("its format '" + kind + "' is not a PLY format");
            binary = kind != "ascii";
            bigEndian = kind == "binary_big_endian";
        } else if (keyword == "element") {
            PlyElement element;
            std::string count;
            words >> element.name >> count;
            const int64_t value = DigitsAt(count, 0);
            if (value < 0 || std::to_string(value) != count)
                throw std::runtime_error("element '" + element.name + "' has no valid count");
            element.count = static_cast<uint64_t>(value);
            elements.push_back(element);
        } else if (keyword == "property") {
            if (elements.empty()) throw std::runtime_error("a property comes before any element");
            PlyProperty property;
            words >> property.type;
            if (property.type == "list") {
                words >> property.countType >> property.type;
                if (PlyTypeSize(property.countType) == 0)
                    throw std::runtime_error("list count type '" + property.countType +
                                             "' is not a PLY type");
            }
            words >> property.name;
            const uint64_t typeSize = PlyTypeSize(property.type);
            if (typeSize == 0)
                throw std::runtime_error("property type '" + property.type + "' is not a PLY type");
            // A text file spends at least a digit and a separator on a value;
            // a list at least its count.
            elements.back().minimumBytes +=
                binary ? PlyTypeSize(property.countType.empty() ? property.type : property.countType) : 2;
            elements.back().properties.push_back(property);
        } else if (keyword == "end_header") {
            ended = true;
        } else if (keyword != "comment" && keyword != "obj_info" && !keyword.empty()) {
            // The reader has no answer to what it does not know.
            throw std::runtime_error("its header has a line '" + line.substr(0, 40) + "' of no PLY kind");
        }
    }
    if (!ended) throw std::runtime_error("its header has no end");
    // The reader needs the coordinates of each vertex, and the vertex
    // numbers of each face, as single values and a list.
    const auto has = [&](const char* elementName, std::initializer_list<const char*> names, bool list) {
        for (const PlyElement& element : elements) {
            if (element.name != elementName) continue;
            for (const char* name : names) {
                bool found = false;
                for (const PlyProperty& property : element.properties)
                    found = found || (property.name == name && property.countType.empty() != list);
                if (!found) return false;
            }
            return true;
        }
        return false;
    };
    if (!has("vertex", {"x", "y", "z"}, false))
        throw std::runtime_error("it has no vertices with x, y and z");
    bool anyFaces = false;
    for (const PlyElement& element : elements) anyFaces = anyFaces || element.name == "face";
    if (anyFaces && !has("face", {"vertex_indices"}, true) && !has("face", {"vertex_index"}, true))
        throw std::runtime_error("its faces have no list of vertex numbers");
    const uint64_t body = size - std::min(size, headerBytes);
    uint64_t needed = 0, vertices = 0;
    for (const PlyElement& element : elements) {
        if (element.name == "vertex") vertices = element.count;
        if (element.count == 0) continue;
        if (element.minimumBytes == 0)
            throw std::runtime_error("element '" + element.name + "' has no properties");
        if (element.count > (body - std::min(body, needed)) / element.minimumBytes)
            throw std::runtime_error("it announces " + std::to_string(element.count) + " " + element.name +
                                     " elements, more than its " + std::to_string(body) +
                                     " bytes of data can hold: it is cut short");
        needed += element.count * element.minimumBytes;
    }

    // The reader takes the vertex numbers of faces as they are: each must
    // name a vertex the file has.
    std::string bytes(static_cast<size_t>(body), '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<size_t>(file.gcount()));
    CPlyValues values(std::move(bytes), binary, bigEndian);
    for (const PlyElement& element : elements) {
        const bool faces = element.name == "face";
        for (uint64_t i = 0; i < element.count; ++i) {
            values.StartElement();
            for (const PlyProperty& property : element.properties) {
                if (property.countType.empty()) {
                    values.Next(property.type);
                    continue;
                }
                const double count = values.Next(property.countType);
                if (!(count >= 0 && count <= static_cast<double>(body)))
                    throw std::runtime_error("a list of " + element.name + " " + std::to_string(i) +
                                             " has no valid length");
                const bool indices =
                    faces && (property.name == "vertex_indices" || property.name == "vertex_index");
                for (uint64_t item = 0; item < static_cast<uint64_t>(count); ++item) {
                    const double index = values.Next(property.type);
                    if (indices &&
                        !(index >= 0 && index < static_cast<double>(vertices) && index == std::floor(index)))
                        throw std::runtime_error("face " + std::to_string(i) + " names vertex " +
                                                 std::to_string(index) + " of " + std::to_string(vertices));
                }
            }
        }
    }
}

void CMeshFileCheck::CheckVtp(const std::string& path) {
    const uint64_t size = FileSize(path);
    // Data compressed with zlib take at least one byte in a thousand; a
    // value takes at least one byte uncompressed. A claim beyond that
    // cannot be honest, whatever the encoding.
    const uint64_t limit = size * 1100 + 4096;
    const std::string text = ReadBytes(path, static_cast<size_t>(size));
    uint64_t largestCount = 0, largestComponents = 1;
    for (size_t at = text.find("NumberOf"); at != std::string::npos; at = text.find("NumberOf", at + 1)) {
        const size_t quote = text.find("=\"", at);
        if (quote == std::string::npos || quote > at + 40) continue;
        const int64_t value = DigitsAt(text, quote + 2);
        if (value < 0) continue;
        if (text.compare(at, 18, "NumberOfComponents") == 0)
            largestComponents = std::max<uint64_t>(largestComponents, static_cast<uint64_t>(value));
        else
            largestCount = std::max<uint64_t>(largestCount, static_cast<uint64_t>(value));
    }
    if (largestComponents > limit || largestCount > limit / largestComponents)
        throw std::runtime_error("it announces more data than its " + std::to_string(size) +
                                 " bytes can hold");
}
