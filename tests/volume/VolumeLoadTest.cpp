// The load pipeline every format shares, driven by a source made up here: its
// images lie in an order of its own and its codes are not yet samples.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>
#include <vector>

#include "IntensityWindow.h"
#include "SampleSource.h"
#include "TimeVolume.h"

namespace {

// Images stored t-major (all slices of frame 0 first), codes are samples
// stored upside down (code = 65535 - sample) and mapped back by MapCodes.
class CInvertedSource : public CSampleSource {
public:
    CInvertedSource(int x, int y, int z, int t) {
        m_sizeX = x;
        m_sizeY = y;
        m_sizeZ = z;
        m_frames = t;
        m_codes.resize(static_cast<size_t>(SampleCount()));
        for (size_t i = 0; i < m_codes.size(); ++i)
            m_codes[i] = static_cast<uint16_t>(65535 - SampleAt(static_cast<int64_t>(i)));
    }

    // The sample at file position i: the image's own number, so a misplaced
    // image shows, plus the pixel index.
    static uint16_t SampleAt(int64_t i, int64_t imageSamples) {
        return static_cast<uint16_t>((i / imageSamples) * 10 + (i % imageSamples) % 7);
    }
    uint16_t SampleAt(int64_t i) const { return SampleAt(i, int64_t{m_sizeX} * m_sizeY); }

    void ImagePlace(int64_t image, int32_t& z, int32_t& t) const override {
        z = static_cast<int32_t>(image % m_sizeZ);
        t = static_cast<int32_t>(image / m_sizeZ);
    }
    double PrepareWeight() const override { return 1.0; }
    bool Prepare(const Progress& progress, std::string& error) override {
        progress(1.0);
        if (m_prepareFails) error = "cannot prepare";
        return !m_prepareFails;
    }
    const uint16_t* Codes(int64_t first, int64_t count, uint16_t* scratch) const override {
        if (first <= m_throwAt && m_throwAt < first + count) throw std::runtime_error("data ends early");
        std::copy_n(m_codes.begin() + first, count, scratch);
        return scratch;
    }
    bool CodesAreSamples() const override { return false; }
    void MapCodes(const IntensityHistogram&, SampleOfCode& samples) override {
        for (size_t code = 0; code < samples.size(); ++code) samples[code] = static_cast<uint16_t>(65535 - code);
    }

    bool m_prepareFails = false;
    int64_t m_throwAt = -1;

private:
    std::vector<uint16_t> m_codes;
};

TEST(VolumeLoad, ImagesLandWhereTheSourcePlacesThemThroughTheirCodes) {
    CInvertedSource source(5, 3, 4, 3);
    source.m_calibration.m_pixelSizeY = 2.5;
    CTimeVolume volume;
    volume.m_pixelSizeX = 7.0;
    std::vector<double> progress;
    ASSERT_TRUE(volume.Load(source, 1.0, [&](double f) { progress.push_back(f); }));

    // Level 1.0: the largest sample; every image's samples are known.
    const uint16_t largest = 11 * 10 + 6;
    EXPECT_EQ(volume.m_saturationLevel, largest);
    for (int64_t image = 0; image < 12; ++image) {
        const int z = static_cast<int>(image % 4), t = static_cast<int>(image / 4);
        const CSliceImage& slice = volume.m_slices[z][t];
        for (int i = 0; i < 15; ++i)
            ASSERT_EQ(slice.m_data[i], EightBitValue(CInvertedSource::SampleAt(image * 15 + i, 15), largest))
                << "slice " << z << " frame " << t << " pixel " << i;
    }
    // Only what the source carries replaces the calibration.
    EXPECT_EQ(volume.m_pixelSizeX, 7.0);
    EXPECT_EQ(volume.m_pixelSizeY, 2.5);
    // The preparation counts for a third: its end is reported as such.
    ASSERT_FALSE(progress.empty());
    EXPECT_NEAR(progress.front(), 1.0 / 3.0, 1e-12);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 1.0);
}

TEST(VolumeLoad, AFailingSourceLeavesTheVolumeAsItWas) {
    struct Case {
        const char* name;
        bool prepareFails;
        int64_t throwAt;
        const char* error;
    };
    const Case cases[] = {
        {"prepare fails", true, -1, "cannot prepare"},
        {"data ends in the first block", false, 3, "data ends early"},
        {"data ends late", false, 8 * CSampleSource::kMaxBlock + 5, "data ends early"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTimeVolume volume;
        CInvertedSource first(4, 4, 2, 2);
        ASSERT_TRUE(volume.Load(first, 1.0));
        const uint8_t* data = volume.m_slices[1][1].m_data;
        const uint16_t level = volume.m_saturationLevel;

        CInvertedSource bad(512, 512, 10, 1);  // more than one run of blocks
        bad.m_prepareFails = c.prepareFails;
        bad.m_throwAt = c.throwAt;
        bad.m_calibration.m_frameTime = 99.0;
        EXPECT_FALSE(volume.Load(bad, 1.0));
        EXPECT_EQ(volume.LastError(), c.error);
        EXPECT_EQ(volume.m_sizeX, 4);
        EXPECT_EQ(volume.m_slices[1][1].m_data, data);
        EXPECT_EQ(volume.m_saturationLevel, level);
        EXPECT_NE(volume.m_frameTime, 99.0);
    }
}

// Fails on every thread but the one that loads, which holds on to its first
// run until another thread has failed, so that one does.
class CWorkerFailingSource : public CInvertedSource {
public:
    using CInvertedSource::CInvertedSource;
    const uint16_t* Codes(int64_t first, int64_t count, uint16_t* scratch) const override {
        if (std::this_thread::get_id() != m_loadingThread) {
            m_failed = true;
            throw std::runtime_error("data ends early on another thread");
        }
        for (int wait = 0; wait < 10000 && !m_failed; ++wait)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return CInvertedSource::Codes(first, count, scratch);
    }

private:
    const std::thread::id m_loadingThread = std::this_thread::get_id();
    mutable std::atomic<bool> m_failed{false};
};

TEST(VolumeLoad, AFailureOnAnotherThreadFailsTheLoad) {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one core: a load runs on one thread";
    CTimeVolume volume;
    CInvertedSource first(4, 4, 2, 2);
    ASSERT_TRUE(volume.Load(first, 1.0));
    const uint8_t* data = volume.m_slices[1][1].m_data;
    CWorkerFailingSource bad(1024, 1024, 4, 1);  // two runs of blocks, worth two threads
    EXPECT_FALSE(volume.Load(bad, 1.0));
    EXPECT_EQ(volume.LastError(), "data ends early on another thread");
    EXPECT_EQ(volume.m_sizeX, 4);
    EXPECT_EQ(volume.m_slices[1][1].m_data, data);
}

}  // namespace
