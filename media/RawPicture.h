#pragma once

#include <cstddef>
#include <cstdint>

// The plain pixel record pictures are prepared in before export. It is copied
// by value; the buffers it points to are released explicitly with RPfree.
// Pixels are owned when m_pixelCount is not 0, the palette when
// m_paletteCount is not 0, so a record may be assembled around memory that
// belongs to someone else (pixel count 0) and RPfree leaves that alone.
struct RawPicture {
    int32_t m_status;          // 0, or kRawPictureNoMemory
    uint32_t m_width;          // pixels per row
    uint32_t m_height;         // rows
    uint32_t m_pixelCount;     // width x height when the pixels were allocated here
    uint8_t m_bitsPerPixel;    // 8, 24 or 32 in use
    uint8_t* m_pixels;         // rows of RProwBytes bytes, row 0 first, contiguous
    uint8_t* m_palette;        // red, green, blue triplets
    uint32_t m_paletteCount;
};

// Status of a picture whose pixel memory could not be allocated.
constexpr int32_t kRawPictureNoMemory = 42;

// A new picture of height x width pixels (note the order), contents undefined.
// When the memory cannot be had the picture carries kRawPictureNoMemory and no pixels.
RawPicture RPcreate(uint32_t height, uint32_t width, uint8_t bitsPerPixel);
// Sets every field to 0 without releasing anything.
void RPclear(RawPicture& picture);
// Releases the buffers the picture owns, then clears it.
void RPfree(RawPicture& picture);
// Gives the picture 256 grey entries (i, i, i).
void RPsetGreyPalette(RawPicture& picture);
// Bytes of one row: width x bits per pixel / 8, rounded up to a whole byte.
size_t RProwBytes(const RawPicture& picture);
// Address of pixel (x, y), or nullptr (with a diagnostic on standard output)
// when the bits per pixel are not a multiple of 8. No bounds are checked.
uint8_t* RPgetPixel(const RawPicture& picture, uint32_t x, uint32_t y);
// Address of row y, or nullptr (with a diagnostic) as RPgetPixel.
uint8_t* RPgetScanline(const RawPicture& picture, uint32_t y);
// Turns the picture upside down in place.
void VFlip(RawPicture& picture);
// A picture with the same status, bits per pixel and a copy of the palette,
// but no size and no pixels; RPsetSize gives it pixels.
RawPicture RPcopyAttributes(const RawPicture& picture);
// Sizes a picture that has no pixels yet and allocates them; on failure the
// status becomes kRawPictureNoMemory. Earlier pixels are not released.
void RPsetSize(RawPicture& picture, uint32_t height, uint32_t width);
