#include "LabelFile.h"

#include <gtest/gtest.h>
#include <nifti1.h>

#include <cmath>
#include <limits>
#include <vector>

#include "TempFolder.h"
#include "TestData.h"

namespace {

// A 3 x 2 x 2 image with two frames: labels 0, 2 and 5.
NiftiContents LabelContents() {
    std::vector<int16_t> values(24, 0);
    values[4] = 2;       // (1, 1, 0) of frame 0
    values[12 + 7] = 5;  // (1, 0, 1) of frame 1
    values[12 + 8] = 2;
    NiftiContents c = NiftiVolume(3, 2, 2, 2, DT_INT16, values);
    c.SetPixelSizes(1.25, 1.5, 6.0);
    return c;
}

template <typename T>
NiftiContents WithValues(int datatype, const std::vector<T>& values) {
    NiftiContents c = LabelContents();
    c.datatype = datatype;
    c.SetValues(values);
    return c;
}

}  // namespace

// Every integer type, both byte orders, both versions, gzip and whole floats
// read as the same labels, with the file's pixel sizes.
TEST(LabelFile, ReadsLabelsOfEveryForm) {
    struct Case {
        const char* name;
        NiftiContents contents;
    };
    std::vector<float> floats(24, 0.0f);
    floats[4] = 2.0f, floats[19] = 5.0f, floats[20] = 2.0f;
    std::vector<uint8_t> bytes(24, 0);
    bytes[4] = 2, bytes[19] = 5, bytes[20] = 2;
    NiftiContents swappedGzip = LabelContents();
    swappedGzip.swapped = true;
    swappedGzip.gzip = true;
    NiftiContents version2 = LabelContents();
    version2.version = 2;
    // Stored as 4, 10 and 4 with a slope of 0.5.
    std::vector<int32_t> halves(24, 0);
    halves[4] = 4, halves[19] = 10, halves[20] = 4;
    NiftiContents scaled = WithValues(DT_INT32, halves);
    scaled.slope = 0.5;
    const Case cases[] = {
        {"int16", LabelContents()},
        {"swapped, gzip", swappedGzip},
        {"NIfTI-2", version2},
        {"uint8", WithValues(DT_UINT8, bytes)},
        {"whole float32", WithValues(DT_FLOAT32, floats)},
        {"scaled int32", scaled},
    };
    TempFolder folder;
    for (const Case& test : cases) {
        const std::string path = folder.File(test.contents.gzip ? "l.nii.gz" : "l.nii");
        ASSERT_TRUE(WriteNiftiFile(path, test.contents)) << test.name;
        CLabelImage labels;
        std::string error;
        ASSERT_TRUE(ReadLabelFile(path, labels, error)) << test.name << ": " << error;
        EXPECT_EQ(labels.Values(), (std::vector<int64_t>{0, 2, 5})) << test.name;
        EXPECT_EQ(labels.Frames(), 2) << test.name;
        EXPECT_EQ(labels.SizeX(), 3) << test.name;
        EXPECT_EQ(labels.FrameVoxels(0)[4], 1) << test.name;
        EXPECT_EQ(labels.FrameVoxels(1)[7], 2) << test.name;
        EXPECT_EQ(labels.VoxelCount(1, 1), 1) << test.name;
        EXPECT_EQ(labels.m_pixelSize[0], 1.25) << test.name;
        EXPECT_EQ(labels.m_pixelSize[2], 6.0) << test.name;
    }
}

// Files that hold no labels, or are damaged, are refused with a reason and
// leave the labels already read alone.
TEST(LabelFile, RefusesBadFilesAndKeepsWhatWasRead) {
    TempFolder folder;
    const std::string goodPath = folder.File("good.nii");
    ASSERT_TRUE(WriteNiftiFile(goodPath, LabelContents()));

    std::vector<int16_t> negative(24, 0);
    negative[3] = -1;
    std::vector<int32_t> huge(24, 0);
    huge[5] = 70000;
    std::vector<double> fraction(24, 0.0);
    fraction[6] = 1.5;
    std::vector<int16_t> many(24 * 12, 0);
    for (size_t i = 0; i < many.size(); ++i) many[i] = static_cast<int16_t>(i);
    NiftiContents tooMany = WithValues(DT_INT16, many);
    tooMany.SetSizes(4, 6, 4, 6, 2);
    NiftiContents rgb = LabelContents();
    rgb.datatype = DT_RGB24;
    rgb.data.resize(24 * 3);

    struct Case {
        const char* name;
        NiftiContents contents;
        const char* reason;
    };
    const Case cases[] = {
        {"negative", WithValues(DT_INT16, negative), "holds -1"},
        {"huge", WithValues(DT_INT32, huge), "holds 70000"},
        {"fraction", WithValues(DT_FLOAT64, fraction), "holds 1.5"},
        {"too many labels", tooMany, "more than 255"},
        {"RGB", rgb, "rgb24"},
    };
    CLabelImage labels;
    std::string error;
    ASSERT_TRUE(ReadLabelFile(goodPath, labels, error)) << error;
    for (const Case& test : cases) {
        const std::string path = folder.File(std::string(test.name) + ".nii");
        ASSERT_TRUE(WriteNiftiFile(path, test.contents)) << test.name;
        error.clear();
        EXPECT_FALSE(ReadLabelFile(path, labels, error)) << test.name;
        EXPECT_NE(error.find(test.reason), std::string::npos) << test.name << ": " << error;
        EXPECT_EQ(labels.Values(), (std::vector<int64_t>{0, 2, 5})) << test.name;
    }

    // Cut short, plain and compressed.
    NiftiContents gzip = LabelContents();
    gzip.gzip = true;
    ASSERT_TRUE(WriteNiftiFile(folder.File("whole.nii.gz"), gzip));
    for (const char* name : {"good.nii", "whole.nii.gz"}) {
        std::vector<uint8_t> file = ReadBytes(folder.File(name));
        file.resize(file.size() - 10);
        const std::string cut = folder.File(std::string("cut-") + name);
        ASSERT_TRUE(WriteBytes(cut, file));
        error.clear();
        EXPECT_FALSE(ReadLabelFile(cut, labels, error)) << name;
        EXPECT_FALSE(error.empty()) << name;
        EXPECT_EQ(labels.Frames(), 2) << name;
    }
    EXPECT_TRUE(IsLabelFileName("a/B.NII.GZ"));
    EXPECT_TRUE(IsLabelFileName("b.nii"));
    EXPECT_FALSE(IsLabelFileName("b.nii.zip"));
    EXPECT_FALSE(IsLabelFileName(".nii"));
}
