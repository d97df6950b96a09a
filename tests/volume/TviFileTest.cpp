#include "TviFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>

#include "TempFolder.h"
#include "TviWriter.h"

namespace {

TviContents SmallVolume(int version, int x, int y, int z, int t) {
    TviContents c;
    c.version = version;
    c.sizeX = x;
    c.sizeY = y;
    c.sizeZ = z;
    c.frames = t;
    c.pixelSizeX = 0.5;
    c.pixelSizeY = 0.75;
    c.pixelSizeZ = 6.0;
    c.frameTime = 42.0;
    c.Allocate();
    for (size_t i = 0; i < c.samples.size(); ++i) c.samples[i] = static_cast<uint16_t>(i * 37 + 1);
    return c;
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                static_cast<std::streamsize>(bytes.size()));
}

}  // namespace

TEST(TviFile, NewRecordHasTheDefaults) {
    CTviFile file;
    EXPECT_EQ(file.m_version, 2);
    EXPECT_EQ(file.m_sizeX, 0);
    EXPECT_EQ(file.m_text1[0], '\0');
    EXPECT_EQ(file.m_samples, nullptr);
    EXPECT_EQ(file.m_pixelSizeX, 1.0);
    EXPECT_EQ(file.m_frameTime, 1.0);
}

TEST(TviFile, VersionOneHasNoCalibration) {
    TempFolder folder;
    TviContents c = SmallVolume(1, 2, 2, 1, 1);
    c.text1 = "first text";
    ASSERT_TRUE(WriteTviFile(folder.File("v1.tvi"), c));
    EXPECT_EQ(std::filesystem::file_size(folder.File("v1.tvi")), 1116u);

    CTviFile file;
    ASSERT_EQ(file.Read(folder.File("v1.tvi")), 0);
    EXPECT_EQ(file.m_version, 1);
    EXPECT_STREQ(file.m_text1, "first text");
    EXPECT_EQ(file.m_pixelSizeX, 1.0);
    EXPECT_EQ(file.m_pixelSizeY, 1.0);
    EXPECT_EQ(file.m_pixelSizeZ, 1.0);
    EXPECT_EQ(file.m_frameTime, 1.0);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(file.m_samples[i], c.samples[i]);
}

TEST(TviFile, SamplesAreOrderedXYThenTimeThenSlice) {
    TempFolder folder;
    TviContents c = SmallVolume(2, 3, 2, 2, 2);
    ASSERT_TRUE(WriteTviFile(folder.File("v2.tvi"), c));
    EXPECT_EQ(std::filesystem::file_size(folder.File("v2.tvi")), 1108u + 48u);

    // Patch the sample of x = 1, y = 1, z = 1, t = 0 at its documented byte offset.
    std::vector<uint8_t> bytes = TviFileBytes(c);
    bytes[1140] = 0x34;
    bytes[1141] = 0x12;
    WriteBytes(folder.File("patched.tvi"), bytes);

    CTviFile file;
    ASSERT_EQ(file.Read(folder.File("patched.tvi")), 0);
    EXPECT_EQ(file.m_sizeX, 3);
    EXPECT_EQ(file.m_sizeY, 2);
    EXPECT_EQ(file.m_frames, 2);
    EXPECT_EQ(file.m_sizeZ, 2);
    EXPECT_EQ(file.m_samples[c.IndexOf(1, 1, 1, 0)], 0x1234);
    EXPECT_EQ(c.IndexOf(1, 1, 1, 0), (1140u - 1108u) / 2);
    EXPECT_EQ(file.m_pixelSizeX, 0.5);
    EXPECT_EQ(file.m_pixelSizeY, 0.75);
    EXPECT_EQ(file.m_pixelSizeZ, 6.0);
    EXPECT_EQ(file.m_frameTime, 42.0);
}

TEST(TviFile, AnyVersionButOneCarriesCalibration) {
    TempFolder folder;
    for (int version : {0, 3, -5}) {
        TviContents c = SmallVolume(version, 2, 1, 1, 1);
        std::vector<uint8_t> bytes = TviFileBytes(c);
        // The bytes after the calibration are kept as the reserved block.
        bytes[628] = 0xAB;
        bytes[1107] = 0xCD;
        WriteBytes(folder.File("v.tvi"), bytes);
        CTviFile file;
        ASSERT_EQ(file.Read(folder.File("v.tvi")), 0) << version;
        EXPECT_EQ(file.m_version, version);
        EXPECT_EQ(file.m_pixelSizeY, 0.75);
        EXPECT_EQ(file.m_frameTime, 42.0);
        EXPECT_EQ(file.m_reserved[0], 0xAB);
        EXPECT_EQ(file.m_reserved[479], 0xCD);
    }
}

TEST(TviFile, SecondReadReplacesTheSamples) {
    TempFolder folder;
    ASSERT_TRUE(WriteTviFile(folder.File("a.tvi"), SmallVolume(2, 4, 4, 2, 2)));
    TviContents small = SmallVolume(2, 1, 1, 1, 1);
    small.samples[0] = 999;
    ASSERT_TRUE(WriteTviFile(folder.File("b.tvi"), small));
    CTviFile file;
    ASSERT_EQ(file.Read(folder.File("a.tvi")), 0);
    ASSERT_EQ(file.Read(folder.File("b.tvi")), 0);
    EXPECT_EQ(file.SampleCount(), 1);
    EXPECT_EQ(file.m_samples[0], 999);
    EXPECT_EQ(file.SaturationLevel(1.0), 999);
}

TEST(TviFile, FailedReadsLeaveTheRecordAsItWas) {
    TempFolder folder;
    ASSERT_TRUE(WriteTviFile(folder.File("good.tvi"), SmallVolume(2, 3, 2, 1, 1)));
    CTviFile file;
    ASSERT_EQ(file.Read(folder.File("good.tvi")), 0);

    // Truncated by one byte, negative size, a count that overflows 64 bits,
    // a count too large to allocate, a folder, a missing file, a stub header.
    std::vector<uint8_t> truncated = TviFileBytes(SmallVolume(2, 3, 2, 1, 2));
    truncated.pop_back();
    WriteBytes(folder.File("truncated.tvi"), truncated);
    TviContents negative = SmallVolume(2, 3, 2, 1, 1);
    negative.sizeY = -2;
    WriteBytes(folder.File("negative.tvi"), TviFileBytes(negative));
    TviContents huge = SmallVolume(2, 1, 1, 1, 1);
    huge.sizeX = huge.sizeY = huge.sizeZ = huge.frames = 0x7fffffff;
    WriteBytes(folder.File("overflow.tvi"), TviFileBytes(huge));
    huge.sizeX = huge.sizeY = 65536;
    huge.sizeZ = huge.frames = 1;
    WriteBytes(folder.File("large.tvi"), TviFileBytes(huge));
    WriteBytes(folder.File("stub.tvi"), std::vector<uint8_t>(500, 1));
    std::filesystem::create_directory(folder.File("folder.tvi"));

    const std::pair<const char*, const char*> cases[] = {
        {"truncated.tvi", "file is truncated: 1131 bytes, header needs 1132"},
        {"negative.tvi", "negative size in header: Y = -2"},
        {"overflow.tvi", "header sizes are too large"},
        {"large.tvi", "file is truncated"},
        {"stub.tvi", "file is truncated: 500 bytes"},
        {"folder.tvi", "not a regular file"},
        {"missing.tvi", "cannot open file"},
    };
    for (const auto& [name, reason] : cases) {
        EXPECT_EQ(file.Read(folder.File(name)), -1) << name;
        EXPECT_NE(file.ErrorText().find(reason), std::string::npos) << name << ": " << file.ErrorText();
        EXPECT_EQ(file.m_sizeX, 3) << name;
        EXPECT_EQ(file.m_sizeY, 2) << name;
        EXPECT_EQ(file.m_frameTime, 42.0) << name;
        ASSERT_NE(file.m_samples, nullptr) << name;
        EXPECT_EQ(file.m_samples[5], static_cast<uint16_t>(5 * 37 + 1)) << name;
        EXPECT_EQ(file.ReadHeader(folder.File(name)), -1) << name;
    }
}
