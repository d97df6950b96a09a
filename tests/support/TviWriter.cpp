#include "TviWriter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "TestData.h"

namespace {

void PutInt32(std::vector<uint8_t>& out, int32_t value) {
    const auto bits = static_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void PutDouble(std::vector<uint8_t>& out, double value) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    for (int i = 0; i < 8; ++i) out.push_back(static_cast<uint8_t>(bits >> (8 * i)));
}

void PutText(std::vector<uint8_t>& out, const std::string& text, size_t size) {
    const size_t n = std::min(text.size(), size - 1);
    out.insert(out.end(), text.begin(), text.begin() + static_cast<std::ptrdiff_t>(n));
    out.resize(out.size() + size - n, 0);
}

}  // namespace

std::vector<uint8_t> TviFileBytes(const TviContents& c) {
    std::vector<uint8_t> out;
    out.reserve(1108 + 2 * c.samples.size());
    PutInt32(out, c.version);
    PutInt32(out, c.sizeX);
    PutInt32(out, c.sizeY);
    PutInt32(out, c.frames);  // the header gives T before Z
    PutInt32(out, c.sizeZ);
    PutText(out, c.text1, 64);
    PutText(out, c.text2, 512);
    if (c.version != 1) {
        PutDouble(out, c.pixelSizeX);
        PutDouble(out, c.pixelSizeY);
        PutDouble(out, c.pixelSizeZ);
        PutDouble(out, c.frameTime);
    }
    out.resize(1108, 0);
    for (uint16_t v : c.samples) {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    }
    return out;
}

bool WriteTviFile(const std::string& path, const TviContents& contents) {
    return WriteBytes(path, TviFileBytes(contents));
}

bool WriteLargeTviFile(const std::string& path, int x, int y, int z, int t) {
    TviContents header;
    header.sizeX = x;
    header.sizeY = y;
    header.sizeZ = z;
    header.frames = t;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) return false;
    const std::vector<uint8_t> headerBytes = TviFileBytes(header);
    bool written = std::fwrite(headerBytes.data(), 1, headerBytes.size(), file) == headerBytes.size();
    std::vector<uint8_t> image(static_cast<size_t>(x) * y * 2);
    uint32_t noise = 12345;
    for (int zi = 0; zi < z && written; ++zi)
        for (int ti = 0; ti < t && written; ++ti) {
            uint8_t* out = image.data();
            for (int yi = 0; yi < y; ++yi)
                for (int xi = 0; xi < x; ++xi) {
                    noise = noise * 1664525u + 1013904223u;
                    const int dx = xi - x / 2, dy = yi - y / 2;
                    const int ring = (dx * dx + dy * dy) / 64 % 400;
                    const bool outlier = (noise >> 28) == 0 && (noise & 0xff) == 0;
                    const auto v = static_cast<uint16_t>(outlier ? 60000 : ring + zi * 8 + ti * 4 + (noise >> 24));
                    *out++ = static_cast<uint8_t>(v);
                    *out++ = static_cast<uint8_t>(v >> 8);
                }
            written = std::fwrite(image.data(), 1, image.size(), file) == image.size();
        }
    return std::fclose(file) == 0 && written;
}
