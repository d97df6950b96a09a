#pragma once

#include <cstdint>

// An 8-bit image handed between the volume, the view and the file commands.
// A plain record copied by value: whoever receives a record with m_ownsData
// set frees its data with FreeSliceImage; a borrowed record points into the
// volume and stays valid until the volume is next cleared or loaded.
struct CSliceImage {
    bool m_ownsData = false;
    int32_t m_width = 0;
    int32_t m_height = 0;
    int32_t m_bytesPerPixel = 0;
    uint8_t* m_data = nullptr;  // rows top first, no padding

    int64_t ByteCount() const {
        return static_cast<int64_t>(m_width) * m_height * m_bytesPerPixel;
    }
};

// A new owned image of width x height x bytesPerPixel bytes, contents undefined.
// Throws std::bad_alloc when the memory cannot be had.
CSliceImage MakeOwnedSliceImage(int32_t width, int32_t height, int32_t bytesPerPixel);

// Frees the data of an owning record and leaves the empty record behind;
// a borrowed record is only reset.
void FreeSliceImage(CSliceImage& image);

// The longest side a plane texture may have. OpenGL implementations hold
// 16384 or 32768 pixels a side (GL_MAX_TEXTURE_SIZE); none holds more.
constexpr int32_t kMaxTextureSide = 32768;
// The longest volume side whose planes always fit such a texture, even when
// PowerOfTwoTextureSize doubles it. Files with longer sides are refused.
constexpr int32_t kMaxVolumeSide = kMaxTextureSide / 2;

// The size a texture side gets: a power of two stays, any other size becomes
// twice the next power of two (3 -> 8, 100 -> 256, 129 -> 512). 0 when there
// is no such texture: a size below 1, or a result above kMaxTextureSide.
int32_t PowerOfTwoTextureSize(int32_t size);

// Nearest-neighbour resampling at pixel centres to PowerOfTwoTextureSize in
// both directions. Returns a new owned image, or the empty record when a
// side has no texture size; the input is left alone.
CSliceImage ResampleToPowerOfTwo(const CSliceImage& image);
