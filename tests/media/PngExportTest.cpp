#include "PngExport.h"

#include <gtest/gtest.h>
#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "MovieTools.h"
#include "PngReader.h"
#include "TempFolder.h"

namespace {

RawPicture NumberedPicture(uint32_t height, uint32_t width, uint8_t bits) {
    RawPicture picture = RPcreate(height, width, bits);
    for (size_t i = 0; i < RProwBytes(picture) * height; ++i) picture.m_pixels[i] = static_cast<uint8_t>(i);
    return picture;
}

}  // namespace

TEST(PngExport, RgbaPictureIsStoredRedFirstTopRowFirst) {
    TempFolder folder;
    RawPicture picture = RPcreate(2, 3, 32);
    std::memset(picture.m_pixels, 0, RProwBytes(picture) * 2);
    const uint8_t first[4] = {10, 20, 30, 255};
    std::memcpy(RPgetPixel(picture, 0, 0), first, 4);
    *RPgetPixel(picture, 2, 1) = 99;  // blue of the last pixel, bottom row
    ASSERT_TRUE(RPwritePNG(picture, folder.File("rgba.png")));

    const DecodedPng png = ReadPng(folder.File("rgba.png"));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colourType, PNG_COLOR_TYPE_RGB_ALPHA);
    EXPECT_EQ(png.bitDepth, 8);
    EXPECT_EQ(png.width, 3u);
    EXPECT_EQ(png.height, 2u);
    EXPECT_EQ(png.rows[0][0], 30);
    EXPECT_EQ(png.rows[0][1], 20);
    EXPECT_EQ(png.rows[0][2], 10);
    EXPECT_EQ(png.rows[0][3], 255);
    EXPECT_EQ(png.rows[1][2 * 4 + 2], 99);
    RPfree(picture);
}

TEST(PngExport, RgbPictureSwapsBlueAndRed) {
    TempFolder folder;
    RawPicture picture = NumberedPicture(3, 4, 24);
    ASSERT_TRUE(RPwritePNG(picture, folder.File("rgb.png")));
    const DecodedPng png = ReadPng(folder.File("rgb.png"));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colourType, PNG_COLOR_TYPE_RGB);
    for (uint32_t y = 0; y < 3; ++y) {
        for (uint32_t x = 0; x < 4; ++x) {
            const uint8_t* bgr = RPgetPixel(picture, x, y);
            const uint8_t* rgb = &png.rows[y][x * 3];
            ASSERT_EQ(rgb[0], bgr[2]) << "pixel " << x << "," << y;
            ASSERT_EQ(rgb[1], bgr[1]) << "pixel " << x << "," << y;
            ASSERT_EQ(rgb[2], bgr[0]) << "pixel " << x << "," << y;
        }
    }
    RPfree(picture);
}

TEST(PngExport, PalettePictureAlwaysHas256Entries) {
    TempFolder folder;
    RawPicture grey = NumberedPicture(2, 5, 8);
    RPsetGreyPalette(grey);
    ASSERT_TRUE(RPwritePNG(grey, folder.File("grey.png")));
    DecodedPng png = ReadPng(folder.File("grey.png"));
    ASSERT_TRUE(png.ok);
    EXPECT_EQ(png.colourType, PNG_COLOR_TYPE_PALETTE);
    ASSERT_EQ(png.paletteEntries, 256);
    EXPECT_EQ(png.palette[77].red, 77);
    EXPECT_EQ(png.rows[1][4], 9);  // indices are written as they are

    // Three entries: the rest of the table is black.
    RawPicture few = NumberedPicture(1, 3, 8);
    const uint8_t colours[9] = {255, 0, 0, 0, 255, 0, 0, 0, 255};
    few.m_palette = static_cast<uint8_t*>(std::malloc(9));
    std::memcpy(few.m_palette, colours, 9);
    few.m_paletteCount = 3;
    ASSERT_TRUE(RPwritePNG(few, folder.File("few.png")));
    png = ReadPng(folder.File("few.png"));
    ASSERT_EQ(png.paletteEntries, 256);
    EXPECT_EQ(png.palette[2].blue, 255);
    EXPECT_EQ(png.palette[3].red + png.palette[255].green, 0);

    // 300 entries: only the first 256 are read (the sanitizer would see more).
    RawPicture many = NumberedPicture(1, 3, 8);
    many.m_palette = static_cast<uint8_t*>(std::malloc(300 * 3));
    std::memset(many.m_palette, 5, 300 * 3);
    many.m_paletteCount = 300;
    ASSERT_TRUE(RPwritePNG(many, folder.File("many.png")));
    EXPECT_EQ(ReadPng(folder.File("many.png")).palette[255].green, 5);
    RPfree(grey);
    RPfree(few);
    RPfree(many);
}

TEST(PngExport, RefusedPicturesGiveFalseAndNoFile) {
    TempFolder folder;
    RawPicture noPalette = NumberedPicture(2, 2, 8);
    EXPECT_FALSE(RPwritePNG(noPalette, folder.File("nopalette.png")));
    RawPicture noRows = RPcreate(0, 4, 32);
    EXPECT_FALSE(RPwritePNG(noRows, folder.File("norows.png")));
    RawPicture twelveBits = RPcreate(2, 2, 12);
    EXPECT_FALSE(RPwritePNG(twelveBits, folder.File("twelve.png")));
    EXPECT_TRUE(FolderEntries(folder.Path()).empty());
    RPfree(noPalette);
    RPfree(noRows);
    RPfree(twelveBits);
}

TEST(PngExport, FailedWriteKeepsTheExistingFile) {
    TempFolder folder;
    const std::string target = folder.File("keep.png");
    ASSERT_TRUE(WriteBytes(target, {1, 2, 3}));
    RawPicture broken = NumberedPicture(2, 2, 8);  // no palette: libpng stops half way
    EXPECT_FALSE(RPwritePNG(broken, target));
    EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{1, 2, 3}));
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"keep.png"});

    // A target that is a folder, and a target in a missing folder.
    RawPicture good = NumberedPicture(2, 2, 24);
    std::filesystem::create_directory(folder.File("taken.png"));
    EXPECT_FALSE(RPwritePNG(good, folder.File("taken.png")));
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("taken.png")));
    EXPECT_FALSE(RPwritePNG(good, folder.File("missing/out.png")));
    EXPECT_EQ(FolderEntries(folder.Path()), (std::vector<std::string>{"keep.png", "taken.png"}));
    EXPECT_TRUE(FolderEntries(folder.File("taken.png")).empty());
    RPfree(broken);
    RPfree(good);
}

TEST(PngExport, ReadOnlyFolderKeepsItsFile) {
    if (geteuid() == 0) {
        std::cout << "skipped: root writes into read-only folders\n";
        GTEST_SKIP() << "root ignores folder permissions";
    }
    TempFolder folder;
    const std::string target = folder.File("keep.png");
    ASSERT_TRUE(WriteBytes(target, {4, 5}));
    chmod(folder.Path().c_str(), 0500);
    RawPicture good = NumberedPicture(2, 2, 24);
    EXPECT_FALSE(RPwritePNG(good, target));
    chmod(folder.Path().c_str(), 0700);
    EXPECT_EQ(ReadBytes(target), (std::vector<uint8_t>{4, 5}));
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"keep.png"});
    RPfree(good);
}

TEST(PngExport, SuccessfulWriteReplacesTheExistingFile) {
    TempFolder folder;
    const std::string target = folder.File("out.png");
    ASSERT_TRUE(WriteBytes(target, {1, 2, 3}));
    RawPicture good = NumberedPicture(2, 2, 32);
    ASSERT_TRUE(RPwritePNG(good, target));
    EXPECT_TRUE(ReadPng(target).ok);
    EXPECT_EQ(FolderEntries(folder.Path()), std::vector<std::string>{"out.png"});
    RPfree(good);
}

TEST(PngExport, ResampleRepeatsRowsByNearestNeighbour) {
    RawPicture picture = NumberedPicture(3, 4, 8);  // rows 0..3, 4..7, 8..11
    RPsetGreyPalette(picture);
    RawPicture tall = RPresample(picture, 1, 2);
    ASSERT_EQ(tall.m_width, 4u);
    ASSERT_EQ(tall.m_height, 6u);
    EXPECT_EQ(tall.m_paletteCount, 256u);
    const int sourceRows[6] = {0, 0, 1, 1, 2, 2};
    for (uint32_t i = 0; i < 6; ++i) {
        for (uint32_t j = 0; j < 4; ++j) {
            ASSERT_EQ(*RPgetPixel(tall, j, i), *RPgetPixel(picture, j, sourceRows[i])) << "row " << i;
        }
    }
    RawPicture same = RPresample(picture, 1, 1);
    ASSERT_EQ(same.m_height, 3u);
    EXPECT_EQ(std::memcmp(same.m_pixels, picture.m_pixels, 12), 0);

    // Halving 4 columns of 3-byte pixels keeps the first and last column.
    RawPicture colour = NumberedPicture(1, 4, 24);
    RawPicture narrow = RPresample(colour, 0.5, 1);
    ASSERT_EQ(narrow.m_width, 2u);
    EXPECT_EQ(std::memcmp(RPgetPixel(narrow, 1, 0), RPgetPixel(colour, 3, 0), 3), 0);
    RPfree(picture);
    RPfree(tall);
    RPfree(same);
    RPfree(colour);
    RPfree(narrow);
}

TEST(PngExport, ResampleToOneRowOrColumnOrNoScale) {
    RawPicture picture = NumberedPicture(3, 4, 8);
    RawPicture row = RPresample(picture, 1, 0.2);  // 3 x 0.2 + 0.5 -> 1 row
    ASSERT_EQ(row.m_height, 1u);
    EXPECT_EQ(std::memcmp(row.m_pixels, picture.m_pixels, 4), 0);
    RawPicture column = RPresample(picture, 0.2, 1);
    ASSERT_EQ(column.m_width, 1u);
    EXPECT_EQ(*RPgetPixel(column, 0, 2), *RPgetPixel(picture, 0, 2));

    for (double scale : {0.0, -1.0}) {
        RawPicture none = RPresample(picture, scale, 1);
        EXPECT_EQ(none.m_status, kRawPictureNoMemory);
        EXPECT_EQ(none.m_pixels, nullptr);
        EXPECT_EQ(none.m_width + none.m_height, 0u);
        RPfree(none);
    }
    RPfree(picture);
    RPfree(row);
    RPfree(column);
}
