#include <gtest/gtest.h>
#include <nifti1.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <optional>

#include "NiftiHeader.h"
#include "TempFolder.h"
#include "TestData.h"

namespace {

NiftiContents SmallImage() {
    NiftiContents c = NiftiVolume(3, 2, 2, 5, DT_INT16, std::vector<int16_t>(3 * 2 * 2 * 5, 7));
    c.SetPixelSizes(0.5, 0.75, 6.0);
    c.pixdim[4] = 0.055;
    return c;
}

}  // namespace

TEST(NiftiHeader, ReadsBothVersionsInBothByteOrdersPlainAndCompressed) {
    TempFolder folder;
    for (int version : {1, 2})
        for (bool swapped : {false, true})
            for (bool gzip : {false, true}) {
                NiftiContents c = SmallImage();
                c.version = version;
                c.swapped = swapped;
                c.gzip = gzip;
                const std::string path = folder.File("image.nii");
                ASSERT_TRUE(WriteNiftiFile(path, c));
                const std::string what = "version " + std::to_string(version) + (swapped ? " swapped" : "") +
                                         (gzip ? " gzip" : "");
                CNiftiHeader header;
                std::string error;
                ASSERT_TRUE(header.Read(path, error)) << what << ": " << error;
                EXPECT_EQ(header.m_version, version) << what;
                EXPECT_EQ(header.m_swapped, swapped) << what;
                EXPECT_EQ(header.m_compressed, gzip) << what;
                EXPECT_EQ(header.m_sizeX, 3) << what;
                EXPECT_EQ(header.m_sizeY, 2) << what;
                EXPECT_EQ(header.m_sizeZ, 2) << what;
                EXPECT_EQ(header.m_frames, 5) << what;
                EXPECT_EQ(header.m_datatype, DT_INT16) << what;
                EXPECT_EQ(header.DatatypeName(), "int16") << what;
                EXPECT_EQ(header.m_bytesPerVoxel, 2) << what;
                EXPECT_EQ(header.m_dataOffset, version == 1 ? 352 : 544) << what;
                EXPECT_EQ(header.DataBytes(), 120) << what;
                EXPECT_EQ(header.m_pixdim[2], 0.75) << what;
            }
}

TEST(NiftiHeader, FewerDimensionsMeanSizeOne) {
    struct Case {
        int dimensions;
        int32_t x, y, z, t;
    } cases[] = {{1, 7, 1, 1, 1}, {2, 7, 5, 1, 1}, {3, 7, 5, 3, 1}, {4, 7, 5, 3, 2}};
    for (const Case& expected : cases) {
        NiftiContents c;
        // Sizes past dim[0] are ignored, whatever they hold.
        for (int i = 1; i < 8; ++i) c.dim[i] = 9;
        c.dim[0] = expected.dimensions;
        const int64_t sizes[4] = {7, 5, 3, 2};
        for (int i = 1; i <= expected.dimensions; ++i) c.dim[i] = sizes[i - 1];
        const std::vector<uint8_t> bytes = NiftiFileBytes(c);
        CNiftiHeader header;
        std::string error;
        ASSERT_TRUE(header.Parse(bytes.data(), bytes.size(), error)) << expected.dimensions << ": " << error;
        EXPECT_EQ(header.m_sizeX, expected.x);
        EXPECT_EQ(header.m_sizeY, expected.y);
        EXPECT_EQ(header.m_sizeZ, expected.z);
        EXPECT_EQ(header.m_frames, expected.t);
        EXPECT_EQ(header.m_dimensions, expected.dimensions);
    }
}

TEST(NiftiHeader, RefusesUnsoundHeadersWithAReason) {
    struct Case {
        const char* what;
        std::function<void(NiftiContents&)> change;
        const char* reason;
    } cases[] = {
        {"zero size", [](NiftiContents& c) { c.dim[2] = 0; }, "dimension 2 has size 0"},
        {"negative size", [](NiftiContents& c) { c.dim[3] = -4; }, "dimension 3 has size -4"},
        {"no dimensions", [](NiftiContents& c) { c.dim[0] = 0; }, "dim[0] is 0"},
        {"dim[0] above 7", [](NiftiContents& c) { c.dim[0] = 8; }, "dim[0] is 8"},
        {"five dimensions",
         [](NiftiContents& c) {
             c.dim[0] = 5;
             c.dim[5] = 3;
         },
         "more than four dimensions (dim[5] = 3)"},
        {"size beyond int32",
         [](NiftiContents& c) {
             c.version = 2;
             c.dim[1] = int64_t{1} << 33;
         },
         "dimension 1 has size 8589934592"},
        {"product overflows",
         [](NiftiContents& c) {
             c.version = 2;
             c.SetSizes(4, 0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff);
         },
         "overflows"},
        {"bytes overflow",
         [](NiftiContents& c) {
             c.version = 2;
             c.datatype = DT_FLOAT64;
             c.SetSizes(4, 0x7fffffff, 0x7fffffff, 0x7fffffff, 2);
         },
         "too large"},
        {"rgb", [](NiftiContents& c) { c.datatype = DT_RGB24; }, "rgb24 holds colour"},
        {"complex", [](NiftiContents& c) { c.datatype = DT_COMPLEX64; }, "complex64 holds complex values"},
        {"float128", [](NiftiContents& c) { c.datatype = DT_FLOAT128; }, "float128 is not supported"},
        {"unknown type", [](NiftiContents& c) { c.datatype = 77; }, "code 77 is not supported"},
        {"offset inside the header", [](NiftiContents& c) { c.voxOffset = 100; }, "vox_offset 100"},
    };
    for (const Case& test : cases) {
        NiftiContents c = SmallImage();
        test.change(c);
        std::vector<uint8_t> bytes = NiftiFileBytes(c);
        bytes.resize(std::max<size_t>(bytes.size(), CNiftiHeader::kMaxHeaderBytes));
        CNiftiHeader header;
        std::string error;
        EXPECT_FALSE(header.Parse(bytes.data(), bytes.size(), error)) << test.what;
        EXPECT_NE(error.find(test.reason), std::string::npos) << test.what << ": " << error;
    }
}

TEST(NiftiHeader, RefusesFilesThatAreNotWholeNiftiImages) {
    TempFolder folder;
    const std::vector<uint8_t> good = NiftiFileBytes(SmallImage());
    NiftiContents second = SmallImage();
    second.version = 2;
    const std::vector<uint8_t> v2 = NiftiFileBytes(second);
    std::vector<uint8_t> analyze = good;
    analyze[344] = analyze[345] = analyze[346] = 0;
    std::vector<uint8_t> pair = good;
    pair[345] = 'i';
    std::vector<uint8_t> beyond = good;
    const float farOffset = 4096.0f;
    std::memcpy(&beyond[108], &farOffset, sizeof farOffset);
    std::vector<uint8_t> corruptGzip = {0x1f, 0x8b, 8,    0,    0,    0,    0,    0,
                                        0,    3,    0xff, 0xff, 0xff, 0xff, 0xff, 0xff};
    struct Case {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* reason;
    } cases[] = {
        {"empty", {}, "the file is empty"},
        {"not nifti", std::vector<uint8_t>(600, 'x'), "not a NIfTI file"},
        {"inside the header", std::vector<uint8_t>(good.begin(), good.begin() + 200),
         "too short for a NIfTI header (200 bytes)"},
        {"truncated", std::vector<uint8_t>(good.begin(), good.end() - 1),
         "truncated: 471 bytes, its header announces 472"},
        {"offset beyond the file", beyond, "vox_offset 4096 lies beyond the end of the file (472 bytes)"},
        {"analyze", analyze, "not a NIfTI file"},
        {"NIfTI-2 cut short", std::vector<uint8_t>(v2.begin(), v2.begin() + 400),
         "ends inside its NIfTI-2 header (400 of 540"},
        {"header and image pair", pair, "separate .img file"},
        {"corrupt gzip", corruptGzip, "gzip"},
        {"gzip of nothing", {0x1f, 0x8b, 8, 0, 0, 0, 0, 0, 0, 3, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0}, "no file"},
    };
    for (const Case& test : cases) {
        const std::string path = folder.File("bad.nii");
        WriteBytes(path, test.bytes);
        CNiftiHeader header;
        std::string error;
        EXPECT_FALSE(header.Read(path, error)) << test.what;
        EXPECT_NE(error.find(test.reason), std::string::npos) << test.what << ": " << error;
    }
    CNiftiHeader header;
    std::string error;
    EXPECT_FALSE(header.Read(folder.File("missing.nii"), error));
    EXPECT_NE(error.find("cannot open"), std::string::npos) << error;
    EXPECT_FALSE(header.Read(folder.Path().string(), error));
    EXPECT_NE(error.find("folder"), std::string::npos) << error;
}

TEST(NiftiHeader, CalibrationTakesUnitsAndSensibleValuesOnly) {
    struct Case {
        const char* what;
        int dimensions;
        int units;
        double pixdim[5];
        std::optional<double> x, z, frameTime;
    } cases[] = {
        {"mm and s", 4, NIFTI_UNITS_MM | NIFTI_UNITS_SEC, {1, 0.5, 0.75, 6, 0.055}, 0.5, 6.0, 55.0},
        {"no units", 4, 0, {1, 0.5, 0.75, 6, 0.0554}, 0.5, 6.0, 55.0},
        {"metres and ms",
         4,
         NIFTI_UNITS_METER | NIFTI_UNITS_MSEC,
         {1, 0.001953125, 1, 0.005859375, 40.6},
         1.953125,
         5.859375,
         41.0},
        {"microns and us",
         4,
         NIFTI_UNITS_MICRON | NIFTI_UNITS_USEC,
         {1, 500, 1, 6000, 30000},
         0.5,
         6.0,
         30.0},
        {"2000 s is out of range",
         4,
         NIFTI_UNITS_MM | NIFTI_UNITS_SEC,
         {1, 1, 1, 1, 2000},
         1.0,
         1.0,
         std::nullopt},
        {"below 1 ms", 4, NIFTI_UNITS_MM | NIFTI_UNITS_MSEC, {1, 1, 1, 1, 0.4}, 1.0, 1.0, std::nullopt},
        {"5000 ms is in range", 4, NIFTI_UNITS_MSEC, {1, 1, 1, 1, 5000}, 1.0, 1.0, 5000.0},
        {"hertz is no time", 4, NIFTI_UNITS_MM | NIFTI_UNITS_HZ, {1, 1, 1, 1, 50}, 1.0, 1.0, std::nullopt},
        {"3-D has no frame time",
         3,
         NIFTI_UNITS_MM | NIFTI_UNITS_SEC,
         {1, 1, 1, 1, 0.05},
         1.0,
         1.0,
         std::nullopt},
        {"zero and negative sizes", 4, NIFTI_UNITS_MM, {1, 0, 1, -2, 0.05}, std::nullopt, std::nullopt, 50.0},
        {"NaN size", 4, NIFTI_UNITS_MM, {1, NAN, 1, INFINITY, 0.05}, std::nullopt, std::nullopt, 50.0},
    };
    for (const Case& test : cases) {
        NiftiContents c;
        c.SetSizes(test.dimensions, 2, 2, 2, test.dimensions == 4 ? 2 : 1);
        c.xyztUnits = test.units;
        for (int i = 0; i < 5; ++i) c.pixdim[i] = test.pixdim[i];
        const std::vector<uint8_t> bytes = NiftiFileBytes(c);
        CNiftiHeader header;
        std::string error;
        ASSERT_TRUE(header.Parse(bytes.data(), bytes.size(), error)) << test.what << ": " << error;
        const CVolumeCalibration calibration = header.Calibration();
        EXPECT_EQ(calibration.m_pixelSizeX, test.x) << test.what;
        EXPECT_EQ(calibration.m_pixelSizeZ, test.z) << test.what;
        EXPECT_EQ(calibration.m_frameTime, test.frameTime) << test.what;
    }
}

TEST(NiftiHeader, ScalingAppliesOnlyWithAFiniteNonZeroSlope) {
    struct Case {
        double slope, intercept;
        bool scaled;
        double expectedSlope, expectedIntercept;
    } cases[] = {
        {0.0, 5.0, false, 1.0, 0.0},      {2.0, 5.0, true, 2.0, 5.0},   {NAN, 5.0, false, 1.0, 0.0},
        {INFINITY, 5.0, false, 1.0, 0.0}, {-0.5, NAN, true, -0.5, 0.0}, {3.0, -INFINITY, true, 3.0, 0.0},
    };
    for (const Case& test : cases) {
        NiftiContents c = SmallImage();
        c.slope = test.slope;
        c.intercept = test.intercept;
        const std::vector<uint8_t> bytes = NiftiFileBytes(c);
        CNiftiHeader header;
        std::string error;
        ASSERT_TRUE(header.Parse(bytes.data(), bytes.size(), error)) << error;
        EXPECT_EQ(header.IsScaled(), test.scaled) << test.slope;
        EXPECT_EQ(header.Slope(), test.expectedSlope) << test.slope;
        EXPECT_EQ(header.Intercept(), test.expectedIntercept) << test.slope;
    }
}
