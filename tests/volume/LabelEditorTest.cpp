#include <gtest/gtest.h>

#include <random>

#include "LabelEditor.h"
#include "LabelImage.h"
#include "LabelState.h"

namespace {

using Vertices = std::vector<std::array<double, 2>>;
using Edit = std::function<bool(CLabelEditor&, const CLabelEditOptions&, CLabelChange&, std::string&)>;
// An Edit calling one operation with the options, change and error it is given as o, c and s.
#define EDIT(...)                                                                       \
    [=](CLabelEditor& e, const CLabelEditOptions& o, CLabelChange& c, std::string& s) { \
        return e.__VA_ARGS__;                                                           \
    }

// A volume value that varies from voxel to voxel and frame to frame, 0 to 99.
double VolumeValue(int i, int j, int k, int t) {
    return static_cast<double>((i * 37 + j * 53 + k * 71 + t * 29 + i * j * 7) % 100);
}

// Labels 0, 3 and 9 in blocks that differ from frame to frame.
CLabelImage BlockImage(int sizeX, int sizeY, int sizeZ, int frames) {
    return MakeLabelImage(sizeX, sizeY, sizeZ, frames, [](int i, int j, int k, int t) -> int64_t {
        const int block = (i / 4 + j / 3 + k / 2 + t) % 3;
        return block == 0 ? 0 : block == 1 ? 3 : 9;
    });
}

// The voxels (positions into CLabelState::voxels) whose labels differ.
std::vector<size_t> Changed(const CLabelState& before, const CLabelState& after) {
    std::vector<size_t> changed;
    for (size_t v = 0; v < before.voxels.size(); ++v)
        if (before.voxels[v] != after.voxels[v]) changed.push_back(v);
    return changed;
}

}  // namespace

// The brush takes the voxels whose centres lie within the radius in
// millimetres, counted by hand for voxels longer along one axis.
TEST(LabelEditor, BrushCountsVoxelsWithinTheRadiusInMillimetres) {
    struct Case {
        const char* name;
        std::array<double, 3> pixelSize;
        CLabelEditor::Voxel centre;
        double radius;
        int plane;
        int64_t expected;
    };
    const Case cases[] = {
        // Slice 2 holds the disc a^2 + b^2 <= 16 (49 voxels); the slices 4 mm
        // away only the voxel on the axis.
        {"ball, 1 x 1 x 4 mm", {1, 1, 4}, {5, 5, 2}, 4.0, -1, 51},
        {"XY disc, 1 x 2 mm", {1, 2, 1}, {5, 5, 2}, 2.0, 2, 7},
        {"YZ disc, 1 x 4 mm", {1, 1, 4}, {5, 5, 2}, 2.0, 0, 5},
        {"XZ disc, 1 x 4 mm", {1, 1, 4}, {5, 5, 2}, 4.0, 1, 11},
        {"a radius below half a voxel", {1, 1, 1}, {5, 5, 2}, 0.2, -1, 1},
        {"radius 0", {1, 1, 1}, {5, 5, 2}, 0.0, 2, 1},
        {"cut by the corner", {1, 1, 1}, {0, 0, 0}, 1.0, -1, 4},
        // 3 x 0.1 exceeds 0.3 in doubles; the edge voxels still count.
        {"0.1 mm voxels", {0.1, 0.1, 0.1}, {5, 5, 2}, 0.3, 2, 29},
    };
    for (const Case& test : cases) {
        CLabelImage image = MakeLabelImage(11, 11, 5, 2, [](int, int, int, int) { return 0; });
        CLabelEditor editor(image, test.pixelSize);
        CLabelChange change;
        std::string error;
        ASSERT_TRUE(editor.Brush(test.centre, test.radius, test.plane, 1, 6, {}, change, error)) << error;
        EXPECT_EQ(image.VoxelCount(1, image.IndexOf(6)), test.expected) << test.name;
        EXPECT_EQ(image.VoxelCount(0, image.IndexOf(6)), 0) << test.name;
        EXPECT_EQ(change.VoxelCount(), test.expected) << test.name;
        EXPECT_EQ(change.Frames(), std::vector<int>{1}) << test.name;
    }
}

// Draw-over chooses the voxels written, in every frame by that frame's own labels.
TEST(LabelEditor, DrawOverWritesOnlyTheChosenVoxels) {
    struct Case {
        const char* name;
        EDrawOver drawOver;
        int64_t overValue;
        EEditScope scope;
        int64_t value;
        std::vector<int64_t> expected;  // frame 0, then frame 1
        std::vector<int64_t> labels;
    };
    using enum EDrawOver;
    constexpr EEditScope kThis = EEditScope::kThisFrame, kEvery = EEditScope::kEveryFrame;
    const Case cases[] = {
        {"all", kAll, 0, kThis, 7, {7, 7, 7, 7, 7, 7, 2, 2, 0, 0, 1, 1}, {0, 1, 2, 7}},
        {"background", kBackground, 0, kThis, 7, {7, 7, 1, 1, 2, 2, 2, 2, 0, 0, 1, 1}, {0, 1, 2, 7}},
        {"label 2", kLabel, 2, kThis, 7, {0, 0, 1, 1, 7, 7, 2, 2, 0, 0, 1, 1}, {0, 1, 2, 7}},
        // Nothing written, so no label is added.
        {"an absent label", kLabel, 5, kThis, 7, {0, 0, 1, 1, 2, 2, 2, 2, 0, 0, 1, 1}, {0, 1, 2}},
        {"every frame", kBackground, 0, kEvery, 7, {7, 7, 1, 1, 2, 2, 2, 2, 7, 7, 1, 1}, {0, 1, 2, 7}},
        {"erase label 1, every frame", kLabel, 1, kEvery, 0, {0, 0, 0, 0, 2, 2, 2, 2, 0, 0, 0, 0}, {0, 1, 2}},
    };
    for (const Case& test : cases) {
        const int64_t start[] = {0, 0, 1, 1, 2, 2, 2, 2, 0, 0, 1, 1};
        CLabelImage image =
            MakeLabelImage(6, 1, 1, 2, [&](int i, int, int, int t) { return start[t * 6 + i]; });
        CLabelEditor editor(image, {1, 1, 1});
        CLabelEditOptions options;
        options.drawOver = test.drawOver;
        options.overValue = test.overValue;
        options.scope = test.scope;
        CLabelChange change;
        std::string error;
        ASSERT_TRUE(editor.Brush({2, 0, 0}, 5.0, 2, 0, test.value, options, change, error)) << test.name;
        const CLabelState state(image);
        EXPECT_EQ(state.voxels, test.expected) << test.name;
        EXPECT_EQ(state.values, test.labels) << test.name;
        EXPECT_EQ(WrongCounts(image), "") << test.name;
    }
}

// With a value range, an edit writes exactly the voxels it writes without
// one whose value lies in the range.
TEST(LabelEditor, ValueRangeWritesOnlyVoxelsInRange) {
    const std::pair<const char*, Edit> edits[] = {
        {"ball", EDIT(Brush({6, 5, 3}, 4.0, -1, 1, 5, o, c, s))},
        {"eraser", EDIT(Erase({6, 5, 3}, 5.0, 2, 1, o, c, s))},
        {"3-D fill", EDIT(Fill({0, 0, 0}, -1, 1, 5, 10000, o, c, s))},
        {"polygon", EDIT(Polygon({{0, 0}, {11, 1}, {4, 9}}, 1, 4, 1, 5, o, c, s))},
    };
    for (const auto& [name, edit] : edits) {
        for (const EEditScope scope : {EEditScope::kThisFrame, EEditScope::kEveryFrame}) {
            CLabelImage free = BlockImage(12, 10, 6, 3), ranged = BlockImage(12, 10, 6, 3);
            const CLabelState start(free);
            CLabelEditor freeEditor(free, {1, 1, 2}), rangedEditor(ranged, {1, 1, 2});
            rangedEditor.SetValues(VolumeValue);
            CLabelEditOptions options;
            options.scope = scope;
            CLabelChange change;
            std::string error;
            ASSERT_TRUE(edit(freeEditor, options, change, error)) << name << ": " << error;
            options.useRange = true;
            options.low = 30;
            options.high = 60;
            ASSERT_TRUE(edit(rangedEditor, options, change, error)) << name << ": " << error;
            std::vector<size_t> expected;
            for (const size_t v : Changed(start, CLabelState(free))) {
                const int i = v % 12, j = v / 12 % 10, k = v / 120 % 6, t = v / 720;
                if (VolumeValue(i, j, k, t) >= 30 && VolumeValue(i, j, k, t) <= 60) expected.push_back(v);
            }
            const std::vector<size_t> written = Changed(start, CLabelState(ranged));
            EXPECT_FALSE(written.empty()) << name;
            EXPECT_LT(written.size(), Changed(start, CLabelState(free)).size()) << name;
            EXPECT_EQ(written, expected) << name;
        }
    }
}

// A fill takes the region connected through faces (3-D) or edges (a plane)
// and is refused whole, nothing written, when the region exceeds the limit.
TEST(LabelEditor, FillIsBoundedByItsLimit) {
    // Label 4: a 3 x 3 x 2 block at the origin, and a voxel touching it only at a corner.
    const auto label = [](int i, int j, int k, int) -> int64_t {
        return (i < 3 && j < 3 && k < 2) || (i == 3 && j == 3 && k == 2) ? 4 : 0;
    };
    struct Case {
        const char* name;
        int plane;
        int64_t limit;
        int64_t expected;  // -1: refused
    };
    const Case cases[] = {
        {"3-D at the limit", -1, 18, 18},
        {"3-D above the limit", -1, 17, -1},
        {"XY plane", 2, 9, 9},
        {"XY plane above the limit", 2, 8, -1},
        {"YZ plane", 0, 6, 6},
        {"a limit of 0", -1, 0, -1},
    };
    for (const Case& test : cases) {
        CLabelImage image = MakeLabelImage(6, 6, 4, 2, label);
        const CLabelState before(image);
        CLabelEditor editor(image, {1, 1, 1});
        CLabelChange change;
        std::string error;
        const bool done = editor.Fill({1, 1, 1}, test.plane, 0, 8, test.limit, {}, change, error);
        if (test.expected < 0) {
            EXPECT_FALSE(done) << test.name;
            EXPECT_NE(error.find("limit"), std::string::npos) << test.name << ": " << error;
            EXPECT_EQ(CLabelState(image), before) << test.name;
            continue;
        }
        ASSERT_TRUE(done) << test.name << ": " << error;
        EXPECT_EQ(image.VoxelCount(0, image.IndexOf(8)), test.expected) << test.name;
        EXPECT_EQ(image.VoxelCount(0, image.IndexOf(4)), 19 - test.expected) << test.name;
    }
}

// Polygons fill the voxels whose centres lie inside, edges taken by one side only.
TEST(LabelEditor, PolygonFillsCentresInside) {
    struct Case {
        const char* name;
        Vertices vertices;
        int plane;
        int64_t expected;
    };
    const Case cases[] = {
        {"square", {{0, 0}, {4, 0}, {4, 4}, {0, 4}}, 2, 16},
        {"square turning the other way", {{0, 0}, {0, 4}, {4, 4}, {4, 0}}, 2, 16},
        {"square between centres", {{0.5, 0.5}, {3.5, 0.5}, {3.5, 3.5}, {0.5, 3.5}}, 2, 9},
        {"triangle", {{0, 0}, {4, 0}, {0, 4}}, 2, 10},
        {"its complement in the square", {{4, 0}, {4, 4}, {0, 4}}, 2, 6},
        {"cut by the image", {{-3, -3}, {2, -3}, {2, 2}, {-3, 2}}, 2, 4},
        {"bow tie", {{0, 0}, {4, 4}, {4, 0}, {0, 4}}, 2, 8},
        {"square on YZ", {{0, 0}, {4, 0}, {4, 4}, {0, 4}}, 0, 16},
        {"square on XZ past the last slice", {{0, 2}, {3, 2}, {3, 9}, {0, 9}}, 1, 9},
    };
    for (const Case& test : cases) {
        CLabelImage image = MakeLabelImage(8, 7, 5, 1, [](int, int, int, int) { return 0; });
        CLabelEditor editor(image, {1, 1, 1});
        CLabelChange change;
        std::string error;
        ASSERT_TRUE(editor.Polygon(test.vertices, test.plane, 1, 0, 2, {}, change, error))
            << test.name << error;
        EXPECT_EQ(image.VoxelCount(0, image.IndexOf(2)), test.expected) << test.name;
        // Only slice 1 of the plane is written.
        const CLabelState state(image);
        for (size_t v = 0; v < state.voxels.size(); ++v) {
            const size_t at[3] = {v % 8, v / 8 % 7, v / 56};
            if (state.voxels[v] != 0) {
                EXPECT_EQ(at[test.plane], 1u) << test.name << " voxel " << v;
            }
        }
    }
    // Two triangles that share the square's diagonal take each voxel once.
    CLabelImage image = MakeLabelImage(8, 7, 5, 1, [](int, int, int, int) { return 0; });
    CLabelEditor editor(image, {1, 1, 1});
    CLabelChange change;
    std::string error;
    ASSERT_TRUE(editor.Polygon({{0, 0}, {4, 0}, {0, 4}}, 2, 0, 0, 1, {}, change, error));
    ASSERT_TRUE(editor.Polygon({{0, 4}, {4, 0}, {4, 4}}, 2, 0, 0, 2, {}, change, error));
    EXPECT_EQ(change.VoxelCount(), 6);
    EXPECT_EQ(image.VoxelCount(0, 1), 10);
}

// Random strokes of every kind with random options: each record holds the
// frames it changed and only those, the counts stay right, and undoing all
// in reverse gives back the image of the start byte for byte, redoing all
// the image of the end.
TEST(LabelEditor, UndoAndRedoRestoreTheImageAfterRandomEdits) {
    CLabelImage image = BlockImage(14, 12, 6, 3);
    CLabelEditor editor(image, {1.0, 1.5, 3.0});
    editor.SetValues(VolumeValue);
    std::mt19937 random(20261210);
    const auto below = [&](int n) { return std::uniform_int_distribution<int>(0, n - 1)(random); };
    const auto anyVoxel = [&] { return CLabelEditor::Voxel{below(14), below(12), below(6)}; };
    const int64_t paints[] = {0, 1, 2, 3, 9, 20, 500, CLabelImage::kMaxValue};
    std::vector<CLabelState> states{CLabelState(image)};
    std::vector<CLabelChange> records;
    int refused = 0;
    for (int step = 0; step < 80; ++step) {
        CLabelEditOptions options;
        options.drawOver = static_cast<EDrawOver>(below(3));
        options.overValue =
            image.Values()[static_cast<size_t>(below(static_cast<int>(image.Values().size())))];
        options.useRange = below(3) == 0;
        options.low = below(60);
        options.high = options.low + below(50);
        options.scope = below(4) == 0 ? EEditScope::kEveryFrame : EEditScope::kThisFrame;
        const int64_t value = paints[below(8)];
        const int frame = below(3), plane = below(4) - 1;
        CLabelChange record;
        std::string error;
        bool done = true;
        switch (below(4)) {
            case 0:  // a stroke of dabs, one record
                for (int dab = below(4); dab >= 0 && done; --dab) {
                    CLabelChange change;
                    done = editor.Brush(anyVoxel(), below(40) / 10.0, plane, frame, value, options, change,
                                        error);
                    ASSERT_TRUE(record.Merge(std::move(change)));
                }
                break;
            case 1:
                done = editor.Erase(anyVoxel(), below(30) / 10.0, plane, frame, options, record, error);
                break;
            case 2:
                done =
                    editor.Fill(anyVoxel(), plane, frame, value, below(2) ? 400 : 10, options, record, error);
                break;
            default: {
                Vertices vertices;
                for (int n = 3 + below(4); n > 0; --n)
                    vertices.push_back({below(180) / 10.0 - 2.0, below(100) / 10.0 - 2.0});
                done = editor.Polygon(vertices, below(3), below(6), frame, value, options, record, error);
            }
        }
        const CLabelState after(image);
        if (!done) {
            // Only a fill over its limit is refused here, and it writes nothing.
            EXPECT_NE(error.find("limit"), std::string::npos) << error;
            EXPECT_EQ(after, states.back()) << "step " << step;
            ++refused;
            continue;
        }
        ASSERT_EQ(WrongCounts(image), "") << "step " << step;
        std::vector<int> frames;
        for (const size_t v : Changed(states.back(), after))
            if (frames.empty() || frames.back() != static_cast<int>(v / 1008))
                frames.push_back(static_cast<int>(v / 1008));
        EXPECT_EQ(frames, record.Frames()) << "step " << step;
        // 6 bytes a voxel written, twice that at most while a merged stroke grows.
        EXPECT_GE(record.Bytes(), static_cast<size_t>(record.VoxelCount()) * 6);
        EXPECT_LE(record.Bytes(), 1024 + static_cast<size_t>(record.VoxelCount()) * 12);
        states.push_back(after);
        records.push_back(std::move(record));
    }
    ASSERT_GT(refused, 0);
    // Labels were added (below the first ones too), and undo takes them away again.
    ASSERT_LT(states.front().values.size() + 3, states.back().values.size());
    std::string error;
    for (size_t n = records.size(); n-- > 0;) {
        ASSERT_TRUE(records[n].Undo(image, error)) << error;
        ASSERT_EQ(CLabelState(image), states[n])
            << "undo " << n << ": " << FirstDifference(CLabelState(image), states[n]);
    }
    for (size_t n = 0; n < records.size(); ++n) {
        ASSERT_TRUE(records[n].Redo(image, error)) << error;
        ASSERT_EQ(CLabelState(image), states[n + 1]) << "redo " << n;
    }
}

// A record is refused, the image kept, on an image edited since or of other sizes.
TEST(LabelEditor, UndoRefusesAnImageItDoesNotFit) {
    CLabelImage image = MakeLabelImage(8, 8, 3, 2, [](int, int, int, int) { return 0; });
    CLabelEditor editor(image, {1, 1, 1});
    CLabelChange first, second;
    std::string error;
    ASSERT_TRUE(editor.Brush({3, 3, 1}, 2.0, -1, 0, 5, {}, first, error));
    // Over voxels the first wrote early, so undo meets them late and has to write back what it undid.
    ASSERT_TRUE(editor.Brush({2, 2, 0}, 1.0, 2, 0, 6, {}, second, error));
    const CLabelState edited(image);
    EXPECT_FALSE(first.Undo(image, error));
    EXPECT_NE(error.find("changed since"), std::string::npos) << error;
    EXPECT_EQ(CLabelState(image), edited) << FirstDifference(CLabelState(image), edited);
    // Redo meets a voxel painted since late, and takes back what it redid and the label it added.
    ASSERT_TRUE(second.Undo(image, error) && first.Undo(image, error)) << error;
    CLabelChange third;
    ASSERT_TRUE(editor.Brush({3, 3, 2}, 0.0, 2, 0, 7, {}, third, error));
    const CLabelState painted(image);
    EXPECT_FALSE(first.Redo(image, error));
    EXPECT_EQ(CLabelState(image), painted) << FirstDifference(CLabelState(image), painted);
    CLabelImage other = MakeLabelImage(8, 8, 3, 1, [](int, int, int, int) { return 5; });
    const CLabelState otherState(other);
    EXPECT_FALSE(second.Undo(other, error));
    EXPECT_EQ(CLabelState(other), otherState);
    CLabelChange elsewhere;
    CLabelEditor otherEditor(other, {1, 1, 1});
    ASSERT_TRUE(otherEditor.Brush({0, 0, 0}, 1.0, 2, 0, 1, {}, elsewhere, error));
    EXPECT_FALSE(second.Merge(std::move(elsewhere)));
}

// Edits that cannot be made are refused with the reason, the image kept.
TEST(LabelEditor, RefusesEditsThatCannotBeMade) {
    CLabelEditOptions range;
    range.useRange = true;
    CLabelEditOptions emptyRange = range;
    emptyRange.low = 5;
    const double nan = std::nan("");
    const std::tuple<const char*, CLabelEditOptions, Edit> cases[] = {
        {"not a label", {}, EDIT(Brush({1, 1, 1}, 1, 2, 0, 65536, o, c, s))},
        {"255 labels", {}, EDIT(Brush({1, 1, 1}, 1, 2, 0, 300, o, c, s))},
        {"frame 2", {}, EDIT(Erase({1, 1, 1}, 1, 2, 2, o, c, s))},
        {"outside", {}, EDIT(Brush({1, 16, 1}, 1, 2, 0, 1, o, c, s))},
        {"radius", {}, EDIT(Brush({1, 1, 1}, -1, 2, 0, 1, o, c, s))},
        {"radius", {}, EDIT(Brush({1, 1, 1}, nan, 2, 0, 1, o, c, s))},
        {"plane 3", {}, EDIT(Fill({1, 1, 1}, 3, 0, 1, 100, o, c, s))},
        {"outside", {}, EDIT(Fill({-1, 1, 1}, 2, 0, 1, 100, o, c, s))},
        {"range is empty", emptyRange, EDIT(Fill({1, 1, 1}, 2, 0, 1, 100, o, c, s))},
        {"needs the volume", range, EDIT(Brush({1, 1, 1}, 1, 2, 0, 1, o, c, s))},
        {"3 vertices", {}, EDIT(Polygon({{0, 0}, {3, 3}}, 2, 0, 0, 1, o, c, s))},
        {"finite", {}, EDIT(Polygon({{0, 0}, {3, nan}, {0, 3}}, 2, 0, 0, 1, o, c, s))},
        {"too far", {}, EDIT(Polygon({{0, 0}, {1e300, 0}, {0, -1e300}}, 2, 0, 0, 1, o, c, s))},
        {"slice", {}, EDIT(Polygon({{0, 0}, {3, 0}, {0, 3}}, 0, 16, 0, 1, o, c, s))},
    };
    for (const auto& [expected, options, edit] : cases) {
        // Labels 1 to 254 in the first 254 voxels; 255 is added by the first paint.
        CLabelImage image = MakeLabelImage(16, 16, 2, 2, [](int i, int j, int k, int) -> int64_t {
            return k == 0 && j * 16 + i < 254 ? j * 16 + i + 1 : 0;
        });
        CLabelEditor editor(image, {1, 1, 1});
        CLabelChange change;
        std::string error;
        ASSERT_TRUE(editor.Brush({0, 0, 1}, 0, 2, 0, 1000, {}, change, error)) << error;
        const CLabelState before(image);
        EXPECT_FALSE(edit(editor, options, change, error)) << expected;
        EXPECT_NE(error.find(expected), std::string::npos) << expected << ": " << error;
        EXPECT_EQ(CLabelState(image), before) << expected;
    }
    CLabelImage image = MakeLabelImage(4, 4, 1, 1, [](int, int, int, int) { return 0; });
    CLabelEditor editor(image, {1, 0, 1});
    CLabelChange change;
    std::string error;
    EXPECT_FALSE(editor.Brush({1, 1, 0}, 2, 2, 0, 1, {}, change, error));
    EXPECT_NE(error.find("voxel sizes"), std::string::npos) << error;
}
