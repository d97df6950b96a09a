#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CommandTable.h"
#include "LabelEditing.h"
#include "LabelState.h"
#include "TviWriter.h"
#include "ViewerFixture.h"

namespace {

constexpr int kX = 20, kY = 18, kZ = 3, kT = 6;

// A block of label 1 (columns 3 to 7, rows 2 to 6, `shift` columns further
// right) on every slice.
int64_t Block(int i, int j, int shift = 0) { return i >= 3 + shift && i <= 7 + shift && j >= 2 && j <= 6 ? 1 : 0; }

// The mean column of label 1 in `frame`.
double MeanColumn(const CLabelImage& image, int frame) {
    const uint8_t* voxels = image.FrameVoxels(frame);
    const int index = image.IndexOf(1);
    double sum = 0, count = 0;
    for (int64_t v = 0; v < image.FrameVoxelCount(); ++v)
        if (voxels[v] == index) {
            sum += static_cast<double>(v % kX);
            ++count;
        }
    return count > 0 ? sum / count : -1.0;
}

class LabelCommandsTest : public ViewerTest {
protected:
    // The volume and a label image of `frames` frames whose frame 0 holds
    // the block; with several frames, frame 4 holds one voxel of label 2.
    void Open(int frames) {
        m_viewer.LoadVolumeFile(WriteMovingBlock());
        ASSERT_TRUE(m_viewer.ShowLabels(MakeLabelImage(kX, kY, kZ, frames,
                                                       [](int i, int j, int, int t) -> int64_t {
                                                           if (t == 0) return Block(i, j);
                                                           return t == 4 && i == 0 && j == 0 ? 2 : 0;
                                                       }),
                                        ""));
    }
    // A bright block moving a column a frame over a textured background.
    std::string WriteMovingBlock() {
        const std::string path = m_folder.File("cine.tvi");
        TviContents tvi = TviVolume(kX, kY, kZ, kT, [](int x, int y, int, int t) {
            const int texture = (x * 37 + y * 17) % 50;
            return static_cast<uint16_t>(Block(x, y, t) != 0 ? 900 + texture : 100 + texture);
        });
        tvi.SetCalibration(1.0, 1.0, 1.0, 40);
        EXPECT_TRUE(WriteTviFile(path, tvi));
        return path;
    }
    const CLabelImage& Image() const { return m_viewer.Labels().Image(); }
    int64_t Count(int frame, int64_t value) const {
        const int index = Image().IndexOf(value);
        return index < 0 ? 0 : Image().VoxelCount(frame, index);
    }
    CLabelEditing& Editing() { return m_viewer.Editing(); }
};

}  // namespace

// Propagate Over Time... carries the reference's labels to the frames not
// kept, with a progress display counting frames; the reference and the kept
// frame stay as they were, and one Undo takes it all back byte for byte.
TEST_F(LabelCommandsTest, PropagationIsOneStepThatKeepsWhatItShould) {
    Open(kT);
    Editing().Settings().keepFrames = {false, false, false, false, true};
    const CLabelState before(Image());
    m_host.m_propagationAnswer = {0};
    ASSERT_TRUE(m_viewer.Execute(kCmdPropagateLabels));
    EXPECT_TRUE(m_host.m_dialogs.m_messages.empty());
    ASSERT_GE(m_host.m_progress.size(), 3u);
    EXPECT_EQ(m_host.m_progress.front(), "begin 6");
    EXPECT_EQ(m_host.m_progress.back(), "end");
    for (int frame : {1, 2, 3, 5}) EXPECT_GT(Count(frame, 1), 0) << "frame " << frame;
    EXPECT_EQ(Count(0, 1), 25 * kZ);
    EXPECT_EQ(Count(4, 1), 0) << "the kept frame";
    EXPECT_EQ(Count(4, 2), kZ);
    // The labels moved with the block.
    EXPECT_NEAR(MeanColumn(Image(), 3), MeanColumn(Image(), 0) + 3, 1.0);
    EXPECT_EQ(Editing().UndoStack().count(), 1);
    EXPECT_TRUE(Editing().Unsaved());
    ASSERT_TRUE(m_viewer.Execute(kCmdUndo));
    EXPECT_EQ(CLabelState(Image()), before) << FirstDifference(CLabelState(Image()), before);

    // Cancelled, it leaves the labels as they were and says nothing.
    m_host.m_cancelAt = 2;
    EXPECT_TRUE(m_viewer.Execute(kCmdPropagateLabels));
    EXPECT_EQ(CLabelState(Image()), before);
    EXPECT_TRUE(m_host.m_dialogs.m_messages.empty());
    EXPECT_EQ(Editing().UndoStack().count(), 1) << "the undone step waits to be redone; nothing new";
    // Without an answer from the dialog nothing is asked of the volume.
    m_host.m_cancelAt = -1;
    m_host.m_propagationAnswer.clear();
    m_host.m_progress.clear();
    EXPECT_TRUE(m_viewer.Execute(kCmdPropagateLabels));
    EXPECT_TRUE(m_host.m_progress.empty());
}

// A single frame of labels served every frame: it is repeated over the
// frames, its labels those of the reference, and carried from there. Two
// references cannot come from one frame.
TEST_F(LabelCommandsTest, ASingleFrameIsTheReferencesLabels) {
    Open(1);
    m_host.m_propagationAnswer = {0, 3};
    EXPECT_TRUE(m_viewer.Execute(kCmdPropagateLabels));
    ASSERT_EQ(m_host.m_dialogs.m_messages.size(), 1u);
    EXPECT_NE(m_host.m_dialogs.m_messages[0].text.find("single frame"), std::string::npos);
    EXPECT_EQ(Image().Frames(), 1);

    m_host.m_propagationAnswer = {0};
    EXPECT_TRUE(m_viewer.Execute(kCmdPropagateLabels));
    ASSERT_EQ(Image().Frames(), kT);
    EXPECT_EQ(Count(0, 1), 25 * kZ);
    for (int frame = 1; frame < kT; ++frame)
        EXPECT_NEAR(MeanColumn(Image(), frame), MeanColumn(Image(), 0) + frame, 1.0) << "frame " << frame;
    EXPECT_EQ(Editing().UndoStack().count(), 1);
    // Undone, each frame shows the one frame's labels again.
    ASSERT_TRUE(m_viewer.Execute(kCmdUndo));
    for (int frame = 0; frame < kT; ++frame) EXPECT_EQ(MeanColumn(Image(), frame), 5.0) << "frame " << frame;
}

// Interpolate Between Slices fills the slices between two drawn ones with
// the active label, as one undo step.
TEST_F(LabelCommandsTest, InterpolationIsOneUndoStep) {
    m_viewer.LoadVolumeFile(WriteVolume("cine.tvi", kX, kY, kZ, kT, 1.0));
    ASSERT_TRUE(m_viewer.ShowLabels(
        MakeLabelImage(kX, kY, kZ, 1, [](int i, int j, int k, int) { return k == 1 ? 0 : Block(i, j); }), ""));
    const CLabelState before(Image());
    Editing().Settings().activeLabel = 1;
    Editing().Settings().interpolationAxis = 2;
    ASSERT_TRUE(m_viewer.Execute(kCmdInterpolateSlices));
    EXPECT_TRUE(m_host.m_dialogs.m_messages.empty());
    EXPECT_EQ(Count(0, 1), 25 * kZ);
    ASSERT_TRUE(m_viewer.Execute(kCmdUndo));
    EXPECT_EQ(CLabelState(Image()), before);

    Editing().Settings().activeLabel = 7;
    ASSERT_TRUE(m_viewer.Execute(kCmdInterpolateSlices));
    EXPECT_EQ(m_host.m_dialogs.m_messages.size(), 1u) << "no label 7 to interpolate";
    EXPECT_EQ(CLabelState(Image()), before);
}
