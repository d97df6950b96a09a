// The load pipeline every format shares, driven by a source made up here: its
// images lie in an order of its own and its codes are not yet samples.

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>
#include <vector>

#include "IntensityWindow.h"
#include "SampleSource.h"
#include "TimeVolume.h"
#include "ShownPlane.h"

namespace {

// Images stored t-major (all slices of frame 0 first), codes are values
// stored upside down (code = 65535 - value) and mapped back by MapCodes; with
// a pool above 1 that many neighbouring values share one sample.
class CInvertedSource : public CSampleSource {
public:
    CInvertedSource(int x, int y, int z, int t, int pool = 1) : m_pool(pool) {
        m_sizeX = x;
        m_sizeY = y;
        m_sizeZ = z;
        m_frames = t;
        m_codes.resize(static_cast<size_t>(SampleCount()));
        for (size_t i = 0; i < m_codes.size(); ++i)
            m_codes[i] = static_cast<uint16_t>(65535 - SampleAt(static_cast<int64_t>(i), int64_t{x} * y));
    }

    // The value at file position i: the image's own number, so a misplaced
    // image shows, plus the pixel index.
    static uint16_t SampleAt(int64_t i, int64_t imageSamples) {
        return static_cast<uint16_t>((i / imageSamples) * 10 + (i % imageSamples) % 7);
    }
    uint16_t SampleAt(int64_t i) const { return SampleAt(i, int64_t{m_sizeX} * m_sizeY) / m_pool; }

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
    void MapCodes(const IntensityHistogram& counts, SampleOfCode& samples) override {
        if (m_mapFails) throw std::runtime_error("cannot map");
        // The counts are those of these codes, with nothing left from another load.
        auto own = std::make_unique<IntensityHistogram>();
        for (uint16_t code : m_codes) ++(*own)[code];
        if (counts != *own) throw std::logic_error("the code counts are not those of the codes");
        for (size_t code = 0; code < samples.size(); ++code)
            samples[code] = static_cast<uint16_t>((65535 - code) / static_cast<size_t>(m_pool));
    }

    bool m_prepareFails = false;
    int64_t m_throwAt = -1;
    bool m_mapFails = false;

private:
    int m_pool = 1;
    std::vector<uint16_t> m_codes;
};

TEST(VolumeLoad, ImagesLandWhereTheSourcePlacesThemThroughTheirCodes) {
    CInvertedSource source(5, 3, 4, 3);
    source.m_calibration.m_pixelSizeY = 2.5;
    CTimeVolume volume;
    CVolumeCalibration earlier;
    earlier.m_pixelSizeX = 7.0;
    volume.AdoptCalibration(earlier);
    std::vector<double> progress;
    ASSERT_TRUE(volume.Load(source, 1.0, [&](double f) { progress.push_back(f); }));

    // Level 1.0: the largest sample; every image's samples are known.
    const uint16_t largest = 11 * 10 + 6;
    EXPECT_EQ(volume.SaturationLevel(), largest);
    for (int64_t image = 0; image < 12; ++image) {
        const int z = static_cast<int>(image % 4), t = static_cast<int>(image / 4);
        for (int i = 0; i < 15; ++i)
            ASSERT_EQ(ShownGrey(volume, z, t, i), EightBitValue(CInvertedSource::SampleAt(image * 15 + i, 15), largest))
                << "slice " << z << " frame " << t << " pixel " << i;
    }
    // Only what the source carries replaces the calibration.
    EXPECT_EQ(volume.PixelSizeX(), 7.0);
    EXPECT_EQ(volume.PixelSizeY(), 2.5);
    // The preparation counts for half (one pass, as the counting): its end is reported as such.
    ASSERT_FALSE(progress.empty());
    EXPECT_NEAR(progress.front(), 1.0 / 2.0, 1e-12);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    EXPECT_EQ(progress.back(), 1.0);
}

TEST(VolumeLoad, SmallAndLargeLoadsWindowEveryVoxelAlike) {
    // A few samples are counted by sorting, more in a full histogram: both
    // must give the level of the full histogram and the same voxels.
    static_assert(64 * 64 * 2 * 2 == kFewSamples && 113 * 29 * 5 == kFewSamples + 1);
    struct Case {
        const char* name;
        int x, y, z, t, pool;
    };
    const Case cases[] = {
        {"a few samples", 5, 3, 4, 3, 1},
        {"the most that are sorted", 64, 64, 2, 2, 1},
        {"one more", 113, 29, 5, 1, 1},
        {"many", 128, 96, 3, 2, 1},
        {"a few, codes pooled into samples", 7, 5, 3, 2, 3},
        {"many, codes pooled into samples", 128, 96, 3, 2, 3},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CInvertedSource source(c.x, c.y, c.z, c.t, c.pool);
        auto histogram = std::make_unique<IntensityHistogram>();
        for (int64_t i = 0; i < source.SampleCount(); ++i) ++(*histogram)[source.SampleAt(i)];
        const uint16_t level = SaturationLevelOfHistogram(*histogram, 0.9);

        CTimeVolume volume;
        ASSERT_TRUE(volume.Load(source, 0.9)) << volume.LastError();
        EXPECT_EQ(volume.SaturationLevel(), level);
        const int64_t imageSamples = int64_t{c.x} * c.y;
        for (int64_t i = 0; i < source.SampleCount(); ++i) {
            const int64_t image = i / imageSamples;
            ASSERT_EQ(ShownGrey(volume, static_cast<int>(image % c.z), static_cast<int>(image / c.z),
                                i % imageSamples), EightBitValue(source.SampleAt(i), level))
                << "sample " << i;
        }
    }
}

TEST(VolumeLoad, AFailingSourceLeavesTheVolumeAsItWas) {
    struct Case {
        const char* name;
        bool prepareFails;
        int64_t throwAt;
        bool mapFails;
        bool few;
        const char* error;
    };
    const Case cases[] = {
        {"prepare fails", true, -1, false, false, "cannot prepare"},
        {"data ends in the first block", false, 3, false, false, "data ends early"},
        {"data ends late", false, 8 * CSampleSource::kMaxBlock + 5, false, false, "data ends early"},
        {"a few samples end early", false, 3, false, true, "data ends early"},
        {"codes cannot be mapped", false, -1, true, false, "cannot map"},
        {"a few codes cannot be mapped", false, -1, true, true, "cannot map"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTimeVolume volume;
        CInvertedSource first(4, 4, 2, 2);
        ASSERT_TRUE(volume.Load(first, 1.0)) << volume.LastError();
        const uint16_t* codes = volume.SliceValues(1, 1).codes;
        const uint16_t level = volume.SaturationLevel();

        // The large one takes more than one run of blocks.
        CInvertedSource bad = c.few ? CInvertedSource(6, 5, 2, 1) : CInvertedSource(512, 512, 10, 1);
        bad.m_prepareFails = c.prepareFails;
        bad.m_throwAt = c.throwAt;
        bad.m_mapFails = c.mapFails;
        bad.m_calibration.m_frameTime = 99.0;
        EXPECT_FALSE(volume.Load(bad, 1.0));
        EXPECT_EQ(volume.LastError(), c.error);
        EXPECT_EQ(volume.SizeX(), 4);
        EXPECT_EQ(volume.SliceValues(1, 1).codes, codes);
        EXPECT_EQ(volume.SaturationLevel(), level);
        EXPECT_NE(volume.FrameTime(), 99.0);
        // The next load counts its own codes only, whatever the failed one left.
        CTimeVolume next;
        EXPECT_TRUE(next.Load(first, 1.0)) << next.LastError();
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
    const uint16_t* codes = volume.SliceValues(1, 1).codes;
    CWorkerFailingSource bad(1024, 1024, 4, 1);  // two runs of blocks, worth two threads
    EXPECT_FALSE(volume.Load(bad, 1.0));
    EXPECT_EQ(volume.LastError(), "data ends early on another thread");
    EXPECT_EQ(volume.SizeX(), 4);
    EXPECT_EQ(volume.SliceValues(1, 1).codes, codes);
}

}  // namespace
