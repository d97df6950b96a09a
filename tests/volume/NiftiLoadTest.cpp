#include <gtest/gtest.h>
#include <nifti1.h>
#include <zlib.h>

#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <memory>
#include <numeric>
#include <random>

#include "IntensityWindow.h"
#include "NiftiSource.h"
#include "SourceSamples.h"
#include "TempFolder.h"
#include "TestData.h"
#include "TimeVolume.h"
#include "VolumeFormat.h"
#include "ShownPlane.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The value-to-sample rule, written out here on its own so that the reader's
// version is checked against it rather than against itself.
std::vector<uint16_t> RuleSamples(const std::vector<double>& v, bool integerType) {
    bool keep = integerType;
    double m = kInf, M = -kInf;
    for (double x : v) {
        if (!(x >= 0 && x <= 65535 && std::floor(x) == x)) keep = false;
        if (std::isfinite(x)) {
            m = std::min(m, x);
            M = std::max(M, x);
        }
    }
    std::vector<uint16_t> samples(v.size(), 0);
    for (size_t i = 0; i < v.size(); ++i) {
        if (keep) {
            samples[i] = static_cast<uint16_t>(v[i]);
        } else if (std::isfinite(v[i]) && M > m) {
            const double scaled = (v[i] - m) * 65535 / (M - m) + 0.5;
            samples[i] = static_cast<uint16_t>(std::trunc(scaled));
        }
    }
    return samples;
}

// One file of the table: how it is written, the stored values and what they mean.
struct LoadCase {
    const char* what;
    int datatype;
    std::vector<double> stored;  // repeated to fill the image
    double slope = 0.0, intercept = 0.0;
    std::function<void(NiftiContents&)> change = nullptr;
    std::array<int64_t, 4> sizes = {5, 3, 2, 2};
    std::vector<std::pair<int64_t, double>> placed = {};  // stored values put over the repeated ones
};

// The stored values, in file order.
std::vector<double> StoredOf(const LoadCase& test) {
    const auto& n = test.sizes;
    std::vector<double> values(static_cast<size_t>(n[0] * n[1] * n[2] * n[3]));
    for (size_t i = 0; i < values.size(); ++i) values[i] = test.stored[i % test.stored.size()];
    for (const auto& [at, value] : test.placed) values[static_cast<size_t>(at)] = value;
    return values;
}

NiftiContents ContentsOf(const LoadCase& test) {
    NiftiContents c;
    c.slope = test.slope;
    c.intercept = test.intercept;
    c.SetSizes(4, test.sizes[0], test.sizes[1], test.sizes[2], test.sizes[3]);
    c.SetValuesAs(test.datatype, StoredOf(test));
    if (test.change) test.change(c);
    return c;
}

// The values v the file stands for, in file order.
std::vector<double> ValuesOf(const LoadCase& test) {
    std::vector<double> v = StoredOf(test);
    const bool scaled = std::isfinite(test.slope) && test.slope != 0;
    const double intercept = std::isfinite(test.intercept) ? test.intercept : 0.0;
    for (double& raw : v) {
        if (test.datatype == DT_FLOAT32) raw = static_cast<float>(raw);
        if (scaled) raw = raw * test.slope + intercept;
    }
    return v;
}

const std::vector<LoadCase>& LoadCases() {
    // 8 MiB of 4-byte values, whose range is found on two threads (4 MiB each, where there are two
    // cores): a ramp of 0 to 999 with its extremes in different halves.
    constexpr std::array<int64_t, 4> kLarge = {128, 128, 16, 8};
    constexpr int64_t kLargeCount = 128 * 128 * 16 * 8, kLast = kLargeCount - 1;
    std::vector<double> ramp(1000);
    std::iota(ramp.begin(), ramp.end(), 0.0);
    static const std::vector<LoadCase> cases = {
        {"uint16 kept", DT_UINT16, {0, 1, 300, 65535, 42}},
        {"int16 in range kept", DT_INT16, {0, 7, 1000, 32767}},
        {"int16 negative stretched", DT_INT16, {-32768, -5, 0, 3, 32767, 1234}},
        {"int16 big-endian",
         DT_INT16,
         {-300, 5, 0, 299, 12},
         0,
         0,
         [](NiftiContents& c) { c.swapped = true; }},
        {"int16 scaled to halves", DT_INT16, {-3, 0, 1, 2, 5, 9}, 0.5, 10.0},
        {"uint16 scaled, whole", DT_UINT16, {0, 1, 2, 30000}, 2.0, 1.0},
        {"uint16 scaled past 65535", DT_UINT16, {0, 1, 2, 40000}, 2.0, 1.0},
        {"int16 scaled, NaN intercept", DT_INT16, {-4, 0, 4}, -1.5, kNaN},
        {"uint8 kept", DT_UINT8, {0, 17, 255, 128}},
        {"int8 stretched", DT_INT8, {-128, -1, 0, 127, 50}},
        {"int32 in range kept", DT_INT32, {0, 65535, 3, 70}},
        {"int32 beyond 65535", DT_INT32, {0, 65536, 3, -70}},
        {"uint32 big", DT_UINT32, {4294967295.0, 0, 100000}},
        {"int64 negative", DT_INT64, {-9e15, 5, 1e15}},
        {"uint64 kept", DT_UINT64, {0, 9, 65535}},
        {"float32 with NaN and infinities", DT_FLOAT32, {0.25, kNaN, -1.5, kInf, 1e3, -kInf, 7.125}},
        {"float64 whole values are stretched", DT_FLOAT64, {0, 10, 100, 55}},
        {"float64 big-endian, scaled",
         DT_FLOAT64,
         {0.1, 0.2, 0.7, -3.3},
         3.0,
         -0.25,
         [](NiftiContents& c) { c.swapped = true; }},
        {"float32 all NaN", DT_FLOAT32, {kNaN}},
        {"float64 one value", DT_FLOAT64, {3.5}},
        {"NIfTI-2", DT_INT16, {-2, 9, 4}, 0, 0, [](NiftiContents& c) { c.version = 2; }},
        {"NIfTI-2 big-endian float",
         DT_FLOAT32,
         {-2.5, 9, 4},
         0,
         0,
         [](NiftiContents& c) {
             c.version = 2;
             c.swapped = true;
         }},
        {"compressed", DT_INT16, {-2, 9, 4, 300}, 0, 0, [](NiftiContents& c) { c.gzip = true; }},
        {"compressed float", DT_FLOAT32, {-2, 9.5, 4, 300}, 0, 0, [](NiftiContents& c) { c.gzip = true; }},
        {"odd voxel offset", DT_UINT16, {3, 9, 4, 300}, 0, 0, [](NiftiContents& c) { c.voxOffset = 353; }},
        {"3-D", DT_INT16, {-1, 2, 3}, 0, 0, [](NiftiContents& c) { c.SetSizes(3, 5, 3, 4, 1); }},
        {"int32 beyond 65535 only at the end", DT_INT32, ramp, 0, 0, nullptr, kLarge, {{kLast, 1e5}}},
        {"int32 negative only at the start", DT_INT32, ramp, 0, 0, nullptr, kLarge, {{0, -5}}},
        {"float32 extremes early and late", DT_FLOAT32, ramp, 0, 0, nullptr, kLarge,
         {{10, -250.5}, {kLargeCount / 2, kNaN}, {kLargeCount - 3, 4096.25}}},
    };
    return cases;
}

// Writes the case's file into `folder`; `c` is what was written.
std::string WriteCase(const TempFolder& folder, const LoadCase& test, NiftiContents& c) {
    c = ContentsOf(test);
    const std::string path = folder.File(c.gzip ? "image.nii.gz" : "image.nii");
    EXPECT_TRUE(WriteNiftiFile(path, c)) << test.what;
    return path;
}

// The text of one of the format's --info fields, "" when it has none of that name.
std::string InfoField(const CTimeVolume& volume, const std::string& key) {
    for (const CInfoField& field : volume.FileInfo().m_fields)
        if (field.key == key && std::holds_alternative<std::string>(field.value))
            return std::get<std::string>(field.value);
    return "";
}

}  // namespace

TEST(NiftiLoad, EveryVoxelBecomesTheSampleTheRuleGives) {
    TempFolder folder;
    for (const LoadCase& test : LoadCases()) {
        NiftiContents c;
        const std::string path = WriteCase(folder, test, c);
        CNiftiSource source;
        std::string error;
        ASSERT_TRUE(source.Open(path, error)) << test.what << ": " << error;
        const std::vector<double> v = ValuesOf(test);
        const bool integerType = test.datatype != DT_FLOAT32 && test.datatype != DT_FLOAT64;
        const std::vector<uint16_t> expected = RuleSamples(v, integerType);
        const std::vector<uint16_t> samples = SourceSamples(source);
        ASSERT_EQ(samples.size(), expected.size()) << test.what;
        for (size_t i = 0; i < samples.size(); ++i)
            ASSERT_EQ(samples[i], expected[i]) << test.what << ": voxel " << i << ", value " << v[i];

        double m = kInf, M = -kInf;
        for (double x : v)
            if (std::isfinite(x)) m = std::min(m, x), M = std::max(M, x);
        if (m <= M) {
            ASSERT_TRUE(source.ValueRange().has_value()) << test.what;
            EXPECT_EQ((*source.ValueRange())[0], m) << test.what;
            EXPECT_EQ((*source.ValueRange())[1], M) << test.what;
        } else {
            EXPECT_FALSE(source.ValueRange().has_value()) << test.what;
        }
    }
}

TEST(NiftiLoad, OnePlaneOfEachFileShowsTheRuleSamplesWindowed) {
    TempFolder folder;
    for (const LoadCase& test : LoadCases()) {
        NiftiContents c;
        const std::string path = WriteCase(folder, test, c);
        CTimeVolume volume;
        ASSERT_TRUE(volume.LoadFile(path, 0.9)) << test.what << ": " << volume.LastError();
        const int X = static_cast<int>(c.dim[1]), Y = static_cast<int>(c.dim[2]),
                  Z = static_cast<int>(c.dim[3]);
        const int T = c.dim[0] >= 4 ? static_cast<int>(c.dim[4]) : 1;
        ASSERT_EQ(volume.SizeX(), X) << test.what;
        ASSERT_EQ(volume.SizeY(), Y) << test.what;
        ASSERT_EQ(volume.SizeZ(), Z) << test.what;
        ASSERT_EQ(volume.Frames(), T) << test.what;

        const std::vector<uint16_t> samples =
            RuleSamples(ValuesOf(test), test.datatype != DT_FLOAT32 && test.datatype != DT_FLOAT64);
        IntensityHistogram counts{};
        for (uint16_t s : samples) ++counts[s];
        const uint16_t level = SaturationLevelOfHistogram(counts, 0.9);
        EXPECT_EQ(volume.SaturationLevel(), level) << test.what;
        EXPECT_EQ(volume.FileInfo().m_format, EVolumeFormat::kNifti);

        // The XY plane of the last slice in the last frame: file voxel (x, y, z, t)
        // is sample ((t * Z + z) * Y + y) * X + x.
        const int z = Z - 1, t = T - 1;
        const ShownPlane plane(volume.GetSlice(2, z, t, false));
        ASSERT_EQ(plane.m_width, X);
        for (int y = 0; y < Y; ++y)
            for (int x = 0; x < X; ++x) {
                const uint16_t sample = samples[static_cast<size_t>(((t * Z + z) * Y + y) * X + x)];
                EXPECT_EQ(plane.m_data[y * X + x], EightBitValue(sample, level))
                    << test.what << " at (" << x << ", " << y << ")";
            }
    }
}

TEST(NiftiLoad, HugeRangesStillSpanAllSamples) {
    // (v - m) * 65535 overflows here; the samples must still run from 0 to 65535.
    const std::vector<double> values = {-1e308, 0.0, 1e308, kNaN, 5e307};
    CValueRange range;
    range.Add(values.data(), values.size());
    const CSampleRule rule(range, false);
    const uint16_t expected[] = {0, 32768, 65535, 0, 49151};
    for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(rule.Sample(values[i]), expected[i]) << values[i];
}

TEST(NiftiLoad, CompressedAndPlainFilesGiveTheSamePlanes) {
    TempFolder folder;
    std::mt19937 random(5);
    std::vector<int16_t> values(19 * 13 * 7 * 3);
    for (int16_t& v : values) v = static_cast<int16_t>(static_cast<int>(random() % 4000) - 1000);
    NiftiContents c = NiftiVolume(19, 13, 7, 3, DT_INT16, values);
    ASSERT_TRUE(WriteNiftiFile(folder.File("a.nii"), c));
    c.gzip = true;
    ASSERT_TRUE(WriteNiftiFile(folder.File("a.nii.gz"), c));
    CTimeVolume plain, compressed;
    ASSERT_TRUE(plain.LoadFile(folder.File("a.nii"), 0.98)) << plain.LastError();
    ASSERT_TRUE(compressed.LoadFile(folder.File("a.nii.gz"), 0.98)) << compressed.LastError();
    EXPECT_EQ(plain.SaturationLevel(), compressed.SaturationLevel());
    for (int plane = 0; plane < 3; ++plane)
        for (int t = 0; t < 3; ++t) {
            const int index = plane == 2 ? 5 : 9;
            CSliceImage a = plain.GetSlice(plane, index, t, true);
            CSliceImage b = compressed.GetSlice(plane, index, t, true);
            ASSERT_GT(a.ByteCount(), 0);
            ASSERT_EQ(a.ByteCount(), b.ByteCount());
            EXPECT_EQ(std::memcmp(a.m_data, b.m_data, static_cast<size_t>(a.ByteCount())), 0)
                << "plane " << plane << ", frame " << t;
            FreeSliceImage(a);
            FreeSliceImage(b);
        }
}

TEST(NiftiLoad, BadDataFailsWithAReasonAndLeavesTheVolumeAsItWas) {
    TempFolder folder;
    std::mt19937 random(9);
    std::vector<int16_t> values(64 * 64 * 4 * 2);
    for (int16_t& v : values) v = static_cast<int16_t>(random());
    NiftiContents c = NiftiVolume(64, 64, 4, 2, DT_INT16, values);
    c.gzip = true;
    const std::string good = folder.File("good.nii.gz");
    ASSERT_TRUE(WriteNiftiFile(good, c));
    const std::vector<uint8_t> bytes = ReadBytes(good);
    ASSERT_GT(bytes.size(), 20000u);

    auto write = [&](const std::string& name, const std::vector<uint8_t>& content) {
        EXPECT_TRUE(WriteBytes(folder.File(name), content));
        return folder.File(name);
    };
    std::vector<uint8_t> corrupt = bytes;
    for (size_t i = 10000; i < 10100; ++i) corrupt[i] ^= 0x5a;
    std::vector<uint8_t> badChecksum = bytes;
    badChecksum[bytes.size() - 6] ^= 1;
    NiftiContents shortPlain = c;
    shortPlain.gzip = false;
    shortPlain.data.resize(shortPlain.data.size() - 2);
    ASSERT_TRUE(WriteNiftiFile(folder.File("short.nii"), shortPlain));
    NiftiContents shortPacked = c;
    shortPacked.data.resize(shortPacked.data.size() / 2);
    ASSERT_TRUE(WriteNiftiFile(folder.File("short.nii.gz"), shortPacked));

    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {write("cut.nii.gz", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 15000)), "truncated"},
        {write("trailer.nii.gz", std::vector<uint8_t>(bytes.begin(), bytes.end() - 4)), "ends early"},
        {write("corrupt.nii.gz", corrupt), "corrupt"},
        {write("checksum.nii.gz", badChecksum), "corrupt"},
        {folder.File("short.nii"), "truncated: 65886 bytes, its header announces 65888"},
        {folder.File("short.nii.gz"), "it holds 33120 bytes, its header announces 65888"},
        {write("empty.nii", {}), "empty"},
        {folder.File("missing.nii"), "cannot open"},
        {write("scan.hdr", bytes), "only " + OpenableKindsText()},
    };

    CTimeVolume volume;
    ASSERT_TRUE(volume.LoadFile(good, 0.98)) << volume.LastError();
    const uint16_t* before = volume.SliceValues(1, 1).codes;
    for (const auto& test : cases) {
        EXPECT_FALSE(volume.LoadFile(test.path, 0.98)) << test.path;
        EXPECT_NE(volume.LastError().find(test.reason), std::string::npos)
            << test.path << ": " << volume.LastError();
        EXPECT_EQ(volume.SizeX(), 64);
        EXPECT_EQ(volume.Frames(), 2);
        EXPECT_EQ(volume.SliceValues(1, 1).codes, before);
        EXPECT_EQ(InfoField(volume, "datatype"), "int16");
    }
}

TEST(NiftiLoad, TheFileNameSaysTheFormatIgnoringCase) {
    const struct {
        const char* path;
        EVolumeFormat format;
        const char* plain;
    } cases[] = {
        {"a/heart.tvi", EVolumeFormat::kTvi, "a/heart"},
        {"HEART.TVI", EVolumeFormat::kTvi, "HEART"},
        {"tvi", EVolumeFormat::kTvi, ""},
        {"x/heart.nii", EVolumeFormat::kNifti, "x/heart"},
        {"x/Heart.NII.GZ", EVolumeFormat::kNifti, "x/Heart"},
        {"heart.nii.gz", EVolumeFormat::kNifti, "heart"},
        {"heart.gz", EVolumeFormat::kNone, "heart"},
        {"heart.obj", EVolumeFormat::kNone, "heart"},
        {"heart.hdr", EVolumeFormat::kNone, "heart"},
        {"heart.tvi.gz", EVolumeFormat::kNone, "heart.tvi"},
    };
    for (const auto& test : cases) {
        const CVolumeFormat* format = VolumeFormatOfPath(test.path);
        EXPECT_EQ(format != nullptr ? format->id : EVolumeFormat::kNone, test.format) << test.path;
        EXPECT_EQ(PathWithoutVolumeExtension(test.path), test.plain) << test.path;
    }
}

TEST(NiftiLoad, CalibrationIsTakenOnlyWhereTheFileSetsIt) {
    TempFolder folder;
    CTimeVolume volume;
    TviContents tvi = TviVolume(2, 2, 2, 2);
    tvi.SetCalibration(1.25, 1.5, 6.0, 55.0);
    ASSERT_TRUE(WriteTviFile(folder.File("a.tvi"), tvi));
    ASSERT_TRUE(volume.LoadFile(folder.File("a.tvi"), 0.98));
    EXPECT_EQ(volume.FileInfo().m_format, EVolumeFormat::kTvi);

    NiftiContents c = NiftiVolume(2, 2, 2, 2, DT_INT16, std::vector<int16_t>(16, 1));
    c.pixdim[1] = 0.5;
    c.pixdim[2] = 0;  // no size: the earlier one stays
    c.pixdim[3] = 3.0;
    c.pixdim[4] = 2000;  // 2000 s is no frame time
    ASSERT_TRUE(WriteNiftiFile(folder.File("b.nii"), c));
    volume.Clear();
    ASSERT_TRUE(volume.LoadFile(folder.File("b.nii"), 0.98)) << volume.LastError();
    EXPECT_EQ(volume.PixelSizeX(), 0.5);
    EXPECT_EQ(volume.PixelSizeY(), 1.5);
    EXPECT_EQ(volume.PixelSizeZ(), 3.0);
    EXPECT_EQ(volume.FrameTime(), 55.0);
    EXPECT_EQ(volume.FileInfo().m_calibration.m_pixelSizeY, std::nullopt);
    EXPECT_EQ(volume.FileInfo().m_calibration.m_frameTime, std::nullopt);
    EXPECT_EQ(InfoField(volume, "datatype"), "int16");
}

TEST(NiftiLoad, DamagedFilesLoadOrFailWithAReason) {
    TempFolder folder;
    std::vector<std::vector<uint8_t>> originals;
    for (int version : {1, 2}) {
        NiftiContents c;
        c.version = version;
        c.SetSizes(4, 6, 5, 3, 2);
        c.datatype = version == 1 ? DT_INT16 : DT_FLOAT32;
        c.data.assign(6 * 5 * 3 * 2 * (version == 1 ? 2 : 4), 0x41);
        originals.push_back(NiftiFileBytes(c));
    }
    std::mt19937 random(17);
    int loaded = 0, refused = 0;
    for (int round = 0; round < 150; ++round) {
        std::vector<uint8_t> bytes = originals[static_cast<size_t>(round % 2)];
        const size_t headerBytes = round % 2 == 0 ? 348 : 540;
        for (int flips = 0; flips < 4; ++flips)
            bytes[random() % headerBytes] = static_cast<uint8_t>(random());
        if (round % 5 == 0) bytes.resize(random() % (bytes.size() + 1));
        const std::string path = folder.File(round % 3 == 0 ? "damaged.nii.gz" : "damaged.nii");
        if (round % 3 == 0) {
            gzFile file = gzopen(path.c_str(), "wb");
            ASSERT_NE(file, nullptr);
            if (!bytes.empty()) gzwrite(file, bytes.data(), static_cast<unsigned>(bytes.size()));
            gzclose(file);
        } else {
            ASSERT_TRUE(WriteBytes(path, bytes));
        }
        CTimeVolume volume;
        if (volume.LoadFile(path, 0.98)) {
            ++loaded;
            EXPECT_GE(volume.SizeX(), 1) << "round " << round;
            EXPECT_EQ(volume.FileInfo().m_format, EVolumeFormat::kNifti) << "round " << round;
        } else {
            ++refused;
            EXPECT_FALSE(volume.LastError().empty()) << "round " << round;
            EXPECT_EQ(volume.SizeX(), 0) << "round " << round;
        }
    }
    // Damage to unused fields loads; damage to the sizes, type or offset does not.
    EXPECT_GT(loaded, 10);
    EXPECT_GT(refused, 10);
}
