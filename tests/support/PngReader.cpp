#include "PngReader.h"

#include <csetjmp>
#include <cstdio>

DecodedPng ReadPng(const std::string& path) {
    DecodedPng result;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return result;
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        std::fclose(file);
        result.ok = false;
        return result;
    }
    png_init_io(png, file);
    png_read_info(png, info);
    result.width = png_get_image_width(png, info);
    result.height = png_get_image_height(png, info);
    result.colourType = png_get_color_type(png, info);
    result.bitDepth = png_get_bit_depth(png, info);
    png_colorp palette = nullptr;
    if (png_get_PLTE(png, info, &palette, &result.paletteEntries) != 0) {
        result.palette.assign(palette, palette + result.paletteEntries);
    }
    result.rows.assign(result.height, std::vector<uint8_t>(png_get_rowbytes(png, info)));
    for (auto& row : result.rows) png_read_row(png, row.data(), nullptr);
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    result.ok = true;
    return result;
}

