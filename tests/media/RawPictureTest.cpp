#include "RawPicture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// A picture whose row r is filled with the byte 'A' + r.
RawPicture LetteredRows(uint32_t rows, uint32_t width, uint8_t bits) {
    RawPicture picture = RPcreate(rows, width, bits);
    for (uint32_t r = 0; r < rows; ++r) std::memset(RPgetScanline(picture, r), 'A' + r, RProwBytes(picture));
    return picture;
}

std::string FirstBytesOfRows(const RawPicture& picture) {
    std::string text;
    for (uint32_t r = 0; r < picture.m_height; ++r) text += static_cast<char>(*RPgetScanline(picture, r));
    return text;
}

}  // namespace

TEST(RawPicture, CreateTakesHeightFirstAndSizesRows) {
    RawPicture grey = RPcreate(3, 5, 8);
    EXPECT_EQ(grey.m_status, 0);
    EXPECT_EQ(grey.m_width, 5u);
    EXPECT_EQ(grey.m_height, 3u);
    EXPECT_EQ(grey.m_pixelCount, 15u);
    EXPECT_EQ(RProwBytes(grey), 5u);
    ASSERT_NE(grey.m_pixels, nullptr);
    std::memset(grey.m_pixels, 1, 15);  // the sanitizer checks all 15 bytes exist
    RPfree(grey);
    EXPECT_EQ(grey.m_pixels, nullptr);
    EXPECT_EQ(grey.m_width, 0u);

    RawPicture colour = RPcreate(3, 5, 24);
    EXPECT_EQ(RProwBytes(colour), 15u);
    std::memset(colour.m_pixels, 1, 45);
    RPfree(colour);

    RawPicture odd = RPcreate(1, 3, 12);
    EXPECT_EQ(RProwBytes(odd), 5u);  // 36 bits round up to 5 bytes
    RPfree(odd);
}

TEST(RawPicture, SizeBeyondThe32BitPixelCountIsRefused) {
    RawPicture picture = RPcreate(70000, 70000, 8);
    EXPECT_EQ(picture.m_status, kRawPictureNoMemory);
    EXPECT_EQ(picture.m_pixels, nullptr);
    RPfree(picture);
}

TEST(RawPicture, PixelAndRowAddresses) {
    RawPicture picture = RPcreate(4, 5, 32);
    EXPECT_EQ(RPgetPixel(picture, 2, 1) - picture.m_pixels, 28);
    EXPECT_EQ(RPgetScanline(picture, 3) - picture.m_pixels, 60);
    RawPicture rgb = RPcreate(4, 5, 24);
    EXPECT_EQ(RPgetPixel(rgb, 4, 2) - rgb.m_pixels, 2 * 15 + 12);
    RPfree(picture);
    RPfree(rgb);
}

TEST(RawPicture, VFlipReversesRowsAndKeepsTheMiddle) {
    RawPicture odd = LetteredRows(5, 3, 24);
    VFlip(odd);
    EXPECT_EQ(FirstBytesOfRows(odd), "EDCBA");
    RawPicture even = LetteredRows(4, 2, 8);
    VFlip(even);
    EXPECT_EQ(FirstBytesOfRows(even), "DCBA");
    RawPicture single = LetteredRows(1, 2, 8);
    VFlip(single);
    EXPECT_EQ(FirstBytesOfRows(single), "A");
    RPfree(odd);
    RPfree(even);
    RPfree(single);
}

TEST(RawPicture, TwelveBitsGetDiagnosticsAndNoChange) {
    RawPicture picture = RPcreate(2, 4, 12);
    std::memset(picture.m_pixels, 'A', RProwBytes(picture));
    std::memset(picture.m_pixels + RProwBytes(picture), 'B', RProwBytes(picture));
    testing::internal::CaptureStdout();
    VFlip(picture);
    EXPECT_EQ(RPgetPixel(picture, 1, 1), nullptr);
    EXPECT_EQ(RPgetScanline(picture, 1), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "VFlip operation does not support this bitdepth: 12 BPP\n"
              "RPgetPixel does not support this bitdepth: 12 BPP\n"
              "RPgetScanline does not support this bitdepth: 12 BPP\n");
    EXPECT_EQ(picture.m_pixels[0], 'A');
    RPfree(picture);
}

TEST(RawPicture, FreeLeavesForeignMemoryAlone) {
    uint8_t foreign[12];
    std::memset(foreign, 7, sizeof foreign);
    RawPicture picture;
    RPclear(picture);
    picture.m_width = 2;
    picture.m_height = 2;
    picture.m_bitsPerPixel = 24;
    picture.m_pixels = foreign;  // pixel count 0: not owned
    RPfree(picture);             // freeing stack memory would trip the sanitizer
    EXPECT_EQ(picture.m_pixels, nullptr);
    EXPECT_EQ(picture.m_width, 0u);
    EXPECT_EQ(foreign[11], 7);
}

TEST(RawPicture, GreyPaletteIsRewrittenInPlace) {
    RawPicture picture = RPcreate(1, 1, 8);
    RPsetGreyPalette(picture);
    ASSERT_EQ(picture.m_paletteCount, 256u);
    uint8_t* table = picture.m_palette;
    EXPECT_EQ(table[3 * 200], 200);
    EXPECT_EQ(table[3 * 200 + 2], 200);
    table[3 * 9 + 1] = 0;
    RPsetGreyPalette(picture);
    EXPECT_EQ(picture.m_palette, table);
    EXPECT_EQ(table[3 * 9 + 1], 9);
    RPfree(picture);
}

TEST(RawPicture, CopyAttributesCopiesThePaletteButNoPixels) {
    RawPicture picture = RPcreate(2, 3, 8);
    RPsetGreyPalette(picture);
    RawPicture copy = RPcopyAttributes(picture);
    EXPECT_EQ(copy.m_bitsPerPixel, 8);
    EXPECT_EQ(copy.m_width, 0u);
    EXPECT_EQ(copy.m_pixels, nullptr);
    ASSERT_EQ(copy.m_paletteCount, 256u);
    EXPECT_NE(copy.m_palette, picture.m_palette);
    EXPECT_EQ(std::memcmp(copy.m_palette, picture.m_palette, 768), 0);
    RPsetSize(copy, 4, 6);
    EXPECT_EQ(copy.m_pixelCount, 24u);
    ASSERT_NE(copy.m_pixels, nullptr);
    RPfree(picture);
    RPfree(copy);
}
