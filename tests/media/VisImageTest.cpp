#include "VisImage.h"

#include <gtest/gtest.h>

#include <cstring>

TEST(VisImage, OwnWrappedAndEmptyImages) {
    CVisRGBAByteImage empty;
    EXPECT_FALSE(empty.HasMemory());
    EXPECT_EQ(empty.Width(), 0);
    EXPECT_EQ(empty.CbPixel(), 4);
    EXPECT_EQ(empty.PixFmt(), 705);

    uint8_t memory[3 * 2 * 4] = {};
    CVisRGBAByteImage wrapped(CVisShape(0, 0, 3, 2), memory);
    wrapped.Pixel(2, 1) = {1, 2, 3, 4};  // blue first
    EXPECT_EQ(memory[(1 * 3 + 2) * 4], 1);
    EXPECT_EQ(memory[(1 * 3 + 2) * 4 + 3], 4);
    EXPECT_EQ(wrapped.PbFirstPixelInRow(1) - memory, 12);

    // Allocating the size it already has keeps the memory.
    wrapped.Allocate(CVisShape(0, 0, 3, 2));
    EXPECT_EQ(wrapped.PbFirstPixelInRow(0), memory);
    wrapped.Allocate(CVisShape(0, 0, 4, 2));
    EXPECT_NE(wrapped.PbFirstPixelInRow(0), memory);
    EXPECT_EQ(wrapped.MemoryWidth(), 4);
}

TEST(VisImage, CopyPixelsToPlacesTheImageAndRefusesWhatDoesNotFit) {
    CVisRGBAByteImage source(CVisShape(0, 0, 2, 2));
    std::memset(source.PbFirstPixelInRow(0), 9, source.ByteCount());
    CVisRGBAByteImage target(CVisShape(0, 0, 3, 3));
    std::memset(target.PbFirstPixelInRow(0), 0, target.ByteCount());
    ASSERT_TRUE(source.CopyPixelsTo(target, 1, 1));
    EXPECT_EQ(target.Pixel(0, 0).b, 0);
    EXPECT_EQ(target.Pixel(1, 1).b, 9);
    EXPECT_EQ(target.Pixel(2, 2).a, 9);
    EXPECT_EQ(target.Pixel(0, 2).g, 0);

    EXPECT_FALSE(source.CopyPixelsTo(target, 2, 0));
    EXPECT_FALSE(target.CopyPixelsTo(source));
    CVisRGBAByteImage noMemory;
    EXPECT_FALSE(source.CopyPixelsTo(noMemory));
    CVisImageBase grey(1, evispixfmtGrayByte, CVisShape(0, 0, 4, 4));
    EXPECT_FALSE(source.CopyPixelsTo(grey));
}
