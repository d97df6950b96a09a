// Volumes and label images written as NIfTI and read back through libnifti:
// the values in the file's units, the type chosen for them, and where the
// voxels lie.

#include "NiftiExport.h"

#include <gtest/gtest.h>
#include <nifti2_io.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <memory>

#include "LabelImage.h"
#include "TempFolder.h"
#include "TestData.h"
#include "TimeVolume.h"

namespace {

struct NiftiImageDeleter {
    void operator()(nifti_image* image) const { nifti_image_free(image); }
};
using NiftiImagePtr = std::unique_ptr<nifti_image, NiftiImageDeleter>;

// Voxel `i` (file order) of a read image, scaled as its header says.
double ValueOf(const nifti_image& image, int64_t i) {
    double raw = 0;
    switch (image.datatype) {
        case NIFTI_TYPE_UINT8: raw = static_cast<const uint8_t*>(image.data)[i]; break;
        case NIFTI_TYPE_INT16: raw = static_cast<const int16_t*>(image.data)[i]; break;
        case NIFTI_TYPE_UINT16: raw = static_cast<const uint16_t*>(image.data)[i]; break;
        case NIFTI_TYPE_INT32: raw = static_cast<const int32_t*>(image.data)[i]; break;
        case NIFTI_TYPE_FLOAT32: raw = static_cast<const float*>(image.data)[i]; break;
        default: ADD_FAILURE() << "datatype " << image.datatype; break;
    }
    return image.scl_slope != 0 ? raw * image.scl_slope + image.scl_inter : raw;
}

}  // namespace

TEST(NiftiExport, VolumesComeBackWithTheirValuesInTheSmallestTypeAndTheirPlace) {
    TempFolder folder;
    constexpr int kX = 5, kY = 4, kZ = 3, kT = 2;
    const auto step = [](int i, int j, int k, int t) { return i + 5 * j + 20 * k + 60 * t; };  // 0 to 119
    struct Case {
        const char* what;
        int datatype;  // of the file read; 0 for a .tvi
        double slope, intercept;
        std::function<double(int, int, int, int)> stored;
        int written;  // the type the export chooses
        std::function<double(int, int, int, int)> value;
    };
    const Case cases[] = {
        {"bytes", DT_INT16, 0, 0, [&](int i, int j, int k, int t) { return step(i, j, k, t); }, NIFTI_TYPE_UINT8,
         [&](int i, int j, int k, int t) { return step(i, j, k, t); }},
        {"int16 with a slope", DT_INT16, 0.5, -10, [&](int i, int j, int k, int t) { return step(i, j, k, t) - 60; },
         NIFTI_TYPE_FLOAT32, [&](int i, int j, int k, int t) { return (step(i, j, k, t) - 60) * 0.5 - 10; }},
        {"int16 scaled to whole numbers", DT_INT16, 600, 0,
         [&](int i, int j, int k, int t) { return step(i, j, k, t) - 60; }, NIFTI_TYPE_INT32,
         [&](int i, int j, int k, int t) { return (step(i, j, k, t) - 60) * 600.0; }},
        {"float32", DT_FLOAT32, 0, 0, [&](int i, int j, int k, int t) { return std::sin(step(i, j, k, t)) * 7.0; },
         NIFTI_TYPE_FLOAT32, [&](int i, int j, int k, int t) { return double(float(std::sin(step(i, j, k, t)) * 7.0)); }},
        {"tvi samples above int16", 0, 0, 0, [&](int i, int j, int k, int t) { return 65535 - 300 * step(i, j, k, t); },
         NIFTI_TYPE_UINT16, [&](int i, int j, int k, int t) { return 65535 - 300 * step(i, j, k, t); }},
    };
    // 2 x 3 x 4 mm voxels, turned 90 degrees about z and shifted.
    const CAffine placed(CAffine::Matrix{{{0, -3, 0, 10}, {2, 0, 0, -20}, {0, 0, 4, 30}, {0, 0, 0, 1}}});
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string source;
        double smallest = HUGE_VAL, largest = -HUGE_VAL;
        for (int t = 0; t < kT; ++t)
            for (int k = 0; k < kZ; ++k)
                for (int j = 0; j < kY; ++j)
                    for (int i = 0; i < kX; ++i) {
                        smallest = std::min(smallest, c.value(i, j, k, t));
                        largest = std::max(largest, c.value(i, j, k, t));
                    }
        if (c.datatype == 0) {
            source = folder.File("in.tvi");
            ASSERT_TRUE(WriteTviFile(source, TviVolume(kX, kY, kZ, kT, [&](int i, int j, int k, int t) {
                                         return static_cast<uint16_t>(c.stored(i, j, k, t));
                                     })));
        } else {
            std::vector<double> stored;
            for (int t = 0; t < kT; ++t)
                for (int k = 0; k < kZ; ++k)
                    for (int j = 0; j < kY; ++j)
                        for (int i = 0; i < kX; ++i) stored.push_back(c.stored(i, j, k, t));
            NiftiContents nifti;
            nifti.SetSizes(4, kX, kY, kZ, kT);
            nifti.SetValuesAs(c.datatype, stored);
            nifti.slope = c.slope;
            nifti.intercept = c.intercept;
            source = folder.File("in.nii");
            ASSERT_TRUE(WriteNiftiFile(source, nifti));
        }
        CTimeVolume volume;
        ASSERT_TRUE(volume.LoadFile(source, 1.0)) << volume.LastError();

        for (const char* name : {"out.nii", "out.nii.gz"}) {
            SCOPED_TRACE(name);
            const std::string path = folder.File(name);
            CNiftiExport::CPlacement placement;
            placement.transform = placed;
            placement.frameTimeMs = 42.5;
            std::string error;
            ASSERT_TRUE(CNiftiExport::WriteVolume(volume, placement, path, error)) << error;
            const NiftiImagePtr image(nifti_image_read(path.c_str(), 1));
            ASSERT_TRUE(image);
            EXPECT_EQ(image->datatype, c.written);
            EXPECT_EQ(image->nx, kX);
            EXPECT_EQ(image->ny, kY);
            EXPECT_EQ(image->nz, kZ);
            EXPECT_EQ(image->nt, kT);
            EXPECT_FLOAT_EQ(image->dt, 42.5);
            EXPECT_EQ(image->time_units, NIFTI_UNITS_MSEC);
            EXPECT_EQ(image->xyz_units, NIFTI_UNITS_MM);
            EXPECT_EQ(image->sform_code, NIFTI_XFORM_SCANNER_ANAT);
            EXPECT_EQ(image->qform_code, NIFTI_XFORM_SCANNER_ANAT);
            for (int r = 0; r < 3; ++r)
                for (int col = 0; col < 4; ++col) {
                    EXPECT_NEAR(image->sto_xyz.m[r][col], placed.Rows()[r][col], 1e-5) << r << ", " << col;
                    EXPECT_NEAR(image->qto_xyz.m[r][col], placed.Rows()[r][col], 1e-4) << r << ", " << col;
                }
            // Whole numbers exactly; real ones within a step of the codes they were kept as.
            const double tolerance = c.written == NIFTI_TYPE_FLOAT32 ? (largest - smallest) / 65535 : 0.0;
            int wrong = 0;
            int64_t at = 0;
            for (int t = 0; t < kT; ++t)
                for (int k = 0; k < kZ; ++k)
                    for (int j = 0; j < kY; ++j)
                        for (int i = 0; i < kX; ++i, ++at)
                            if (std::abs(ValueOf(*image, at) - c.value(i, j, k, t)) > tolerance && wrong++ == 0)
                                ADD_FAILURE() << "voxel " << i << ", " << j << ", " << k << ", frame " << t << ": "
                                              << ValueOf(*image, at) << " instead of " << c.value(i, j, k, t);
            EXPECT_EQ(wrong, 0);
        }
    }
}

TEST(NiftiExport, LabelImagesKeepTheirLabelsAndAFailedWriteKeepsTheOldFile) {
    TempFolder folder;
    for (const int largest : {7, 300}) {
        SCOPED_TRACE(largest);
        std::vector<int> values = {0, 1, largest, 0, 1, 1, largest, 0, 0, 1, 0, largest};  // 3 x 2 x 1 x 2
        CLabelImage labels;
        std::string error;
        ASSERT_TRUE(labels.Assign(values.data(), 3, 2, 1, 2, error)) << error;
        const std::string path = folder.File("labels.nii");
        ASSERT_TRUE(CNiftiExport::WriteLabels(labels, {}, path, error)) << error;
        const NiftiImagePtr image(nifti_image_read(path.c_str(), 1));
        ASSERT_TRUE(image);
        EXPECT_EQ(image->datatype, largest <= 255 ? NIFTI_TYPE_UINT8 : NIFTI_TYPE_UINT16);
        EXPECT_EQ(image->sform_code, 0);
        EXPECT_EQ(image->nt, 2);
        for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(ValueOf(*image, int64_t(i)), values[i]) << i;
    }

    // A folder in the way of the target: nothing is written, the folder stays
    // and no temporary file is left; a missing folder fails with its reason.
    CLabelImage labels;
    std::string error;
    const std::vector<int> one = {1};
    ASSERT_TRUE(labels.Assign(one.data(), 1, 1, 1, 1, error));
    std::filesystem::create_directory(folder.File("taken.nii"));
    EXPECT_FALSE(CNiftiExport::WriteLabels(labels, {}, folder.File("taken.nii"), error));
    EXPECT_NE(error.find("taken.nii"), std::string::npos) << error;
    EXPECT_TRUE(std::filesystem::is_directory(folder.File("taken.nii")));
    EXPECT_FALSE(CNiftiExport::WriteLabels(labels, {}, folder.File("missing/labels.nii"), error));
    EXPECT_NE(error.find("No such file"), std::string::npos) << error;
    int files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(folder.File(""))) ++files;
    EXPECT_EQ(files, 2);  // labels.nii and the folder
}
