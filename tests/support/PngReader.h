#pragma once

#include <png.h>

#include <cstdint>
#include <string>
#include <vector>

// What libpng reads back from a file, rows as stored (no transformations).
struct DecodedPng {
    bool ok = false;
    uint32_t width = 0;
    uint32_t height = 0;
    int colourType = -1;
    int bitDepth = 0;
    int paletteEntries = 0;
    std::vector<png_color> palette;
    std::vector<std::vector<uint8_t>> rows;
};

// Decodes a PNG file with libpng; `ok` is false when it cannot be read.
DecodedPng ReadPng(const std::string& path);
