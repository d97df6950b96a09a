#include <gtest/gtest.h>

#include <array>
#include <cmath>

#include "LabelImage.h"
#include "LabelState.h"
#include "SliceInterpolation.h"

namespace {

// Voxel (i, j, k) as (slice, u, v) across `axis`, u and v the other axes in
// file order, and back.
std::array<int, 3> AcrossAxis(int axis, int i, int j, int k) {
    return axis == 0 ? std::array{i, j, k} : axis == 1 ? std::array{j, i, k} : std::array{k, i, j};
}
std::array<int, 3> AlongAxes(int axis, int s, int u, int v) {
    return axis == 0 ? std::array{s, u, v} : axis == 1 ? std::array{u, s, v} : std::array{u, v, s};
}

// A label image of one frame whose voxel at (slice, u, v) across `axis` holds label(slice, u, v).
CLabelImage SliceImage(int axis, int slices, int width, int height,
                       const std::function<int64_t(int s, int u, int v)>& label) {
    const std::array<int, 3> size = AlongAxes(axis, slices, width, height);
    return MakeLabelImage(size[0], size[1], size[2], 1, [&](int i, int j, int k, int) {
        const std::array<int, 3> at = AcrossAxis(axis, i, j, k);
        return label(at[0], at[1], at[2]);
    });
}

int64_t LabelAt(const CLabelImage& image, int axis, int s, int u, int v) {
    const std::array<int, 3> at = AlongAxes(axis, s, u, v);
    const int64_t voxel = at[0] + image.SizeX() * (at[1] + int64_t{image.SizeY()} * at[2]);
    return image.Values()[image.FrameVoxels(0)[voxel]];
}

bool Interpolate(CLabelImage& image, int64_t value, int axis, CLabelChange& change) {
    std::string error;
    const bool done = InterpolateBetweenSlices(image, value, axis, 0, change, error);
    EXPECT_TRUE(done) << error;
    return done;
}

}  // namespace

// A ball of radius 10 mm drawn as its true cross-sections on every third
// slice comes back close to the ball, with voxels longer along one axis too.
TEST(SliceInterpolation, RebuildsABallFromEveryThirdSlice) {
    const std::array<double, 3> sizes[] = {{1, 1, 1}, {1, 1, 1}, {1, 1, 1}, {1, 2, 1}, {1.5, 1, 1}};
    const int axes[] = {0, 1, 2, 2, 1};
    for (size_t c = 0; c < std::size(axes); ++c) {
        const std::array<double, 3> size = sizes[c];
        const auto inBall = [&](int i, int j, int k) {
            return std::hypot(i * size[0] - 16, j * size[1] - 16, k * size[2] - 16) <= 10.0;
        };
        CLabelImage image = MakeLabelImage(32, 32, 32, 1, [&](int i, int j, int k, int) {
            return AcrossAxis(axes[c], i, j, k)[0] % 3 == 1 && inBall(i, j, k) ? 1 : 0;
        });
        std::copy(size.begin(), size.end(), image.m_pixelSize);
        CLabelChange change;
        ASSERT_TRUE(Interpolate(image, 1, axes[c], change));
        int64_t both = 0, truth = 0;
        for (int64_t v = 0; v < image.FrameVoxelCount(); ++v) {
            const bool in = inBall(v % 32, v / 32 % 32, v / 1024);
            truth += in;
            both += in && image.FrameVoxels(0)[v] == 1;
        }
        const double dice = 2.0 * both / (truth + image.VoxelCount(0, 1));
        RecordProperty("dice" + std::to_string(c), std::to_string(dice));
        EXPECT_GE(dice, 0.95) << "axis " << axes[c] << ", voxel sizes " << size[0] << " x " << size[1]
                              << " x " << size[2];
    }
}

// A disc of radius 3 on slice 2 and of 11 on slice 10 give discs of the
// radii between on the slices between, growing or shrinking one a slice.
TEST(SliceInterpolation, BlendsTheRadiiOfTwoDiscs) {
    const std::array<int, 3> cases[] = {{2, 3, 11}, {2, 11, 3}, {0, 3, 11}};  // axis, radius at 2, at 10
    for (const std::array<int, 3>& test : cases) {
        const int axis = test[0], first = test[1], last = test[2];
        CLabelImage image = SliceImage(axis, 13, 32, 30, [&](int s, int u, int v) {
            const int radius = s == 2 ? first : s == 10 ? last : -1;
            return std::hypot(u - 16, v - 15) <= radius ? 4 : 0;
        });
        CLabelChange change;
        ASSERT_TRUE(Interpolate(image, 4, axis, change));
        for (int s = 3; s < 10; ++s) {
            const double radius = first + (last - first) * (s - 2) / 8.0;
            for (int u = 0; u < 32; ++u)
                for (int v = 0; v < 30; ++v) {
                    // Within a pixel of the edge either may be right.
                    const double r = std::hypot(u - 16, v - 15);
                    if (std::fabs(r - radius) <= 1) continue;
                    ASSERT_EQ(LabelAt(image, axis, s, u, v) == 4, r < radius)
                        << "axis " << axis << " slice " << s << " at " << u << ", " << v << ": radius "
                        << radius;
                }
        }
    }
}

// Only background between the drawn slices of the frame is written: other
// labels, the drawn slices, the slices beyond them and the other frame stay,
// and undo takes the image back voxel for voxel.
TEST(SliceInterpolation, WritesOnlyBackgroundBetweenTheDrawnSlicesAndUndoes) {
    // Label 5: discs on slices 3, 9, 10 and 13 of frame 0, on 2 and 12 of
    // frame 1; label 7: a block across the first gap and two slices beyond.
    CLabelImage image = MakeLabelImage(20, 18, 16, 2, [](int i, int j, int k, int t) -> int64_t {
        const bool drawn = t == 0 ? k == 3 || k == 9 || k == 10 || k == 13 : k == 2 || k == 12;
        if (drawn && std::hypot(i - 10, j - 9) <= (k == 3 || k == 13 ? 3 : 6)) return 5;
        if ((i >= 8 && i <= 12 && j >= 8 && j <= 10 && k >= 5 && k <= 7) || k == 1 || k == 15) return 7;
        return 0;
    });
    const CLabelState before(image);
    CLabelChange change;
    ASSERT_TRUE(Interpolate(image, 5, 2, change));
    const CLabelState after(image);
    std::vector<int> perSlice(16, 0);
    int64_t changed = 0;
    for (size_t v = 0; v < before.voxels.size(); ++v) {
        if (before.voxels[v] == after.voxels[v]) continue;
        ++changed;
        const size_t k = v / (20 * 18);
        ASSERT_TRUE(before.voxels[v] == 0 && after.voxels[v] == 5 && k < 16)
            << "voxel " << v % (20 * 18) << " of slice " << k % 16 << ", frame " << k / 16 << ": "
            << before.voxels[v] << " became " << after.voxels[v];
        ++perSlice[k];
    }
    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(perSlice[static_cast<size_t>(k)] > 0, (k > 3 && k < 9) || k == 11 || k == 12)
            << "slice " << k;
    EXPECT_EQ(change.VoxelCount(), changed);
    EXPECT_EQ(change.Frames(), std::vector<int>{0});
    EXPECT_EQ(WrongCounts(image), "");
    std::string error;
    ASSERT_TRUE(change.Undo(image, error)) << error;
    EXPECT_TRUE(CLabelState(image) == before) << FirstDifference(CLabelState(image), before);
    ASSERT_TRUE(change.Redo(image, error)) << error;
    EXPECT_TRUE(CLabelState(image) == after) << FirstDifference(CLabelState(image), after);
}

// Distances within a slice are weighed by its pixel sizes: a pixel 2 pixels
// inside the shape of one slice and 3 outside that of the next but one is
// inside halfway only where its inside is longer in millimetres. Unknown
// sizes count as equal.
TEST(SliceInterpolation, WeighsDistancesByThePixelSizes) {
    struct Case {
        int axis;
        std::array<double, 3> size;
        bool inside;
    };
    const Case cases[] = {{2, {2, 1, 1}, true},  {2, {1, 1, 1}, false},    {2, {0, 0, 0}, false},
                          {2, {2, 0, 1}, false}, {0, {1, 2, 1}, true},     {0, {2, 1, 2}, false},
                          {1, {2, 5, 1}, true},  {2, {1e300, 1, 1}, true}, {2, {1, 1e-300, 1}, true}};
    for (const Case& test : cases) {
        // Slice 0: u <= 5; slice 2: v >= 7; pixel (4, 4) of slice 1 lies between.
        CLabelImage image = SliceImage(test.axis, 3, 12, 12, [](int s, int u, int v) {
            return (s == 0 && u <= 5) || (s == 2 && v >= 7) ? 2 : 0;
        });
        std::copy(test.size.begin(), test.size.end(), image.m_pixelSize);
        CLabelChange change;
        ASSERT_TRUE(Interpolate(image, 2, test.axis, change));
        EXPECT_EQ(LabelAt(image, test.axis, 1, 4, 4) == 2, test.inside)
            << "axis " << test.axis << ", sizes " << test.size[0] << ", " << test.size[1] << ", "
            << test.size[2];
    }
}

// A full slice narrows towards the shape of the other drawn slice: the
// slice after it is still full, each slice holds the next, and the last one
// before the disc holds more than the disc but not the whole slice.
TEST(SliceInterpolation, NarrowsAFullSliceTowardsTheOtherShape) {
    CLabelImage image = SliceImage(2, 8, 20, 20, [](int s, int u, int v) {
        return s == 0 || (s == 7 && std::hypot(u - 10, v - 10) <= 3) ? 3 : 0;
    });
    CLabelChange change;
    ASSERT_TRUE(Interpolate(image, 3, 2, change));
    std::vector<int64_t> areas;
    for (int s = 1; s < 8; ++s) {
        areas.push_back(0);
        for (int u = 0; u < 20; ++u)
            for (int v = 0; v < 20; ++v) {
                const bool in = LabelAt(image, 2, s, u, v) == 3;
                areas.back() += in;
                const bool inBefore = s == 1 || LabelAt(image, 2, s - 1, u, v) == 3;
                ASSERT_TRUE(inBefore || !in) << "slice " << s << " at " << u << ", " << v;
            }
    }
    EXPECT_EQ(areas.front(), 400);
    EXPECT_GT(areas[5], areas[6]);
    EXPECT_LT(areas[5], 400);
}

// What cannot be interpolated is refused with a reason and nothing written;
// two adjacent drawn slices leave nothing to fill.
TEST(SliceInterpolation, RefusesWhatItCannotInterpolate) {
    struct Case {
        bool empty;
        int64_t value;
        int axis, frame;
        const char* reason;  // empty when it is no refusal
    };
    const Case cases[] = {
        {true, 5, 2, 0, "no label image"}, {false, 5, 2, -1, "frame -1"},  {false, 5, 2, 2, "frame 2"},
        {false, 5, -1, 0, "axis -1"},      {false, 5, 3, 0, "axis 3"},     {false, 0, 2, 0, "background"},
        {false, 4, 2, 0, "not a label"},   {false, 6, 2, 0, "on 1 slice"}, {false, 6, 0, 0, "on 1 slice"},
        {false, 8, 2, 0, "on 0 slice"},    {false, 5, 2, 0, ""},
    };
    for (const Case& test : cases) {
        // Label 5 on slices 2 and 3, 6 on slice 4 only, 8 in frame 1 only.
        CLabelImage image = MakeLabelImage(6, 5, 7, 2, [](int i, int j, int k, int t) -> int64_t {
            if (t == 1) return i == j ? 8 : 0;
            return i > 2 && (k == 2 || k == 3) ? 5 : i == 1 && k == 4 ? 6 : 0;
        });
        if (test.empty) image.Clear();
        const CLabelState before(image);
        CLabelChange change;
        std::string error;
        const bool done = InterpolateBetweenSlices(image, test.value, test.axis, test.frame, change, error);
        const std::string name = "label " + std::to_string(test.value) + ", axis " +
                                 std::to_string(test.axis) + ", frame " + std::to_string(test.frame) + ": " +
                                 error;
        EXPECT_EQ(done, *test.reason == 0) << name;
        EXPECT_NE(error.find(test.reason), std::string::npos) << name;
        EXPECT_TRUE(change.Empty() && CLabelState(image) == before) << name;
    }
}
