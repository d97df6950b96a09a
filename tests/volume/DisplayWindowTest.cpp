// Windows on the values of a series: the grey levels they give, the presets
// the series' values make, what refuses a window and the way back to the
// load default, for a .tvi, a signed NIfTI with a rescale and grey levels
// loaded as a movie folder is.

#include <gtest/gtest.h>
#include <nifti1.h>

#include <cmath>
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

// An X x Y x Z x T volume of `kind` whose voxels hold what `stored` says: a
// .tvi sample, an int16 NIfTI value (the value is 0.5 stored + 10) or a grey level.
struct VolumeShape {
    EKind kind;
    int x, y, z, t;
    std::function<int(int x, int y, int z, int t)> stored;
};

double ValueOfStored(EKind kind, int stored) {
    return kind == EKind::kSignedNifti ? stored * 0.5 + 10.0 : stored;
}

class DisplayWindowTest : public ::testing::Test {
protected:
    // Loads `shape` into `volume` at `saturation`; false when it does not load.
    bool Load(CTimeVolume& volume, const VolumeShape& shape, double saturation) {
        const TviContents tvi = TviVolume(
            shape.x, shape.y, shape.z, shape.t,
            [&shape](int x, int y, int z, int t) { return static_cast<uint16_t>(shape.stored(x, y, z, t)); });
        if (shape.kind == EKind::kGrey) {
            CGreySource source(shape.x, shape.y, shape.z, shape.t);
            source.Levels() = tvi.samples;
            return volume.Load(source, saturation);
        }
        std::string path = m_folder.File(std::to_string(++m_files));
        if (shape.kind == EKind::kTvi) {
            path += ".tvi";
            EXPECT_TRUE(WriteTviFile(path, tvi));
        } else {
            const std::vector<uint16_t> samples = FrameMajorSamples(tvi);
            NiftiContents nifti = NiftiVolume(shape.x, shape.y, shape.z, shape.t, DT_INT16,
                                              std::vector<int16_t>(samples.begin(), samples.end()));
            nifti.slope = 0.5;
            nifti.intercept = 10.0;
            path += ".nii";
            EXPECT_TRUE(WriteNiftiFile(path, nifti));
        }
        const bool loaded = volume.LoadFile(path, saturation);
        EXPECT_TRUE(loaded) << volume.LastError();
        return loaded;
    }

    TempFolder m_folder;
    int m_files = 0;
};

// Many values over every slice and frame.
VolumeShape Busy(EKind kind) {
    if (kind == EKind::kTvi)
        return {kind, 40, 30, 6, 3, [](int x, int y, int z, int t) { return x * y + z * 7 + t; }};
    if (kind == EKind::kGrey)
        return {kind, 40, 30,
                6,    3,  [](int x, int y, int z, int t) { return (x * 7 + y * 5 + z * 3 + t) % 256; }};
    return {kind, 40, 30,
            6,    3,  [](int x, int y, int z, int t) { return (x * 31 + y * 17 + z * 7 + t) % 1500 - 700; }};
}

void ExpectWindow(const std::optional<CDisplayWindow>& window, double low, double high) {
    ASSERT_TRUE(window.has_value());
    const double tolerance = 1e-9 * std::max(1.0, std::abs(high - low));
    EXPECT_NEAR(window->center - window->width / 2, low, tolerance);
    EXPECT_NEAR(window->center + window->width / 2, high, tolerance);
}

}  // namespace

TEST_F(DisplayWindowTest, VoxelsShowTheGreyOfTheirValueInTheWindow) {
    // Voxel k of a case lies at the k-th of these places, all over the slices and frames.
    const int places[][4] = {{0, 0, 0, 0}, {1, 0, 0, 1}, {2, 1, 1, 0}, {3, 2, 2, 1},
                             {4, 3, 2, 0}, {0, 3, 1, 1}, {1, 2, 0, 0}};
    struct Voxel {
        int stored;
        int grey;  // round(255 clamp((v - (C - W / 2)) / W, 0, 1)) by hand
    };
    const struct {
        EKind kind;
        CDisplayWindow window;
        std::vector<Voxel> voxels;
    } cases[] = {
        {EKind::kTvi,
         {200, 200},
         {{0, 0}, {100, 0}, {150, 64}, {200, 128}, {299, 254}, {300, 255}, {1000, 255}}},
        // Values -340, -200, -140, 10, 60, 195, 260.
        {EKind::kSignedNifti,
         {0, 400},
         {{-700, 0}, {-420, 0}, {-300, 38}, {0, 134}, {100, 166}, {370, 252}, {500, 255}}},
        // CT lung.
        {EKind::kSignedNifti, {-600, 1500}, {{-700, 172}, {0, 231}, {500, 255}}},
        {EKind::kGrey,
         {100, 100},
         {{0, 0}, {50, 0}, {75, 64}, {100, 128}, {149, 252}, {150, 255}, {255, 255}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << "window " << c.window.center << " / " << c.window.width);
        const auto& voxels = c.voxels;
        const VolumeShape shape{
            c.kind, 5, 4, 3, 2, [&](int x, int y, int z, int t) {
                for (size_t k = 0; k < voxels.size(); ++k)
                    if (places[k][0] == x && places[k][1] == y && places[k][2] == z && places[k][3] == t)
                        return voxels[k].stored;
                return voxels.front().stored;
            }};
        CTimeVolume volume;
        ASSERT_TRUE(Load(volume, shape, 0.98));
        ASSERT_TRUE(volume.SetWindow(c.window));
        EXPECT_FALSE(volume.WindowIsLoadDefault());
        EXPECT_EQ(volume.Window().center, c.window.center);
        EXPECT_EQ(volume.Window().width, c.window.width);
        for (size_t k = 0; k < voxels.size(); ++k) {
            const int* at = places[k];
            const ShownPlane plane(volume.GetSlice(2, at[2], at[3], false));
            ASSERT_EQ(plane.m_width, 5);
            EXPECT_EQ(plane.m_data[at[1] * 5 + at[0]], voxels[k].grey) << "stored " << voxels[k].stored;
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
        CTimeVolume shown, windowed, fresh, freshLow;
        ASSERT_TRUE(Load(shown, Busy(c.kind), 0.98));
        ASSERT_TRUE(Load(windowed, Busy(c.kind), 0.98));
        ASSERT_TRUE(Load(fresh, Busy(c.kind), 0.98));
        ASSERT_TRUE(Load(freshLow, Busy(c.kind), 0.4));

        ASSERT_TRUE(shown.SetWindow(c.window));
        ASSERT_TRUE(windowed.SetWindow(c.window));
        EXPECT_GT(LargestPlaneDifference(shown, fresh), 1);
        // A new saturation changes the load default only.
        shown.SetSaturation(0.4);
        EXPECT_EQ(LargestPlaneDifference(shown, windowed), 0);
        windowed.ResetWindow();
        EXPECT_EQ(LargestPlaneDifference(windowed, fresh), 0);
        ASSERT_TRUE(windowed.SetWindow(c.window));

        // A load appended while the window is in force is shown through it.
        ASSERT_TRUE(Load(windowed, Busy(c.kind), 0.98));
        ASSERT_EQ(windowed.SizeZ(), 2 * fresh.SizeZ());
        for (int at = 0; at < fresh.SizeX() * fresh.SizeY(); at += 7)
            ASSERT_EQ(ShownGrey(windowed, fresh.SizeZ() + 1, 2, at), ShownGrey(shown, 1, 2, at)) << at;

        shown.ResetWindow();
        EXPECT_TRUE(shown.WindowIsLoadDefault());
        EXPECT_EQ(LargestPlaneDifference(shown, freshLow), 0);
    }
}

TEST_F(DisplayWindowTest, TheLoadDefaultsWindowShowsWhatTheLoadShows) {
    // Stored 0 to 255 (the NIfTI's less 100: values -40 to 87.5, stretched over every sample).
    const auto upTo255 = [](int x, int y, int z, int t) { return (x + 8 * y + 64 * z + 3 * t) % 256; };
    const auto signedRange = [&](int x, int y, int z, int t) { return upTo255(x, y, z, t) - 100; };
    const struct {
        VolumeShape shape;
        double saturation;
        double valueOfSampleZero;
        double valuePerSample;
        // The ramp truncates and a window rounds: a level may differ by one
        // unless 255 v / level is a whole number for every value v.
        int tolerance;
    } cases[] = {
        {{EKind::kTvi, 8, 8, 4, 2, upTo255}, 1.0, 0.0, 1.0, 0},
        {{EKind::kTvi, 8, 8, 4, 2, upTo255}, 0.7, 0.0, 1.0, 1},
        {{EKind::kGrey, 8, 8, 4, 2, upTo255}, 0.7, 0.0, 1.0, 0},
        {{EKind::kSignedNifti, 8, 8, 4, 2, signedRange}, 1.0, -40.0, 127.5 / 65535, 1},
        {{EKind::kSignedNifti, 8, 8, 4, 2, signedRange}, 0.7, -40.0, 127.5 / 65535, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message()
                     << "kind " << static_cast<int>(c.shape.kind) << " at " << c.saturation);
        CTimeVolume shown, fresh;
        ASSERT_TRUE(Load(shown, c.shape, c.saturation));
        ASSERT_TRUE(Load(fresh, c.shape, c.saturation));
        EXPECT_TRUE(shown.WindowIsLoadDefault());
        const double level = c.shape.kind == EKind::kGrey ? 255.0 : shown.SaturationLevel();
        const double high = c.valueOfSampleZero + c.valuePerSample * level;
        ExpectWindow(shown.Window(), c.valueOfSampleZero, high);
        ExpectWindow(shown.PresetWindow(EWindowPreset::kLoadDefault), c.valueOfSampleZero, high);
        ASSERT_TRUE(shown.SetWindow(shown.Window()));
        const int difference = LargestPlaneDifference(shown, fresh);
        EXPECT_GE(difference, 0);
        EXPECT_LE(difference, c.tolerance);
    }
}

TEST_F(DisplayWindowTest, PresetsComeFromTheValuesOfEveryVoxel) {
    // 1000 voxels over two frames: stored 0 to 999 once each (the NIfTI's
    // less 500), grey levels 0 to 249 four times each.
    const auto index = [](int x, int y, int z, int t) { return x + 10 * (y + 10 * (z + 5 * t)); };
    const VolumeShape tvi{EKind::kTvi, 10, 10, 5, 2, index};
    const VolumeShape nifti{EKind::kSignedNifti,
                           10,
                           10,
                           5,
                           2,
                           [&](int x, int y, int z, int t) { return index(x, y, z, t) - 500; }};
    const VolumeShape grey{
        EKind::kGrey, 10, 10, 5, 2, [&](int x, int y, int z, int t) { return index(x, y, z, t) % 250; }};
    const auto value = [](int stored) { return ValueOfStored(EKind::kSignedNifti, stored - 500); };
    const struct {
        const VolumeShape& shape;
        EWindowPreset preset;
        double low, high;
    } cases[] = {
        {tvi, EWindowPreset::kFullRange, 0, 999},
        {tvi, EWindowPreset::kPercent1To99, 9, 989},
        {tvi, EWindowPreset::kPercent2To98, 19, 979},
        {nifti, EWindowPreset::kFullRange, value(0), value(999)},
        {nifti, EWindowPreset::kPercent1To99, value(9), value(989)},
        {grey, EWindowPreset::kFullRange, 0, 249},
        {grey, EWindowPreset::kPercent1To99, 2, 247},
        {tvi, EWindowPreset::kCtBone, -500, 1300},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(WindowPresetName(c.preset));
        CTimeVolume volume;
        ASSERT_TRUE(Load(volume, c.shape, 0.98));
        ExpectWindow(volume.PresetWindow(c.preset), c.low, c.high);
    }

    // One value alone is shown mid-grey.
    for (const EKind kind : {EKind::kTvi, EKind::kSignedNifti, EKind::kGrey}) {
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
    ASSERT_TRUE(Load(volume, Busy(EKind::kSignedNifti), 0.98));
    ASSERT_TRUE(Load(fresh, Busy(EKind::kSignedNifti), 0.98));
    ASSERT_TRUE(Load(windowed, Busy(EKind::kSignedNifti), 0.98));
    ASSERT_TRUE(windowed.SetWindow({50, 200}));
    for (const CDisplayWindow& window : refused) {
        SCOPED_TRACE(testing::Message() << "center " << window.center << " width " << window.width);
        EXPECT_FALSE(volume.SetWindow(window));
        EXPECT_TRUE(volume.WindowIsLoadDefault());
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
        EXPECT_EQ(static_cast<int>(rows[i].preset), i);
        EXPECT_EQ(WindowPresetOfName(rows[i].name), rows[i].preset) << rows[i].name;
    }
    EXPECT_FALSE(WindowPresetOfName("CT-LUNG").has_value());
}
