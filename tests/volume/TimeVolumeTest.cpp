#include "TimeVolume.h"

#include <gtest/gtest.h>
#include <nifti1.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <functional>
#include <optional>
#include <random>

#include "IntensityWindow.h"
#include "TempFolder.h"
#include "TestData.h"
#include "ShownPlane.h"

namespace {

// A volume whose 8-bit voxels identify their own position: with saturation
// 1.0 and a maximum sample of 255 every sample maps to itself.
TviContents CodedVolume(int x, int y, int z, int t) {
    TviContents c = TviVolume(x, y, z, t, CodedSample);
    c.SetCalibration(1.25, 1.5, 6.0, 55.0);
    c.samples.back() = 255;  // fixes the saturation level at 255
    return c;
}

class TimeVolumeTest : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const TviContents& contents) {
        const std::string path = m_folder.File(name);
        EXPECT_TRUE(WriteTviFile(path, contents));
        return path;
    }
    TempFolder m_folder;
};

void ExpectEmpty(const CSliceImage& image) {
    EXPECT_FALSE(image.m_ownsData);
    EXPECT_EQ(image.m_width, 0);
    EXPECT_EQ(image.m_height, 0);
    EXPECT_EQ(image.m_data, nullptr);
}

}  // namespace

TEST_F(TimeVolumeTest, LoadKeepsEverySliceAndTheCalibration) {
    const TviContents c = CodedVolume(4, 3, 2, 3);
    CTimeVolume volume;
    ASSERT_TRUE(volume.LoadFile(Write("a.tvi", c), 1.0));
    EXPECT_EQ(volume.SizeX(), 4);
    EXPECT_EQ(volume.SizeY(), 3);
    EXPECT_EQ(volume.SizeZ(), 2);
    EXPECT_EQ(volume.Frames(), 3);
    EXPECT_EQ(volume.PixelSizeY(), 1.5);
    EXPECT_EQ(volume.FrameTime(), 55.0);
    EXPECT_EQ(volume.SaturationLevel(), 255);
    for (int z = 0; z < 2; ++z)
        for (int t = 0; t < 3; ++t) {
            const ShownPlane slice(volume.GetSlice(2, z, t, false));
            ASSERT_EQ(slice.m_bytesPerPixel, 1);
            for (int y = 0; y < 3; ++y)
                for (int x = 0; x < 4; ++x)
                    EXPECT_EQ(slice.m_data[y * 4 + x], c.samples[c.IndexOf(x, y, z, t)])
                        << "voxel " << x << "," << y << "," << z << " frame " << t;
        }
}

TEST_F(TimeVolumeTest, GetSliceOrientsEveryPlane) {
    const TviContents c = CodedVolume(4, 3, 2, 1);
    CTimeVolume volume;
    ASSERT_TRUE(volume.LoadFile(Write("a.tvi", c), 1.0));
    auto voxel = [&](int x, int y, int z) { return c.samples[c.IndexOf(x, y, z, 0)]; };

    // XY plane: slice 1 as it lies, rows top first.
    const ShownPlane xy(volume.GetSlice(2, 1, 0, false));
    ASSERT_TRUE(xy.m_ownsData);
    ASSERT_EQ(xy.m_width, 4);
    ASSERT_EQ(xy.m_height, 3);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(xy.m_data[y * 4 + x], voxel(x, y, 1)) << x << "," << y;

    // XZ plane at y = 0: row r is data row Y-1-0 = 2 of slice r.
    CSliceImage xz = volume.GetSlice(1, 0, 0, false);
    ASSERT_TRUE(xz.m_ownsData);
    ASSERT_EQ(xz.m_width, 4);
    ASSERT_EQ(xz.m_height, 2);
    for (int r = 0; r < 2; ++r)
        for (int col = 0; col < 4; ++col) EXPECT_EQ(xz.m_data[r * 4 + col], voxel(col, 2, r)) << col << "," << r;
    FreeSliceImage(xz);

    // YZ plane at x = 0: pixel (c, r) is data pixel (3, 2-c) of slice r.
    CSliceImage yz = volume.GetSlice(0, 0, 0, false);
    ASSERT_TRUE(yz.m_ownsData);
    ASSERT_EQ(yz.m_width, 3);
    ASSERT_EQ(yz.m_height, 2);
    for (int r = 0; r < 2; ++r)
        for (int col = 0; col < 3; ++col)
            EXPECT_EQ(yz.m_data[r * 3 + col], voxel(3, 2 - col, r)) << col << "," << r;
    FreeSliceImage(yz);
}

TEST_F(TimeVolumeTest, OutOfRangeRequestsGiveTheEmptyRecord) {
    CTimeVolume volume;
    ASSERT_TRUE(volume.LoadFile(Write("a.tvi", CodedVolume(4, 3, 2, 2)), 1.0));
    ExpectEmpty(volume.GetSlice(0, 4, 0, false));
    ExpectEmpty(volume.GetSlice(1, 3, 0, false));
    ExpectEmpty(volume.GetSlice(2, 2, 0, true));
    ExpectEmpty(volume.GetSlice(0, -1, 0, false));
    ExpectEmpty(volume.GetSlice(2, 0, 2, false));
    ExpectEmpty(volume.GetSlice(2, 0, -1, false));
    ExpectEmpty(volume.GetSlice(3, 0, 0, false));
    ExpectEmpty(volume.GetSlice(-1, 0, 0, false));

    volume.Clear();
    EXPECT_EQ(volume.SizeX(), 0);
    EXPECT_EQ(volume.Frames(), 0);
    EXPECT_EQ(volume.SizeZ(), 0);
    EXPECT_EQ(volume.PixelSizeX(), 1.25);  // calibration survives Clear
    for (int plane = 0; plane < 3; ++plane) ExpectEmpty(volume.GetSlice(plane, 0, 0, true));
}

TEST_F(TimeVolumeTest, PowerOfTwoAppliesToTheGatheredPlanesOnly) {
    const TviContents c = CodedVolume(100, 100, 20, 1);
    CTimeVolume volume;
    ASSERT_TRUE(volume.LoadFile(Write("a.tvi", c), 1.0));

    CSliceImage yz = volume.GetSlice(0, 10, 0, true);
    CSliceImage plain = volume.GetSlice(0, 10, 0, false);
    ASSERT_TRUE(yz.m_ownsData);
    ASSERT_EQ(yz.m_width, 256);
    ASSERT_EQ(yz.m_height, 64);
    for (int i = 0; i < 64; ++i)
        for (int j = 0; j < 256; ++j) {
            const int sx = static_cast<int>((j + 0.5) * 100 / 256), sy = static_cast<int>((i + 0.5) * 20 / 64);
            ASSERT_EQ(yz.m_data[i * 256 + j], plain.m_data[sy * 100 + sx]) << j << "," << i;
        }
    FreeSliceImage(yz);
    FreeSliceImage(plain);

    const ShownPlane xy(volume.GetSlice(2, 5, 0, true));
    EXPECT_EQ(xy.m_width, 100);
    EXPECT_EQ(xy.m_height, 100);
}

TEST_F(TimeVolumeTest, VersionOneKeepsTheEarlierCalibration) {
    TviContents v1 = CodedVolume(2, 2, 1, 1);
    v1.version = 1;
    const std::string v1Path = Write("v1.tvi", v1);

    CTimeVolume fresh;
    ASSERT_TRUE(fresh.LoadFile(v1Path, 0.98));
    EXPECT_EQ(fresh.PixelSizeX(), 0.0);
    EXPECT_EQ(fresh.PixelSizeY(), 0.0);
    EXPECT_EQ(fresh.PixelSizeZ(), 0.0);
    EXPECT_EQ(fresh.FrameTime(), 0.0);

    CTimeVolume volume;
    ASSERT_TRUE(volume.LoadFile(Write("v2.tvi", CodedVolume(3, 3, 1, 1)), 0.98));
    volume.Clear();
    ASSERT_TRUE(volume.LoadFile(v1Path, 0.98));
    EXPECT_EQ(volume.PixelSizeX(), 1.25);
    EXPECT_EQ(volume.PixelSizeZ(), 6.0);
    EXPECT_EQ(volume.FrameTime(), 55.0);
    EXPECT_EQ(volume.SizeX(), 2);
}

TEST_F(TimeVolumeTest, FailedLoadsChangeNothing) {
    CTimeVolume volume;
    ASSERT_TRUE(volume.LoadFile(Write("good.tvi", CodedVolume(4, 3, 2, 2)), 1.0));
    const uint16_t* codes = volume.SliceValues(1, 1).codes;

    TviContents other = CodedVolume(5, 5, 1, 1);
    other.pixelSizeX = 9.0;
    std::vector<uint8_t> bytes = TviFileBytes(other);
    bytes.resize(bytes.size() - 2);
    ASSERT_TRUE(WriteBytes(m_folder.File("short.tvi"), bytes));

    for (const char* name : {"missing.tvi", "short.tvi"}) {
        EXPECT_FALSE(volume.LoadFile(m_folder.File(name), 1.0)) << name;
        EXPECT_FALSE(volume.LastError().empty()) << name;
        EXPECT_EQ(volume.SizeX(), 4);
        EXPECT_EQ(volume.SizeZ(), 2);
        EXPECT_EQ(volume.Frames(), 2);
        EXPECT_EQ(volume.PixelSizeX(), 1.25);
        EXPECT_EQ(volume.SliceValues(1, 1).codes, codes);
    }
}

TEST_F(TimeVolumeTest, ZeroSizeHeadersLoadAsAnEmptyVolume) {
    const int sizes[][4] = {{0, 3, 2, 2}, {4, 0, 2, 2}, {4, 3, 0, 2}, {4, 3, 2, 0}, {0, 0, 0, 0}};
    for (const auto& s : sizes) {
        TviContents c = TviVolume(s[0], s[1], s[2], s[3]);
        c.pixelSizeX = 2.0;
        CTimeVolume volume;
        ASSERT_TRUE(volume.LoadFile(Write("zero.tvi", c), 0.98));
        EXPECT_EQ(volume.SizeX(), 0);
        EXPECT_EQ(volume.SizeY(), 0);
        EXPECT_EQ(volume.SizeZ(), 0);
        EXPECT_EQ(volume.Frames(), 0);
        EXPECT_EQ(volume.SizeZ(), 0);
        EXPECT_EQ(volume.PixelSizeX(), 2.0);
        for (int plane = 0; plane < 3; ++plane) ExpectEmpty(volume.GetSlice(plane, 0, 0, false));
    }
}

TEST_F(TimeVolumeTest, CutFilesNeverLoadPartially) {
    const std::vector<uint8_t> bytes = TviFileBytes(CodedVolume(7, 5, 3, 2));
    const std::string path = m_folder.File("cut.tvi");
    for (size_t length = 0; length < bytes.size(); length += 97) {
        ASSERT_TRUE(WriteBytes(path, std::vector<uint8_t>(bytes.begin(), bytes.begin() + length)));
        CTimeVolume volume;
        EXPECT_FALSE(volume.LoadFile(path, 0.98)) << "length " << length;
        EXPECT_EQ(volume.SizeZ(), 0);
    }
}

// A volume large enough to be split over threads maps exactly as the
// per-sample formula says, at a percentile computed over all samples.
TEST_F(TimeVolumeTest, LargeLoadMatchesTheFormula) {
    TviContents c = TviVolume(160, 128, 16, 13);  // 4.3 million samples, 8.5 MB
    std::mt19937 random(7);
    std::uniform_int_distribution<int> values(0, 4000);
    for (auto& v : c.samples) v = static_cast<uint16_t>(values(random));
    for (int i = 0; i < 100; ++i) c.samples[static_cast<size_t>(i) * 40000] = 65535;

    CTimeVolume volume;
    std::vector<double> progress;
    ASSERT_TRUE(volume.LoadFile(Write("large.tvi", c), 0.98, [&](double f) { progress.push_back(f); }));
    // Progress comes from the calling thread, rising to the end.
    ASSERT_GE(progress.size(), 2u);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_GT(progress.front(), 0.0);
    EXPECT_DOUBLE_EQ(progress.back(), 1.0);

    std::vector<uint16_t> sorted = c.samples;
    std::sort(sorted.begin(), sorted.end());
    // The smallest value with at least 98 % of the samples at or below it.
    const auto needed = static_cast<size_t>(std::ceil(0.98 * static_cast<double>(sorted.size())));
    const uint16_t level = sorted[needed - 1];
    EXPECT_EQ(volume.SaturationLevel(), level);

    for (int z = 0; z < c.sizeZ; ++z)
        for (int t = 0; t < c.frames; ++t)
            for (int i = 0; i < c.sizeX * c.sizeY; ++i) {
                const uint16_t v = c.samples[c.IndexOf(i % c.sizeX, i / c.sizeX, z, t)];
                ASSERT_EQ(ShownGrey(volume, z, t, i), EightBitValue(v, level))
                    << "z " << z << " t " << t << " pixel " << i;
            }
}

TEST_F(TimeVolumeTest, EveryVoxelKeepsItsValueInTheFilesUnits) {
    // Values that differ from voxel to voxel and frame to frame.
    const auto raw = [](int i, int j, int k, int t) { return (i * 7 + j * 13 + k * 31 + t * 101) % 2000; };
    struct Case {
        const char* what;
        int x, y, z, t;
        EVolumeFormat format;
        int datatype;  // NIfTI only
        std::function<double(int, int, int, int)> value;
    };
    const Case cases[] = {
        {"tvi, few samples", 5, 4, 3, 2, EVolumeFormat::kTvi, 0,
         [&](int i, int j, int k, int t) { return raw(i, j, k, t) * 30.0; }},
        {"tvi", 40, 30, 8, 3, EVolumeFormat::kTvi, 0,
         [&](int i, int j, int k, int t) { return raw(i, j, k, t) * 30.0; }},
        {"int16 with a slope, few samples", 5, 4, 3, 2, EVolumeFormat::kNifti, DT_INT16,
         [&](int i, int j, int k, int t) { return (raw(i, j, k, t) - 1000) * 0.5 - 10.0; }},
        {"int16 with a slope", 40, 30, 8, 3, EVolumeFormat::kNifti, DT_INT16,
         [&](int i, int j, int k, int t) { return (raw(i, j, k, t) - 1000) * 0.5 - 10.0; }},
        {"float32", 40, 30, 8, 3, EVolumeFormat::kNifti, DT_FLOAT32,
         [&](int i, int j, int k, int t) { return double(float(std::sin(raw(i, j, k, t)) * 100.0 + 3.0)); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string path = m_folder.File(c.format == EVolumeFormat::kTvi ? "v.tvi" : "v.nii");
        double smallest = HUGE_VAL, largest = -HUGE_VAL;
        for (int t = 0; t < c.t; ++t)
            for (int k = 0; k < c.z; ++k)
                for (int j = 0; j < c.y; ++j)
                    for (int i = 0; i < c.x; ++i) {
                        smallest = std::min(smallest, c.value(i, j, k, t));
                        largest = std::max(largest, c.value(i, j, k, t));
                    }
        if (c.format == EVolumeFormat::kTvi) {
            ASSERT_TRUE(WriteTviFile(path, TviVolume(c.x, c.y, c.z, c.t, [&](int i, int j, int k, int t) {
                                         return static_cast<uint16_t>(c.value(i, j, k, t));
                                     })));
        } else {
            // The file holds raw numbers; the slope and intercept give the values.
            std::vector<double> stored;
            for (int t = 0; t < c.t; ++t)
                for (int k = 0; k < c.z; ++k)
                    for (int j = 0; j < c.y; ++j)
                        for (int i = 0; i < c.x; ++i)
                            stored.push_back(c.datatype == DT_INT16 ? raw(i, j, k, t) - 1000 : c.value(i, j, k, t));
            NiftiContents nifti;
            nifti.SetSizes(4, c.x, c.y, c.z, c.t);
            nifti.SetValuesAs(c.datatype, stored);
            if (c.datatype == DT_INT16) {
                nifti.slope = 0.5;
                nifti.intercept = -10.0;
            }
            ASSERT_TRUE(WriteNiftiFile(path, nifti));
        }
        CTimeVolume volume;
        ASSERT_TRUE(volume.LoadFile(path, 1.0)) << volume.LastError();
        // Integers exactly; real values within one step of the 16-bit codes.
        const double tolerance = c.datatype == DT_FLOAT32 ? (largest - smallest) / 65535 : 0.0;
        int wrong = 0;
        for (int t = 0; t < c.t; ++t)
            for (int k = 0; k < c.z; ++k)
                for (int j = 0; j < c.y; ++j)
                    for (int i = 0; i < c.x; ++i) {
                        const std::optional<double> value = volume.Value(i, j, k, t);
                        const bool right = value && std::abs(*value - c.value(i, j, k, t)) <= tolerance;
                        if (!right && wrong++ == 0) {
                            ADD_FAILURE() << "voxel " << i << ", " << j << ", " << k << ", frame " << t << ": "
                                          << (value ? std::to_string(*value) : "none") << " instead of "
                                          << c.value(i, j, k, t);
                        }
                    }
        EXPECT_EQ(wrong, 0);
        for (const auto& [i, j, k, t] : {std::array{-1, 0, 0, 0}, std::array{c.x, 0, 0, 0},
                                         std::array{0, c.y, 0, 0}, std::array{0, 0, c.z, 0},
                                         std::array{0, 0, 0, c.t}, std::array{0, 0, 0, -1}})
            EXPECT_FALSE(volume.Value(i, j, k, t).has_value()) << i << ", " << j << ", " << k << ", " << t;
    }
}

// A file cut short while it is shown: the volume reads its codes from the
// file's own pages where it can, so what the file lost must read as 0 (never
// end the program), the rest as loaded, and the volume must say so. A volume
// whose codes were copied keeps everything. Drawing every plane and frame and
// asking every voxel's value must all work either way.
TEST_F(TimeVolumeTest, AFileCutShortWhileShownNeverEndsTheProgram) {
    constexpr int X = 64, Y = 48, Z = 6, T = 5;
    std::vector<int16_t> values(static_cast<size_t>(X) * Y * Z * T);
    for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int16_t>(int(i % 997) - 300);
    // Each file holds `values` (a .tvi as unsigned samples); fileIndex gives
    // the file position of voxel (x, y, z, t).
    auto tviIndex = [](int x, int y, int z, int t) { return ((size_t(z) * T + t) * Y + y) * X + x; };
    auto niftiIndex = [](int x, int y, int z, int t) { return ((size_t(t) * Z + z) * Y + y) * X + x; };
    auto nifti = [&](const std::string& name, const NiftiContents& contents) {
        const std::string path = m_folder.File(name);
        EXPECT_TRUE(WriteNiftiFile(path, contents));
        return path;
    };
    const struct Case {
        const char* name;
        bool mapped;  // the codes are the file's pages
        int sampleBytes;
        std::function<std::string()> write;
        std::function<size_t(int, int, int, int)> fileIndex;
    } cases[] = {
        {"tvi", true, 2,
         [&] {
             TviContents c = TviVolume(X, Y, Z, T);
             for (size_t i = 0; i < values.size(); ++i) c.samples[i] = static_cast<uint16_t>(values[i] + 300);
             return Write("cut.tvi", c);
         },
         tviIndex},
        {"int16 NIfTI", true, 2, [&] { return nifti("cut.nii", NiftiVolume(X, Y, Z, T, DT_INT16, values)); },
         niftiIndex},
        {"int32 NIfTI (codes copied)", false, 4,
         [&] {
             return nifti("cut32.nii",
                          NiftiVolume(X, Y, Z, T, DT_INT32, std::vector<int32_t>(values.begin(), values.end())));
         },
         niftiIndex},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string path = c.write();
        CTimeVolume volume;
        ASSERT_TRUE(volume.LoadFile(path, 0.98)) << volume.LastError();
        EXPECT_FALSE(volume.FileChanged());
        std::vector<std::optional<double>> loaded(values.size());
        for (int t = 0; t < T; ++t)
            for (int z = 0; z < Z; ++z)
                for (int y = 0; y < Y; ++y)
                    for (int x = 0; x < X; ++x) loaded[c.fileIndex(x, y, z, t)] = volume.Value(x, y, z, t);
        // The samples of the first half of the file stay; the rest is gone.
        const int64_t size = static_cast<int64_t>(std::filesystem::file_size(path));
        const int64_t keptBytes = size / 2;
        std::filesystem::resize_file(path, static_cast<uintmax_t>(keptBytes));
        const int64_t dataStart = size - static_cast<int64_t>(values.size()) * c.sampleBytes;
        const int64_t keptSamples = (keptBytes - dataStart) / c.sampleBytes;
        // Whole pages are lost at once, so a sample near the cut may read as 0 too.
        const int64_t surelyKept = keptSamples - 4096;

        for (int plane = 0; plane < 3; ++plane)
            for (int t = 0; t < T; ++t) {
                const int extents[3] = {X, Y, Z};
                const ShownPlane image(volume.GetSlice(plane, extents[plane] / 2, t, true));
                EXPECT_NE(image.m_data, nullptr);
            }
        int lost = 0;
        for (int t = 0; t < T; ++t)
            for (int z = 0; z < Z; ++z)
                for (int y = 0; y < Y; ++y)
                    for (int x = 0; x < X; ++x) {
                        const size_t i = c.fileIndex(x, y, z, t);
                        const std::optional<double> value = volume.Value(x, y, z, t);
                        if (!c.mapped || static_cast<int64_t>(i) < surelyKept) {
                            ASSERT_EQ(value, loaded[i]) << x << "," << y << "," << z << "," << t;
                        } else if (value != loaded[i]) {
                            ASSERT_TRUE(!value || *value == 0.0) << x << "," << y << "," << z << "," << t;
                            ++lost;
                        }
                    }
        EXPECT_EQ(volume.FileChanged(), c.mapped);
        if (c.mapped) {
            EXPECT_GT(lost, 0);
        }
    }
}

// A file deleted while shown keeps its pages: nothing changes.
TEST_F(TimeVolumeTest, AFileDeletedWhileShownKeepsItsValues) {
    const TviContents c = CodedVolume(16, 8, 3, 2);
    const std::string path = Write("gone.tvi", c);
    CTimeVolume volume;
    ASSERT_TRUE(volume.LoadFile(path, 1.0));
    std::filesystem::remove(path);
    EXPECT_FALSE(volume.FileChanged());
    for (int t = 0; t < 2; ++t)
        for (int z = 0; z < 3; ++z)
            for (int y = 0; y < 8; ++y)
                for (int x = 0; x < 16; ++x)
                    ASSERT_EQ(volume.Value(x, y, z, t), double(c.samples[c.IndexOf(x, y, z, t)]));
}

// A new saturation makes only the display mapping anew: every plane must be
// what a load at that saturation shows, whether the codes are the samples
// (.tvi), stand for rescaled signed values (NIfTI), or are few (sorted, not
// counted into tables).
TEST_F(TimeVolumeTest, ANewSaturationShowsWhatALoadAtItShows) {
    auto nifti = [&](int x, int y, int z, int t) {
        std::vector<int16_t> values(static_cast<size_t>(x) * y * z * t);
        for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int16_t>(int(i * 37 % 1500) - 700);
        NiftiContents contents = NiftiVolume(x, y, z, t, DT_INT16, values);
        contents.slope = 0.5;
        contents.intercept = 10.0;
        // Appended, not added to a literal: GCC 12 at -O2 warns wrongly of overlap there.
        std::string name = "s";
        name += std::to_string(x);
        name += ".nii";
        const std::string path = m_folder.File(name);
        EXPECT_TRUE(WriteNiftiFile(path, contents));
        return path;
    };
    const struct {
        const char* name;
        std::string path;
    } cases[] = {
        {"tvi", Write("s.tvi", TviVolume(40, 30, 6, 3, [](int x, int y, int z, int t) { return x * y + z * 7 + t; }))},
        {"int16 NIfTI with a rescale", nifti(40, 30, 6, 3)},
        {"a few NIfTI samples", nifti(6, 5, 3, 2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTimeVolume shown, fresh;
        ASSERT_TRUE(shown.LoadFile(c.path, 0.98)) << shown.LastError();
        ASSERT_TRUE(fresh.LoadFile(c.path, 0.4)) << fresh.LastError();
        EXPECT_EQ(shown.SetSaturation(0.4), fresh.SaturationLevel());
        EXPECT_NE(fresh.SaturationLevel(), 0);
        EXPECT_EQ(LargestPlaneDifference(shown, fresh), 0);
    }
}
