#include "MeshFileCheck.h"

#include <algorithm>
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
    } kTypes[] = {{"char", 1},   {"int8", 1},    {"uchar", 1},  {"uint8", 1},   {"short", 2},
                  {"int16", 2},  {"ushort", 2},  {"uint16", 2}, {"int", 4},     {"int32", 4},
                  {"uint", 4},   {"uint32", 4},  {"float", 4},  {"float32", 4}, {"double", 8},
                  {"float64", 8}};
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

}  // namespace

void CMeshFileCheck::CheckStl(const std::string& path) {
    const uint64_t size = FileSize(path);
    const std::string head = ReadBytes(path, 84);
    if (head.size() == 84) {
        uint32_t triangles = 0;
        for (int i = 3; i >= 0; --i) triangles = triangles << 8 | static_cast<uint8_t>(head[80 + static_cast<size_t>(i)]);
        if (84 + 50 * static_cast<uint64_t>(triangles) == size) return;
        const size_t text = head.find_first_not_of(" \t\r\n");
        if (text != std::string::npos && head.compare(text, 5, "solid") == 0) return;
        throw std::runtime_error("its header counts " + std::to_string(triangles) + " triangles (" +
                                 std::to_string(84 + 50 * static_cast<uint64_t>(triangles)) + " bytes), but it has " +
                                 std::to_string(size) + " bytes: it is cut short or not an STL file");
    }
    const size_t text = head.find_first_not_of(" \t\r\n");
    if (text == std::string::npos || head.compare(text, 5, "solid") != 0)
        throw std::runtime_error("it is too short for an STL file");
}

void CMeshFileCheck::CheckPly(const std::string& path) {
    const uint64_t size = FileSize(path);
    // Headers list their elements and properties in a few hundred bytes;
    // the comments naming objects add a line each.
    constexpr size_t kMaxHeader = 16 << 20;
    std::ifstream file(path, std::ios::binary);
    if (!file) throw std::runtime_error("it cannot be opened");
    std::string line;
    uint64_t headerBytes = 0;
    bool binary = false, ended = false, first = true;
    struct Element {
        std::string name;
        uint64_t count = 0, minimumBytes = 0;
    };
    std::vector<Element> elements;
    while (!ended && headerBytes < kMaxHeader && std::getline(file, line)) {
        headerBytes += line.size() + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
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
        } else if (keyword == "element") {
            Element element;
            std::string count;
            words >> element.name >> count;
            const int64_t value = DigitsAt(count, 0);
            if (value < 0 || std::to_string(value) != count)
                throw std::runtime_error("element '" + element.name + "' has no valid count");
            element.count = static_cast<uint64_t>(value);
            elements.push_back(element);
        } else if (keyword == "property") {
            if (elements.empty()) throw std::runtime_error("a property comes before any element");
            std::string type;
            words >> type;
            if (type == "list") words >> type;  // the type of the list's count
            const uint64_t typeSize = PlyTypeSize(type);
            if (typeSize == 0) throw std::runtime_error("property type '" + type + "' is not a PLY type");
            // A text file spends at least a digit and a separator on a value.
            elements.back().minimumBytes += binary ? typeSize : 2;
        } else if (keyword == "end_header") {
            ended = true;
        }
    }
    if (!ended) throw std::runtime_error("its header has no end");
    const uint64_t body = size - std::min(size, headerBytes);
    uint64_t needed = 0;
    for (const Element& element : elements) {
        if (element.count == 0) continue;
        if (element.minimumBytes == 0)
            throw std::runtime_error("element '" + element.name + "' has no properties");
        if (element.count > (body - std::min(body, needed)) / element.minimumBytes)
            throw std::runtime_error("it announces " + std::to_string(element.count) + " " + element.name +
                                     " elements, more than its " + std::to_string(body) +
                                     " bytes of data can hold: it is cut short");
        needed += element.count * element.minimumBytes;
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
        throw std::runtime_error("it announces more data than its " + std::to_string(size) + " bytes can hold");
}
