#include "TviFile.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "TempFolder.h"
#include "TestData.h"

namespace {

TviContents SmallVolume(int version, int x, int y, int z, int t) {
    TviContents c = TviVolume(x, y, z, t);
    c.version = version;
    c.SetCalibration(0.5, 0.75, 6.0, 42.0);
    for (size_t i = 0; i < c.samples.size(); ++i) c.samples[i] = static_cast<uint16_t>(i * 37 + 1);
    return c;
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
    // Only the header: the count follows it, with the samples gone.
    ASSERT_EQ(file.ReadHeader(folder.File("a.tvi")), 0);
    EXPECT_EQ(file.SampleCount(), 64);
    EXPECT_EQ(file.m_samples, nullptr);
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
    // No frames, so no samples: but X*Y*Z alone overflows 64 bits, in
    // whatever order the sizes are multiplied.
    TviContents noFrames = SmallVolume(2, 1, 1, 1, 1);
    noFrames.samples.clear();
    noFrames.sizeX = 1 << 30;
    noFrames.sizeY = (1 << 30) - 1;
    noFrames.sizeZ = 0x7fffffff;
    noFrames.frames = 0;
    WriteBytes(folder.File("noframes.tvi"), TviFileBytes(noFrames));
    // A row longer than any texture, with every sample present: a sparse
    // file of 1 GiB that costs no disk.
    TviContents wide = SmallVolume(2, 1, 1, 1, 1);
    wide.samples.clear();
    wide.sizeX = (1 << 29) + 1;
    WriteBytes(folder.File("wide.tvi"), TviFileBytes(wide));
    std::filesystem::resize_file(folder.File("wide.tvi"), CTviFile::kHeaderSize + 2 * wide.SampleCount());

    const std::pair<const char*, const char*> cases[] = {
        {"truncated.tvi", "file is truncated: 1131 bytes, header needs 1132"},
        {"negative.tvi", "negative size in header: Y = -2"},
        {"overflow.tvi", "header sizes are too large"},
        {"noframes.tvi",
         "header sizes are too large: 1073741824 x 1073741823 x 2147483647 slices x 0 frames"},
        {"wide.tvi", "the slices are too large to show: X = 536870913, at most 16384"},
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

TEST(TviFile, SidesUpToTheLongestTextureAreRead) {
    TempFolder folder;
    struct Case {
        int x, y, z, t;
        bool read;
    };
    // Frames are no texture side: only X, Y and Z are bounded.
    const Case cases[] = {{16384, 1, 1, 1, true},  {16385, 1, 1, 1, false}, {1, 16384, 1, 1, true},
                          {1, 16385, 1, 1, false}, {1, 1, 16384, 1, true},  {1, 1, 16385, 1, false},
                          {1, 1, 1, 100000, true}};
    for (const Case& c : cases) {
        TviContents contents = SmallVolume(2, 1, 1, 1, 1);
        contents.samples.clear();
        contents.sizeX = c.x;
        contents.sizeY = c.y;
        contents.sizeZ = c.z;
        contents.frames = c.t;
        const std::string path = folder.File("side.tvi");
        WriteBytes(path, TviFileBytes(contents));
        std::filesystem::resize_file(path, CTviFile::kHeaderSize + 2 * contents.SampleCount());
        CTviFile file;
        EXPECT_EQ(file.ReadHeader(path) == 0, c.read)
            << c.x << " " << c.y << " " << c.z << " " << c.t << ": " << file.ErrorText();
    }
}
