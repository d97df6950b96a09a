#include "PngExport.h"

#include <fcntl.h>
#include <png.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "PathUtils.h"

namespace {

// Encodes the picture into an open file. libpng reports errors by jumping back
// to the setjmp below, so this function holds no object with a destructor.
bool EncodePng(std::FILE* file, const RawPicture& picture, png_color* palette) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (png == nullptr) return false;
    png_set_bgr(png);
    png_infop info = png_create_info_struct(png);
    if (info == nullptr) {
        png_destroy_write_struct(&png, nullptr);
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_init_io(png, file);
    const int bits = picture.m_bitsPerPixel;
    const int colourType = bits == 8 ? PNG_COLOR_TYPE_PALETTE
                           : bits == 24 ? PNG_COLOR_TYPE_RGB
                                        : PNG_COLOR_TYPE_RGB_ALPHA;
    png_set_IHDR(png, info, picture.m_width, picture.m_height, 8, colourType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (picture.m_paletteCount > 0) png_set_PLTE(png, info, palette, 256);
    png_write_info(png, info);
    for (uint32_t y = 0; y < picture.m_height; ++y) png_write_row(png, RPgetPixel(picture, 0, y));
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool RPwritePNG(const RawPicture& picture, const std::string& path) {
    // Only 8, 24 and 32 bits per pixel have a PNG colour type; anything else
    // would give a file that does not show the picture.
    const int bits = picture.m_bitsPerPixel;
    if (bits != 8 && bits != 24 && bits != 32) return false;
    if (picture.m_pixels == nullptr && picture.m_height > 0 && picture.m_width > 0) return false;

    // The table the file gets always has 256 entries; missing ones stay black.
    std::array<png_color, 256> palette{};
    if (picture.m_palette != nullptr) {
        const uint32_t count = std::min<uint32_t>(picture.m_paletteCount, 256);
        for (uint32_t i = 0; i < count; ++i) {
            palette[i] = {picture.m_palette[3 * i], picture.m_palette[3 * i + 1], picture.m_palette[3 * i + 2]};
        }
    }

    std::string temporaryPath;
    const int fd = CreateTemporaryBeside(path, temporaryPath);
    if (fd < 0) return false;
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        close(fd);
        unlink(temporaryPath.c_str());
        return false;
    }
    bool written = EncodePng(file, picture, palette.data());
    written = std::fflush(file) == 0 && written;
    written = std::fclose(file) == 0 && written;
    if (written && std::rename(temporaryPath.c_str(), path.c_str()) == 0) return true;
    unlink(temporaryPath.c_str());
    return false;
}

RawPicture RPresample(const RawPicture& picture, double scaleX, double scaleY) {
    RawPicture result = RPcopyAttributes(picture);
    const double newWidth = std::trunc(picture.m_width * scaleX + 0.5);
    const double newHeight = std::trunc(picture.m_height * scaleY + 0.5);
    const double largest = std::numeric_limits<uint32_t>::max();
    // The comparisons are written so that NaN factors fail them too.
    const bool usable = scaleX > 0 && scaleY > 0 && newWidth <= largest && newHeight <= largest &&
                        (picture.m_pixels != nullptr || picture.m_width == 0 || picture.m_height == 0);
    if (!usable) {
        RPfree(result);
        result.m_status = kRawPictureNoMemory;
        return result;
    }
    const uint32_t width = static_cast<uint32_t>(newWidth);
    const uint32_t height = static_cast<uint32_t>(newHeight);
    RPsetSize(result, height, width);
    if (result.m_pixels == nullptr) return result;

    // With a single target row or column the step has no divisor; that row or
    // column takes the source's first.
    const double rowStep = height > 1 ? (picture.m_height - 1.0) / (height - 1.0) : 0.0;
    const double columnStep = width > 1 ? (picture.m_width - 1.0) / (width - 1.0) : 0.0;
    const size_t pixelBytes = picture.m_bitsPerPixel / 8;
    const size_t sourceRowBytes = RProwBytes(picture);
    uint8_t* target = result.m_pixels;
    for (uint32_t i = 0; i < height; ++i) {
        const uint32_t row = std::min(static_cast<uint32_t>(i * rowStep + 0.5), picture.m_height - 1);
        const uint8_t* sourceRow = picture.m_pixels + row * sourceRowBytes;
        for (uint32_t j = 0; j < width; ++j) {
            const uint32_t column = std::min(static_cast<uint32_t>(j * columnStep + 0.5), picture.m_width - 1);
            std::memcpy(target, sourceRow + column * pixelBytes, pixelBytes);
            target += pixelBytes;
        }
    }
    return result;
}
