// Windows on the values of a series: the grey levels they give, the presets
// the series' values make, what refuses a window and the way back to the
// load default, for a .tvi, a signed NIfTI with a rescale and grey levels
// loaded as a movie folder is.

#include <gtest/gtest.h>
#include <nifti1.h>

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <vector>

#include "DisplayWindow.h"
#include "GreySource.h"
#include "ShownPlane.h"
#include "TempFolder.h"
#include "TestData.h"
#include "TimeVolume.h"

namespace {

enum class EKind { kTvi, kSignedNifti, kGrey };

// The stored value of voxel (x, y, z) in frame t: a .tvi sample, an int16
// NIfTI value (shown as 0.5 stored + 10) or a grey level.
using StoredRule = std::function<int(int x, int y, int z, int t)>;

struct VolumeSpec {
    EKind kind;
    int x, y, z, t;
    StoredRule stored;
};

double ValueOfStored(EKind kind, int stored) {
    return kind == EKind::kSignedNifti ? stored * 0.5 + 10.0 : stored;
}

class DisplayWindowTest : public ::testing::Test {
protected:
    // Loads `spec` into `volume` at `saturation`; false when it does not load.
    bool Load(CTimeVolume& volume, const VolumeSpec& spec, double saturation) {
        if (spec.kind == EKind::kGrey) {
            CGreySource source(spec.x, spec.y, spec.z, spec.t);
            ForEachVoxel(spec, [&](int x, int y, int z, int t, int stored) {
                source.At(x, y, z, t) = static_cast<uint16_t>(stored);
            });
            return volume.Load(source, saturation);
        }
        std::string name = std::to_string(++m_files);
        if (spec.kind == EKind::kTvi) {
            TviContents contents = TviVolume(spec.x, spec.y, spec.z, spec.t);
            ForEachVoxel(spec, [&](int x, int y, int z, int t, int stored) {
                contents.At(x, y, z, t) = static_cast<uint16_t>(stored);
            });
            name += ".tvi";
            EXPECT_TRUE(WriteTviFile(m_folder.File(name), contents));
        } else {
            std::vector<int16_t> values(static_cast<size_t>(spec.x) * spec.y * spec.z * spec.t);
            ForEachVoxel(spec, [&](int x, int y, int z, int t, int stored) {
                values[static_cast<size_t>(((t * spec.z + z) * spec.y + y) * spec.x + x)] =
                    static_cast<int16_t>(stored);
            });
            NiftiContents contents = NiftiVolume(spec.x, spec.y, spec.z, spec.t, DT_INT16, values);
            contents.slope = 0.5;
            contents.intercept = 10.0;
            name += ".nii";
            EXPECT_TRUE(WriteNiftiFile(m_folder.File(name), contents));
        }
        const bool loaded = volume.LoadFile(m_folder.File(name), saturation);
        EXPECT_TRUE(loaded) << volume.LastError();
        return loaded;
    }

    static void ForEachVoxel(const VolumeSpec& spec,
                             const std::function<void(int, int, int, int, int)>& each) {
        for (int t = 0; t < spec.t; ++t)
            for (int z = 0; z < spec.z; ++z)
                for (int y = 0; y < spec.y; ++y)
                    for (int x = 0; x < spec.x; ++x)
                        each(x, y, z, t, spec.stored ? spec.stored(x, y, z, t) : 0);
    }

    TempFolder m_folder;
    int m_files = 0;
};

// Many values over every slice and frame, of each kind.
VolumeSpec Busy(EKind kind) {
    switch (kind) {
        case EKind::kTvi:
            return {kind, 40, 30, 6, 3, [](int x, int y, int z, int t) { return x * y + z * 7 + t; }};
        case EKind::kSignedNifti:
            return {kind,
                    40,
                    30,
                    6,
                    3,
                    [](int x, int y, int z, int t) { return (x * 31 + y * 17 + z * 7 + t * 3) * 37 % 1500 - 700; }};
        case EKind::kGrey:
            break;
    }
    return {kind, 40, 30, 6, 3, [](int x, int y, int z, int t) { return (x * 7 + y * 5 + z * 3 + t) % 256; }};
}

void ExpectWindow(const std::optional<CDisplayWindow>& window, double low, double high) {
    ASSERT_TRUE(window.has_value());
    const double tolerance = 1e-9 * std::max(1.0, std::abs(high - low));
    EXPECT_NEAR(window->center - window->width / 2, low, tolerance);
    EXPECT_NEAR(window->center + window->width / 2, high, tolerance);
}

}  // namespace

TEST_F(DisplayWindowTest, VoxelsShowTheGreyOfTheirValueInTheWindow) {
    struct Voxel {
        int x, y, z, t;
        int stored;
        int grey;  // round(255 clamp((v - (C - W / 2)) / W, 0, 1)) by hand
    };
    const struct {
        const char* name;
        EKind kind;
        CDisplayWindow window;
        std::vector<Voxel> voxels;
    } cases[] = {
        {"tvi, from 100 to 300",
         EKind::kTvi,
         {200, 200},
         {{0, 0, 0, 0, 0, 0},
          {1, 0, 0, 1, 100, 0},
          {2, 1, 1, 0, 150, 64},
          {3, 2, 2, 1, 200, 128},
          {4, 3, 2, 0, 299, 254},
          {0, 3, 1, 1, 300, 255},
          {1, 2, 0, 0, 1000, 255}}},
        // Values 0.5 stored + 10.
        {"signed NIfTI with a rescale, from -200 to 200",
         EKind::kSignedNifti,
         {0, 400},
         {{0, 0, 0, 0, -700, 0},
          {1, 0, 0, 1, -420, 0},
          {2, 1, 1, 0, -300, 38},
          {3, 2, 2, 1, 0, 134},
          {4, 3, 2, 0, 100, 166},
          {0, 3, 1, 1, 370, 252},
          {1, 2, 0, 0, 500, 255}}},
        {"signed NIfTI with a rescale, CT lung",
         EKind::kSignedNifti,
         {-600, 1500},
         {{0, 0, 0, 0, -700, 172}, {3, 2, 2, 1, 0, 231}, {1, 2, 0, 0, 500, 255}}},
        {"grey levels, from 50 to 150",
         EKind::kGrey,
         {100, 100},
         {{0, 0, 0, 0, 0, 0},
          {1, 0, 0, 1, 50, 0},
          {2, 1, 1, 0, 75, 64},
          {3, 2, 2, 1, 100, 128},
          {4, 3, 2, 0, 149, 252},
          {0, 3, 1, 1, 150, 255},
          {1, 2, 0, 0, 255, 255}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto& voxels = c.voxels;
        const VolumeSpec spec{c.kind, 5, 4, 3, 2, [&voxels](int x, int y, int z, int t) {
                                  for (const Voxel& v : voxels)
                                      if (v.x == x && v.y == y && v.z == z && v.t == t) return v.stored;
                                  return voxels.front().stored;
                              }};
        CTimeVolume volume;
        ASSERT_TRUE(Load(volume, spec, 0.98));
        ASSERT_TRUE(volume.SetWindow(c.window));
        EXPECT_FALSE(volume.WindowIsLoadDefault());
        EXPECT_EQ(volume.Window().center, c.window.center);
        EXPECT_EQ(volume.Window().width, c.window.width);
        for (const Voxel& v : voxels) {
            const ShownPlane plane(volume.GetSlice(2, v.z, v.t, false));
            ASSERT_EQ(plane.m_width, 5);
            EXPECT_EQ(plane.m_data[v.y * 5 + v.x], v.grey)
                << "voxel " << v.x << "," << v.y << "," << v.z << " frame " << v.t << " stored " << v.stored;
        }
    }
}

TEST_F(DisplayWindowTest, ResettingShowsExactlyWhatALoadShowsAndSaturationLeavesAWindowInForce) {
    const struct {
        EKind kind;
        CDisplayWindow window;
    } cases[] = {{EKind::kTvi, {400, 500}}, {EKind::kSignedNifti, {0, 300}}, {EKind::kGrey, {120, 80}}};
    for (const auto& c : cases) {
        SCOPED_TRACE(static_cast<int>(c.kind));
        const VolumeSpec spec = Busy(c.kind);
        CTimeVolume shown, windowed, fresh, freshLow;
        ASSERT_TRUE(Load(shown, spec, 0.98));
        ASSERT_TRUE(Load(windowed, spec, 0.98));
        ASSERT_TRUE(Load(fresh, spec, 0.98));
        ASSERT_TRUE(Load(freshLow, spec, 0.4));

        ASSERT_TRUE(shown.SetWindow(c.window));
        ASSERT_TRUE(windowed.SetWindow(c.window));
        EXPECT_GT(LargestPlaneDifference(shown, fresh), 1);
        // A new saturation changes the load default only.
        shown.SetSaturation(0.4);
        EXPECT_EQ(LargestPlaneDifference(shown, windowed), 0);
        EXPECT_FALSE(shown.WindowIsLoadDefault());

        shown.ResetWindow();
        EXPECT_TRUE(shown.WindowIsLoadDefault());
        EXPECT_EQ(LargestPlaneDifference(shown, freshLow), 0);
        windowed.ResetWindow();
        EXPECT_EQ(LargestPlaneDifference(windowed, fresh), 0);
    }
}

TEST_F(DisplayWindowTest, TheLoadDefaultsWindowShowsWhatTheLoadShows) {
    // The tvi's samples are its values; the NIfTI's run from -100 (value -40)
    // to 155 (value 87.5) and are stretched over every sample.
    const auto upTo255 = [](int x, int y, int z, int t) { return (x + 8 * y + 64 * z + 3 * t) % 256; };
    const auto signedRange = [&](int x, int y, int z, int t) { return upTo255(x, y, z, t) - 100; };
    const struct {
        const char* name;
        VolumeSpec spec;
        double saturation;
        double valueOfSampleZero;
        double valuePerSample;
        // The ramp truncates and a window rounds: a level may differ by one
        // unless 255 v / level is a whole number for every value v.
        int tolerance;
    } cases[] = {
        {"tvi up to 255, saturated at 255", {EKind::kTvi, 8, 8, 4, 2, upTo255}, 1.0, 0.0, 1.0, 0},
        {"tvi saturated lower", {EKind::kTvi, 8, 8, 4, 2, upTo255}, 0.7, 0.0, 1.0, 1},
        {"grey levels", {EKind::kGrey, 8, 8, 4, 2, upTo255}, 0.7, 0.0, 1.0, 0},
        {"signed NIfTI, whole range",
         {EKind::kSignedNifti, 8, 8, 4, 2, signedRange},
         1.0,
         -40.0,
         127.5 / 65535,
         1},
        {"signed NIfTI saturated lower",
         {EKind::kSignedNifti, 8, 8, 4, 2, signedRange},
         0.7,
         -40.0,
         127.5 / 65535,
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTimeVolume shown, fresh;
        ASSERT_TRUE(Load(shown, c.spec, c.saturation));
        ASSERT_TRUE(Load(fresh, c.spec, c.saturation));
        EXPECT_TRUE(shown.WindowIsLoadDefault());
        const double level = c.spec.kind == EKind::kGrey ? 255.0 : shown.SaturationLevel();
        ExpectWindow(shown.Window(), c.valueOfSampleZero, c.valueOfSampleZero + c.valuePerSample * level);
        ExpectWindow(shown.PresetWindow(EWindowPreset::kLoadDefault), c.valueOfSampleZero,
                     c.valueOfSampleZero + c.valuePerSample * level);
        ASSERT_TRUE(shown.SetWindow(shown.Window()));
        const int difference = LargestPlaneDifference(shown, fresh);
        EXPECT_GE(difference, 0);
        EXPECT_LE(difference, c.tolerance);
    }
}

TEST_F(DisplayWindowTest, PresetsComeFromTheValuesOfEveryVoxel) {
    // 1000 voxels over two frames: stored values 0 to 999 (tvi, NIfTI less
    // 500) once each, grey levels 0 to 249 four times each.
    const auto index = [](int x, int y, int z, int t) { return x + 10 * (y + 10 * (z + 5 * t)); };
    const auto nifti = [](int stored) { return ValueOfStored(EKind::kSignedNifti, stored - 500); };
    const struct {
        const char* name;
        VolumeSpec spec;
        EWindowPreset preset;
        double low, high;
    } cases[] = {
        {"tvi full range", {EKind::kTvi, 10, 10, 5, 2, index}, EWindowPreset::kFullRange, 0, 999},
        {"tvi 1-99", {EKind::kTvi, 10, 10, 5, 2, index}, EWindowPreset::kPercent1To99, 9, 989},
        {"tvi 2-98", {EKind::kTvi, 10, 10, 5, 2, index}, EWindowPreset::kPercent2To98, 19, 979},
        {"NIfTI full range",
         {EKind::kSignedNifti, 10, 10, 5, 2,
          [&](int x, int y, int z, int t) { return index(x, y, z, t) - 500; }},
         EWindowPreset::kFullRange,
         nifti(0),
         nifti(999)},
        {"NIfTI 1-99",
         {EKind::kSignedNifti, 10, 10, 5, 2,
          [&](int x, int y, int z, int t) { return index(x, y, z, t) - 500; }},
         EWindowPreset::kPercent1To99,
         nifti(9),
         nifti(989)},
        {"grey 1-99",
         {EKind::kGrey, 10, 10, 5, 2, [&](int x, int y, int z, int t) { return index(x, y, z, t) % 250; }},
         EWindowPreset::kPercent1To99,
         2,
         247},
        {"grey full range",
         {EKind::kGrey, 10, 10, 5, 2, [&](int x, int y, int z, int t) { return index(x, y, z, t) % 250; }},
         EWindowPreset::kFullRange,
         0,
         249},
        {"CT bone on any series", {EKind::kTvi, 10, 10, 5, 2, index}, EWindowPreset::kCtBone, -500, 1300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        CTimeVolume volume;
        ASSERT_TRUE(Load(volume, c.spec, 0.98));
        ExpectWindow(volume.PresetWindow(c.preset), c.low, c.high);
    }

    // One value alone is shown mid-grey.
    for (const EKind kind : {EKind::kTvi, EKind::kSignedNifti, EKind::kGrey}) {
        SCOPED_TRACE(static_cast<int>(kind));
        CTimeVolume flat;
        ASSERT_TRUE(Load(flat, {kind, 4, 3, 2, 2, [](int, int, int, int) { return 7; }}, 0.98));
        const std::optional<CDisplayWindow> window = flat.PresetWindow(EWindowPreset::kPercent2To98);
        ASSERT_TRUE(window.has_value());
        EXPECT_EQ(window->center, ValueOfStored(kind, 7));
        ASSERT_TRUE(flat.SetWindow(*window));
        EXPECT_EQ(ShownGrey(flat, 1, 1, 5), 128);
    }

    CTimeVolume empty;
    EXPECT_FALSE(empty.PresetWindow(EWindowPreset::kFullRange).has_value());
    EXPECT_FALSE(empty.PresetWindow(EWindowPreset::kLoadDefault).has_value());
    ExpectWindow(empty.PresetWindow(EWindowPreset::kCtLung), -1350, 150);
}

TEST_F(DisplayWindowTest, WindowsThatCannotBeShownAreRefusedAndChangeNothing) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const CDisplayWindow refused[] = {{100, 0},   {100, -5},  {100, nan},  {100, inf},
                                      {nan, 100}, {inf, 100}, {-inf, 100}, {-1.7e308, 1.7e308}};
    CTimeVolume volume, fresh, windowed;
    const VolumeSpec spec = Busy(EKind::kSignedNifti);
    ASSERT_TRUE(Load(volume, spec, 0.98));
    ASSERT_TRUE(Load(fresh, spec, 0.98));
    ASSERT_TRUE(Load(windowed, spec, 0.98));
    ASSERT_TRUE(windowed.SetWindow({50, 200}));
    for (const CDisplayWindow& window : refused) {
        SCOPED_TRACE(testing::Message() << "center " << window.center << " width " << window.width);
        const CDisplayWindow before = volume.Window();
        EXPECT_FALSE(volume.SetWindow(window));
        EXPECT_TRUE(volume.WindowIsLoadDefault());
        EXPECT_EQ(volume.Window().center, before.center);
        EXPECT_EQ(LargestPlaneDifference(volume, fresh), 0);
        EXPECT_FALSE(windowed.SetWindow(window));
        EXPECT_EQ(windowed.Window().center, 50);
        EXPECT_EQ(windowed.Window().width, 200);
    }
}

TEST(DisplayWindowPresets, EveryPresetIsFoundByItsName) {
    int count = 0;
    const CWindowPresetRow* rows = WindowPresetRows(count);
    ASSERT_EQ(count, 8);
    for (int i = 0; i < count; ++i) {
        SCOPED_TRACE(rows[i].name);
        EXPECT_EQ(static_cast<int>(rows[i].preset), i);
        EXPECT_EQ(WindowPresetOfName(rows[i].name), rows[i].preset);
        EXPECT_STREQ(WindowPresetTitle(rows[i].preset), rows[i].title);
    }
    EXPECT_FALSE(WindowPresetOfName("CT-LUNG").has_value());
    EXPECT_FALSE(WindowPresetOfName("").has_value());
}
