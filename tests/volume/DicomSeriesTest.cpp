// DICOM folders written by the DICOM library's own writer: scanning, series
// choice, sorting and the samples that reach the volume.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <random>

#include "DicomFolder.h"
#include "DicomSource.h"
#include "DicomWriter.h"
#include "TempFolder.h"
#include "TimeVolume.h"
#include "TviWriter.h"

namespace {

// The 16-bit samples a source gives, image after image, as a load would see them.
std::vector<uint16_t> SamplesOf(CSampleSource& source) {
    std::string error;
    EXPECT_TRUE(source.Prepare({}, error)) << error;
    const int64_t total = source.SampleCount();
    std::vector<uint16_t> codes(static_cast<size_t>(total));
    std::vector<uint16_t> scratch(static_cast<size_t>(CSampleSource::kMaxBlock));
    auto histogram = std::make_unique<IntensityHistogram>();
    histogram->fill(0);
    for (int64_t first = 0; first < total; first += CSampleSource::kMaxBlock) {
        const int64_t count = std::min(CSampleSource::kMaxBlock, total - first);
        const uint16_t* block = source.Codes(first, count, scratch.data());
        std::copy(block, block + count, codes.begin() + first);
        for (int64_t i = 0; i < count; ++i) ++(*histogram)[block[i]];
    }
    if (!source.CodesAreSamples()) {
        auto map = std::make_unique<SampleOfCode>();
        source.MapCodes(*histogram, *map);
        for (uint16_t& code : codes) code = (*map)[code];
    }
    return codes;
}

// A 4-slice x 5-phase cine series on an oblique plane, stored under random
// names in random order, int16 with a rescale. Raw values say where they belong.
struct ObliqueSeries {
    static constexpr int kRows = 6, kColumns = 7, kSlices = 4, kPhases = 5;
    static constexpr double kGap = 8.0, kStep = 40.0, kSlope = 2.0, kIntercept = -100.0;
    std::array<double, 6> orientation;
    std::array<double, 3> normal;

    ObliqueSeries() {
        const double a = 0.5, b = 0.3;
        orientation = {std::cos(a), std::sin(a), 0.0, -std::sin(a) * std::cos(b), std::cos(a) * std::cos(b), std::sin(b)};
        const auto& o = orientation;
        normal = {o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5], o[0] * o[4] - o[1] * o[3]};
    }
    static double Raw(int x, int y, int z, int t) { return 1000.0 * z + 100.0 * t + 10.0 * y + x - 1500.0; }

    void Write(const TempFolder& folder, std::mt19937& random) const {
        std::vector<std::pair<int, int>> order;
        for (int z = 0; z < kSlices; ++z)
            for (int t = 0; t < kPhases; ++t) order.emplace_back(z, t);
        std::shuffle(order.begin(), order.end(), random);
        int instance = 1;
        for (const auto& [z, t] : order) {
            DicomImageFields fields;
            fields.rows = kRows;
            fields.columns = kColumns;
            fields.pixels = DicomImageFields::Pixels::kInt16;
            for (int y = 0; y < kRows; ++y)
                for (int x = 0; x < kColumns; ++x) fields.values.push_back(Raw(x, y, z, t));
            // Slice 0 lies lowest along the normal; the origin is off the axes.
            fields.position = std::array<double, 3>{-30.0 + z * kGap * normal[0], 12.0 + z * kGap * normal[1],
                                                  7.0 + z * kGap * normal[2]};
            fields.orientation = orientation;
            fields.pixelSpacing = std::array<double, 2>{1.5, 1.25};
            fields.triggerTime = t * kStep;
            // Instance numbers in file order, so they cannot stand in for the trigger time.
            fields.instanceNumber = instance++;
            fields.rescaleSlope = kSlope;
            fields.rescaleIntercept = kIntercept;
            const std::string name = "IM" + std::to_string(random() % 1000000) + "_" + std::to_string(instance);
            ASSERT_TRUE(WriteDicomImage(folder.File(name), fields));
        }
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

void WriteText(const std::string& path, const std::string& text) { std::ofstream(path) << text; }

class DicomSeriesTest : public ::testing::Test {
protected:
    TempFolder m_folder;
    std::mt19937 m_random{20261208};
};

TEST_F(DicomSeriesTest, ShuffledObliqueSeriesLoadsInPlaneOrder) {
    ObliqueSeries series;
    series.Write(m_folder, m_random);
    WriteText(m_folder.File("README.txt"), "scanner export\n");
    // Claims to be DICOM by its mark, then breaks off.
    WriteText(m_folder.File("broken.dcm"), std::string(128, '\0') + "DICM\x02\x00\x01");

    CDicomFolder folder;
    std::string error;
    ASSERT_TRUE(folder.Scan(m_folder.Path().string(), error)) << error;
    ASSERT_EQ(folder.m_series.size(), 1u);
    EXPECT_EQ(folder.m_unreadable, std::vector<std::string>{m_folder.File("broken.dcm")});
    CDicomFolder::Series& found = folder.m_series[0];
    EXPECT_EQ(found.Label(), "1 cine: 7 x 6, 20 images, 4 slices x 5 frames");

    CDicomSeriesLayout layout;
    ASSERT_TRUE(found.Layout(layout, error)) << error;
    EXPECT_TRUE(layout.m_notes.empty());
    EXPECT_DOUBLE_EQ(*layout.m_calibration.m_pixelSizeX, 1.25);
    EXPECT_DOUBLE_EQ(*layout.m_calibration.m_pixelSizeY, 1.5);
    EXPECT_NEAR(*layout.m_calibration.m_pixelSizeZ, ObliqueSeries::kGap, 1e-6);
    EXPECT_EQ(*layout.m_calibration.m_frameTime, ObliqueSeries::kStep);

    CDicomSource source(layout);
    const std::vector<uint16_t> samples = SamplesOf(source);
    const std::vector<uint16_t> expected = ObliqueSeries::ExpectedSamples();
    ASSERT_EQ(samples.size(), expected.size());
    for (size_t i = 0; i < samples.size(); ++i) ASSERT_EQ(samples[i], expected[i]) << "sample " << i;

    // Through the whole load, the planes are those of a .tvi file holding the same samples.
    TviContents tvi;
    tvi.sizeX = ObliqueSeries::kColumns;
    tvi.sizeY = ObliqueSeries::kRows;
    tvi.sizeZ = ObliqueSeries::kSlices;
    tvi.frames = ObliqueSeries::kPhases;
    tvi.samples = expected;
    ASSERT_TRUE(WriteTviFile(m_folder.File("same.tvi"), tvi));
    CTimeVolume fromDicom, fromTvi;
    CDicomSource loadSource(layout);
    ASSERT_TRUE(fromDicom.Load(loadSource, 0.98)) << fromDicom.LastError();
    ASSERT_TRUE(fromTvi.LoadTvi(m_folder.File("same.tvi"), 0.98));
    EXPECT_EQ(fromDicom.m_saturationLevel, fromTvi.m_saturationLevel);
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
    for (int s = 0; s < 3; ++s)
        for (int t = 0; t < 4; ++t) {
            DicomImageFields fields;
            fields.values.assign(20, 100.0 * s + t);
            fields.seriesUid = "1.2.3." + std::to_string(s + 1);
            fields.seriesNumber = 3 - s;
            fields.position = std::array<double, 3>{0.0, 0.0, heights[s]};
            fields.orientation = std::array<double, 6>{1, 0, 0, 0, 1, 0};
            fields.pixelSpacing = std::array<double, 2>{1.0, 1.0};
            fields.triggerTime = 25.0 * t;
            ASSERT_TRUE(WriteDicomImage(m_folder.File("s" + std::to_string(s) + "t" + std::to_string(t)), fields));
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

    CDicomFolder folder;
    std::string error;
    ASSERT_TRUE(folder.Scan(m_folder.Path().string(), error)) << error;
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
    EXPECT_EQ(folder.SeriesOfFile(m_folder.File("s2t1")), 0);  // series 1 comes first

    // The stack is ordered by position: the series at z = 0, 10, 20.
    CDicomSeriesLayout layout;
    ASSERT_TRUE(folder.m_series[4].Layout(layout, error)) << error;
    CDicomSource source(layout);
    const std::vector<uint16_t> samples = SamplesOf(source);
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

        CDicomFolder folder;
        std::string error;
        ASSERT_TRUE(folder.Scan(m_folder.Path().string(), error));
        const int index = folder.SeriesOfFile(path);
        ASSERT_GE(index, 0);
        EXPECT_EQ(folder.m_series[static_cast<size_t>(index)].Label(), "1 cine: 16 x 16, 1 image, 1 slice x 1 frame");
        CDicomSeriesLayout layout;
        ASSERT_TRUE(folder.m_series[static_cast<size_t>(index)].Layout(layout, error)) << error;
        CDicomSource source(layout);
        const std::vector<uint16_t> samples = SamplesOf(source);
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
        TempFolder folder;
        for (int image = 0; image < 2; ++image) {
            DicomImageFields fields;
            fields.rows = 2;
            fields.columns = 2;
            fields.pixels = c.pixels;
            fields.values = c.raw;
            fields.rescaleSlope = c.rescale[static_cast<size_t>(image)].first;
            fields.rescaleIntercept = c.rescale[static_cast<size_t>(image)].second;
            fields.instanceNumber = image + 1;
            ASSERT_TRUE(WriteDicomImage(folder.File("im" + std::to_string(image)), fields));
        }
        CDicomFolder scan;
        std::string error;
        ASSERT_TRUE(scan.Scan(folder.Path().string(), error));
        ASSERT_EQ(scan.m_series.size(), 1u);
        CDicomSeriesLayout layout;
        ASSERT_TRUE(scan.m_series[0].Layout(layout, error)) << error;
        CDicomSource source(layout);
        EXPECT_EQ(SamplesOf(source), c.samples);
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
    EXPECT_EQ(volume.m_sizeX, 0);

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

}  // namespace
