#include "PhantomStudy.h"

#include <nifti1.h>

#include <cstdio>
#include <filesystem>
#include <vector>

#include "CardiacPhantom.h"
#include "NiftiWriter.h"

namespace {


constexpr double kPixelSize = 1.5;  // mm, in-plane
constexpr double kSlice = 8.0;      // mm

NiftiContents Geometry(int x, int y, int z, int t) {
    NiftiContents nifti;
    nifti.gzip = true;
    nifti.SetSizes(t > 1 ? 4 : 3, x, y, z, t);
    nifti.SetPixelSizes(kPixelSize, kPixelSize, kSlice);
    nifti.pixdim[4] = 40.0;  // ms a frame
    nifti.xyztUnits = NIFTI_UNITS_MM | NIFTI_UNITS_MSEC;
    nifti.sformCode = NIFTI_XFORM_SCANNER_ANAT;
    nifti.srow[0][0] = kPixelSize;
    nifti.srow[1][1] = kPixelSize;
    nifti.srow[2][2] = kSlice;
    return nifti;
}

}  // namespace

bool WritePhantomStudy(const std::string& folder, const CCardiacPhantom& phantom) {
    const CCardiacPhantomShape& s = phantom.Shape();
    std::filesystem::create_directories(folder);
    NiftiContents cine = Geometry(s.sizeX, s.sizeY, s.sizeZ, s.frames);
    std::vector<uint16_t> values;
    values.reserve(static_cast<size_t>(s.sizeX) * s.sizeY * s.sizeZ * s.frames);
    for (int t = 0; t < s.frames; ++t)
        for (int z = 0; z < s.sizeZ; ++z)
            for (int y = 0; y < s.sizeY; ++y)
                for (int x = 0; x < s.sizeX; ++x) values.push_back(phantom.Value(x, y, z, t));
    cine.datatype = DT_UINT16;
    cine.SetValues(values);
    NiftiContents labels = Geometry(s.sizeX, s.sizeY, s.sizeZ, 1);
    std::vector<uint8_t> ed;
    for (int z = 0; z < s.sizeZ; ++z)
        for (int y = 0; y < s.sizeY; ++y)
            for (int x = 0; x < s.sizeX; ++x) ed.push_back(static_cast<uint8_t>(phantom.Label(x, y, z, 0)));
    labels.datatype = DT_UINT8;
    labels.SetValues(ed);
    if (!WriteNiftiFile(folder + "/cine.nii.gz", cine) || !WriteNiftiFile(folder + "/ed_labels.nii.gz", labels))
        return false;
    // The true blood-pool volume of every frame.
    std::FILE* truth = std::fopen((folder + "/truth.csv").c_str(), "w");
    if (truth == nullptr) return false;
    std::fprintf(truth, "frame,blood_ml\n");
    for (int t = 0; t < s.frames; ++t) {
        long voxels = 0;
        for (int z = 0; z < s.sizeZ; ++z)
            for (int y = 0; y < s.sizeY; ++y)
                for (int x = 0; x < s.sizeX; ++x) voxels += phantom.Label(x, y, z, t) == CCardiacPhantom::kBlood;
        std::fprintf(truth, "%d,%.3f\n", t, voxels * kPixelSize * kPixelSize * kSlice / 1000.0);
    }
    return std::fclose(truth) == 0;
}

