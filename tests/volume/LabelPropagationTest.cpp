#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <memory>

#include "CardiacPhantom.h"
#include "LabelImage.h"
#include "LabelPropagation.h"
#include "LabelState.h"
#include "TimeVolume.h"

namespace {

std::unique_ptr<CTimeVolume> LoadPhantom(const CCardiacPhantom& phantom) {
    auto volume = std::make_unique<CTimeVolume>();
    std::string error;
    EXPECT_TRUE(phantom.Load(*volume, error)) << error;
    return volume;
}

// A phantom of few slices and frames, for the tests that need a propagation
// but not its accuracy.
CCardiacPhantomShape SmallShape() {
    CCardiacPhantomShape shape = CCardiacPhantomShape().ScaledInPlane(0.5);
    shape.sizeZ = 2;
    shape.frames = 8;
    shape.systolicFrame = 3.0;
    return shape;
}

int64_t Count(const CLabelImage& image, int t, int64_t value) {
    const int index = image.IndexOf(value);
    return index < 0 ? 0 : image.VoxelCount(t, index);
}

double Dice(const CLabelImage& found, const CLabelImage& truth, int t, int64_t value) {
    const uint8_t* a = found.FrameVoxels(t);
    const uint8_t* b = truth.FrameVoxels(t);
    const int ia = found.IndexOf(value), ib = truth.IndexOf(value);
    int64_t both = 0;
    for (int64_t v = 0; v < found.FrameVoxelCount(); ++v) both += a[v] == ia && b[v] == ib;
    return 2.0 * static_cast<double>(both) /
           static_cast<double>(Count(found, t, value) + Count(truth, t, value));
}

double Ejection(const CLabelImage& image) {
    int64_t largest = 0, smallest = INT64_MAX;
    for (int t = 0; t < image.Frames(); ++t) {
        largest = std::max(largest, Count(image, t, CCardiacPhantom::kBlood));
        smallest = std::min(smallest, Count(image, t, CCardiacPhantom::kBlood));
    }
    return static_cast<double>(largest - smallest) / static_cast<double>(largest);
}

}  // namespace

// Labels drawn at end diastole alone, or at end diastole and end systole,
// carried over the whole beat of the phantom: every frame's shapes against
// the true ones.
TEST(LabelPropagationTest, FollowsTheBeatingPhantom) {
    const CCardiacPhantom phantom;
    const std::unique_ptr<CTimeVolume> volume = LoadPhantom(phantom);
    const CLabelImage truth = phantom.Labels();
    int systole = 0;
    for (int t = 0; t < truth.Frames(); ++t)
        if (Count(truth, t, CCardiacPhantom::kBlood) < Count(truth, systole, CCardiacPhantom::kBlood))
            systole = t;
    struct Case {
        std::vector<int> references;
        double minDice;
        bool checkVolumes;
    };
    for (const Case& c : {Case{{0}, 0.90, true}, Case{{0, systole}, 0.93, false}}) {
        SCOPED_TRACE(testing::Message() << c.references.size() << " reference frame(s)");
        CLabelImage labels = phantom.Labels(c.references);
        CLabelChange change;
        std::string error;
        ASSERT_TRUE(PropagateLabels(*volume, labels, {c.references, {}}, {}, change, error)) << error;
        double minDice = 1.0, worstVolume = 0.0;
        for (int t = 0; t < truth.Frames(); ++t)
            for (const int64_t label : {CCardiacPhantom::kBlood, CCardiacPhantom::kMuscle}) {
                const double dice = Dice(labels, truth, t, label);
                minDice = std::min(minDice, dice);
                EXPECT_GE(dice, c.minDice) << "frame " << t << " label " << label;
                if (label != CCardiacPhantom::kBlood) continue;
                const double found = static_cast<double>(Count(labels, t, label));
                const double real = static_cast<double>(Count(truth, t, label));
                worstVolume = std::max(worstVolume, std::abs(found / real - 1.0));
                if (c.checkVolumes) {
                    EXPECT_NEAR(found / real, 1.0, 0.05) << "blood volume of frame " << t;
                }
            }
        const double ejection = Ejection(labels), trueEjection = Ejection(truth);
        if (c.checkVolumes) {
            EXPECT_NEAR(ejection, trueEjection, 0.03);
        }
        std::cout << c.references.size() << " reference(s): min Dice " << minDice << ", worst blood volume "
                  << 100.0 * worstVolume << " %, EF " << 100.0 * ejection << " % (true "
                  << 100.0 * trueEjection << " %)\n";
    }
}

// Kept frames and the reference stay as they were, every other frame is
// written and recorded, and the record takes the labels back and forth
// exactly.
TEST(LabelPropagationTest, KeepsFramesAndUndoesExactly) {
    const CCardiacPhantom phantom(SmallShape());
    const std::unique_ptr<CTimeVolume> volume = LoadPhantom(phantom);
    CLabelImage labels = phantom.Labels({0, 2, 5});
    const CLabelState before(labels);
    CLabelChange change;
    std::string error;
    ASSERT_TRUE(
        PropagateLabels(*volume, labels, {{0}, {false, false, true, false, false, true}}, {}, change, error))
        << error;
    EXPECT_EQ(change.Frames(), (std::vector<int>{1, 3, 4, 6, 7}));
    const CLabelState after(labels);
    EXPECT_EQ(WrongCounts(labels), "");
    for (const int t : {0, 2, 5})
        for (int64_t v = 0; v < labels.FrameVoxelCount(); ++v) {
            const size_t at = static_cast<size_t>(t * labels.FrameVoxelCount() + v);
            ASSERT_EQ(after.voxels[at], before.voxels[at]) << "frame " << t << " voxel " << v;
        }
    ASSERT_TRUE(change.Undo(labels, error)) << error;
    EXPECT_TRUE(CLabelState(labels) == before) << FirstDifference(CLabelState(labels), before);
    ASSERT_TRUE(change.Redo(labels, error)) << error;
    EXPECT_TRUE(CLabelState(labels) == after) << FirstDifference(CLabelState(labels), after);

    // Without a record (headless) the same labels come, and no record.
    CLabelImage unrecorded = phantom.Labels({0, 2, 5});
    CPropagationSettings settings{{0}, {false, false, true, false, false, true}};
    settings.record = false;
    CLabelChange none;
    ASSERT_TRUE(PropagateLabels(*volume, unrecorded, settings, {}, none, error)) << error;
    EXPECT_TRUE(none.Empty());
    EXPECT_TRUE(CLabelState(unrecorded) == after) << FirstDifference(CLabelState(unrecorded), after);
}

// A cancel halfway stops at once, leaves the labels byte for byte as they
// were and says so; until then the progress is heard often.
TEST(LabelPropagationTest, CancelLeavesTheLabelsAsTheyWere) {
    const CCardiacPhantom phantom(SmallShape());
    const std::unique_ptr<CTimeVolume> volume = LoadPhantom(phantom);
    CLabelImage labels = phantom.Labels({0, 4});
    const CLabelState before(labels);
    int callsAfterCancel = 0, lastTotal = 0;
    bool cancelled = false;
    double longestGap = 0.0;
    auto last = std::chrono::steady_clock::now();
    const CPropagationProgress progress = [&](int done, int total) {
        const auto now = std::chrono::steady_clock::now();
        longestGap = std::max(longestGap, std::chrono::duration<double>(now - last).count());
        last = now;
        lastTotal = total;
        if (cancelled) ++callsAfterCancel;
        cancelled = cancelled || done >= total / 2;
        return !cancelled;
    };
    CLabelChange change;
    std::string error;
    EXPECT_FALSE(PropagateLabels(*volume, labels, {{0, 4}, {}}, progress, change, error));
    EXPECT_EQ(error, "cancelled");
    EXPECT_TRUE(cancelled);
    EXPECT_GT(lastTotal, 2);
    EXPECT_EQ(callsAfterCancel, 0);
    // Far from the second a cancel may take, even in a sanitizer build.
    EXPECT_LT(longestGap, 0.5);
    EXPECT_TRUE(change.Empty());
    EXPECT_TRUE(CLabelState(labels) == before) << FirstDifference(CLabelState(labels), before);
}

// What cannot be carried is refused with a reason, nothing touched.
TEST(LabelPropagationTest, RefusesWhatDoesNotFit) {
    const CCardiacPhantom phantom(SmallShape());
    const std::unique_ptr<CTimeVolume> volume = LoadPhantom(phantom);
    const CCardiacPhantomShape& shape = phantom.Shape();
    CCardiacPhantomShape tinyShape = shape;
    tinyShape.sizeX = tinyShape.sizeY = 12;
    const CCardiacPhantom tiny(tinyShape);
    const std::unique_ptr<CTimeVolume> tinyVolume = LoadPhantom(tiny);
    const CTimeVolume empty;
    const auto frames = [&](int count, int64_t label) {
        return MakeLabelImage(shape.sizeX, shape.sizeY, shape.sizeZ, count,
                              [=](int i, int, int, int) { return i < 5 ? label : 0; });
    };
    struct Case {
        const char* what;
        const CTimeVolume& volume;
        CLabelImage labels;
        std::vector<int> references;
        std::string error;
    };
    const Case cases[] = {
        {"no reference", *volume, phantom.Labels({0}), {}, "no reference frame was given"},
        {"reference after the last",
         *volume,
         phantom.Labels({0}),
         {8},
         "reference frame 8 is outside the frames 0 to 7"},
        {"negative reference", *volume, phantom.Labels({0}), {0, -1}, "reference frame -1 is outside"},
        {"empty reference", *volume, phantom.Labels({0}), {0, 3}, "reference frame 3 has no labels"},
        {"one frame",
         *volume,
         frames(1, 2),
         {0},
         "the label image has a single frame: give it the volume's 8 frames"},
        {"other frame count", *volume, frames(5, 2), {0}, "the label image has 5 frames and the volume 8"},
        {"other grid",
         *volume,
         MakeLabelImage(shape.sizeX, shape.sizeY + 1, shape.sizeZ, 8, [](int, int, int, int) { return 1; }),
         {0},
         "the label image's grid (48 x 49 x 2) is not the volume's (48 x 48 x 2)"},
        {"tiny slices", *tinyVolume, tiny.Labels(), {0}, "slices of 12 x 12 pixels are too small"},
        {"no volume", empty, phantom.Labels({0}), {0}, "there is no volume"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CLabelImage labels = c.labels;
        const CLabelState before(labels);
        CLabelChange change;
        change.Start(1, 1);
        change.Add(0, 0, 0, 1);
        std::string error;
        EXPECT_FALSE(PropagateLabels(c.volume, labels, {c.references, {}}, {}, change, error));
        EXPECT_EQ(error.substr(0, c.error.size()), c.error);
        EXPECT_EQ(change.VoxelCount(), 1) << "the caller's record was touched";
        EXPECT_TRUE(CLabelState(labels) == before);
    }
}
