#include <gtest/gtest.h>
#include <nifti1.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "BrushTool.h"
#include "CommandTable.h"
#include "EraserTool.h"
#include "FillTool.h"
#include "LabelDescriptions.h"
#include "LabelEditing.h"
#include "LabelFile.h"
#include "LabelState.h"
#include "NiftiWriter.h"
#include "PolygonTool.h"
#include "ViewerFixture.h"

namespace {

constexpr int kX = 8, kY = 6, kZ = 4, kT = 3;
constexpr double kPixel[3] = {1.0, 1.5, 2.0};
constexpr int kWidth = 400, kHeight = 300;

// The label the test images start from, by volume voxel (i, j, k) and frame:
// label 1 on a 3 x 2 block of slice 1 in every frame, label 2 on one voxel
// of frame 1.
int StartLabel(int i, int j, int k, int t) {
    if (i >= 1 && i <= 3 && j >= 1 && j <= 2 && k == 1) return 1;
    return i == 6 && j == 4 && k == 2 && t == 1 ? 2 : 0;
}

class LabelEditingTest : public ViewerTest {
protected:
    // A NIfTI volume whose voxel (i, j, k) holds 10 i + j in every frame,
    // lying on the patient axes with the test's pixel sizes.
    std::string WriteGeometryVolume() {
        NiftiContents nifti;
        nifti.SetSizes(4, kX, kY, kZ, kT);
        nifti.SetPixelSizes(kPixel[0], kPixel[1], kPixel[2]);
        std::vector<double> values;
        for (int t = 0; t < kT; ++t)
            for (int k = 0; k < kZ; ++k)
                for (int j = 0; j < kY; ++j)
                    for (int i = 0; i < kX; ++i) values.push_back(10 * i + j);
        nifti.SetValuesAs(DT_INT16, values);
        nifti.sformCode = 1;
        for (int axis = 0; axis < 3; ++axis) nifti.srow[axis][axis] = kPixel[axis];
        const std::string path = m_folder.File("volume.nii");
        EXPECT_TRUE(WriteNiftiFile(path, nifti));
        return path;
    }
    // The start labels as another tool may have written them: with `swapped`
    // the file's first axis runs along the volume's rows, its second along
    // the columns and its third against the slices. Returns the file's path;
    // `fileIndex` gives the file's voxel index of a volume voxel.
    std::string WriteStartLabels(bool swapped, int frames = kT) {
        NiftiContents nifti;
        nifti.SetSizes(frames == 1 ? 3 : 4, swapped ? kY : kX, swapped ? kX : kY, kZ, frames);
        nifti.SetPixelSizes(swapped ? kPixel[1] : kPixel[0], swapped ? kPixel[0] : kPixel[1], kPixel[2]);
        nifti.sformCode = 2;
        nifti.descrip = "segmented elsewhere";
        if (swapped) {
            nifti.srow[1][0] = kPixel[1];
            nifti.srow[0][1] = kPixel[0];
            nifti.srow[2][2] = -kPixel[2];
            nifti.srow[2][3] = kPixel[2] * (kZ - 1);
        } else {
            for (int axis = 0; axis < 3; ++axis) nifti.srow[axis][axis] = kPixel[axis];
        }
        std::vector<double> values(static_cast<size_t>(kX) * kY * kZ * frames);
        for (int t = 0; t < frames; ++t)
            for (int k = 0; k < kZ; ++k)
                for (int j = 0; j < kY; ++j)
                    for (int i = 0; i < kX; ++i) values[FileIndex(swapped, {i, j, k}, t)] = StartLabel(i, j, k, t);
        nifti.SetValuesAs(DT_UINT8, values);
        const std::string path = m_folder.File(swapped ? "swapped.nii" : "labels.nii");
        EXPECT_TRUE(WriteNiftiFile(path, nifti));
        return path;
    }
    static size_t FileIndex(bool swapped, const std::array<int, 3>& v, int t) {
        const int a = swapped ? v[1] : v[0], b = swapped ? v[0] : v[1], c = swapped ? kZ - 1 - v[2] : v[2];
        const int sizeA = swapped ? kY : kX, sizeB = swapped ? kX : kY;
        return static_cast<size_t>(((static_cast<int64_t>(t) * kZ + c) * sizeB + b) * sizeA + a);
    }
    // Volume and labels loaded, the XY-plane alone shown face on at slice 1,
    // so a pointer names the voxel of that slice under it.
    void Open(bool swapped = false, int labelFrames = kT) {
        // A case before may have left edits: they go.
        if (Editing().Unsaved()) {
            m_host.m_dialogs.m_unsavedAnswers = {CDialogService::EUnsavedAnswer::kDiscard};
            ASSERT_TRUE(Editing().MayDiscard());
        }
        m_viewer.LoadVolumeFile(WriteGeometryVolume());
        m_viewer.LoadLabelFile(WriteStartLabels(swapped, labelFrames));
        ASSERT_FALSE(m_viewer.Labels().Empty());
        ShowSliceFaceOn(m_viewer, m_view, 1);
    }
    // The pointer over the centre of file voxel `voxel` (on the XY-plane shown).
    CTool::CPointer At(int i, int j) const {
        return PointerOver(m_viewer, {double(i), double(j), 1.0}, kWidth, kHeight);
    }
    int64_t LabelAt(int i, int j, int k, int t = -1) const {
        const CLabelImage& image = m_viewer.Labels().Image();
        const int frame = t < 0 ? m_viewer.Labels().Frame() : t;
        return image.Values()[image.FrameVoxels(frame)[(static_cast<int64_t>(k) * kY + j) * kX + i]];
    }
    CLabelEditing& Editing() { return m_viewer.Editing(); }
    // The label surfaces of frame `t` (every frame for -1) in `view`: their
    // names, labels and vertex counts.
    using Surface = std::tuple<std::string, int64_t, size_t>;
    static std::vector<Surface> Surfaces(const CViewInterface& view, int t = -1) {
        std::vector<Surface> surfaces;
        for (const CMeshObject& object : view.m_meshes.Objects())
            if (t < 0 || object.FrameNumber() == t)
                surfaces.emplace_back(object.m_name, object.m_label, object.m_vertices.size());
        return surfaces;
    }
    std::vector<Surface> Surfaces(int t) const { return Surfaces(m_view, t); }
    // The surfaces a viewer makes of the labels shown when it loads them afresh.
    std::vector<Surface> SurfacesMadeAfresh() {
        CRecordingView view;
        CTestHost host;
        CViewer fresh(view, host);
        fresh.LoadVolumeFile(m_folder.File("volume.nii"));
        CLabelImage copy = m_viewer.Labels().Image();
        EXPECT_TRUE(fresh.ShowLabels(std::move(copy), ""));
        return Surfaces(view);
    }
};

}  // namespace

// A stroke of each shape writes where the brush went, in the frame shown
// alone; one Undo takes the image back byte for byte and the surfaces with
// it, Redo forward again; the title carries "*" while the image differs
// from the file.
TEST_F(LabelEditingTest, AStrokeIsOneStepThatUndoesExactly) {
    struct Case {
        const char* name;
        bool ball;
        bool erase;
        int row;  // the stroke runs along it, from column 1 to 4 of slice 1
        int labelFrames;  // 1: a single frame of labels serves every frame
        // A voxel the stroke must write (with `label`) and one it must leave.
        std::array<int, 3> written;
        int64_t label;
        std::array<int, 3> left;
    };
    const Case cases[] = {
        {"disc", false, false, 3, kT, {4, 3, 1}, 5, {4, 3, 2}},
        {"ball", true, false, 3, kT, {4, 3, 2}, 5, {4, 3, 3}},
        {"eraser", false, true, 1, kT, {2, 1, 1}, 0, {2, 2, 1}},
        {"3-D labels", false, true, 1, 1, {2, 1, 1}, 0, {2, 2, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Open(false, c.labelFrames);
        m_viewer.Navigation().SetFrame(1);
        Editing().Settings().activeLabel = 5;
        Editing().Settings().brushRadiusMm = 1.0;  // the voxel and its x neighbours; not across rows or slices
        Editing().Settings().brushBall = c.ball;
        if (c.ball) Editing().Settings().brushRadiusMm = 2.0;  // one slice up and down, not two
        const CLabelState before(m_viewer.Labels().Image());
        const auto frame0 = Surfaces(0), frame2 = Surfaces(2);

        std::unique_ptr<CBrushTool> tool =
            c.erase ? std::make_unique<CEraserTool>(m_viewer) : std::make_unique<CBrushTool>(m_viewer);
        tool->Press(At(1, c.row));
        tool->Drag(At(4, c.row));
        EXPECT_FALSE(m_view.m_toolOutlines.empty()) << "the brush's circle";
        tool->Release();
        const CLabelState after(m_viewer.Labels().Image());

        EXPECT_EQ(LabelAt(c.written[0], c.written[1], c.written[2]), c.label);
        EXPECT_NE(LabelAt(c.left[0], c.left[1], c.left[2]), c.label);
        // The dabs of a drag leave no gap between them.
        for (int i = 1; i <= 4; ++i) EXPECT_EQ(LabelAt(i, c.row, 1), c.label) << "column " << i;
        if (c.labelFrames > 1) {
            for (int t : {0, 2})
                for (int k = 0; k < kZ; ++k)
                    for (int j = 0; j < kY; ++j)
                        for (int i = 0; i < kX; ++i)
                            ASSERT_EQ(LabelAt(i, j, k, t), StartLabel(i, j, k, t)) << "frame " << t;
            EXPECT_EQ(Surfaces(0), frame0);
            EXPECT_EQ(Surfaces(2), frame2);
        }
        EXPECT_EQ(Surfaces(m_view), SurfacesMadeAfresh()) << "the edited frame's surfaces are made again";
        EXPECT_EQ(Editing().UndoStack().count(), 1);
        EXPECT_EQ(m_host.m_title.rfind("*", 0), 0u) << m_host.m_title;

        ASSERT_TRUE(m_viewer.Execute(kCmdUndo));
        EXPECT_EQ(CLabelState(m_viewer.Labels().Image()), before)
            << FirstDifference(CLabelState(m_viewer.Labels().Image()), before);
        EXPECT_EQ(Surfaces(m_view), SurfacesMadeAfresh());
        EXPECT_EQ(m_host.m_title.find('*'), std::string::npos) << m_host.m_title;
        ASSERT_TRUE(m_viewer.Execute(kCmdRedo));
        EXPECT_EQ(CLabelState(m_viewer.Labels().Image()), after);
        EXPECT_FALSE(m_viewer.Execute(kCmdRedo)) << "nothing left to redo";
    }
}

// The options every tool shares: a value range writes only voxels whose
// value (10 i + j here) lies in it, read from the frame shown; draw-over
// keeps the labels it protects; every frame writes the same voxels in each.
TEST_F(LabelEditingTest, SharedOptionsChooseTheVoxelsWritten) {
    struct Case {
        const char* name;
        CLabelEditOptions options;
        // Labels expected at (i, 2, 1) for i = 0..5 in the frame shown, and
        // whether frame 0 changed as well.
        std::array<int64_t, 6> row;
        bool everyFrame;
    };
    CLabelEditOptions range;
    range.useRange = true;
    range.low = 12;  // i = 1 and 2 on row 2 hold 12 and 22
    range.high = 30;
    CLabelEditOptions background;
    background.drawOver = EDrawOver::kBackground;
    CLabelEditOptions every;
    every.scope = EEditScope::kEveryFrame;
    const Case cases[] = {
        {"range", range, {0, 7, 7, 1, 0, 0}, false},
        {"background", background, {7, 1, 1, 1, 7, 7}, false},
        {"every frame", every, {7, 7, 7, 7, 7, 7}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        m_viewer.Navigation().SetFrame(2);
        Editing().Settings().activeLabel = 7;
        Editing().Settings().brushRadiusMm = 0.5;
        Editing().Settings().options = c.options;
        CBrushTool brush(m_viewer);
        brush.Press(At(0, 2));
        brush.Drag(At(5, 2));
        brush.Release();
        for (int i = 0; i < 6; ++i) EXPECT_EQ(LabelAt(i, 2, 1), c.row[static_cast<size_t>(i)]) << "i " << i;
        EXPECT_EQ(LabelAt(4, 2, 1, 0), c.everyFrame ? 7 : 0);
    }
}

// The fill takes the clicked label's connected region and is refused past
// its bound; the polygon fills its inside on its slice when finished (Enter
// or a double click) and Esc drops it. Each is one undo step.
TEST_F(LabelEditingTest, FillAndPolygonAreOneStepEach) {
    Open();
    Editing().Settings().activeLabel = 3;
    CFillTool fill(m_viewer);
    Editing().Settings().fillLimit = 5;  // the block holds 6
    fill.Press(At(2, 1));
    EXPECT_EQ(LabelAt(2, 1, 1), 1);
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    EXPECT_EQ(Editing().UndoStack().count(), 0);
    Editing().Settings().fillLimit = 6;
    fill.Press(At(2, 1));
    for (int i = 1; i <= 3; ++i) EXPECT_EQ(LabelAt(i, 2, 1), 3);
    EXPECT_EQ(LabelAt(4, 2, 1), 0);
    EXPECT_EQ(Editing().UndoStack().count(), 1);

    CPolygonTool polygon(m_viewer);
    for (const auto& [i, j] : {std::pair{4, 0}, {7, 0}, {7, 5}}) polygon.Press(At(i, j));
    ASSERT_EQ(polygon.Vertices().size(), 3u);
    polygon.Cancel();
    EXPECT_TRUE(polygon.Vertices().empty());
    EXPECT_EQ(LabelAt(6, 1, 1), 0) << "Esc writes nothing";
    for (const auto& [i, j] : {std::pair{4, 0}, {7, 0}}) polygon.Press(At(i, j));
    polygon.Press(At(7, 5));
    polygon.DoubleClick(At(7, 5));
    EXPECT_EQ(LabelAt(6, 1, 1), 3);
    EXPECT_EQ(LabelAt(6, 3, 1), 3);
    EXPECT_EQ(LabelAt(4, 5, 1), 0) << "outside the triangle";
    EXPECT_EQ(LabelAt(6, 1, 0), 0) << "other slices";
    EXPECT_EQ(Editing().UndoStack().count(), 2);
    EXPECT_TRUE(m_view.m_toolOutlines.empty());
}

// Saving writes the file's own header and voxel order back, even for labels
// the viewer turned onto the volume's grid: only the edited voxel differs.
// A new label image asks for a name; a failed save keeps the edits and "*".
TEST_F(LabelEditingTest, SaveKeepsTheFilesFormAndOrder) {
    for (const bool swapped : {false, true}) {
        SCOPED_TRACE(swapped ? "swapped" : "as the volume");
        Open(swapped);
        const std::string path = m_viewer.Labels().Path();
        const std::vector<uint8_t> original = ReadBytes(path);
        Editing().Settings().activeLabel = 9;
        Editing().Settings().brushRadiusMm = 0.1;
        CBrushTool brush(m_viewer);
        brush.Press(At(5, 4));
        brush.Release();
        std::string error;
        // A name given in the panel goes beside the image, in a description file.
        ASSERT_TRUE(m_viewer.Labels().Table().Rename(1, swapped ? "pool" : "blood pool", error)) << error;
        ASSERT_TRUE(m_viewer.Execute(kCmdSaveLabelImage));
        std::vector<CLabelDescription> descriptions;
        ASSERT_TRUE(ReadLabelDescriptions(LabelDescriptionsPathFor(path), descriptions, error)) << error;
        const auto named = std::find_if(descriptions.begin(), descriptions.end(),
                                        [](const CLabelDescription& d) { return d.value == 1; });
        ASSERT_NE(named, descriptions.end());
        EXPECT_EQ(named->name, swapped ? "pool" : "blood pool");
        EXPECT_EQ(m_host.m_title.find('*'), std::string::npos);
        const std::vector<uint8_t> saved = ReadBytes(path);
        ASSERT_EQ(saved.size(), original.size());
        const size_t header = 352;
        const size_t edited = header + FileIndex(swapped, {5, 4, 1}, 0);
        for (size_t b = 0; b < saved.size(); ++b)
            ASSERT_EQ(saved[b], b == edited ? 9 : original[b]) << "byte " << b;
    }

    ASSERT_TRUE(m_viewer.Execute(kCmdNewLabelImage));
    EXPECT_EQ(m_viewer.Labels().Image().Frames(), kT);
    CBrushTool brush(m_viewer);
    brush.Press(At(1, 1));
    brush.Release();
    m_host.m_dialogs.m_fileAnswers = {m_folder.File("missing/new.nii")};
    EXPECT_FALSE(m_viewer.Editing().Save());
    EXPECT_EQ(m_host.m_title.rfind("*", 0), 0u);
    EXPECT_NE(m_host.m_dialogs.m_messages.back().text.find("missing/new.nii"), std::string::npos);
    m_host.m_dialogs.m_fileAnswers = {m_folder.File("new.nii.gz")};
    EXPECT_TRUE(m_viewer.Editing().Save());
    CLabelImage reread;
    std::string error;
    ASSERT_TRUE(ReadLabelFile(m_folder.File("new.nii.gz"), reread, error)) << error;
    EXPECT_EQ(CLabelState(reread), CLabelState(m_viewer.Labels().Image()));
    EXPECT_EQ(m_viewer.Labels().Path(), m_folder.File("new.nii.gz"));
}

// Loading labels or a volume over unsaved edits asks first: Cancel keeps
// everything, Save writes them before the load, Discard lets them go (a
// volume load takes the labels back to the file's voxels).
TEST_F(LabelEditingTest, UnsavedEditsAreAskedAbout) {
    using Answer = CDialogService::EUnsavedAnswer;
    struct Case {
        const char* name;
        Answer answer;
        bool loadVolume;
        bool loaded;          // the load went ahead
        int64_t editedAfter;  // the edited voxel's label afterwards
        bool fileHasEdit;
    };
    const Case cases[] = {
        {"cancel labels", Answer::kCancel, false, false, 4, false},
        {"save labels", Answer::kSave, false, true, 4, true},
        {"discard labels", Answer::kDiscard, false, true, 0, false},
        {"cancel volume", Answer::kCancel, true, false, 4, false},
        {"discard volume", Answer::kDiscard, true, true, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Open();
        const std::string labels = m_viewer.Labels().Path();
        Editing().Settings().activeLabel = 4;
        Editing().Settings().brushRadiusMm = 0.1;
        CBrushTool brush(m_viewer);
        brush.Press(At(6, 0));
        brush.Release();
        m_host.m_dialogs.m_unsavedQuestions.clear();
        m_host.m_dialogs.m_unsavedAnswers = {c.answer};
        const std::string other = m_folder.File(c.loadVolume ? "volume.nii" : "labels.nii");
        if (c.loadVolume)
            m_viewer.LoadVolumeFile(other);
        else
            m_viewer.LoadLabelFile(other);
        ASSERT_EQ(m_host.m_dialogs.m_unsavedQuestions.size(), 1u);
        EXPECT_NE(m_host.m_dialogs.m_unsavedQuestions[0].find("labels.nii"), std::string::npos);
        EXPECT_EQ(LabelAt(6, 0, 1), c.editedAfter);
        EXPECT_EQ(Editing().Unsaved(), !c.loaded);
        CLabelImage file;
        std::string error;
        ASSERT_TRUE(ReadLabelFile(labels, file, error)) << error;
        EXPECT_EQ(file.Values().size(), c.fileHasEdit ? 4u : 3u);
    }
}

// The history holds at most its bound: the oldest steps go (said once), the
// newest stay undoable, and a saved state no longer reachable keeps "*".
TEST_F(LabelEditingTest, TheUndoHistoryIsBounded) {
    Open();
    Editing().Settings().brushRadiusMm = 0.1;
    CBrushTool brush(m_viewer);
    brush.Press(At(0, 0));
    brush.Release();
    const size_t step = Editing().UndoBytes();
    ASSERT_GT(step, 0u);
    Editing().SetUndoLimit(2 * step + step / 2);
    for (int i = 1; i < 5; ++i) {
        brush.Press(At(i, 0));
        brush.Release();
    }
    EXPECT_EQ(Editing().UndoStack().count(), 2);
    EXPECT_LE(Editing().UndoBytes(), 2 * step + step / 2);
    EXPECT_EQ(m_host.m_statusNotes.size(), 1u);
    while (m_viewer.Execute(kCmdUndo)) {
    }
    EXPECT_EQ(LabelAt(4, 0, 1), 0);
    EXPECT_EQ(LabelAt(3, 0, 1), 0);
    EXPECT_EQ(LabelAt(2, 0, 1), 1) << "older steps are no longer undone";
    EXPECT_TRUE(Editing().Unsaved());
}

// A workspace names the label image by its file: saving one offers to save
// the edits first; Cancel writes no workspace, Discard writes it without them.
TEST_F(LabelEditingTest, SavingAWorkspaceOffersToSaveTheEditsFirst) {
    using EUnsavedAnswer = CDialogService::EUnsavedAnswer;
    const struct {
        EUnsavedAnswer answer;
        bool written, unsavedAfter;
    } cases[] = {{EUnsavedAnswer::kCancel, false, true},
                 {EUnsavedAnswer::kDiscard, true, true},
                 {EUnsavedAnswer::kSave, true, false}};
    for (const auto& c : cases) {
        Open();
        Editing().Settings().brushRadiusMm = 0.1;
        CBrushTool brush(m_viewer);
        brush.Press(At(6, 0));
        brush.Release();
        const std::string workspace = m_folder.File("reading.orvanta");
        std::filesystem::remove(workspace);
        m_host.m_dialogs.m_unsavedQuestions.clear();
        m_host.m_dialogs.m_unsavedAnswers = {c.answer};
        m_host.m_dialogs.m_fileAnswers = {workspace};
        ASSERT_TRUE(m_viewer.Execute(kCmdSaveWorkspace));
        EXPECT_EQ(m_host.m_dialogs.m_unsavedQuestions.size(), 1u);
        EXPECT_EQ(std::filesystem::exists(workspace), c.written) << static_cast<int>(c.answer);
        EXPECT_EQ(Editing().Unsaved(), c.unsavedAfter) << static_cast<int>(c.answer);
    }
}
