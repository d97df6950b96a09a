// DICOM folders written by the DICOM library's own writer: scanning, series
// choice, sorting and the samples that reach the volume.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <numeric>
#include <optional>
#include <random>

#include "DicomFolder.h"
#include "DicomSource.h"
#include "DicomThumbnail.h"
#include "SourceSamples.h"
#include "TempFolder.h"
#include "TestData.h"
#include "TimeVolume.h"

namespace {

// A 4-slice x 5-phase cine series on an oblique plane, stored under random
// names with instance numbers in random order, int16 with a rescale. Raw
// values say where they belong.
struct ObliqueSeries {
    static constexpr int kRows = 6, kColumns = 7, kSlices = 4, kPhases = 5;
    static constexpr double kGap = 8.0, kStep = 40.0, kSlope = 2.0, kIntercept = -100.0;
    std::array<double, 6> orientation;

    ObliqueSeries() {
        const double a = 0.5, b = 0.3;
        orientation = {std::cos(a), std::sin(a), 0.0, -std::sin(a) * std::cos(b), std::cos(a) * std::cos(b),
                       std::sin(b)};
    }
    static double Raw(int x, int y, int z, int t) { return 1000.0 * z + 100.0 * t + 10.0 * y + x - 1500.0; }

    void Write(const TempFolder& folder, std::mt19937& random) const {
        // Names and instance numbers in random order, so neither can stand in for the geometry or the time.
        std::vector<int> instances(kSlices * kPhases);
        std::iota(instances.begin(), instances.end(), 1);
        std::shuffle(instances.begin(), instances.end(), random);
        DicomImageFields image;
        image.rows = kRows;
        image.columns = kColumns;
        image.pixels = DicomImageFields::Pixels::kInt16;
        // Off the axes; slice 0 lies lowest along the normal.
        image.position = std::array<double, 3>{-30.0, 12.0, 7.0};
        image.orientation = orientation;
        image.pixelSpacing = std::array<double, 2>{1.5, 1.25};
        image.rescaleSlope = kSlope;
        image.rescaleIntercept = kIntercept;
        const std::vector<std::string> paths =
            WriteDicomSeries(folder.Path().string(), image, kSlices, kPhases, kGap, kStep,
                             [&](DicomImageFields& fields, int z, int t) {
                                 fields.values.clear();
                                 for (int y = 0; y < kRows; ++y)
                                     for (int x = 0; x < kColumns; ++x)
                                         fields.values.push_back(Raw(x, y, z, t));
                                 fields.instanceNumber = instances[static_cast<size_t>(z * kPhases + t)];
                             });
        ASSERT_EQ(paths.size(), instances.size());
        for (size_t i = 0; i < paths.size(); ++i)
            std::filesystem::rename(paths[i], folder.File("IM" + std::to_string(random() % 1000000) + "_" +
                                                          std::to_string(instances[i])));
    }

    // The samples the value rule gives, worked out here in the order the volume holds them.
    static std::vector<uint16_t> ExpectedSamples() {
        const double m = Raw(0, 0, 0, 0) * kSlope + kIntercept;
        const double M = Raw(kColumns - 1, kRows - 1, kSlices - 1, kPhases - 1) * kSlope + kIntercept;
        std::vector<uint16_t> samples;
        for (int z = 0; z < kSlices; ++z)
            for (int t = 0; t < kPhases; ++t)
                for (int y = 0; y < kRows; ++y)
                    for (int x = 0; x < kColumns; ++x) {
                        const double v = Raw(x, y, z, t) * kSlope + kIntercept;
                        samples.push_back(static_cast<uint16_t>(std::trunc((v - m) * 65535.0 / (M - m) + 0.5)));
                    }
        return samples;
    }
};

class DicomSeriesTest : public ::testing::Test {
protected:
    // A scan of `folder`; the test fails where the scan does.
    static CDicomFolder Scanned(const std::string& folder) {
        CDicomFolder scan;
        std::string error;
        EXPECT_TRUE(scan.Scan(folder, error)) << error;
        return scan;
    }
    // The samples of `series` as its load gives them; `layout` gets its sorting.
    static std::vector<uint16_t> SeriesSamples(CDicomFolder::Series& series, CDicomSeriesLayout& layout) {
        std::string error;
        EXPECT_TRUE(series.Layout(layout, error)) << error;
        CDicomSource source(layout);
        return SourceSamples(source);
    }

    // The load of `series` must give the samples `expected`, pixel by pixel.
    static void ExpectSamples(CDicomFolder::Series& series, const std::vector<double>& expected) {
        CDicomSeriesLayout layout;
        const std::vector<uint16_t> samples = SeriesSamples(series, layout);
        ASSERT_EQ(samples.size(), expected.size());
        for (size_t k = 0; k < samples.size(); ++k) ASSERT_EQ(samples[k], expected[k]) << "pixel " << k;
    }

    // The samples of the only series in `folder`, whose label must be `label`.
    static std::vector<uint16_t> OnlySeriesSamples(const std::string& folder, const std::string& label,
                                                   CDicomSeriesLayout& layout) {
        CDicomFolder scan = Scanned(folder);
        if (scan.m_series.size() != 1) {
            ADD_FAILURE() << scan.m_series.size() << " series in " << folder;
            return {};
        }
        if (!label.empty()) {
            EXPECT_EQ(scan.m_series[0].Label(), label);
        }
        return SeriesSamples(scan.m_series[0], layout);
    }
    // The samples of a series of two 2 x 2 images like `image`, each with its
    // raw values and its rescale (slope, intercept), written in a folder of its own.
    static std::vector<uint16_t> TwoImageSamples(DicomImageFields image,
                                                 const std::array<std::vector<double>, 2>& raw,
                                                 const std::array<std::pair<double, double>, 2>& rescale,
                                                 CDicomSeriesLayout& layout) {
        TempFolder folder;
        image.rows = image.columns = 2;
        const auto each = [&](DicomImageFields& fields, int, int t) {
            fields.values = raw[static_cast<size_t>(t)];
            fields.rescaleSlope = rescale[static_cast<size_t>(t)].first;
            fields.rescaleIntercept = rescale[static_cast<size_t>(t)].second;
        };
        EXPECT_EQ(WriteDicomSeries(folder.Path().string(), image, 1, 2, 0.0, 10.0, each).size(), 2u);
        return OnlySeriesSamples(folder.Path().string(), "", layout);
    }

    TempFolder m_folder;
    std::mt19937 m_random{20261208};
};

TEST_F(DicomSeriesTest, ShuffledObliqueSeriesLoadsInPlaneOrder) {
    ObliqueSeries series;
    series.Write(m_folder, m_random);
    WriteText(m_folder.File("README.txt"), "scanner export\n");
    // Claims to be DICOM by its mark, then breaks off.
    WriteText(m_folder.File("broken.dcm"), std::string(128, '\0') + "DICM\x02\x00\x01");

    CDicomFolder folder = Scanned(m_folder.Path().string());
    ASSERT_EQ(folder.m_series.size(), 1u);
    EXPECT_EQ(folder.m_unreadable, std::vector<std::string>{m_folder.File("broken.dcm")});
    EXPECT_EQ(folder.m_series[0].Label(), "1 cine: 7 x 6, 20 images, 4 slices x 5 frames");

    CDicomSeriesLayout layout;
    const std::vector<uint16_t> samples = SeriesSamples(folder.m_series[0], layout);
    EXPECT_TRUE(layout.m_notes.empty());
    EXPECT_DOUBLE_EQ(*layout.m_calibration.m_pixelSizeX, 1.25);
    EXPECT_DOUBLE_EQ(*layout.m_calibration.m_pixelSizeY, 1.5);
    EXPECT_NEAR(*layout.m_calibration.m_pixelSizeZ, ObliqueSeries::kGap, 1e-6);
    EXPECT_EQ(*layout.m_calibration.m_frameTime, ObliqueSeries::kStep);

    const std::vector<uint16_t> expected = ObliqueSeries::ExpectedSamples();
    ASSERT_EQ(samples.size(), expected.size());
    for (size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(samples[i], expected[i]) << "sample " << i;

    // Through the whole load, the planes are those of a .tvi file holding the same samples.
    TviContents tvi = TviVolume(ObliqueSeries::kColumns, ObliqueSeries::kRows, ObliqueSeries::kSlices,
                                ObliqueSeries::kPhases);
    tvi.samples = expected;
    ASSERT_TRUE(WriteTviFile(m_folder.File("same.tvi"), tvi));
    CTimeVolume fromDicom, fromTvi;
    CDicomSource loadSource(layout);
    ASSERT_TRUE(fromDicom.Load(loadSource, 0.98)) << fromDicom.LastError();
    ASSERT_TRUE(fromTvi.LoadFile(m_folder.File("same.tvi"), 0.98));
    EXPECT_EQ(fromDicom.SaturationLevel(), fromTvi.SaturationLevel());
    for (int plane = 0; plane < 3; ++plane) {
        const int extent = plane == 0 ? tvi.sizeX : plane == 1 ? tvi.sizeY : tvi.sizeZ;
        for (int index = 0; index < extent; ++index)
            for (int t = 0; t < tvi.frames; ++t) {
                CSliceImage a = fromDicom.GetSlice(plane, index, t, false);
                CSliceImage b = fromTvi.GetSlice(plane, index, t, false);
                ASSERT_EQ(a.ByteCount(), b.ByteCount());
                EXPECT_TRUE(std::equal(a.m_data, a.m_data + a.ByteCount(), b.m_data))
                    << "plane " << plane << " index " << index << " frame " << t;
                FreeSliceImage(a);
                FreeSliceImage(b);
            }
    }
}

TEST_F(DicomSeriesTest, SingleSliceSeriesOfferAStack) {
    // Three single-slice cine series at z = 20, 0, 10 (series 3, 1, 2), and a localiser.
    const double heights[3] = {20.0, 0.0, 10.0};
    for (int s = 0; s < 3; ++s) {
        DicomImageFields series;
        series.seriesUid = "1.2.3." + std::to_string(s + 1);
        series.seriesNumber = 3 - s;
        series.position = std::array<double, 3>{0.0, 0.0, heights[s]};
        series.pixelSpacing = std::array<double, 2>{1.0, 1.0};
        const auto values = [s](DicomImageFields& image, int, int t) {
            image.values.assign(20, 100.0 * s + t);
        };
        ASSERT_EQ(WriteDicomSeries(m_folder.Path().string(), series, 1, 4, 0.0, 25.0, values).size(), 4u);
    }
    std::filesystem::create_directories(m_folder.Path() / "a" / "b");
    DicomImageFields localiser;
    localiser.values.assign(20, 7.0);
    localiser.seriesUid = "1.2.3.9";
    localiser.seriesNumber = 9;
    localiser.seriesDescription = "localiser";
    localiser.position = std::array<double, 3>{0.0, 0.0, 0.0};
    localiser.orientation = std::array<double, 6>{1, 0, 0, 0, 0, -1};
    ASSERT_TRUE(WriteDicomImage(m_folder.File("a/b/loc"), localiser));

    CDicomFolder folder = Scanned(m_folder.Path().string());
    ASSERT_EQ(folder.m_series.size(), 5u);
    std::vector<std::string> labels;
    for (const auto& series : folder.m_series) labels.push_back(series.Label());
    EXPECT_EQ(labels, (std::vector<std::string>{"1 cine: 5 x 4, 4 images, 1 slice x 4 frames",
                                                "2 cine: 5 x 4, 4 images, 1 slice x 4 frames",
                                                "3 cine: 5 x 4, 4 images, 1 slice x 4 frames",
                                                "9 localiser: 5 x 4, 1 image, 1 slice x 1 frame",
                                                "All 3 slices as one stack: 5 x 4, 12 images, 3 slices x 4 frames"}));
    EXPECT_EQ(folder.DefaultChoice(), 4);
    struct Choice {
        const char* text;
        int index;
    };
    for (const Choice& c : {Choice{"stack", 4}, Choice{"2", 1}, Choice{"1.2.3.9", 3}, Choice{"6", -1},
                            Choice{"0", -1}, Choice{"1.2.3.7", -1}, Choice{"99999999999999", -1}}) {
        std::string why;
        EXPECT_EQ(folder.FindChoice(c.text, why), c.index) << c.text;
        EXPECT_EQ(why.empty(), c.index >= 0) << c.text << ": " << why;
    }
    EXPECT_EQ(folder.SeriesOfFile(m_folder.File("1.2.3.3-0-1.dcm")), 0);  // series 1 comes first

    // The stack is ordered by position: the series at z = 0, 10, 20.
    CDicomSeriesLayout layout;
    const std::vector<uint16_t> samples = SeriesSamples(folder.m_series[4], layout);
    ASSERT_EQ(samples.size(), 3u * 4u * 20u);
    const int seriesAtZ[3] = {1, 2, 0};
    for (int z = 0; z < 3; ++z)
        for (int t = 0; t < 4; ++t)
            EXPECT_EQ(samples[static_cast<size_t>((z * 4 + t) * 20)], 100 * seriesAtZ[z] + t) << z << "," << t;
    EXPECT_EQ(*layout.m_calibration.m_pixelSizeZ, 10.0);
}

TEST_F(DicomSeriesTest, EveryTransferSyntaxDecodes) {
    using Syntax = DicomImageFields::Syntax;
    struct Case {
        Syntax syntax;
        DicomImageFields::Pixels pixels;
        double tolerance;  // lossy JPEG may move a value a little
    };
    const std::vector<Case> cases = {
        {Syntax::kExplicitLittle, DicomImageFields::Pixels::kUint16, 0}, {Syntax::kImplicitLittle, DicomImageFields::Pixels::kUint16, 0},
        {Syntax::kExplicitBig, DicomImageFields::Pixels::kUint16, 0},    {Syntax::kRle, DicomImageFields::Pixels::kUint16, 0},
        {Syntax::kJpegLossless, DicomImageFields::Pixels::kUint16, 0},   {Syntax::kJpegLs, DicomImageFields::Pixels::kUint16, 0},
        {Syntax::kJpeg2000, DicomImageFields::Pixels::kUint16, 0},       {Syntax::kJpegBaseline, DicomImageFields::Pixels::kUint8, 12},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE("transfer syntax " + std::to_string(i));
        DicomImageFields fields;
        fields.rows = 16;
        fields.columns = 16;
        fields.pixels = cases[i].pixels;
        // A smooth ramp (which lossy coding keeps close) with values that do not fit a byte where they may.
        const double scale = cases[i].pixels == DicomImageFields::Pixels::kUint8 ? 7.0 : 97.0;
        for (int y = 0; y < fields.rows; ++y)
            for (int x = 0; x < fields.columns; ++x) fields.values.push_back(scale * (x + y) + 3);
        fields.syntax = cases[i].syntax;
        fields.seriesUid = "1.2.4." + std::to_string(i);
        const std::string path = m_folder.File("syntax" + std::to_string(i) + ".dcm");
        ASSERT_TRUE(WriteDicomImage(path, fields));

        CDicomFolder folder = Scanned(m_folder.Path().string());
        const int index = folder.SeriesOfFile(path);
        ASSERT_GE(index, 0);
        CDicomFolder::Series& series = folder.m_series[static_cast<size_t>(index)];
        EXPECT_EQ(series.Label(), "1 cine: 16 x 16, 1 image, 1 slice x 1 frame");
        // Only uncompressed little-endian pixel data is read without the library.
        EXPECT_EQ(series.images[0].native.has_value(),
                  cases[i].syntax == Syntax::kExplicitLittle || cases[i].syntax == Syntax::kImplicitLittle);
        CDicomSeriesLayout layout;
        const std::vector<uint16_t> samples = SeriesSamples(series, layout);
        ASSERT_EQ(samples.size(), fields.values.size());
        // Integer values within 0..65535 are the samples themselves.
        for (size_t k = 0; k < samples.size(); ++k)
            ASSERT_NEAR(samples[k], fields.values[k], cases[i].tolerance) << "pixel " << k;
        std::filesystem::remove(path);
    }
}

TEST_F(DicomSeriesTest, ValuesFollowTheSampleRule) {
    // Each case: pixel type, raw values, per-image rescale (slope, intercept) of a 2-image series, samples.
    using Pixels = DicomImageFields::Pixels;
    struct Case {
        const char* name;
        Pixels pixels;
        std::vector<double> raw;
        std::array<std::pair<double, double>, 2> rescale;
        std::vector<uint16_t> samples;  // image 0, then image 1
    };
    const std::vector<Case> cases = {
        {"whole values in range are kept", Pixels::kUint16, {0, 7, 65535, 12}, {{{1, 0}, {1, 0}}}, {0, 7, 65535, 12, 0, 7, 65535, 12}},
        {"kept after a rescale", Pixels::kInt16, {-5, 0, 5, 10}, {{{2, 10}, {2, 10}}}, {0, 10, 20, 30, 0, 10, 20, 30}},
        // v = -10 .. 10: (v + 10) * 65535 / 20 + 0.5, truncated.
        {"negative values are mapped", Pixels::kInt16, {-10, 0, 3, 10}, {{{1, 0}, {1, 0}}},
         {0, 32768, 42598, 65535, 0, 32768, 42598, 65535}},
        // Image 1 is scaled by 0.5: v = 0, 1, 2, 4 and 0, 0.5, 1, 2 -> over [0, 4].
        {"a rescale that changes between images", Pixels::kUint16, {0, 1, 2, 4}, {{{1, 0}, {0.5, 0}}},
         {0, 16384, 32768, 65535, 0, 8192, 16384, 32768}},
        {"int32 beyond 16 bits", Pixels::kInt32, {0, 100000, 200000, 50000}, {{{1, 0}, {1, 0}}},
         {0, 32768, 65535, 16384, 0, 32768, 65535, 16384}},
        {"one value everywhere", Pixels::kInt16, {-3, -3, -3, -3}, {{{1, 0}, {1, 0}}}, {0, 0, 0, 0, 0, 0, 0, 0}},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        SCOPED_TRACE(c.name);
        DicomImageFields image;
        image.pixels = c.pixels;
        CDicomSeriesLayout layout;
        EXPECT_EQ(TwoImageSamples(image, {c.raw, c.raw}, c.rescale, layout), c.samples);
    }
}

TEST_F(DicomSeriesTest, BadFoldersAndFilesGetAReason) {
    std::string error;
    CDicomFolder folder;
    EXPECT_FALSE(folder.Scan(m_folder.File("missing"), error));
    EXPECT_NE(error.find("not a folder"), std::string::npos);
    // An empty folder and one with no images scan as no series.
    ASSERT_TRUE(folder.Scan(m_folder.Path().string(), error));
    EXPECT_TRUE(folder.m_series.empty());
    EXPECT_EQ(folder.DefaultChoice(), -1);
    WriteText(m_folder.File("notes.txt"), "nothing here");
    WriteText(m_folder.File("empty"), "");
    ASSERT_TRUE(folder.Scan(m_folder.Path().string(), error));
    EXPECT_TRUE(folder.m_series.empty());
    EXPECT_TRUE(folder.m_unreadable.empty());

    // An image cut short in its pixel data scans, but its load fails and names it.
    DicomImageFields fields;
    fields.rows = 64;
    fields.columns = 64;
    fields.values.assign(64 * 64, 1000.0);
    ASSERT_TRUE(WriteDicomImage(m_folder.File("cut"), fields));
    std::filesystem::resize_file(m_folder.File("cut"), std::filesystem::file_size(m_folder.File("cut")) - 3000);
    ASSERT_TRUE(folder.Scan(m_folder.Path().string(), error));
    ASSERT_EQ(folder.m_series.size(), 1u);
    CDicomSeriesLayout layout;
    ASSERT_TRUE(folder.m_series[0].Layout(layout, error)) << error;
    CDicomSource source(layout);
    CTimeVolume volume;
    EXPECT_FALSE(volume.Load(source, 0.98));
    EXPECT_NE(volume.LastError().find("cut"), std::string::npos) << volume.LastError();
    EXPECT_EQ(volume.SizeX(), 0);

    // Cut inside its tags, an image makes the DICOM library give up on the
    // whole process; the scan survives and names the file.
    std::filesystem::remove(m_folder.File("cut"));
    ASSERT_TRUE(WriteDicomImage(m_folder.File("headless"), fields));
    std::filesystem::resize_file(m_folder.File("headless"), 300);
    ASSERT_TRUE(folder.Scan(m_folder.Path().string(), error));
    EXPECT_TRUE(folder.m_series.empty());
    EXPECT_EQ(folder.m_unreadable, std::vector<std::string>{m_folder.File("headless")});

    // A colour image is refused by name of its photometric interpretation.
    DicomImageFields colour;
    colour.pixels = DicomImageFields::Pixels::kUint8;
    colour.photometric = "RGB";
    colour.values.assign(20, 9.0);
    colour.seriesUid = "1.2.5.1";
    ASSERT_TRUE(WriteDicomImage(m_folder.File("colour"), colour));
    ASSERT_TRUE(folder.Scan(m_folder.Path().string(), error));
    const int index = folder.SeriesOfFile(m_folder.File("colour"));
    ASSERT_GE(index, 0);
    EXPECT_NE(folder.m_series[static_cast<size_t>(index)].layoutError.find("RGB"), std::string::npos);
}

// Acquisition Time (HHMMSS.FFFFFF, or the older HH:MM:SS) becomes seconds of
// the day in the reader process and reaches the scan; text that is no time
// is no time rather than a wrong one.
TEST_F(DicomSeriesTest, AcquisitionTimesReachTheScanAsSecondsOfTheDay) {
    const std::pair<const char*, std::optional<double>> cases[] = {
        {"101530.25", 36930.25}, {"10:15:30.5", 36930.5},    {"1015", 36900.0},     {"10", 36000.0},
        {"101530.", 36930.0},    {"235959.75", 86399.75},    {"101", std::nullopt}, {"1015301", std::nullopt},
        {"10h15", std::nullopt}, {"1015.3.5", std::nullopt}, {"", std::nullopt},
    };
    // Names appended to, not joined with +: GCC 12 at -O2 warns (-Wrestrict)
    // of overlaps in the copy a joined temporary makes, which cannot happen.
    const auto numbered = [](std::string text, size_t i) { return text.append(std::to_string(i)); };
    for (size_t i = 0; i < std::size(cases); ++i) {
        DicomImageFields image;
        image.values.assign(20, 1.0);
        image.seriesUid = numbered("1.2.8.", i);
        image.acquisitionTime = cases[i].first;
        ASSERT_TRUE(WriteDicomImage(m_folder.File(numbered("t", i)), image));
    }
    const CDicomFolder folder = Scanned(m_folder.Path().string());
    for (size_t i = 0; i < std::size(cases); ++i) {
        const int series = folder.SeriesOfFile(m_folder.File(numbered("t", i)));
        ASSERT_GE(series, 0) << cases[i].first;
        EXPECT_EQ(folder.m_series[static_cast<size_t>(series)].images[0].acquisitionTime, cases[i].second)
            << "\"" << cases[i].first << "\"";
    }
}

// Enough files for the scan to read headers in two processes at once (256
// files each) and samples for the decoding to use two (4 MiB each, where
// there are two cores): every image is found once and lands in its place,
// files that cannot be read are named whichever reader met them, and a load
// that fails names the first image in volume order that could not be
// decoded, whichever reader met it.
TEST_F(DicomSeriesTest, LargeSeriesScansAndDecodesInSeveralReaders) {
    constexpr int kSlices = 16, kFrames = 32, kSide = 96;  // 512 images, 4.7 million samples
    const auto value = [](int x, int y, int z, int t) { return 64.0 * (z * kFrames + t) + (x + y) % 64; };
    DicomImageFields image;
    image.rows = image.columns = kSide;
    image.values.resize(kSide * kSide);
    const std::vector<std::string> paths =
        WriteDicomSeries(m_folder.Path().string(), image, kSlices, kFrames, 5.0, 30.0,
                         [&](DicomImageFields& fields, int z, int t) {
                             for (int y = 0; y < kSide; ++y)
                                 for (int x = 0; x < kSide; ++x)
                                     fields.values[y * kSide + x] = value(x, y, z, t);
                         });
    ASSERT_EQ(paths.size(), size_t{kSlices * kFrames});
    // First and last in name order, so each reader meets one, and one cut
    // inside its tags, which ends the second reader in the middle of its files.
    const std::vector<std::string> unreadable = {
        m_folder.File("0-broken"), m_folder.File(image.seriesUid + "-5-cut"), m_folder.File("z-broken")};
    for (const std::string& path : {unreadable[0], unreadable[2]})
        ASSERT_TRUE(WriteText(path, std::string(128, '\0') + "DICM\x02"));
    ASSERT_TRUE(WriteDicomImage(unreadable[1], image));
    std::filesystem::resize_file(unreadable[1], 300);

    CDicomFolder folder = Scanned(m_folder.Path().string());
    EXPECT_EQ(folder.m_unreadable, unreadable);
    ASSERT_EQ(folder.m_series.size(), 1u);
    EXPECT_EQ(folder.m_series[0].Label(), "1 cine: 96 x 96, 512 images, 16 slices x 32 frames");
    CDicomSeriesLayout layout;
    const std::vector<uint16_t> samples = SeriesSamples(folder.m_series[0], layout);
    ASSERT_EQ(samples.size(), size_t{kSlices * kFrames * kSide * kSide});
    size_t at = 0;
    for (int z = 0; z < kSlices; ++z)
        for (int t = 0; t < kFrames; ++t)
            for (int y = 0; y < kSide; ++y)
                for (int x = 0; x < kSide; ++x, ++at)
                    ASSERT_EQ(samples[at], value(x, y, z, t))
                        << "x " << x << " y " << y << " z " << z << " t " << t;

    // Images 384 (slice 12) and then also 101 (slice 3, frame 5) cut short in their pixels.
    for (const auto& [z, t] : {std::pair{12, 0}, std::pair{3, 5}}) {
        const std::string& cut = paths[static_cast<size_t>(z * kFrames + t)];
        std::filesystem::resize_file(cut, std::filesystem::file_size(cut) - 3000);
        CDicomSource damaged(layout);
        std::string error;
        EXPECT_FALSE(damaged.Prepare({}, error));
        EXPECT_EQ(error.rfind(std::filesystem::path(cut).filename().string(), 0), 0u) << error;
    }
}

// Files as exporters write them, each one image whose loaded samples must
// be its values: the stored bits of a compressed stream coded unsigned in a
// file that says signed, a deflated data set, and bytes left after the pixel
// data (padding, stray text) that the decoder must not read.
TEST_F(DicomSeriesTest, FilesAsExportersWriteThemLoadTheirValues) {
    using Syntax = DicomImageFields::Syntax;
    enum class After { kNothing, kZeros, kText };
    struct Case {
        const char* name;
        Syntax syntax;
        bool signed12;  // 12 bits stored, two's complement, in a file that says signed
        After after;
    };
    const std::vector<Case> cases = {
        {"JPEG 2000 coded unsigned, header signed", Syntax::kJpeg2000, true, After::kNothing},
        {"the same bits uncompressed", Syntax::kExplicitLittle, true, After::kNothing},
        {"JPEG-LS coded unsigned, header signed", Syntax::kJpegLs, true, After::kNothing},
        {"deflated", Syntax::kDeflated, false, After::kNothing},
        {"zeros after the pixel data", Syntax::kExplicitLittle, false, After::kZeros},
        {"text after the pixel data", Syntax::kExplicitLittle, false, After::kText},
        {"text after compressed fragments", Syntax::kJpeg2000, false, After::kText},
    };
    // Each case in a function of its own, so that one that fails does not hide the others.
    const auto check = [](const Case& c) {
        TempFolder folder;
        DicomImageFields fields;
        fields.rows = fields.columns = 16;
        fields.syntax = c.syntax;
        // Signed values from -2048 up; an intercept of 2048 makes every value a sample of its own.
        std::vector<double> expected;
        for (int k = 0; k < 256; ++k) {
            const int value = c.signed12 ? (k * 16 + (k % 3) * 5) % 4096 - 2048 : k * 37 + 1;
            expected.push_back(c.signed12 ? value + 2048.0 : value);
            fields.values.push_back(c.signed12 ? value & 0xfff : value);
        }
        if (c.signed12) {
            fields.bitsStored = 12;
            fields.pixelRepresentation = 1;
            fields.rescaleIntercept = 2048.0;
        }
        const std::string path = folder.File("image.dcm");
        ASSERT_TRUE(WriteDicomImage(path, fields));
        if (c.after != After::kNothing) {
            std::ofstream file(path, std::ios::binary | std::ios::app);
            file << (c.after == After::kZeros ? std::string(1 << 16, '\0')
                                              : std::string("exported by a workstation; end of study\n"));
        }
        CDicomFolder scan = Scanned(folder.Path().string());
        EXPECT_TRUE(scan.m_unreadable.empty());
        ASSERT_EQ(scan.m_series.size(), 1u);
        ExpectSamples(scan.m_series[0], expected);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        check(c);
    }
}

// Plain pixel data is read straight from the file at the place the scan
// found: values keep only their stored bits, and a file that changed since
// the scan loads what it holds now, whether its pixel data stayed in place or moved.
TEST_F(DicomSeriesTest, PlainPixelDataIsReadAsTheFileHoldsIt) {
    enum class Change { kNone, kOverlayBits, kOtherValues, kLongerHeader };
    struct Case {
        const char* name;
        DicomImageFields::Pixels pixels;
        Change change;
    };
    const std::vector<Case> cases = {
        {"8-bit values", DicomImageFields::Pixels::kUint8, Change::kNone},
        {"an overlay in the bits above the 12 stored", DicomImageFields::Pixels::kUint16,
         Change::kOverlayBits},
        {"other values written since the scan", DicomImageFields::Pixels::kUint16, Change::kOtherValues},
        {"a longer header written since the scan", DicomImageFields::Pixels::kInt16, Change::kLongerHeader},
    };
    const auto check = [](const Case& c) {
        TempFolder folder;
        DicomImageFields fields;
        fields.rows = fields.columns = 16;
        fields.pixels = c.pixels;
        for (int k = 0; k < 256; ++k)
            fields.values.push_back(k * (c.pixels == DicomImageFields::Pixels::kUint8 ? 1 : 13));
        if (c.change == Change::kOverlayBits) fields.bitsStored = 12;
        const std::string path = folder.File("image.dcm");
        ASSERT_TRUE(WriteDicomImage(path, fields));
        CDicomFolder scan = Scanned(folder.Path().string());
        ASSERT_EQ(scan.m_series.size(), 1u);
        const std::optional<CDicomImageHeader::NativePixels> native = scan.m_series[0].images[0].native;
        ASSERT_TRUE(native.has_value());
        std::vector<double> expected = fields.values;
        if (c.change == Change::kOverlayBits) {
            // Bit 15 set in every other value, where a graphics overlay would lie.
            std::vector<uint8_t> bytes = ReadBytes(path);
            ASSERT_GE(bytes.size(), native->offset + 512);
            for (size_t k = 0; k < 256; k += 2) bytes[native->offset + 2 * k + 1] |= 0x80;
            ASSERT_TRUE(WriteBytes(path, bytes));
        } else if (c.change != Change::kNone) {
            for (double& value : fields.values) value = 4000 - value;
            if (c.change == Change::kLongerHeader)
                fields.seriesDescription += " with a much longer description";
            ASSERT_TRUE(WriteDicomImage(path, fields));
            expected = fields.values;
        }
        ExpectSamples(scan.m_series[0], expected);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        check(c);
    }
}

// A folder whose largest series cannot be loaded: a run without a choice
// takes the largest that can, the list offers only those, and a refusal
// names the series by its real size and gives its reason once.
TEST_F(DicomSeriesTest, RefusedSeriesAreNamedOnceAndPassedOver) {
    DicomImageFields colour;
    colour.pixels = DicomImageFields::Pixels::kUint8;
    colour.photometric = "RGB";
    colour.values.assign(20, 9.0);
    colour.seriesUid = "1.2.6.5";
    colour.seriesNumber = 5;
    colour.seriesDescription = "colour map";
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(WriteDicomImage(m_folder.File("c" + std::to_string(i)), colour));
    DicomImageFields grey;
    grey.seriesUid = "1.2.6.2";
    grey.seriesNumber = 2;
    ASSERT_EQ(WriteDicomSeries(m_folder.Path().string(), grey, 3, 1, 5.0, 0.0).size(), 3u);
    DicomImageFields single = grey;
    single.seriesUid = "1.2.6.3";
    single.seriesNumber = 3;
    ASSERT_EQ(WriteDicomSeries(m_folder.Path().string(), single, 1, 1, 5.0, 0.0).size(), 1u);

    const CDicomFolder folder = Scanned(m_folder.Path().string());
    ASSERT_EQ(folder.m_series.size(), 3u);
    const std::string refusedLabel =
        "5 colour map: 5 x 4, 4 images, cannot be loaded: c0 is a colour image (photometric "
        "interpretation RGB); only grey-scale images can be shown";
    EXPECT_EQ(folder.m_series[2].Label(), refusedLabel);
    EXPECT_EQ(folder.DefaultChoice(), 0);

    // Headless, without a choice: the three-image series.
    COpenResult headless = CDicomSource::OpenPath(m_folder.Path().string(), {});
    ASSERT_TRUE(headless.source) << headless.Message();
    CVolumeFileInfo info;
    headless.source->Describe(info);
    EXPECT_EQ(info.m_reopenChoice, "1.2.6.2");

    // Asked: every series is a row, the refused one with its reason and not
    // choosable; the largest that loads is proposed.
    CChoiceTable asked;
    int answer = 1;
    COpenRequest asking;
    asking.ask = [&](const CChoiceTable& table) {
        asked = table;
        return answer;
    };
    COpenResult chosen = CDicomSource::OpenPath(m_folder.Path().string(), asking);
    ASSERT_TRUE(chosen.source) << chosen.Message();
    ASSERT_EQ(asked.rows.size(), 3u);
    EXPECT_EQ(asked.proposed, 0);
    EXPECT_EQ(asked.rows[0].cells, (std::vector<std::string>{"2", "cine", "", "4 x 5", "3", "3 x 1"}));
    EXPECT_EQ(asked.rows[2].cells[0], "5");
    EXPECT_EQ(asked.rows[2].cells[5], refusedLabel.substr(refusedLabel.find("cannot be loaded")));
    EXPECT_TRUE(asked.Choosable(1));
    EXPECT_FALSE(asked.Choosable(2));
    chosen.source->Describe(info);
    EXPECT_EQ(info.m_reopenChoice, "1.2.6.3");
    // A refused row given back loads nothing.
    answer = 2;
    EXPECT_FALSE(CDicomSource::OpenPath(m_folder.Path().string(), asking).source);

    // Named on purpose, the refused series says why, once.
    COpenRequest naming;
    naming.choice = "1.2.6.5";
    COpenResult refused = CDicomSource::OpenPath(m_folder.Path().string(), naming);
    EXPECT_FALSE(refused.source);
    EXPECT_EQ(refused.Message(),
              "Cannot load the series 5 colour map (5 x 4, 4 images):\nc0 is a colour image "
              "(photometric interpretation RGB); only grey-scale images can be shown");
}

// MONOCHROME1 shows its smallest values brightest: every value is turned over
// the series' range (largest + smallest - v), on the fast path of one
// rescale and on the slower one of rescales that change between images.
TEST_F(DicomSeriesTest, Monochrome1IsTurnedOverItsRange) {
    struct Case {
        const char* name;
        std::array<std::pair<double, double>, 2> rescale;  // slope, intercept per image
        std::vector<uint16_t> samples;                     // image 0, then image 1
    };
    // Raw values 10, 20, 40, 50 in image 0 and 30 each in image 1.
    const std::vector<Case> cases = {
        {"one rescale", {{{1, 0}, {1, 0}}}, {50, 40, 20, 10, 30, 30, 30, 30}},
        // Values 10..50 and 60, turned over [10, 60]: whole numbers, kept as samples.
        {"rescales that differ", {{{1, 0}, {2, 0}}}, {60, 50, 30, 20, 10, 10, 10, 10}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        DicomImageFields image;
        image.photometric = "MONOCHROME1";
        CDicomSeriesLayout layout;
        EXPECT_EQ(
            TwoImageSamples(image, {std::vector<double>{10, 20, 40, 50}, std::vector<double>{30, 30, 30, 30}},
                            c.rescale, layout),
            c.samples);
        CDicomSource source(layout);
        CVolumeFileInfo info;
        source.Describe(info);
        const auto inverted = std::find_if(info.m_fields.begin(), info.m_fields.end(),
                                           [](const CInfoField& field) { return field.key == "inverted"; });
        ASSERT_NE(inverted, info.m_fields.end());
        EXPECT_EQ(std::get<bool>(inverted->value), true);

        // The values told (readout, exports) are the file's own, not the turned-over ones.
        const std::vector<double> raw[2] = {{10, 20, 40, 50}, {30, 30, 30, 30}};
        DicomImageFields written = image;
        written.rows = written.columns = 2;
        const std::string folder = m_folder.File(std::string("values ") + c.name);
        ASSERT_EQ(WriteDicomSeries(folder, written, 1, 2, 0.0, 10.0,
                                   [&](DicomImageFields& fields, int, int t) {
                                       fields.values = raw[t];
                                       fields.rescaleSlope = c.rescale[size_t(t)].first;
                                       fields.rescaleIntercept = c.rescale[size_t(t)].second;
                                   })
                      .size(),
                  2u);
        CTimeVolume volume;
        ASSERT_TRUE(volume.LoadFile(folder, 1.0)) << volume.LastError();
        for (int t = 0; t < 2; ++t)
            for (int k = 0; k < 4; ++k)
                EXPECT_EQ(volume.Value(k % 2, k / 2, 0, t),
                          raw[t][size_t(k)] * c.rescale[size_t(t)].first + c.rescale[size_t(t)].second)
                    << "frame " << t << ", pixel " << k;
    }
}

// The frames of an enhanced cine: slices along the normal of `orientation`
// from `origin`, phases `step` ms apart; value(z, t, k) gives pixel k.
std::vector<DicomImageFields::Frame> CineFrames(int slices, int phases, const std::array<double, 6>& o,
                                                const std::array<double, 3>& origin, double gap, double step,
                                                const std::function<double(int, int, int)>& value,
                                                int pixels) {
    const double n[3] = {o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5], o[0] * o[4] - o[1] * o[3]};
    std::vector<DicomImageFields::Frame> frames;
    for (int z = 0; z < slices; ++z)
        for (int t = 0; t < phases; ++t) {
            DicomImageFields::Frame frame;
            frame.position = std::array<double, 3>{origin[0] + gap * z * n[0], origin[1] + gap * z * n[1],
                                                   origin[2] + gap * z * n[2]};
            frame.triggerDelay = step * t;
            frame.temporalIndex = t + 1;
            for (int k = 0; k < pixels; ++k) frame.values.push_back(value(z, t, k));
            frames.push_back(std::move(frame));
        }
    return frames;
}

// One enhanced file holds a 4-slice x 5-phase cine, its frames in random
// order, each with its own rescale; the frames sort by position along the
// normal and by trigger delay, and each frame's rescale gives its values.
TEST_F(DicomSeriesTest, EnhancedCineSortsByPositionAndTriggerDelay) {
    constexpr int kRows = 6, kColumns = 7, kSlices = 4, kPhases = 5, kPixels = kRows * kColumns;
    // The value each pixel must have after its rescale: where it belongs.
    const auto value = [](int z, int t, int k) { return 1000.0 * z + 100.0 * t + k; };
    const std::pair<double, double> rescales[3] = {{0.5, 0.0}, {1.0, -10.0}, {0.25, -3.0}};
    const ObliqueSeries oblique;
    std::vector<DicomImageFields::Frame> frames =
        CineFrames(kSlices, kPhases, oblique.orientation, {-30.0, 12.0, 7.0}, 8.0, 40.0, value, kPixels);
    for (size_t i = 0; i < frames.size(); ++i) {
        const auto [slope, intercept] = rescales[i % 3];
        frames[i].rescaleSlope = slope;
        frames[i].rescaleIntercept = intercept;
        for (double& raw : frames[i].values) raw = (raw - intercept) / slope;
    }
    std::shuffle(frames.begin(), frames.end(), m_random);
    DicomImageFields file;
    file.rows = kRows;
    file.columns = kColumns;
    file.enhanced = true;
    file.orientation = oblique.orientation;
    file.pixelSpacing = std::array<double, 2>{1.5, 1.25};
    file.frameList = frames;
    ASSERT_TRUE(WriteDicomImage(m_folder.File("enhanced.dcm"), file));

    CDicomSeriesLayout layout;
    const std::vector<uint16_t> samples =
        OnlySeriesSamples(m_folder.Path().string(), "1 cine: 7 x 6, 20 images, 4 slices x 5 frames", layout);
    EXPECT_TRUE(layout.m_notes.empty());
    EXPECT_DOUBLE_EQ(*layout.m_calibration.m_pixelSizeX, 1.25);
    EXPECT_DOUBLE_EQ(*layout.m_calibration.m_pixelSizeY, 1.5);
    EXPECT_NEAR(*layout.m_calibration.m_pixelSizeZ, 8.0, 1e-6);
    EXPECT_EQ(layout.m_calibration.m_frameTime, 40.0);
    ASSERT_TRUE(layout.m_transform.has_value());
    // Whole values from 0 to 65535 are the samples themselves.
    ASSERT_EQ(samples.size(), size_t{kSlices * kPhases * kPixels});
    size_t at = 0;
    for (int z = 0; z < kSlices; ++z)
        for (int t = 0; t < kPhases; ++t)
            for (int k = 0; k < kPixels; ++k, ++at)
                ASSERT_EQ(samples[at], value(z, t, k)) << "z " << z << " t " << t << " pixel " << k;
}

// What enhanced files split into entries of the series list, and what they
// join into: each case writes files and expects the labels of the entries
// and, for each, the first pixel of every image in volume order.
TEST_F(DicomSeriesTest, EnhancedStacksSplitAndFilesJoin) {
    const std::array<double, 6> axial = {1, 0, 0, 0, 1, 0}, sagittal = {0, 1, 0, 0, 0, -1};
    const auto value = [](int z, int t, int) { return 10.0 * z + t; };
    struct Entry {
        std::string label;
        std::vector<uint16_t> firstPixels;
    };
    struct Case {
        const char* name;
        std::vector<DicomImageFields> files;
        std::vector<Entry> entries;
    };
    DicomImageFields base;
    base.enhanced = true;
    base.pixelSpacing = std::array<double, 2>{1.0, 1.0};
    // Two stacks in one file, in two orientations, their frames interleaved.
    DicomImageFields stacks = base;
    std::vector<DicomImageFields::Frame> a = CineFrames(2, 3, axial, {0, 0, 0}, 5.0, 30.0, value, 20);
    std::vector<DicomImageFields::Frame> b = CineFrames(3, 2, sagittal, {0, 0, 0}, 4.0, 50.0, value, 20);
    for (auto& frame : a) frame.stackId = "1", frame.orientation = axial;
    for (auto& frame : b) {
        frame.stackId = "2", frame.orientation = sagittal;
        for (double& v : frame.values) v += 100.0;
    }
    for (size_t i = 0; i < std::max(a.size(), b.size()); ++i) {
        if (i < a.size()) stacks.frameList.push_back(a[i]);
        if (i < b.size()) stacks.frameList.push_back(b[i]);
    }
    // One file per slice, the slices given in reverse: one volume.
    std::vector<DicomImageFields> perSlice;
    const std::vector<DicomImageFields::Frame> all = CineFrames(3, 4, axial, {0, 0, 0}, 6.0, 25.0, value, 20);
    for (int z = 2; z >= 0; --z) {
        DicomImageFields file = base;
        file.orientation = axial;
        file.frameList.assign(all.begin() + z * 4, all.begin() + z * 4 + 4);
        perSlice.push_back(file);
    }
    const std::vector<Case> cases = {
        {"two stacks in one file",
         {stacks},
         {{"1 cine (stack 1): 5 x 4, 6 images, 2 slices x 3 frames", {0, 1, 2, 10, 11, 12}},
          {"1 cine (stack 2): 5 x 4, 6 images, 3 slices x 2 frames", {100, 101, 110, 111, 120, 121}}}},
        {"a series over three files",
         perSlice,
         {{"1 cine: 5 x 4, 12 images, 3 slices x 4 frames", {0, 1, 2, 3, 10, 11, 12, 13, 20, 21, 22, 23}}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempFolder folder;
        for (size_t i = 0; i < c.files.size(); ++i)
            ASSERT_TRUE(WriteDicomImage(folder.File("f" + std::to_string(i)), c.files[i]));
        CDicomFolder scan = Scanned(folder.Path().string());
        ASSERT_EQ(scan.m_series.size(), c.entries.size());
        for (size_t e = 0; e < c.entries.size(); ++e) {
            EXPECT_EQ(scan.m_series[e].Label(), c.entries[e].label);
            CDicomSeriesLayout layout;
            const std::vector<uint16_t> samples = SeriesSamples(scan.m_series[e], layout);
            std::vector<uint16_t> firstPixels;
            for (size_t i = 0; i < samples.size(); i += 20) firstPixels.push_back(samples[i]);
            EXPECT_EQ(firstPixels, c.entries[e].firstPixels) << c.entries[e].label;
        }
    }
}

// Magnitude and phase images of one series become two entries, told apart
// by Image Type in classic files and by Frame Type in an enhanced one.
TEST_F(DicomSeriesTest, MagnitudeAndPhaseSplit) {
    for (const bool enhanced : {false, true}) {
        SCOPED_TRACE(enhanced ? "enhanced" : "classic");
        TempFolder folder;
        const char* types[2] = {"ORIGINAL\\PRIMARY\\M\\ND", "ORIGINAL\\PRIMARY\\P\\ND"};
        if (enhanced) {
            DicomImageFields file;
            file.enhanced = true;
            file.orientation = std::array<double, 6>{1, 0, 0, 0, 1, 0};
            for (int t = 0; t < 6; ++t) {
                DicomImageFields::Frame frame;
                frame.position = std::array<double, 3>{0, 0, 0};
                frame.triggerDelay = 20.0 * (t / 2);
                frame.frameType =
                    t % 2 ? "ORIGINAL\\PRIMARY\\PHASE\\NONE" : "ORIGINAL\\PRIMARY\\MAGNITUDE\\NONE";
                frame.values.assign(20, 100.0 * (t % 2) + t / 2);
                file.frameList.push_back(frame);
            }
            ASSERT_TRUE(WriteDicomImage(folder.File("flow.dcm"), file));
        } else {
            for (int kind = 0; kind < 2; ++kind) {
                DicomImageFields image;
                image.imageType = types[kind];
                const auto values = [kind](DicomImageFields& fields, int, int t) {
                    fields.values.assign(20, 100.0 * kind + t);
                    fields.instanceNumber = 10 * kind + t;
                };
                const std::string sub = folder.File(kind ? "p" : "m");
                ASSERT_EQ(WriteDicomSeries(sub, image, 1, 3, 0.0, 20.0, values).size(), 3u);
            }
        }
        CDicomFolder scan = Scanned(folder.Path().string());
        ASSERT_EQ(scan.m_series.size(), 2u);
        std::vector<std::string> types_;
        for (const CDicomFolder::Series& series : scan.m_series) types_.push_back(series.type);
        EXPECT_EQ(types_, (std::vector<std::string>{"magnitude", "phase"}));
        EXPECT_EQ(scan.m_series[1].Label(), "1 cine (phase): 5 x 4, 3 images, 1 slice x 3 frames");
        // The chooser and --info name each entry's type.
        const CChoiceTable table = scan.Table();
        for (size_t e = 0; e < 2; ++e) {
            EXPECT_EQ(table.rows[e].cells[2], types_[e]);
            const CInfoRecord info = scan.m_series[e].Info();
            const auto type = std::find_if(info.values.begin(), info.values.end(),
                                           [](const auto& value) { return value.first == "type"; });
            ASSERT_NE(type, info.values.end());
            EXPECT_EQ(std::get<std::string>(type->second), types_[e]);
        }
        for (size_t e = 0; e < 2; ++e) {
            CDicomSeriesLayout layout;
            const std::vector<uint16_t> samples = SeriesSamples(scan.m_series[e], layout);
            ASSERT_EQ(samples.size(), 60u);
            for (int t = 0; t < 3; ++t) EXPECT_EQ(samples[static_cast<size_t>(t) * 20], 100 * e + t);
        }
    }
}

// Enhanced frames that carry neither position nor time are placed by what
// the scanner counted: In-Stack Position Number gives the slice, Dimension
// Index Values (stack, place, phase) the order of the frames within it.
TEST_F(DicomSeriesTest, EnhancedFramesWithoutPlaceOrTimeFollowTheirIndices) {
    constexpr int kSlices = 3, kPhases = 4;
    DicomImageFields file;
    file.enhanced = true;
    file.orientation = std::array<double, 6>{1, 0, 0, 0, 1, 0};
    for (int z = 0; z < kSlices; ++z)
        for (int t = 0; t < kPhases; ++t) {
            DicomImageFields::Frame frame;
            frame.inStackPosition = z + 1;
            frame.dimensionIndex = {1, static_cast<uint32_t>(z + 1), static_cast<uint32_t>(t + 1)};
            frame.values.assign(20, 10.0 * z + t);
            file.frameList.push_back(frame);
        }
    std::shuffle(file.frameList.begin(), file.frameList.end(), m_random);
    ASSERT_TRUE(WriteDicomImage(m_folder.File("counted.dcm"), file));
    CDicomSeriesLayout layout;
    const std::vector<uint16_t> samples =
        OnlySeriesSamples(m_folder.Path().string(), "1 cine: 5 x 4, 12 images, 3 slices x 4 frames", layout);
    ASSERT_EQ(samples.size(), size_t{kSlices * kPhases * 20});
    for (int z = 0; z < kSlices; ++z)
        for (int t = 0; t < kPhases; ++t)
            EXPECT_EQ(samples[static_cast<size_t>(z * kPhases + t) * 20], 10 * z + t) << "z " << z << " t " << t;
}

// The chooser's picture of a series is its middle slice in the first frame,
// shrunk to fit and windowed over its own range, brightest where the values
// are highest (lowest for MONOCHROME1).
TEST_F(DicomSeriesTest, ThumbnailShowsTheMiddleSlice) {
    for (const char* photometric : {"MONOCHROME2", "MONOCHROME1"}) {
        SCOPED_TRACE(photometric);
        TempFolder folder;
        DicomImageFields image;
        image.columns = 80;
        image.rows = 40;
        image.photometric = photometric;
        // Only the middle slice's first frame rises from left to right.
        const auto each = [](DicomImageFields& fields, int z, int t) {
            fields.values.resize(80 * 40);
            for (int k = 0; k < 80 * 40; ++k)
                fields.values[static_cast<size_t>(k)] = z == 1 && t == 0 ? 100 + 3 * (k % 80) : 500 - (k % 80);
        };
        ASSERT_EQ(WriteDicomSeries(folder.Path().string(), image, 3, 2, 4.0, 30.0, each).size(), 6u);
        const CDicomFolder scan = Scanned(folder.Path().string());
        ASSERT_EQ(scan.m_series.size(), 1u);
        CChoiceTable::Picture picture;
        std::string error;
        ASSERT_TRUE(CDicomThumbnail::Make(scan.m_series[0], 64, picture, error)) << error;
        EXPECT_EQ(picture.width, 64);
        EXPECT_EQ(picture.height, 32);
        ASSERT_EQ(picture.grey.size(), 64u * 32u);
        const bool inverted = std::string(photometric) == "MONOCHROME1";
        for (int y = 0; y < 32; ++y) {
            const uint8_t* row = picture.grey.data() + y * 64;
            EXPECT_EQ(row[inverted ? 63 : 0], inverted ? 0 : 2) << "row " << y;  // columns 0 and 1
            EXPECT_EQ(row[inverted ? 0 : 63], inverted ? 253 : 255) << "row " << y;
            for (int x = 1; x < 64; ++x)
                ASSERT_TRUE(inverted ? row[x] <= row[x - 1] : row[x] >= row[x - 1]) << "x " << x << " row " << y;
        }
    }
}

// A classic multi-frame run (an XA cine): its frames are time at one place,
// Frame Time apart.
TEST_F(DicomSeriesTest, ClassicMultiFrameRunIsTime) {
    DicomImageFields run;
    run.seriesDescription = "XA run";
    run.frameTime = 33.3;
    for (int t = 0; t < 6; ++t) {
        DicomImageFields::Frame frame;
        frame.values.assign(20, 7.0 * t + 1);
        run.frameList.push_back(frame);
    }
    ASSERT_TRUE(WriteDicomImage(m_folder.File("run.dcm"), run));
    CDicomSeriesLayout layout;
    const std::vector<uint16_t> samples =
        OnlySeriesSamples(m_folder.Path().string(), "1 XA run: 5 x 4, 6 images, 1 slice x 6 frames", layout);
    ASSERT_EQ(samples.size(), 120u);
    for (int t = 0; t < 6; ++t) EXPECT_EQ(samples[static_cast<size_t>(t) * 20], 7 * t + 1) << "frame " << t;
    EXPECT_EQ(layout.m_calibration.m_frameTime, 33.0);
}

// A real Philips Enhanced MR (176 frames of 256 x 256, one per slice of an
// oblique MPRAGE), from the test files of nibabel when python3-nibabel is
// installed; and the same image as a classic series of one file per frame,
// as GDCM's gdcmtar writes it (libgdcm-tools), which must give the same volume.
TEST_F(DicomSeriesTest, PhilipsEnhancedMrOfNibabelLoads) {
    const std::string enhanced = m_folder.File("enhanced/mprage.dcm");
    std::filesystem::create_directories(m_folder.File("enhanced"));
    if (!WriteNibabelEnhancedMr(enhanced)) GTEST_SKIP() << "python3-nibabel's DICOM test files are absent";
    const std::vector<std::string> classic = SplitEnhancedMr(enhanced, m_folder.File("classic"));

    struct Form {
        const char* name;
        std::string folder;
        std::string label;
    };
    std::vector<Form> forms = {{"enhanced", m_folder.File("enhanced"),
                                "301 MPRAGE_S2: 256 x 256, 176 images, 176 slices x 1 frame"}};
    if (classic.size() == 176)
        forms.push_back({"classic", m_folder.File("classic"),
                         "301 MPRAGE_S2: 256 x 256, 176 images, 176 slices x 1 frame"});
    else
        ADD_FAILURE() << "gdcmtar (libgdcm-tools) did not split the file: " << classic.size() << " files";
    std::optional<CAffine> firstTransform;
    for (const Form& form : forms) {
        SCOPED_TRACE(form.name);
        CDicomFolder folder = Scanned(form.folder);
        ASSERT_EQ(folder.m_series.size(), 1u);
        EXPECT_EQ(folder.m_series[0].Label(), form.label);
        // Its pixel data is plain: it is read without the DICOM library.
        for (const CDicomImageHeader& image : folder.m_series[0].images)
            ASSERT_TRUE(image.native.has_value());
        CDicomSeriesLayout layout;
        std::string error;
        ASSERT_TRUE(folder.m_series[0].Layout(layout, error)) << error;
        EXPECT_TRUE(layout.m_notes.empty());
        // Its frames lie 1 mm apart along the normal of their common plane.
        EXPECT_NEAR(*layout.m_calibration.m_pixelSizeZ, 1.0, 1e-3);
        ASSERT_TRUE(layout.m_transform.has_value());
        if (!firstTransform) firstTransform = layout.m_transform;
        for (int row = 0; row < 3; ++row)
            for (int column = 0; column < 4; ++column)
                EXPECT_NEAR(layout.m_transform->Rows()[row][column], firstTransform->Rows()[row][column],
                            1e-6)
                    << "row " << row << " column " << column;
        CDicomSource source(layout);
        EXPECT_TRUE(source.Prepare({}, error)) << error;
    }
}

}  // namespace
