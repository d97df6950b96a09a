#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "CardiacPhantom.h"
#include "LabelImage.h"
#include "Measurement.h"

namespace {

using Kind = CMeasurement::Kind;
using Point = CMeasurement::Point;

// Voxels of 2 x 3 x 5 mm, turned about +z so that +i points along (0.6, 0.8)
// and +j along (-0.8, 0.6), and moved off the origin: a step of (di, dj, dk)
// voxels is sqrt((2 di)^2 + (3 dj)^2 + (5 dk)^2) mm long whatever the turn,
// while the voxel numbers alone would give other lengths and angles.
CMeasureMetric ObliqueMetric() {
    CMeasureMetric metric;
    metric.toPatient = CAffine(CAffine::Matrix{
        {{1.2, -2.4, 0.0, 10.0}, {1.6, 1.8, 0.0, -7.0}, {0.0, 0.0, 5.0, 3.0}, {0.0, 0.0, 0.0, 1.0}}});
    return metric;
}

CMeasureMetric ScaledMetric() {
    CMeasureMetric metric;
    metric.pixelSize = {2.0, 3.0, 5.0};
    return metric;
}

TEST(MeasurementTest, FixedMeasurementsGiveHandWorkedValuesInBothMetrics) {
    struct Case {
        const char* what;
        Kind kind;
        std::vector<Point> points;
        double expected;
    };
    const Case cases[] = {
        // (3, 4, 0) voxels = 6 and 12 mm at right angles: sqrt(36 + 144) = 13.41641.
        {"in-plane distance", Kind::Distance, {{1, 1, 1}, {4, 5, 1}}, std::sqrt(180.0)},
        // plus 2 slices of 5 mm: sqrt(180 + 100) = 16.73320.
        {"through-plane distance", Kind::Distance, {{0, 0, 0}, {3, 4, 2}}, std::sqrt(280.0)},
        // Arms of 3 i (6 mm along i) and (2 i, 2 j) = (4, 6) mm: atan(6 / 4) = 56.30993 degrees,
        // where the voxel numbers alone would say 45.
        {"angle", Kind::Angle, {{5, 2, 0}, {2, 2, 0}, {4, 4, 0}}, std::atan(1.5) * 180.0 / std::numbers::pi},
        // The arms along i and k are at right angles however the grid is turned.
        {"right angle", Kind::Angle, {{3, 0, 0}, {0, 0, 0}, {0, 0, 2}}, 90.0},
        // Legs of 4 i = 8 mm and 3 j = 9 mm: 8 x 9 / 2 = 36 mm2.
        {"right triangle", Kind::Area, {{0, 0, 0}, {4, 0, 0}, {0, 3, 0}}, 36.0},
        // 2 i x 3 k = 4 mm x 15 mm = 60 mm2, in a plane across the slices.
        {"rectangle", Kind::Area, {{1, 2, 0}, {3, 2, 0}, {3, 2, 3}, {1, 2, 3}}, 60.0},
    };
    for (const Case& c : cases) {
        const CMeasurement m = CMeasurement::Fixed(c.what, c.kind, c.points);
        for (const CMeasureMetric& metric : {ObliqueMetric(), ScaledMetric()}) {
            EXPECT_EQ(m.Fault(metric), "") << c.what;
            const std::vector<double> values = m.ValuesPerFrame(3, nullptr, metric);
            ASSERT_EQ(values.size(), 3u) << c.what;
            for (double v : values) EXPECT_NEAR(v, c.expected, 1e-9) << c.what;
        }
    }
}

TEST(MeasurementTest, FaultsNameWhatIsWrong) {
    struct Case {
        CMeasurement m;
        const char* fault;  // a piece of the message; "" for sound
    };
    const Case cases[] = {
        {CMeasurement::Fixed("d", Kind::Distance, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}),
         "needs 2 points, has 3"},
        {CMeasurement::Fixed("a", Kind::Angle, {{0, 0, 0}, {1, 0, 0}}), "needs 3 points, has 2"},
        {CMeasurement::Fixed("s", Kind::Area, {{0, 0, 0}, {1, 0, 0}}), "at least 3 points, has 2"},
        // One corner lifted by a slice (5 mm) off the plane of the others.
        {CMeasurement::Fixed("s", Kind::Area, {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 1}}),
         "not in one plane"},
        {CMeasurement::Fixed("s", Kind::Area, {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}}), "on one line"},
        {CMeasurement::PerFrame("p", Kind::Distance, {{0, {{0, 0, 0}, {1, 1, 1}}}, {4, {{0, 0, 0}}}}),
         "has 1 in frame 4"},
        {CMeasurement::Fixed("s", Kind::Area, {{0, 0, 0}, {2, 0, 0}, {2, 2, 0}, {0, 2, 0}}), ""},
    };
    for (const Case& c : cases) {
        const std::string fault = c.m.Fault(ObliqueMetric());
        if (*c.fault == '\0')
            EXPECT_EQ(fault, "") << c.m.Name();
        else
            EXPECT_NE(fault.find(c.fault), std::string::npos) << c.m.Name() << ": " << fault;
    }
}

TEST(MeasurementTest, FramesWithoutPointsTakeTheNearestEarlierOnATie) {
    // A ruler of 1 voxel in frame 2 and of 2 voxels in frame 6 (2 mm steps along i).
    const CMeasurement m = CMeasurement::PerFrame("p", Kind::Distance,
                                                  {{2, {{0, 0, 0}, {1, 0, 0}}}, {6, {{0, 0, 0}, {2, 0, 0}}}});
    const std::vector<double> values = m.ValuesPerFrame(9, nullptr, ScaledMetric());
    // Frames 0-1 before the first, 3 nearer 2, 4 a tie (earlier wins), 5 nearer 6, 7-8 after the last.
    const std::vector<double> expected = {2, 2, 2, 2, 2, 4, 4, 4, 4};
    ASSERT_EQ(values.size(), expected.size());
    for (size_t t = 0; t < expected.size(); ++t) EXPECT_DOUBLE_EQ(values[t], expected[t]) << "frame " << t;
}

TEST(MeasurementTest, RulerFollowingTheBloodPoolGivesItsDiameterInEveryFrame) {
    const CCardiacPhantom phantom;
    const CLabelImage labels = phantom.Labels();
    CMeasureMetric metric;
    metric.pixelSize = {1.5, 1.5, 8.0};
    const int z = 3, frames = phantom.Shape().frames;
    // The pool's centre is at (48.3, 47.6): one ruler across it along x, one diagonal.
    const std::vector<std::vector<Point>> rulers = {{{0, 47.6, z}, {95, 47.6, z}},
                                                    {{8.3, 7.6, z}, {88.3, 87.6, z}}};
    for (const auto& points : rulers) {
        const CMeasurement m = CMeasurement::FollowsLabel("lv", points, CCardiacPhantom::kBlood);
        const std::vector<double> values = m.ValuesPerFrame(frames, &labels, metric);
        ASSERT_EQ(values.size(), static_cast<size_t>(frames));
        for (int t = 0; t < frames; ++t)
            EXPECT_NEAR(values[static_cast<size_t>(t)], 2 * phantom.BloodRadius(z, t) * 1.5, 1.5)
                << "frame " << t << ", ruler from x " << points[0][0];
    }
    // A line through the corner never meets the pool; nor does any line meet an absent label.
    const CMeasurement missing =
        CMeasurement::FollowsLabel("miss", {{0, 2, z}, {95, 2, z}}, CCardiacPhantom::kBlood);
    const CMeasurement absent = CMeasurement::FollowsLabel("absent", rulers[0], 7);
    for (const CMeasurement* m : {&missing, &absent})
        for (double v : m->ValuesPerFrame(frames, &labels, metric)) EXPECT_TRUE(std::isnan(v)) << m->Name();
}

}  // namespace
