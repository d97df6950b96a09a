#include "IntensityWindow.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

namespace {

// The level through the full histogram, checked against the counts of the
// values present, which small loads use instead.
uint16_t LevelOf(const std::vector<uint16_t>& samples, double fraction) {
    auto histogram = std::make_unique<IntensityHistogram>();
    AddToHistogram(*histogram, samples.data(), samples.size());
    const uint16_t level = SaturationLevelOfHistogram(*histogram, fraction);
    EXPECT_EQ(SaturationLevelOfCounts(CountDistinct(samples), fraction), level) << "fraction " << fraction;
    EXPECT_EQ(SaturationLevelOfSamples(samples.data(), samples.size(), fraction), level);
    return level;
}

}  // namespace

TEST(IntensityWindow, SaturationLevelIsTheFirstValueReachingTheFraction) {
    EXPECT_EQ(LevelOf({0, 0, 0, 100}, 0.98), 100);
    EXPECT_EQ(LevelOf({10, 20, 30, 40}, 0.5), 20);  // exactly half at 20 qualifies
    EXPECT_EQ(LevelOf({0, 0, 0, 0}, 0.3), 0);
    EXPECT_EQ(LevelOf({0, 5}, 0.5), 0);
    EXPECT_EQ(LevelOf({3, 7, 65535}, 1.0), 65535);
    EXPECT_EQ(LevelOf({}, 0.98), 0);          // no samples
    EXPECT_EQ(LevelOf({1, 2, 3}, 1.01), 0);   // no value qualifies
    EXPECT_EQ(LevelOf({4, 9}, 0.0), 0);       // value 0 qualifies though no sample has it
    EXPECT_EQ(LevelOf({4, 9}, -1.0), 0);
    EXPECT_EQ(LevelOf({4, 9}, std::nan("")), 0);
}

TEST(IntensityWindow, CountingTheValuesPresentFindsTheLevelOfTheFullHistogram) {
    // Sizes on both sides of where SaturationLevelOfSamples stops sorting,
    // values spread wide, bunched, or mostly one.
    std::mt19937 random(7);
    for (const size_t size :
         {size_t{1}, size_t{2}, size_t{1000}, kFewSamples, kFewSamples + 1, 3 * kFewSamples}) {
        for (const uint16_t spread : {uint16_t{65535}, uint16_t{40}, uint16_t{0}}) {
            std::vector<uint16_t> samples(size);
            for (uint16_t& sample : samples)
                sample =
                    static_cast<uint16_t>(random() % 8 == 0 ? random() : 30000 + random() % (spread + 1u));
            for (const double fraction : {0.02, 0.5, 0.98, 1.0}) LevelOf(samples, fraction);
        }
    }
    const std::vector<SampleCount> counts = CountDistinct({9, 2, 9, 65535, 2, 9});
    ASSERT_EQ(counts.size(), 3u);
    EXPECT_EQ(counts[0].sample, 2);
    EXPECT_EQ(counts[0].count, 2u);
    EXPECT_EQ(counts[1].sample, 9);
    EXPECT_EQ(counts[1].count, 3u);
    EXPECT_EQ(counts[2].sample, 65535);
    EXPECT_EQ(counts[2].count, 1u);
}

TEST(IntensityWindow, HistogramCountsEverySampleWhateverTheRunLength) {
    // Long runs of one value and a tail that is not a multiple of four.
    std::vector<uint16_t> samples(1003, 7);
    samples[1002] = 65535;
    samples[0] = 0;
    auto histogram = std::make_unique<IntensityHistogram>();
    AddToHistogram(*histogram, samples.data(), samples.size());
    AddToHistogram(*histogram, samples.data(), samples.size());
    // From a start that is not aligned to the four samples read at once.
    AddToHistogram(*histogram, samples.data() + 1, samples.size() - 1);
    EXPECT_EQ((*histogram)[0], 2u);
    EXPECT_EQ((*histogram)[7], 3003u);
    EXPECT_EQ((*histogram)[65535], 3u);
}

TEST(IntensityWindow, EightBitValuesFollowTheRamp) {
    EXPECT_EQ(EightBitValue(0, 100), 0);
    EXPECT_EQ(EightBitValue(100, 100), 255);
    EXPECT_EQ(EightBitValue(101, 100), 255);
    EXPECT_EQ(EightBitValue(10, 20), 127);   // truncated, not rounded
    EXPECT_EQ(EightBitValue(999, 1000), 254);
    EXPECT_EQ(EightBitValue(1, 3), 85);      // 1/3 * 255 is exactly 85.0 in doubles
    EXPECT_EQ(EightBitValue(7, 65535), 0);
    EXPECT_EQ(EightBitValue(0, 0), 0);
    EXPECT_EQ(EightBitValue(5, 0), 255);
    EXPECT_EQ(EightBitValue(65535, 0), 255);
}

TEST(IntensityWindow, TableMatchesTheFormulaForEverySample) {
    for (uint16_t level : {0, 1, 3, 255, 1000, 4095, 65534, 65535}) {
        const IntensityTable table = MakeIntensityTable(level);
        for (uint32_t v = 0; v < 65536; ++v) {
            // The formula, written out independently of EightBitValue.
            uint8_t expected;
            if (level == 0) {
                expected = v == 0 ? 0 : 255;
            } else {
                const double q = static_cast<double>(v) / level;
                expected = q > 1.0 ? 255 : static_cast<uint8_t>(q * 255.0);
            }
            ASSERT_EQ(table[v], expected) << "sample " << v << " at level " << level;
        }
    }
}

TEST(IntensityWindow, ConvertSamplesLooksUpEverySample) {
    const IntensityTable table = MakeIntensityTable(20);
    const std::vector<uint16_t> samples = {0, 10, 20, 30, 65535};
    std::vector<uint8_t> out(samples.size(), 99);
    ConvertSamples(samples.data(), out.data(), samples.size(), table);
    EXPECT_EQ(out, (std::vector<uint8_t>{0, 127, 255, 255, 255}));

    // Every sample value, in an order that mixes lanes, from starts and
    // lengths that are not multiples of eight; nothing past the end is written.
    const IntensityTable ramp = MakeIntensityTable(4095);
    std::vector<uint16_t> all(65536 + 16);
    for (size_t i = 0; i < all.size(); ++i) all[i] = static_cast<uint16_t>(i * 40503u);
    for (const size_t start : {0, 1, 3}) {
        for (const size_t count : {size_t{7}, size_t{65536}, size_t{65536 + 13 - 3}}) {
            std::vector<uint8_t> converted(count + 1, 77);
            ConvertSamples(all.data() + start, converted.data(), count, ramp);
            for (size_t i = 0; i < count; ++i)
                ASSERT_EQ(converted[i], ramp[all[start + i]]) << "start " << start << " sample " << i;
            EXPECT_EQ(converted[count], 77);
        }
    }
}
