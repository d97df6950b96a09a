#include "SliceImage.h"

#include <cstring>
#include <vector>

CSliceImage MakeOwnedSliceImage(int32_t width, int32_t height, int32_t bytesPerPixel) {
    CSliceImage image;
    image.m_width = width;
    image.m_height = height;
    image.m_bytesPerPixel = bytesPerPixel;
    image.m_data = new uint8_t[static_cast<size_t>(image.ByteCount())];
    image.m_ownsData = true;
    return image;
}

void FreeSliceImage(CSliceImage& image) {
    if (image.m_ownsData) delete[] image.m_data;
    image = CSliceImage();
}

int32_t PowerOfTwoTextureSize(int32_t size) {
    if (size < 1 || size > kMaxTextureSide) return 0;
    int32_t power = 1;
    while (power < size) power *= 2;
    if (power == size) return size;
    return power <= kMaxTextureSide / 2 ? power * 2 : 0;
}

CSliceImage ResampleToPowerOfTwo(const CSliceImage& image) {
    const int32_t outWidth = PowerOfTwoTextureSize(image.m_width);
    const int32_t outHeight = PowerOfTwoTextureSize(image.m_height);
    if (outWidth == 0 || outHeight == 0) return CSliceImage();
    const int32_t bpp = image.m_bytesPerPixel;
    CSliceImage out = MakeOwnedSliceImage(outWidth, outHeight, bpp);

    const double rx = static_cast<double>(image.m_width) / outWidth;
    const double ry = static_cast<double>(image.m_height) / outHeight;
    // The source column of every output column is the same for all rows.
    std::vector<size_t> sourceOffset(static_cast<size_t>(outWidth));
    for (int32_t j = 0; j < outWidth; ++j)
        sourceOffset[static_cast<size_t>(j)] = static_cast<size_t>((j + 0.5) * rx) * bpp;

    uint8_t* dst = out.m_data;
    for (int32_t i = 0; i < outHeight; ++i) {
        const auto sy = static_cast<int64_t>((i + 0.5) * ry);
        const uint8_t* srcRow = image.m_data + sy * image.m_width * bpp;
        if (bpp == 1) {
            for (int32_t j = 0; j < outWidth; ++j) *dst++ = srcRow[sourceOffset[static_cast<size_t>(j)]];
        } else {
            for (int32_t j = 0; j < outWidth; ++j, dst += bpp)
                std::memcpy(dst, srcRow + sourceOffset[static_cast<size_t>(j)], static_cast<size_t>(bpp));
        }
    }
    return out;
}
