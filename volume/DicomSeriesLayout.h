#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "Affine.h"
#include "DicomImageHeader.h"
#include "SampleSource.h"

// The images of one series (or of several single-slice series taken as one
// stack) sorted into slices and frames, with the calibration they carry.
//
// Columns run along x and rows along y. The slice normal is the cross product
// of the row and column directions; images are placed along it by the
// projection of their position, ascending, and images closer than a hundredth
// of a pixel count as the same slice. Within a slice the frames follow the
// trigger time, or else the temporal position, the acquisition time or the
// instance number, whichever every image carries first.
class CDicomSeriesLayout {
public:
    // Sorts `images`. False, with `error` set, when they cannot form a volume
    // (none, colour, orientations that differ). Images of a size
    // other than the most common one are left out, and slices with more
    // frames than the shortest one lose the extra; m_notes says so.
    bool Sort(std::vector<CDicomImageHeader> images, std::string& error);

    int32_t Slices() const { return static_cast<int32_t>(m_slices.size()); }
    int32_t Frames() const { return m_slices.empty() ? 0 : static_cast<int32_t>(m_slices[0].size()); }
    int32_t Rows() const { return m_rows; }
    int32_t Columns() const { return m_columns; }

    // m_slices[z][t]: the image of slice z and frame t.
    std::vector<std::vector<CDicomImageHeader>> m_slices;
    CVolumeCalibration m_calibration;
    // Voxel to patient millimetres (RAS), when every slice has a position and
    // the images an orientation and a pixel spacing.
    std::optional<CAffine> m_transform;
    // What the user should hear about images left out or frames dropped.
    std::vector<std::string> m_notes;

    // Orientations that agree within this, component by component, are the same.
    static constexpr double kOrientationTolerance = 1e-4;
    static bool SameOrientation(const std::array<double, 6>& a, const std::array<double, 6>& b);
    // The position of an image along the normal of `orientation`.
    // The rows and columns most of `images` have (of equally common sizes the larger); 0, 0 for none.
    static std::pair<int32_t, int32_t> CommonSize(const std::vector<CDicomImageHeader>& images);
    static double PositionAlongNormal(const CDicomImageHeader& image, const std::array<double, 6>& orientation);

private:
    // Keeps the most common image size; returns the images left out.
    std::vector<CDicomImageHeader> KeepCommonSize(std::vector<CDicomImageHeader>& images);
    bool SortIntoSlices(std::vector<CDicomImageHeader>& images, std::string& error);
    void OrderFrames();
    void TrimFrames();
    void Calibrate();
    void Locate();

    int32_t m_rows = 0;
    int32_t m_columns = 0;
    // Where each slice lies along the normal; empty for a slice without geometry.
    std::vector<std::optional<double>> m_slicePositions;
};
