#include <gtest/gtest.h>
#include <nifti2_io.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "LabelFile.h"
#include "TempFolder.h"
#include "TestData.h"

namespace {

// The file's 3 x 4 x 2 voxels land on a 4 x 3 x 2 grid as (y, 2 - x, 1 - z):
// its x and y axes swapped, and two of them flipped.
const int kGrid[3] = {4, 3, 2};
const CAffine kToGrid(CAffine::Matrix{{{0, 1, 0, 0}, {-1, 0, 0, 2}, {0, 0, -1, 1}}});

// The labels of voxel i of the file: 2 on every third voxel, else 0.
std::vector<double> FileLabels(int frames) {
    std::vector<double> labels(static_cast<size_t>(24 * frames), 0.0);
    for (size_t i = 0; i < labels.size(); i += 3) labels[i] = 2;
    return labels;
}

// A label file of `datatype` stored through scl_slope `slope`, placed and oriented
// as a segmentation tool writes them.
NiftiContents LabelFileContents(int datatype, int frames, double slope = 0.0) {
    NiftiContents c;
    c.SetSizes(frames > 1 ? 4 : 3, 3, 4, 2, frames);
    std::vector<double> stored = FileLabels(frames);
    for (double& v : stored) v /= slope != 0.0 ? slope : 1.0;
    c.SetValuesAs(datatype, stored);
    c.slope = slope;
    c.SetPixelSizes(0.8, 0.9, 3.0);
    c.pixdim[0] = -1.0;
    c.pixdim[4] = 40.0;
    c.descrip = "segmented by hand";
    c.intentCode = NIFTI_INTENT_LABEL;
    c.qformCode = NIFTI_XFORM_SCANNER_ANAT;
    c.quatern[0] = 0.5, c.quatern[1] = -0.5, c.quatern[2] = 0.5;
    c.qoffset[0] = 10.0, c.qoffset[1] = -20.5, c.qoffset[2] = 30.25;
    c.sformCode = NIFTI_XFORM_ALIGNED_ANAT;
    const double srow[3][4] = {{0, 0.9, 0, -5}, {-0.8, 0, 0, 7}, {0, 0, -3, 12.5}};
    std::memcpy(c.srow, srow, sizeof srow);
    return c;
}

using NiftiPointer = std::unique_ptr<nifti_image, decltype(&nifti_image_free)>;

NiftiPointer ReadNiftiHeader(const std::string& path) {
    return NiftiPointer(nifti_image_read(path.c_str(), 0), nifti_image_free);
}

// Every header field as the NIfTI library reads it, one a line, without the file's names.
std::string HeaderText(const std::string& path) {
    const NiftiPointer image = ReadNiftiHeader(path);
    if (!image) {
        ADD_FAILURE() << "the NIfTI library cannot read " << path;
        return {};
    }
    char* text = nifti_image_to_ascii(image.get());
    std::istringstream lines(text);
    std::free(text);
    // The text names NIfTI-2 files as NIfTI-1 ones.
    std::string kept = std::string("version ") + std::to_string(image->nifti_type) + "\n", line;
    while (std::getline(lines, line))
        if (line.find("name") == std::string::npos) kept += line + "\n";
    return kept;
}

// The label of every voxel of the file at `path`, in the file's order.
std::vector<double> LabelsInFile(const std::string& path) {
    CLabelImage labels;
    std::string error;
    EXPECT_TRUE(ReadLabelFile(path, labels, error)) << error;
    std::vector<double> out;
    for (int t = 0; t < labels.Frames(); ++t)
        for (int i = 0; i < 24; ++i)
            out.push_back(static_cast<double>(labels.Values()[labels.FrameVoxels(t)[i]]));
    return out;
}

// Reads `path` with what is needed to write it back, and places it on the grid.
void ReadAndPlace(const std::string& path, CLabelImage& labels, CLabelFileOrigin& origin) {
    std::string error;
    ASSERT_TRUE(ReadLabelFile(path, labels, origin, error)) << error;
    ASSERT_TRUE(labels.PlaceOnGrid(kToGrid, kGrid));
}

// Paints file voxel `i` of `frame` with `value` where it lies on the grid.
bool Paint(CLabelImage& labels, int i, int frame, int64_t value) {
    const CAffine::Vector at = kToGrid.Apply({double(i % 3), double(i / 3 % 4), double(i / 12)});
    std::string error;
    return labels.SetLabel(static_cast<int>(at[0]), static_cast<int>(at[1]), static_cast<int>(at[2]), frame,
                           value, error);
}

}  // namespace

// Edited on the volume's grid and saved, a label file keeps its header, its
// form and its voxel order, and the edits land on the file voxels painted.
TEST(LabelSave, WritesEditsBackInTheFilesOwnForm) {
    struct Case {
        const char* name;
        NiftiContents contents;
    };
    NiftiContents version2 = LabelFileContents(DT_UINT8, 2);
    version2.version = 2;
    version2.gzip = true;
    NiftiContents swapped = LabelFileContents(DT_INT32, 1, 0.5);
    swapped.swapped = true;
    NiftiContents gzipFloats = LabelFileContents(DT_FLOAT32, 1);
    gzipFloats.gzip = true;
    const Case cases[] = {
        {"NIfTI-1 int16", LabelFileContents(DT_INT16, 1)},
        {"NIfTI-2 uint8, 4-D, gzip", version2},
        {"other byte order, int32 scaled by 0.5", swapped},
        {"float32, gzip", gzipFloats},
    };
    TempFolder folder;
    for (const Case& test : cases) {
        const std::string name = test.contents.gzip ? "l.nii.gz" : "l.nii";
        const std::string path = folder.File(name), original = folder.File(std::string("original-") + name);
        ASSERT_TRUE(WriteNiftiFile(path, test.contents) && WriteNiftiFile(original, test.contents))
            << test.name;
        CLabelImage labels;
        CLabelFileOrigin origin;
        ReadAndPlace(path, labels, origin);
        // Saved unedited, a plain file comes back byte for byte.
        const std::string unedited = folder.File("unedited.nii");
        std::string note, error;
        ASSERT_TRUE(WriteLabelFileAsRead(unedited, labels, origin, note, error))
            << test.name << ": " << error;
        if (!test.contents.gzip) {
            EXPECT_EQ(ReadBytes(unedited), ReadBytes(original)) << test.name;
        }
        const int frames = static_cast<int>(test.contents.dim[4]);
        std::vector<double> expected = FileLabels(frames);
        ASSERT_TRUE(Paint(labels, 23, frames - 1, 7) && Paint(labels, 1, 0, 5) && Paint(labels, 3, 0, 0));
        expected[static_cast<size_t>(24 * (frames - 1) + 23)] = 7;
        expected[1] = 5;
        expected[3] = 0;

        ASSERT_TRUE(WriteLabelFileAsRead(path, labels, origin, note, error)) << test.name << ": " << error;
        EXPECT_TRUE(note.empty()) << test.name << ": " << note;
        const std::vector<uint8_t> bytes = ReadBytes(path);
        EXPECT_EQ(bytes.size() > 2 && bytes[0] == 0x1f && bytes[1] == 0x8b, test.contents.gzip) << test.name;
        EXPECT_EQ(HeaderText(path), HeaderText(original)) << test.name;
        EXPECT_EQ(LabelsInFile(path), expected) << test.name;
    }
}

// Labels that no longer fit the file's type widen it to the smallest integer
// type that holds them, with a note; labels its scaling cannot store are refused.
TEST(LabelSave, WidensTheTypeOnlyWhenALabelDoesNotFit) {
    const struct {
        const char* name;
        int datatype;
        double slope;
        int64_t painted;
        int savedAs;  // 0: refused
    } cases[] = {
        {"uint8 keeps 255", DT_UINT8, 0, 255, DT_UINT8},
        {"uint8 takes 300", DT_UINT8, 0, 300, DT_UINT16},
        {"int8 takes 200", DT_INT8, 0, 200, DT_UINT8},
        {"int16 takes 40000", DT_INT16, 0, 40000, DT_UINT16},
        {"uint8 by 2 takes 600", DT_UINT8, 2, 600, DT_UINT16},
        {"uint8 by 2 refuses 7", DT_UINT8, 2, 7, 0},
    };
    TempFolder folder;
    const std::string path = folder.File("l.nii");
    for (const auto& test : cases) {
        ASSERT_TRUE(WriteNiftiFile(path, LabelFileContents(test.datatype, 1, test.slope))) << test.name;
        const std::vector<uint8_t> before = ReadBytes(path);
        CLabelImage labels;
        CLabelFileOrigin origin;
        ReadAndPlace(path, labels, origin);
        ASSERT_TRUE(Paint(labels, 5, 0, test.painted)) << test.name;
        std::string note, error;
        ASSERT_EQ(WriteLabelFileAsRead(path, labels, origin, note, error), test.savedAs != 0)
            << test.name << error;
        if (test.savedAs == 0) {
            EXPECT_NE(error.find("scaling"), std::string::npos) << test.name << ": " << error;
            EXPECT_EQ(ReadBytes(path), before) << test.name;
            continue;
        }
        EXPECT_EQ(note.empty(), test.savedAs == test.datatype) << test.name << ": " << note;
        const NiftiPointer saved = ReadNiftiHeader(path);
        ASSERT_TRUE(saved) << test.name;
        EXPECT_EQ(saved->datatype, test.savedAs) << test.name;
        EXPECT_EQ(saved->scl_slope, static_cast<float>(test.slope)) << test.name;
        EXPECT_EQ(LabelsInFile(path)[5], static_cast<double>(test.painted)) << test.name;
    }
}

// A save that cannot be completed says why and leaves the file as it was, with nothing beside it.
TEST(LabelSave, AFailedSaveKeepsTheOldFile) {
    TempFolder folder;
    const std::string path = folder.File("l.nii");
    const std::string other = folder.File("other.nii");
    NiftiContents smaller = LabelFileContents(DT_INT16, 1);
    smaller.SetSizes(3, 3, 4, 1, 1);
    smaller.data.resize(24);
    ASSERT_TRUE(WriteNiftiFile(path, LabelFileContents(DT_INT16, 1)) && WriteNiftiFile(other, smaller));
    const std::vector<uint8_t> before = ReadBytes(path);
    const std::vector<std::string> entries = FolderEntries(folder.Path());
    rlimit limit{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const struct {
        const char* name;
        const char* labelsFrom;
        std::function<void()> block, unblock;
    } cases[] = {
        {"another grid", "other.nii", [] {}, [] {}},
        {"the file cannot grow past its header", "l.nii",
         [&] {
             signal(SIGXFSZ, SIG_IGN);
             const rlimit small{360, limit.rlim_max};
             setrlimit(RLIMIT_FSIZE, &small);
         },
         [&] { setrlimit(RLIMIT_FSIZE, &limit); }},
        {"read-only folder", "l.nii", [&] { chmod(folder.Path().c_str(), 0500); },
         [&] { chmod(folder.Path().c_str(), 0700); }},
    };
    for (const auto& test : cases) {
        if (geteuid() == 0 && std::strcmp(test.name, "read-only folder") == 0)
            continue;  // root writes anyway
        CLabelImage labels, edited;
        CLabelFileOrigin origin, otherOrigin;
        std::string note, error;
        ASSERT_TRUE(ReadLabelFile(path, labels, origin, error));
        ASSERT_TRUE(ReadLabelFile(folder.File(test.labelsFrom), edited, otherOrigin, error)) << test.name;
        ASSERT_TRUE(edited.SetLabel(1, 1, 0, 0, 9, error));
        test.block();
        const bool written = WriteLabelFileAsRead(path, edited, origin, note, error);
        test.unblock();
        EXPECT_FALSE(written) << test.name;
        EXPECT_FALSE(error.empty()) << test.name;
        EXPECT_EQ(ReadBytes(path), before) << test.name;
        EXPECT_EQ(FolderEntries(folder.Path()), entries) << test.name;
    }
}

// A label image made from nothing is written in its own order as uint8, or
// uint16 once a label passes 255, placed where the volume lies.
TEST(LabelSave, WritesANewLabelImageOnTheVolumesPlacement) {
    TempFolder folder;
    const CAffine transform(CAffine::Matrix{{{0, 0.9, 0, -5}, {-0.8, 0, 0, 7}, {0, 0, -3, 12.5}}});
    const double pixelSize[3] = {0.8, 0.9, 3.0};
    for (const int64_t painted : {255, 256}) {
        std::vector<uint8_t> zeros(24, 0);
        CLabelImage labels;
        std::string error;
        ASSERT_TRUE(labels.Assign(zeros.data(), 3, 4, 2, 1, error) &&
                    labels.SetLabel(2, 1, 1, 0, painted, error));
        const std::string path = folder.File("new.nii.gz");
        ASSERT_TRUE(WriteNewLabelFile(path, labels, transform, pixelSize, error)) << error;
        const NiftiPointer saved = ReadNiftiHeader(path);
        ASSERT_TRUE(saved);
        EXPECT_EQ(saved->datatype, painted > 255 ? DT_UINT16 : DT_UINT8);
        CLabelImage read;
        ASSERT_TRUE(ReadLabelFile(path, read, error)) << error;
        ASSERT_TRUE(read.m_transform);
        for (int r = 0; r < 3; ++r)
            for (int c = 0; c < 4; ++c)
                EXPECT_NEAR(read.m_transform->Rows()[r][c], transform.Rows()[r][c], 1e-5);
        std::vector<double> expected(24, 0.0);
        expected[2 + 3 + 12] = static_cast<double>(painted);
        EXPECT_EQ(LabelsInFile(path), expected);
    }
}

// However often the labels are placed anew, their slices as assigned come back in the file's order.
TEST(LabelSave, AssignedSlicesUndoEveryPlacement) {
    std::vector<uint8_t> values(24);
    for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<uint8_t>(i + 1);
    CLabelImage labels;
    std::string error;
    ASSERT_TRUE(labels.Assign(values.data(), 3, 4, 2, 1, error)) << error;
    const CAffine flipX(CAffine::Matrix{{{-1, 0, 0, 3}, {0, 1, 0, 0}, {0, 0, 1, 0}}});
    const CAffine swapYZ(CAffine::Matrix{{{1, 0, 0, 0}, {0, 0, 1, 0}, {0, 1, 0, 0}}});
    const int swapped[3] = {4, 2, 3};
    ASSERT_TRUE(labels.PlaceOnGrid(kToGrid, kGrid) && labels.PlaceOnGrid(flipX, kGrid) &&
                labels.PlaceOnGrid(swapYZ, swapped));
    std::vector<double> slices(24);
    std::vector<uint8_t> slice(12);
    for (int k = 0; k < 2; ++k) {
        ASSERT_TRUE(labels.AssignedSlice(k, 0, slice.data()));
        for (int i = 0; i < 12; ++i)
            slices[static_cast<size_t>(12 * k + i)] = double(labels.Values()[slice[i]]);
    }
    EXPECT_EQ(std::vector<double>(values.begin(), values.end()), slices);
    EXPECT_FALSE(labels.AssignedSlice(2, 0, slice.data()));
}

// Painting refuses voxels outside, values that are no labels and a label too many, changing nothing.
TEST(LabelSave, PaintingRefusesWhatNoLabelImageHolds) {
    std::vector<uint8_t> values(300);
    for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<uint8_t>(i % 255 + 1);
    const struct {
        int x, frame;
        int64_t value;
        const char* reason;
    } cases[] = {{300, 0, 1, "outside"},
                 {0, 1, 1, "outside"},
                 {0, 0, -1, "not a label"},
                 {0, 0, 65536, "not a label"},
                 {0, 0, 256, "255 different labels"}};
    for (const auto& test : cases) {
        CLabelImage labels;
        std::string error;
        ASSERT_TRUE(labels.Assign(values.data(), 300, 1, 1, 1, error)) << error;
        EXPECT_FALSE(labels.SetLabel(test.x, 0, 0, test.frame, test.value, error)) << test.reason;
        EXPECT_NE(error.find(test.reason), std::string::npos) << error;
        EXPECT_EQ(labels.Values().size(), 256u) << test.reason;
        EXPECT_EQ(labels.VoxelCount(0, 1), 2) << test.reason;
    }
}
