#include "SliceImage.h"

#include <gtest/gtest.h>

TEST(SliceImage, PowerOfTwoSizesDoubleAnyOtherSize) {
    const int32_t sizes[][2] = {{1, 1},
                                {2, 2},
                                {3, 8},
                                {5, 16},
                                {20, 64},
                                {100, 256},
                                {128, 128},
                                {129, 512},
                                {256, 256},
                                {192, 512},
                                {12, 32},
                                // The largest textures there are, and sides that have none.
                                {16383, 32768},
                                {16384, 16384},
                                {16385, 0},
                                {32768, 32768},
                                {32769, 0},
                                {(1 << 29) + 1, 0},
                                {1 << 30, 0},
                                {0x7fffffff, 0},
                                {0, 0},
                                {-4, 0}};
    for (const auto& [size, expected] : sizes) EXPECT_EQ(PowerOfTwoTextureSize(size), expected) << size;
}

TEST(SliceImage, ASideWithoutTextureSizeResamplesToNothing) {
    uint8_t pixel = 7;
    for (const auto& [width, height] : {std::pair{16385, 1}, std::pair{1, 40000}}) {
        // The sizes are refused before any pixel is read, so one byte is enough here.
        CSliceImage source;
        source.m_width = width;
        source.m_height = height;
        source.m_bytesPerPixel = 1;
        source.m_data = &pixel;
        const CSliceImage out = ResampleToPowerOfTwo(source);
        EXPECT_EQ(out.m_width, 0) << width << " x " << height;
        EXPECT_EQ(out.m_data, nullptr);
        EXPECT_FALSE(out.m_ownsData);
    }
}

TEST(SliceImage, ResampleTakesTheNearestSourcePixelAtPixelCentres) {
    CSliceImage source = MakeOwnedSliceImage(100, 20, 1);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 100; ++x) source.m_data[y * 100 + x] = static_cast<uint8_t>((x * 7 + y * 13) & 0xff);

    CSliceImage out = ResampleToPowerOfTwo(source);
    ASSERT_TRUE(out.m_ownsData);
    ASSERT_EQ(out.m_width, 256);
    ASSERT_EQ(out.m_height, 64);
    for (int i = 0; i < 64; ++i) {
        for (int j = 0; j < 256; ++j) {
            const int sx = static_cast<int>((j + 0.5) * 100 / 256);
            const int sy = static_cast<int>((i + 0.5) * 20 / 64);
            ASSERT_EQ(out.m_data[i * 256 + j], source.m_data[sy * 100 + sx]) << "output pixel " << j << "," << i;
        }
    }
    FreeSliceImage(out);
    FreeSliceImage(source);
    EXPECT_EQ(source.m_data, nullptr);
    EXPECT_EQ(source.m_width, 0);
}

TEST(SliceImage, ResampleCopiesWholePixelsOfSeveralBytes) {
    CSliceImage source = MakeOwnedSliceImage(3, 1, 3);
    for (int i = 0; i < 9; ++i) source.m_data[i] = static_cast<uint8_t>(i + 1);
    CSliceImage out = ResampleToPowerOfTwo(source);
    ASSERT_EQ(out.m_width, 8);
    ASSERT_EQ(out.m_height, 1);
    for (int j = 0; j < 8; ++j) {
        const int sx = static_cast<int>((j + 0.5) * 3 / 8);
        for (int b = 0; b < 3; ++b) EXPECT_EQ(out.m_data[j * 3 + b], source.m_data[sx * 3 + b]);
    }
    FreeSliceImage(out);
    FreeSliceImage(source);
}
