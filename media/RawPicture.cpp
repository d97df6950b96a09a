#include "RawPicture.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace {

// Sets the size and allocates the pixels; status kRawPictureNoMemory when that
// fails or when the size does not fit the record's 32-bit pixel count.
void AllocatePixels(RawPicture& picture, uint32_t height, uint32_t width) {
    picture.m_height = height;
    picture.m_width = width;
    picture.m_pixelCount = 0;
    picture.m_pixels = nullptr;
    const uint64_t count = static_cast<uint64_t>(height) * width;
    if (count > std::numeric_limits<uint32_t>::max()) {
        picture.m_status = kRawPictureNoMemory;
        return;
    }
    const uint64_t bytes = (count * picture.m_bitsPerPixel + 7) / 8;
    if (bytes > 0) {
        picture.m_pixels = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(bytes)));
        if (picture.m_pixels == nullptr) {
            picture.m_status = kRawPictureNoMemory;
            return;
        }
    }
    picture.m_pixelCount = static_cast<uint32_t>(count);
}

bool SupportedBitDepth(const RawPicture& picture, const char* format) {
    if (picture.m_bitsPerPixel % 8 == 0) return true;
    std::printf(format, static_cast<int>(picture.m_bitsPerPixel));
    return false;
}

}  // namespace

RawPicture RPcreate(uint32_t height, uint32_t width, uint8_t bitsPerPixel) {
    RawPicture picture;
    RPclear(picture);
    picture.m_bitsPerPixel = bitsPerPixel;
    AllocatePixels(picture, height, width);
    return picture;
}

void RPclear(RawPicture& picture) { std::memset(&picture, 0, sizeof picture); }

void RPfree(RawPicture& picture) {
    if (picture.m_pixelCount != 0 && picture.m_pixels != nullptr) std::free(picture.m_pixels);
    if (picture.m_paletteCount != 0) std::free(picture.m_palette);
    RPclear(picture);
}

void RPsetGreyPalette(RawPicture& picture) {
    if (picture.m_paletteCount != 256) {
        if (picture.m_paletteCount != 0) std::free(picture.m_palette);
        picture.m_paletteCount = 0;
        picture.m_palette = static_cast<uint8_t*>(std::malloc(256 * 3));
        if (picture.m_palette == nullptr) return;
    }
    for (int i = 0; i < 256; ++i) std::memset(picture.m_palette + 3 * i, i, 3);
    picture.m_paletteCount = 256;
}

size_t RProwBytes(const RawPicture& picture) {
    return (static_cast<size_t>(picture.m_width) * picture.m_bitsPerPixel + 7) / 8;
}

uint8_t* RPgetPixel(const RawPicture& picture, uint32_t x, uint32_t y) {
    if (!SupportedBitDepth(picture, "RPgetPixel does not support this bitdepth: %i BPP\n")) return nullptr;
    return picture.m_pixels + y * RProwBytes(picture) + static_cast<size_t>(x) * (picture.m_bitsPerPixel / 8);
}

uint8_t* RPgetScanline(const RawPicture& picture, uint32_t y) {
    if (!SupportedBitDepth(picture, "RPgetScanline does not support this bitdepth: %i BPP\n")) return nullptr;
    return picture.m_pixels + y * RProwBytes(picture);
}

void VFlip(RawPicture& picture) {
    if (!SupportedBitDepth(picture, "VFlip operation does not support this bitdepth: %i BPP\n")) return;
    if (picture.m_height < 2 || picture.m_pixels == nullptr) return;
    const size_t rowBytes = RProwBytes(picture);
    uint8_t* row = static_cast<uint8_t*>(std::malloc(rowBytes));
    if (row == nullptr) return;
    for (uint32_t i = 0; i < picture.m_height / 2; ++i) {
        uint8_t* top = picture.m_pixels + i * rowBytes;
        uint8_t* bottom = picture.m_pixels + (picture.m_height - 1 - i) * rowBytes;
        std::memcpy(row, top, rowBytes);
        std::memcpy(top, bottom, rowBytes);
        std::memcpy(bottom, row, rowBytes);
    }
    std::free(row);
}

RawPicture RPcopyAttributes(const RawPicture& picture) {
    RawPicture copy;
    RPclear(copy);
    copy.m_status = picture.m_status;
    copy.m_bitsPerPixel = picture.m_bitsPerPixel;
    if (picture.m_paletteCount != 0 && picture.m_palette != nullptr) {
        copy.m_palette = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(picture.m_paletteCount) * 3));
        if (copy.m_palette != nullptr) {
            std::memcpy(copy.m_palette, picture.m_palette, static_cast<size_t>(picture.m_paletteCount) * 3);
            copy.m_paletteCount = picture.m_paletteCount;
        }
    }
    return copy;
}

void RPsetSize(RawPicture& picture, uint32_t height, uint32_t width) { AllocatePixels(picture, height, width); }
