#include "FuzzInput.h"

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "TempFolder.h"

void WriteInputFile(const std::string& path, const uint8_t* data, size_t size) {
    // A new file rather than the old one cut to nothing: ext4 writes a file
    // that was truncated and rewritten out to disk when it is closed, which
    // would make every input wait for the disk.
    std::remove(path.c_str());
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file != nullptr && (size == 0 || std::fwrite(data, 1, size, file) == size);
    if (file != nullptr && std::fclose(file) != 0) FuzzCheck(false, "closing the input file");
    FuzzCheck(written, "writing the input file");
}

std::string ScratchPath(const std::string& name) {
    static TempFolder folder;
    return folder.File(name);
}

std::string WriteScratchFile(const std::string& name, const uint8_t* data, size_t size) {
    std::string path = ScratchPath(name);
    WriteInputFile(path, data, size);
    return path;
}

std::vector<std::string> SplitInput(const uint8_t* data, size_t size, const std::string& separator,
                                    size_t maxPieces) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    std::vector<std::string> pieces;
    size_t start = 0;
    while (pieces.size() + 1 < maxPieces) {
        const size_t end = input.find(separator, start);
        if (end == std::string_view::npos) break;
        pieces.emplace_back(input.substr(start, end - start));
        start = end + separator.size();
    }
    pieces.emplace_back(input.substr(start));
    return pieces;
}

namespace {
volatile uint64_t g_sink = 0;
}

void Consume(const uint8_t* bytes, size_t count) {
    uint64_t sum = 0;
    for (size_t i = 0; i < count; ++i) sum += bytes[i];
    g_sink = g_sink + sum;
}

void Consume(double value) {
    uint64_t bits = 0;
    static_assert(sizeof bits == sizeof value);
    __builtin_memcpy(&bits, &value, sizeof bits);
    g_sink = g_sink ^ bits;
}

void FuzzCheck(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}
