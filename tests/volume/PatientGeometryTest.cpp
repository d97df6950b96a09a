// Where the voxels lie in the patient: the transforms NIfTI and DICOM files
// give, their orientation codes, and label images placed by them. Every
// expected matrix is worked out by hand from the numbers written.

#include <gtest/gtest.h>
#include <nifti1.h>

#include <cmath>
#include <optional>

#include "Affine.h"
#include "DicomSeriesLayout.h"
#include "LabelImage.h"
#include "NiftiHeader.h"
#include "TempFolder.h"
#include "TestData.h"

namespace {

using Rows = std::array<std::array<double, 4>, 3>;

void ExpectRows(const std::optional<CAffine>& transform, const std::optional<Rows>& expected,
                const std::string& what, double tolerance = 1e-5) {
    ASSERT_EQ(transform.has_value(), expected.has_value()) << what;
    if (!expected) return;
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 4; ++c)
            EXPECT_NEAR(transform->Rows()[r][c], (*expected)[r][c], tolerance)
                << what << ": row " << r << ", column " << c;
}

}  // namespace

TEST(PatientGeometry, NiftiTakesTheSformThenTheQformAsTheirCodesSay) {
    TempFolder folder;
    // A 90-degree turn about z as a quaternion (a = d = sqrt(1/2)), voxels of
    // 2 x 3 x 4 mm: i steps along +y, j along -x.
    const Rows qform = {{{0, -3, 0, 10}, {2, 0, 0, 20}, {0, 0, 4, 30}}};
    const Rows sform = {{{-2, 0, 0, 100}, {0, 0, 3, -50}, {0, -4, 0, 20}}};
    const struct {
        const char* what;
        int qformCode, sformCode;
        int spaceUnit;
        std::optional<Rows> expected;
        const char* codes;
    } cases[] = {
        {"qform only", 1, 0, NIFTI_UNITS_MM, qform, "ALS"},
        {"sform only", 0, 2, NIFTI_UNITS_MM, sform, "LIA"},
        {"both: the sform wins", 1, 1, NIFTI_UNITS_MM, sform, "LIA"},
        {"neither", 0, 0, NIFTI_UNITS_MM, std::nullopt, ""},
        {"metres become millimetres", 0, 1, NIFTI_UNITS_METER,
         Rows{{{-2000, 0, 0, 100000}, {0, 0, 3000, -50000}, {0, -4000, 0, 20000}}}, "LIA"},
    };
    for (const auto& c : cases) {
        NiftiContents nifti = NiftiVolume(3, 2, 2, 1, DT_INT16, std::vector<int16_t>(12, 1));
        nifti.SetPixelSizes(2, 3, 4);
        nifti.xyztUnits = c.spaceUnit;
        nifti.qformCode = c.qformCode;
        nifti.sformCode = c.sformCode;
        nifti.quatern[2] = std::sqrt(0.5);
        nifti.qoffset[0] = 10, nifti.qoffset[1] = 20, nifti.qoffset[2] = 30;
        for (int r = 0; r < 3; ++r)
            for (int col = 0; col < 4; ++col) nifti.srow[r][col] = sform[r][col];
        ASSERT_TRUE(WriteNiftiFile(folder.File("g.nii"), nifti));
        CNiftiHeader header;
        std::string error;
        ASSERT_TRUE(header.Read(folder.File("g.nii"), error)) << error;
        ExpectRows(header.m_transform, c.expected, c.what, c.spaceUnit == NIFTI_UNITS_METER ? 1e-2 : 1e-5);
        EXPECT_EQ(header.m_transform ? header.m_transform->AxisCodes() : "", c.codes) << c.what;
    }
}

TEST(PatientGeometry, AnObliqueDicomSeriesStoredBackwardsStepsFromItsFirstSlice) {
    // Rows run along (0.8, 0.6, 0), columns down (0, 0, -1); the normal is
    // (-0.6, 0.8, 0). Slices lie 5 mm apart along it from (10, -20, 30); the
    // files name them last first.
    std::vector<CDicomImageHeader> images;
    for (int k = 0; k < 3; ++k) {
        CDicomImageHeader image;
        image.path = "/scan/im" + std::to_string(2 - k);
        image.rows = 4;
        image.columns = 5;
        image.instanceNumber = 3 - k;
        image.orientation = std::array<double, 6>{0.8, 0.6, 0, 0, 0, -1};
        image.position = std::array<double, 3>{10 - 3.0 * k, -20 + 4.0 * k, 30};
        image.pixelSpacing = std::array<double, 2>{2.0, 1.5};
        images.push_back(image);
    }
    CDicomSeriesLayout layout;
    std::string error;
    ASSERT_TRUE(layout.Sort(images, error)) << error;
    EXPECT_EQ(layout.m_slices[0][0].path, "/scan/im2");
    // LPS steps: x (0.8, 0.6, 0) * 1.5, y (0, 0, -1) * 2, z (-3, 4, 0); then
    // the first two rows change sign.
    ExpectRows(layout.m_transform, Rows{{{-1.2, 0, 3, -10}, {-0.9, 0, -4, 20}, {0, -2, 0, 30}}}, "oblique");
    EXPECT_EQ(layout.m_transform->AxisCodes(), "LIP");

    // Without a position on every slice there is no geometry.
    images[1].position.reset();
    images[1].orientation.reset();
    ASSERT_TRUE(layout.Sort(images, error)) << error;
    EXPECT_FALSE(layout.m_transform);
}

TEST(PatientGeometry, DirectionLettersNameTheMainAxisAndAnObliqueOne) {
    const struct {
        CAffine::Vector direction;
        const char* letters;
    } cases[] = {
        {{1, 0, 0}, "R"},        {{-1, 0, 0}, "L"},       {{0, 2, 0}, "A"},
        {{0, -1, 0}, "P"},       {{0, 0, 3}, "S"},        {{0, 0, -1}, "I"},
        {{0.9, 0, 0.45}, "R"},   // 26.6 degrees off x: one letter
        {{0.8, 0, -0.6}, "RI"},  // 36.9 degrees: the next axis too
        {{0, -0.5, 0.5}, "PS"},  // 45 degrees, a tie: y first
        {{0, 0, 0}, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CAffine::DirectionLetters(c.direction), c.letters)
            << c.direction[0] << ", " << c.direction[1] << ", " << c.direction[2];
}

TEST(PatientGeometry, LabelsLandOnlyOnTheVoxelsOfTheGrid) {
    // A 4 x 3 x 2 grid; the labels are given with their axes as stated, and
    // voxel (a, b, c) of the labels holds 1 + a + 10 b + 100 c.
    const int grid[3] = {4, 3, 2};
    const struct {
        const char* what;
        int size[3];           // the label image's own sizes
        CAffine::Matrix toGrid;  // its voxels to the grid's
        bool lands;
    } cases[] = {
        {"rows flipped, as converters write them", {4, 3, 2},
         {{{1, 0, 0, 0}, {0, -1, 0, 2}, {0, 0, 1, 0}}}, true},
        {"x and y swapped, then x flipped", {3, 4, 2}, {{{0, 1, 0, 0}, {-1, 0, 0, 2}, {0, 0, 1, 0}}}, true},
        {"turned by 30 degrees", {4, 3, 2}, {{{0.866, -0.5, 0, 0}, {0.5, 0.866, 0, 0}, {0, 0, 1, 0}}}, false},
        {"shifted by half a voxel", {4, 3, 2}, {{{1, 0, 0, 0.5}, {0, 1, 0, 0}, {0, 0, 1, 0}}}, false},
        {"another spacing", {4, 3, 2}, {{{1.01, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}}, false},
        {"sizes that do not match", {4, 3, 1}, {{{1, 0, 0, 0}, {0, 1, 0, 0}, {0, 0, 1, 0}}}, false},
    };
    for (const auto& c : cases) {
        std::vector<uint16_t> values;
        for (int z = 0; z < c.size[2]; ++z)
            for (int y = 0; y < c.size[1]; ++y)
                for (int x = 0; x < c.size[0]; ++x) values.push_back(static_cast<uint16_t>(1 + x + 10 * y + 100 * z));
        CLabelImage labels;
        std::string error;
        ASSERT_TRUE(labels.Assign(values.data(), c.size[0], c.size[1], c.size[2], 1, error)) << error;
        const CAffine toGrid(c.toGrid);
        ASSERT_EQ(labels.PlaceOnGrid(toGrid, grid), c.lands) << c.what;
        if (!c.lands) {
            EXPECT_EQ(labels.SizeX(), c.size[0]) << c.what << ": nothing changes";
            continue;
        }
        ASSERT_EQ(labels.SizeX(), grid[0]);
        // Every label voxel is found where the matrix takes it.
        const uint8_t* placed = labels.FrameVoxels(0);
        for (int z = 0; z < c.size[2]; ++z)
            for (int y = 0; y < c.size[1]; ++y)
                for (int x = 0; x < c.size[0]; ++x) {
                    const CAffine::Vector to = toGrid.Apply({double(x), double(y), double(z)});
                    const size_t index = static_cast<size_t>(
                        (std::lround(to[2]) * grid[1] + std::lround(to[1])) * grid[0] + std::lround(to[0]));
                    EXPECT_EQ(labels.Values()[placed[index]], 1 + x + 10 * y + 100 * z)
                        << c.what << ": label voxel " << x << ", " << y << ", " << z;
                }
    }
}
