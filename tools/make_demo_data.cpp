// Writes the demo data set: a synthetic cine MRI of a beating left ventricle
// (heart.tvi), its segmentation as one closed tube per frame (heart.obj), and
// the same heart as a label image (heart-labels.nii.gz): 1 the myocardial
// ring, 2 the blood pool, every frame.
// With --nifti the same image is also written as a compressed NIfTI file
// (heart.nii.gz), whose companion meshes are the same heart.obj.
//
//   orvanta-make-demo OUTPUT_FOLDER [--nifti]

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "NiftiWriter.h"
#include "TviWriter.h"

namespace {

constexpr int kSizeX = 192;
constexpr int kSizeY = 192;
constexpr int kSlices = 12;
constexpr int kFrames = 20;
constexpr double kPixelSize = 1.3671875;  // mm, in x and y
constexpr double kSliceThickness = 6.0;   // mm
constexpr double kFrameTime = 55.0;       // ms
constexpr int kContourPoints = 25;        // points per slice of each mesh contour
constexpr double kPi = 3.14159265358979323846;

// Left-ventricle centre in data columns and rows.
constexpr double kCentreColumn = 104.0;
constexpr double kCentreRow = 88.0;

// 0 at end-diastole (frame 0), 1 at end-systole (mid-cycle).
double Contraction(int frame) { return 0.5 * (1.0 - std::cos(2.0 * kPi * frame / kFrames)); }

// The ventricle narrows from the base (top slice) towards the apex (slice 0).
double Taper(int slice) {
    const double fromBase = (kSlices - 0.5 - (slice + 0.5)) / (kSlices + 1.0);
    return std::sqrt(1.0 - fromBase * fromBase);
}

// Mid-wall radius and wall thickness of the myocardium, in pixels.
double MidWallRadius(int slice, int frame) { return 22.0 * (1.0 - 0.22 * Contraction(frame)) * Taper(slice); }
double WallThickness(int frame) { return 7.0 * (1.0 + 0.35 * Contraction(frame)); }

// 1 inside, 0 outside, with a 1.5-pixel soft edge, as a scanner's point
// spread blurs tissue boundaries.
double Inside(double distanceOutside) { return std::clamp(0.5 - distanceOutside / 1.5, 0.0, 1.0); }

double Ellipse(double column, double row, double cx, double cy, double rx, double ry) {
    const double dx = (column - cx) / rx, dy = (row - cy) / ry;
    return Inside((std::sqrt(dx * dx + dy * dy) - 1.0) * std::min(rx, ry));
}

double Intensity(int column, int row, int slice, int frame) {
    const double c = column, r = row;
    // Air, then the chest with smooth soft-tissue variation.
    double value = 15.0;
    const double body = Ellipse(c, r, 96, 98, 84, 68);
    const double tissue = 320.0 + 70.0 * std::sin(c / 17.0) * std::cos(r / 23.0) + 40.0 * std::sin((c + r) / 31.0);
    value += body * (tissue - value);
    // Dark lungs either side of the heart.
    const double lungs = std::max(Ellipse(c, r, 52, 92, 26, 40), Ellipse(c, r, 150, 94, 24, 38));
    value += lungs * (45.0 - value);
    // Spine at the back.
    value += Ellipse(c, r, 96, 150, 11, 9) * (700.0 - value);
    // Left ventricle: bright myocardial ring round a medium blood pool.
    const double radius = MidWallRadius(slice, frame), half = WallThickness(frame) / 2.0;
    const double distance = std::hypot(c - kCentreColumn, r - kCentreRow);
    const double pool = Inside(distance - (radius - half));
    const double ring = Inside(distance - (radius + half)) - pool;
    value += pool * (520.0 - value) + ring * (1150.0 - value);
    return value;
}

TviContents MakeVolume() {
    TviContents tvi;
    tvi.version = 2;
    tvi.sizeX = kSizeX;
    tvi.sizeY = kSizeY;
    tvi.sizeZ = kSlices;
    tvi.frames = kFrames;
    tvi.pixelSizeX = tvi.pixelSizeY = kPixelSize;
    tvi.pixelSizeZ = kSliceThickness;
    tvi.frameTime = kFrameTime;
    tvi.text1 = "Orvanta demo phantom";
    tvi.text2 = "synthetic beating left ventricle";
    tvi.Allocate();

    std::mt19937 random(20261208);
    std::normal_distribution<double> noise(0.0, 28.0);
    for (int z = 0; z < kSlices; ++z)
        for (int t = 0; t < kFrames; ++t)
            for (int y = 0; y < kSizeY; ++y)
                for (int x = 0; x < kSizeX; ++x)
                    tvi.At(x, y, z, t) = static_cast<uint16_t>(std::clamp(Intensity(x, y, z, t) + noise(random), 0.0, 65535.0));

    // A few hot voxels, as flow or fat artefacts give: without the percentile
    // window they would turn the whole picture black.
    std::uniform_int_distribution<size_t> anywhere(0, tvi.samples.size() - 1);
    std::uniform_int_distribution<int> hot(30000, 65535);
    for (int i = 0; i < 400; ++i) tvi.samples[anywhere(random)] = static_cast<uint16_t>(hot(random));
    return tvi;
}

// One object per frame: the mid-wall contour of every slice, 25 points
// counter-clockwise seen from +z, stacked from slice 0 up and joined into a
// tube whose triangles face outwards. Coordinates are millimetres in the
// volume box: data rows run against y.
bool WriteMeshes(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return false;
    const double centreX = (kCentreColumn + 0.5) * kPixelSize;
    const double centreY = (kSizeY - kCentreRow - 0.5) * kPixelSize;
    int firstVertex = 1;
    for (int t = 0; t < kFrames; ++t) {
        std::fprintf(file, "g lv-%02d\n", t);
        for (int z = 0; z < kSlices; ++z) {
            const double radius = MidWallRadius(z, t) * kPixelSize;
            for (int i = 0; i < kContourPoints; ++i) {
                const double angle = 2.0 * kPi * i / kContourPoints;
                std::fprintf(file, "v %.4f %.4f %.4f\n", centreX + radius * std::cos(angle),
                             centreY + radius * std::sin(angle), (z + 0.5) * kSliceThickness);
            }
        }
        for (int z = 0; z + 1 < kSlices; ++z) {
            for (int i = 0; i < kContourPoints; ++i) {
                const int a = firstVertex + z * kContourPoints + i;
                const int b = firstVertex + z * kContourPoints + (i + 1) % kContourPoints;
                const int c = b + kContourPoints, d = a + kContourPoints;
                std::fprintf(file, "f %d %d %d\nf %d %d %d\n", a, b, c, a, c, d);
            }
        }
        firstVertex += kSlices * kContourPoints;
    }
    return std::fclose(file) == 0;
}

// Where the demo lies in the patient: axial slices as scanners store them,
// columns running to the patient's left and rows to the back (LPS), the
// centre of the box at the scanner's origin. The image and its labels share it.
void PlaceInPatient(NiftiContents& nifti, double pixelSize, double sliceThickness, int columns, int rows,
                    int slices) {
    nifti.sformCode = 1;  // scanner coordinates
    const double steps[3] = {-pixelSize, -pixelSize, sliceThickness};
    const int sizes[3] = {columns, rows, slices};
    for (int axis = 0; axis < 3; ++axis) {
        nifti.srow[axis][axis] = steps[axis];
        nifti.srow[axis][3] = -steps[axis] * (sizes[axis] - 1) / 2.0;
    }
}

// The same samples as a NIfTI image: uint16, millimetres and milliseconds,
// voxels t-major (every slice of frame 0 first) as NIfTI stores them.
NiftiContents AsNifti(const TviContents& tvi) {
    NiftiContents nifti;
    nifti.SetSizes(4, tvi.sizeX, tvi.sizeY, tvi.sizeZ, tvi.frames);
    nifti.datatype = 512;      // DT_UINT16
    nifti.xyztUnits = 2 | 16;  // mm, ms
    nifti.pixdim[1] = tvi.pixelSizeX;
    nifti.pixdim[2] = tvi.pixelSizeY;
    nifti.pixdim[3] = tvi.pixelSizeZ;
    nifti.pixdim[4] = tvi.frameTime;
    nifti.gzip = true;
    PlaceInPatient(nifti, tvi.pixelSizeX, tvi.pixelSizeZ, tvi.sizeX, tvi.sizeY, tvi.sizeZ);
    std::vector<uint16_t> values;
    values.reserve(tvi.samples.size());
    for (int t = 0; t < tvi.frames; ++t)
        for (int z = 0; z < tvi.sizeZ; ++z)
            for (int y = 0; y < tvi.sizeY; ++y)
                for (int x = 0; x < tvi.sizeX; ++x) values.push_back(tvi.samples[tvi.IndexOf(x, y, z, t)]);
    nifti.SetValues(values);
    return nifti;
}

// The ring and the pool where the phantom's tissue is more than half of
// each, voxel index i the data column, j the data row, k the slice.
bool WriteLabels(const std::string& path) {
    NiftiContents nifti;
    nifti.SetSizes(4, kSizeX, kSizeY, kSlices, kFrames);
    nifti.datatype = 2;  // DT_UINT8
    nifti.pixdim[1] = nifti.pixdim[2] = kPixelSize;
    nifti.pixdim[3] = kSliceThickness;
    nifti.pixdim[4] = kFrameTime / 1000.0;
    nifti.xyztUnits = 2 | 8;  // mm, s
    nifti.gzip = true;
    PlaceInPatient(nifti, kPixelSize, kSliceThickness, kSizeX, kSizeY, kSlices);
    std::vector<uint8_t> labels(static_cast<size_t>(kSizeX) * kSizeY * kSlices * kFrames, 0);
    size_t i = 0;
    for (int t = 0; t < kFrames; ++t)
        for (int z = 0; z < kSlices; ++z)
            for (int y = 0; y < kSizeY; ++y)
                for (int x = 0; x < kSizeX; ++x, ++i) {
                    const double radius = MidWallRadius(z, t), half = WallThickness(t) / 2.0;
                    const double distance = std::hypot(x - kCentreColumn, y - kCentreRow);
                    if (distance < radius - half)
                        labels[i] = 2;
                    else if (distance < radius + half)
                        labels[i] = 1;
                }
    nifti.SetValues(labels);
    return WriteNiftiFile(path, nifti);
}

}  // namespace

int main(int argc, char** argv) {
    const bool nifti = argc == 3 && std::string(argv[2]) == "--nifti";
    if (argc != 2 && !nifti) {
        std::fprintf(stderr, "usage: %s OUTPUT_FOLDER [--nifti]\n", argv[0]);
        return 2;
    }
    const std::string folder = argv[1];
    const TviContents volume = MakeVolume();
    bool written = WriteTviFile(folder + "/heart.tvi", volume) && WriteMeshes(folder + "/heart.obj") &&
                   WriteLabels(folder + "/heart-labels.nii.gz");
    if (nifti) written = written && WriteNiftiFile(folder + "/heart.nii.gz", AsNifti(volume));
    if (!written) {
        std::fprintf(stderr, "%s: cannot write the demo files into %s\n", argv[0], folder.c_str());
        return 1;
    }
    std::printf("wrote %s/heart.tvi%s, %s/heart.obj and %s/heart-labels.nii.gz\n", folder.c_str(),
                nifti ? (", " + folder + "/heart.nii.gz").c_str() : "", folder.c_str(), folder.c_str());
    return 0;
}
