#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <utility>
#include <vector>

#include "ColourBar.h"
#include "ColourMap.h"

// Known entries: the ends and middles of the published maps as their
// authors list them in hex (viridis #440154, #21918c, #fde725 and so on),
// the corners of the hot ramp, and the ends of the simple maps.
TEST(ColourMapTest, TablesHoldTheKnownColours) {
    struct Case {
        EColourMap map;
        int level, r, g, b;
    };
    const Case cases[] = {
        {EColourMap::kGrey, 0, 0, 0, 0},
        {EColourMap::kGrey, 200, 200, 200, 200},
        {EColourMap::kInvertedGrey, 0, 255, 255, 255},
        {EColourMap::kInvertedGrey, 200, 55, 55, 55},
        {EColourMap::kHot, 0, 0, 0, 0},
        {EColourMap::kHot, 85, 255, 0, 0},
        {EColourMap::kHot, 170, 255, 255, 0},
        {EColourMap::kHot, 255, 255, 255, 255},
        {EColourMap::kViridis, 0, 68, 1, 84},
        {EColourMap::kViridis, 128, 33, 145, 140},
        {EColourMap::kViridis, 255, 253, 231, 37},
        {EColourMap::kMagma, 0, 0, 0, 4},
        {EColourMap::kMagma, 128, 183, 55, 121},
        {EColourMap::kMagma, 255, 252, 253, 191},
        {EColourMap::kInferno, 0, 0, 0, 4},
        {EColourMap::kInferno, 128, 188, 55, 84},
        {EColourMap::kInferno, 255, 252, 255, 164},
        {EColourMap::kPlasma, 0, 13, 8, 135},
        {EColourMap::kPlasma, 128, 204, 71, 120},
        {EColourMap::kPlasma, 255, 240, 249, 33},
        {EColourMap::kDiverging, 0, 0, 0, 255},
        {EColourMap::kDiverging, 255, 255, 0, 0},
    };
    for (const Case& c : cases) {
        const auto& entry = ColourMapTable(c.map)[static_cast<size_t>(c.level)];
        EXPECT_EQ(entry[0], c.r) << ColourMapInfo(c.map).name << " level " << c.level;
        EXPECT_EQ(entry[1], c.g) << ColourMapInfo(c.map).name << " level " << c.level;
        EXPECT_EQ(entry[2], c.b) << ColourMapInfo(c.map).name << " level " << c.level;
    }
}

TEST(ColourMapTest, DivergingMirrorsAroundAWhiteMiddle) {
    const ColourTable& table = ColourMapTable(EColourMap::kDiverging);
    for (size_t k = 0; k < 128; ++k) {
        const ColourTable::value_type mirrored = {table[128 + k][2], table[128 + k][1], table[128 + k][0]};
        EXPECT_EQ(table[127 - k], mirrored) << k;
        EXPECT_EQ(table[127 - k][2], 255) << k;
        if (k > 0) {
            EXPECT_LT(table[127 - k][0], table[128 - k][0]) << "not fading towards blue at " << k;
        }
    }
    for (uint8_t channel : table[127]) EXPECT_GE(channel, 254);
}

TEST(ColourMapTest, LookUpsByNameAndLevel) {
    for (const CColourMapInfo& info : ColourMaps())
        EXPECT_EQ(ColourMapByName(info.name), info.map) << info.name;
    for (const char* unknown : {"", "Viridis", "gray"}) EXPECT_FALSE(ColourMapByName(unknown)) << unknown;

    const uint8_t grey[] = {0, 128, 255, 7};
    const std::vector<uint8_t> rgb = ColourisePlane(grey, 4, EColourMap::kMagma);
    ASSERT_EQ(rgb.size(), 12u);
    for (size_t i = 0; i < 12; ++i)
        EXPECT_EQ(rgb[i], ColourMapTable(EColourMap::kMagma)[grey[i / 3]][i % 3]) << i;
    EXPECT_TRUE(ColourisePlane(nullptr, 4, EColourMap::kMagma).empty());
}

TEST(ColourBarTest, EndValuesAreShortNumbers) {
    const double nan = std::numeric_limits<double>::quiet_NaN(),
                 inf = std::numeric_limits<double>::infinity();
    const std::pair<double, const char*> cases[] = {{0.0, "0"},
                                                    {-0.0, "0"},
                                                    {-1024.0, "-1024"},
                                                    {3.14159265, "3.14159"},
                                                    {0.5, "0.5"},
                                                    {1234567.0, "1.2e+06"},
                                                    {-2.5e-7, "-2.5e-07"},
                                                    {nan, ""},
                                                    {inf, ""}};
    for (const auto& [value, text] : cases) EXPECT_EQ(CColourBar::FormatValue(value), text) << value;
}
