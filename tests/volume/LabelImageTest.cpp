#include "LabelImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "LabelState.h"
#include "TempFolder.h"
#include "TimeVolume.h"
#include "TestData.h"

namespace {

// Each index maps back to the value it stands for.
std::vector<int64_t> ValuesOf(const CLabelImage& image, const CSliceImage& slice) {
    std::vector<int64_t> values;
    for (int64_t i = 0; i < slice.ByteCount(); ++i) values.push_back(image.Values().at(slice.m_data[i]));
    return values;
}

}  // namespace

TEST(LabelImage, KeepsLabelsAsIndicesWithCountsPerFrame) {
    // 2 x 2 x 1, two frames; labels 0, 7 and 300.
    const int16_t values[] = {0, 7, 300, 7, 7, 7, 0, 0};
    CLabelImage image;
    std::string error;
    ASSERT_TRUE(image.Assign(values, 2, 2, 1, 2, error)) << error;
    EXPECT_EQ(image.Values(), (std::vector<int64_t>{0, 7, 300}));
    EXPECT_EQ(image.Frames(), 2);
    const uint8_t* frame1 = image.FrameVoxels(1);
    ASSERT_NE(frame1, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(frame1, frame1 + 4), (std::vector<uint8_t>{1, 1, 0, 0}));
    EXPECT_EQ(image.VoxelCount(0, 0), 1);
    EXPECT_EQ(image.VoxelCount(0, 1), 2);
    EXPECT_EQ(image.VoxelCount(0, 2), 1);
    EXPECT_EQ(image.VoxelCount(1, 1), 2);
    EXPECT_EQ(image.VoxelCount(1, 2), 0);
    EXPECT_EQ(image.VoxelCount(2, 1), 0);
    EXPECT_EQ(image.FrameVoxels(2), nullptr);
}

// Values that are no labels are refused with the voxel named, and the image
// keeps what it held.
TEST(LabelImage, RefusesValuesThatAreNoLabels) {
    struct Case {
        const char* name;
        std::vector<double> values;
        const char* expected;
    };
    std::vector<double> tooMany(256);
    for (size_t i = 0; i < tooMany.size(); ++i) tooMany[i] = static_cast<double>(i + 1);
    const Case cases[] = {
        {"negative", {0, 1, -1, 2}, "voxel (0, 1, 0) of frame 0 holds -1"},
        {"huge", {0, 65536, 0, 0}, "holds 65536"},
        {"fraction", {0, 1, 2.5, 0}, "holds 2.5"},
        {"not a number", {std::nan(""), 0, 0, 0}, "holds nan"},
        {"infinite", {0, 0, 0, std::numeric_limits<double>::infinity()}, "holds inf"},
        {"256 labels", tooMany, "more than 255 different labels"},
    };
    for (const Case& test : cases) {
        CLabelImage image;
        std::string error;
        const uint8_t before[] = {0, 1, 2, 1};
        ASSERT_TRUE(image.Assign(before, 2, 2, 1, 1, error));
        const int frames = static_cast<int>(test.values.size() / 4);
        EXPECT_FALSE(image.Assign(test.values.data(), 2, 2, 1, frames, error)) << test.name;
        EXPECT_NE(error.find(test.expected), std::string::npos) << test.name << ": " << error;
        EXPECT_EQ(image.Values(), (std::vector<int64_t>{0, 1, 2})) << test.name;
        EXPECT_EQ(image.Frames(), 1) << test.name;
    }
    // 255 labels and whole floats are fine.
    CLabelImage image;
    std::string error;
    tooMany.pop_back();
    tooMany.push_back(0.0);
    EXPECT_TRUE(image.Assign(tooMany.data(), 4, 4, 4, 4, error)) << error;
    EXPECT_EQ(image.Values().size(), 256u);
    EXPECT_EQ(image.Values().back(), 255);

    // Values read in runs twice (from a file) that change between the reads
    // are refused, not written through an index that does not exist.
    int reads = 0;
    const CLabelImage::ValueRuns changing = [&reads](int64_t, int64_t count, double* out) {
        std::fill(out, out + count, reads++ == 0 ? 1.0 : 7.0);
    };
    EXPECT_FALSE(image.Assign(changing, 2, 2, 1, 1, error));
    EXPECT_EQ(error, "the label values changed while they were read");
    EXPECT_TRUE(image.Empty());
}

// Every plane of every frame shows each label where the grey planes show the
// same voxel, also when resampled to power-of-two sides.
TEST(LabelImage, PlanesLieWhereTheGreyPlanesLie) {
    TviContents tvi = TviVolume(5, 3, 6, 2, CodedSample);
    tvi.samples.back() = 255;  // grey = sample with the saturation at 1.0
    const std::vector<uint16_t> labels = FrameMajorSamples(tvi);
    TempFolder folder;
    ASSERT_TRUE(WriteTviFile(folder.File("coded.tvi"), tvi));
    CTimeVolume volume;
    ASSERT_TRUE(volume.LoadFile(folder.File("coded.tvi"), 1.0));
    CLabelImage image;
    std::string error;
    ASSERT_TRUE(image.Assign(labels.data(), tvi.sizeX, tvi.sizeY, tvi.sizeZ, tvi.frames, error)) << error;

    const int sizes[3] = {tvi.sizeX, tvi.sizeY, tvi.sizeZ};
    for (bool powerOfTwo : {false, true})
        for (int plane = 0; plane < 3; ++plane)
            for (int index = 0; index < sizes[plane]; ++index)
                for (int frame = 0; frame < tvi.frames; ++frame) {
                    CSliceImage grey = volume.GetSlice(plane, index, frame, powerOfTwo);
                    CSliceImage label = image.GetSlice(plane, index, frame, powerOfTwo);
                    ASSERT_EQ(label.m_width, grey.m_width);
                    ASSERT_EQ(label.m_height, grey.m_height);
                    EXPECT_EQ(ValuesOf(image, label), std::vector<int64_t>(grey.m_data, grey.m_data + grey.ByteCount()))
                        << "plane " << plane << " index " << index << " frame " << frame;
                    FreeSliceImage(grey);
                    FreeSliceImage(label);
                }
    EXPECT_EQ(image.GetSlice(2, 6, 0, false).m_data, nullptr);
    EXPECT_EQ(image.GetSlice(0, 0, 2, false).m_data, nullptr);
}

// A label added between others moves the indices above it in every voxel
// and counts; one still carried by a voxel cannot be removed; removing the
// added one gives back the image as it was.
TEST(LabelImage, AddsAndRemovesLabelsKeepingVoxelsAndCounts) {
    CLabelImage image = MakeLabelImage(2, 2, 1, 2, [](int i, int j, int, int t) -> int64_t {
        const int64_t values[] = {0, 7, 300, 7, 300, 300, 0, 0};
        return values[t * 4 + j * 2 + i];
    });
    const CLabelState before(image);
    std::string error;
    EXPECT_EQ(image.AddValue(9, error), 2) << error;
    EXPECT_EQ(image.Values(), (std::vector<int64_t>{0, 7, 9, 300}));
    EXPECT_EQ(image.FrameVoxels(1)[0], 3);
    EXPECT_EQ(image.VoxelCount(1, 3), 2);
    EXPECT_EQ(WrongCounts(image), "");
    EXPECT_TRUE(image.SetVoxel(1, 3, 2));
    EXPECT_FALSE(image.RemoveValue(9));
    EXPECT_FALSE(image.SetVoxel(1, 4, 2));
    EXPECT_FALSE(image.SetVoxel(2, 0, 1));
    EXPECT_FALSE(image.SetVoxel(0, 0, 4));
    EXPECT_TRUE(image.SetVoxel(1, 3, 0));
    EXPECT_EQ(WrongCounts(image), "");
    EXPECT_FALSE(image.RemoveValue(0));
    EXPECT_TRUE(image.RemoveValue(9));
    EXPECT_EQ(CLabelState(image), before) << FirstDifference(CLabelState(image), before);
    EXPECT_EQ(image.AddValue(65536, error), -1);
    EXPECT_NE(error.find("not a label"), std::string::npos) << error;
}
