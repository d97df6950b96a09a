#include "DicomSeriesLayout.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <tuple>

#include "PathUtils.h"

namespace {

// Names a few files of a list, so a message stays readable with thousands.
std::string SomeFileNames(const std::vector<CDicomImageHeader>& images) {
    std::string text;
    const size_t shown = std::min<size_t>(images.size(), 5);
    for (size_t i = 0; i < shown; ++i) text += (i ? ", " : "") + FileNameOfPath(images[i].path);
    if (images.size() > shown) text += " and " + std::to_string(images.size() - shown) + " more";
    return text;
}

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2.0;
}

bool PositiveFinite(double value) { return std::isfinite(value) && value > 0.0; }

// The time keys in the order they are tried; every image of the series must carry the one used.
using TimeKey = std::optional<double> CDicomImageHeader::*;
constexpr TimeKey kTimeKeys[] = {&CDicomImageHeader::triggerTime, &CDicomImageHeader::temporalPosition,
                                 &CDicomImageHeader::acquisitionTime, &CDicomImageHeader::instanceNumber};

double KeyOrZero(const CDicomImageHeader& image, TimeKey key) { return (image.*key).value_or(0.0); }

}  // namespace

bool CDicomSeriesLayout::SameOrientation(const std::array<double, 6>& a, const std::array<double, 6>& b) {
    for (size_t i = 0; i < a.size(); ++i)
        if (!(std::fabs(a[i] - b[i]) <= kOrientationTolerance)) return false;
    return true;
}

double CDicomSeriesLayout::PositionAlongNormal(const CDicomImageHeader& image,
                                               const std::array<double, 6>& o) {
    const double n[3] = {o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5], o[0] * o[4] - o[1] * o[3]};
    const std::array<double, 3>& p = *image.position;
    return p[0] * n[0] + p[1] * n[1] + p[2] * n[2];
}

bool CDicomSeriesLayout::Sort(std::vector<CDicomImageHeader> images, std::string& error) {
    m_slices.clear();
    m_slicePositions.clear();
    m_notes.clear();
    m_calibration = {};
    m_transform.reset();
    if (images.empty()) {
        error = "the series holds no images";
        return false;
    }
    // File order decides nothing: names are sorted so that equal keys stay in a fixed order.
    std::sort(images.begin(), images.end(), [](const CDicomImageHeader& a, const CDicomImageHeader& b) {
        return a.path != b.path ? a.path < b.path : a.frame < b.frame;
    });
    for (const CDicomImageHeader& image : images) {
        if (image.samplesPerPixel != 1 ||
            (!image.photometric.empty() && image.photometric.rfind("MONOCHROME", 0) != 0)) {
            error = FileNameOfPath(image.path) + " is a colour image (photometric interpretation " +
                    (image.photometric.empty() ? std::string("unknown") : image.photometric) +
                    "); only grey-scale images can be shown";
            return false;
        }
        if (image.rows <= 0 || image.columns <= 0) {
            error = FileNameOfPath(image.path) + " has no pixels";
            return false;
        }
    }
    const std::vector<CDicomImageHeader> leftOut = KeepCommonSize(images);
    if (!leftOut.empty())
        m_notes.push_back(std::to_string(leftOut.size()) + " images whose size is not " +
                          std::to_string(m_columns) + " x " + std::to_string(m_rows) +
                          " were left out: " + SomeFileNames(leftOut));
    if (!SortIntoSlices(images, error)) return false;
    OrderFrames();
    TrimFrames();
    Calibrate();
    Locate();
    return true;
}

std::pair<int32_t, int32_t> CDicomSeriesLayout::CommonSize(const std::vector<CDicomImageHeader>& images) {
    std::map<std::pair<int32_t, int32_t>, size_t> counts;
    for (const CDicomImageHeader& image : images) ++counts[{image.rows, image.columns}];
    if (counts.empty()) return {0, 0};
    // The size most images have; of equally common sizes the larger.
    auto best = counts.begin();
    for (auto it = counts.begin(); it != counts.end(); ++it)
        if (it->second > best->second ||
            (it->second == best->second &&
             int64_t{it->first.first} * it->first.second > int64_t{best->first.first} * best->first.second))
            best = it;
    return best->first;
}

std::vector<CDicomImageHeader> CDicomSeriesLayout::KeepCommonSize(std::vector<CDicomImageHeader>& images) {
    std::tie(m_rows, m_columns) = CommonSize(images);
    std::vector<CDicomImageHeader> kept, leftOut;
    for (CDicomImageHeader& image : images)
        (image.rows == m_rows && image.columns == m_columns ? kept : leftOut).push_back(std::move(image));
    images = std::move(kept);
    return leftOut;
}

bool CDicomSeriesLayout::SortIntoSlices(std::vector<CDicomImageHeader>& images, std::string& error) {
    std::vector<CDicomImageHeader> placed, unplaced;
    for (CDicomImageHeader& image : images) (image.HasGeometry() ? placed : unplaced).push_back(std::move(image));

    if (!placed.empty()) {
        const std::array<double, 6> orientation = *placed[0].orientation;
        for (const CDicomImageHeader& image : placed) {
            if (!SameOrientation(*image.orientation, orientation)) {
                error = "the images differ in orientation (" + FileNameOfPath(placed[0].path) + " and " +
                        FileNameOfPath(image.path) + "), so they do not form one stack of slices";
                return false;
            }
        }
        std::vector<std::pair<double, size_t>> order;
        for (size_t i = 0; i < placed.size(); ++i) {
            const double position = PositionAlongNormal(placed[i], orientation);
            if (!std::isfinite(position)) {
                error = FileNameOfPath(placed[i].path) + " has an unusable image position";
                return false;
            }
            order.emplace_back(position, i);
        }
        std::stable_sort(order.begin(), order.end(),
                         [](const auto& a, const auto& b) { return a.first < b.first; });
        double spacing = 1.0;
        if (placed[0].pixelSpacing) {
            const double smaller = std::min((*placed[0].pixelSpacing)[0], (*placed[0].pixelSpacing)[1]);
            if (PositiveFinite(smaller)) spacing = smaller;
        }
        const double tolerance = 0.01 * spacing;
        for (const auto& [position, index] : order) {
            // Measured from a slice's first image, so that a slow drift cannot chain slices together.
            if (m_slices.empty() || position - *m_slicePositions.back() > tolerance) {
                m_slices.emplace_back();
                m_slicePositions.push_back(position);
            }
            m_slices.back().push_back(std::move(placed[index]));
        }
    }
    if (!unplaced.empty() && m_slices.empty() &&
        std::all_of(unplaced.begin(), unplaced.end(),
                    [](const CDicomImageHeader& image) {
                        return image.inStackPosition && std::isfinite(*image.inStackPosition);
                    })) {
        // Frames of an enhanced image without positions: the scanner's In-Stack
        // Position Numbers give the slices and their order.
        std::stable_sort(unplaced.begin(), unplaced.end(), [](const auto& a, const auto& b) {
            return *a.inStackPosition < *b.inStackPosition;
        });
        for (CDicomImageHeader& image : unplaced) {
            if (m_slices.empty() || *m_slices.back().front().inStackPosition != *image.inStackPosition) {
                m_slices.emplace_back();
                m_slicePositions.emplace_back();
            }
            m_slices.back().push_back(std::move(image));
        }
        unplaced.clear();
    }
    if (!unplaced.empty()) {
        if (!m_slices.empty())
            m_notes.push_back(std::to_string(unplaced.size()) +
                              " images without position or orientation form the last slice: " +
                              SomeFileNames(unplaced));
        m_slices.push_back(std::move(unplaced));
        m_slicePositions.emplace_back();
    }
    return true;
}

void CDicomSeriesLayout::OrderFrames() {
    TimeKey key = &CDicomImageHeader::instanceNumber;
    for (TimeKey candidate : kTimeKeys) {
        bool everyImage = true;
        for (const auto& slice : m_slices)
            for (const CDicomImageHeader& image : slice) everyImage = everyImage && (image.*candidate).has_value();
        if (everyImage) {
            key = candidate;
            break;
        }
    }
    // Frames of an enhanced image with no time of their own follow their
    // Dimension Index Values: within a slice the indices of place agree, so
    // those left order the frames as the scanner counted them.
    bool byIndex = key == &CDicomImageHeader::instanceNumber;
    for (const auto& slice : m_slices)
        for (const CDicomImageHeader& image : slice)
            byIndex = byIndex && !image.dimensionIndex.empty() &&
                      image.dimensionIndex.size() == m_slices[0][0].dimensionIndex.size();
    // Images without any key keep their name order; the instance number settles ties.
    for (auto& slice : m_slices)
        std::stable_sort(slice.begin(), slice.end(),
                         [key, byIndex](const CDicomImageHeader& a, const CDicomImageHeader& b) {
                             if (byIndex && a.dimensionIndex != b.dimensionIndex)
                                 return a.dimensionIndex < b.dimensionIndex;
                             const double ka = KeyOrZero(a, key), kb = KeyOrZero(b, key);
                             if (ka != kb) return ka < kb;
                             return KeyOrZero(a, &CDicomImageHeader::instanceNumber) <
                                    KeyOrZero(b, &CDicomImageHeader::instanceNumber);
                         });
}

void CDicomSeriesLayout::TrimFrames() {
    size_t frames = m_slices[0].size();
    for (const auto& slice : m_slices) frames = std::min(frames, slice.size());
    std::string differing;
    for (size_t z = 0; z < m_slices.size(); ++z) {
        if (m_slices[z].size() == frames) continue;
        differing += (differing.empty() ? "" : ", ") + std::string("slice ") + std::to_string(z) + " has " +
                     std::to_string(m_slices[z].size());
        m_slices[z].resize(frames);
    }
    if (!differing.empty())
        m_notes.push_back("the slices differ in their number of frames (" + differing +
                          "); every slice keeps its first " + std::to_string(frames));
}

void CDicomSeriesLayout::Calibrate() {
    const CDicomImageHeader& first = m_slices[0][0];
    if (first.pixelSpacing) {
        // Pixel Spacing gives the row spacing (along y) first, then the column spacing (along x).
        if (PositiveFinite((*first.pixelSpacing)[1])) m_calibration.m_pixelSizeX = (*first.pixelSpacing)[1];
        if (PositiveFinite((*first.pixelSpacing)[0])) m_calibration.m_pixelSizeY = (*first.pixelSpacing)[0];
    }
    std::vector<double> gaps;
    for (size_t z = 1; z < m_slicePositions.size(); ++z)
        if (m_slicePositions[z] && m_slicePositions[z - 1]) gaps.push_back(*m_slicePositions[z] - *m_slicePositions[z - 1]);
    if (!gaps.empty()) {
        const double gap = Median(gaps);
        if (PositiveFinite(gap)) m_calibration.m_pixelSizeZ = gap;
    } else if (m_slices.size() == 1 && first.sliceThickness && PositiveFinite(*first.sliceThickness)) {
        m_calibration.m_pixelSizeZ = *first.sliceThickness;
    }
    std::vector<double> steps;
    for (const auto& slice : m_slices)
        for (size_t t = 1; t < slice.size(); ++t)
            if (slice[t].triggerTime && slice[t - 1].triggerTime)
                steps.push_back(*slice[t].triggerTime - *slice[t - 1].triggerTime);
    if (!steps.empty()) {
        const double step = std::round(Median(steps));
        if (step >= 1.0 && step <= 5000.0) m_calibration.m_frameTime = step;
    }
}

void CDicomSeriesLayout::Locate() {
    const CDicomImageHeader& first = m_slices[0][0];
    const bool placed = std::all_of(m_slicePositions.begin(), m_slicePositions.end(),
                                    [](const std::optional<double>& position) { return position.has_value(); });
    if (!placed || !first.HasGeometry() || !first.pixelSpacing) return;
    const std::array<double, 6>& o = *first.orientation;
    const std::array<double, 2>& spacing = *first.pixelSpacing;
    // In the patient's LPS frame: columns run along the row cosines, rows
    // along the column cosines; Pixel Spacing gives the distance between
    // rows first.
    double steps[3][3] = {};
    for (int r = 0; r < 3; ++r) {
        steps[0][r] = o[static_cast<size_t>(r)] * spacing[1];
        steps[1][r] = o[static_cast<size_t>(r) + 3] * spacing[0];
    }
    const std::array<double, 3>& start = *first.position;
    if (m_slices.size() > 1) {
        const std::array<double, 3>& end = *m_slices.back()[0].position;
        const double gaps = static_cast<double>(m_slices.size() - 1);
        for (int r = 0; r < 3; ++r) steps[2][r] = (end[static_cast<size_t>(r)] - start[static_cast<size_t>(r)]) / gaps;
    } else {
        const double n[3] = {o[1] * o[5] - o[2] * o[4], o[2] * o[3] - o[0] * o[5], o[0] * o[4] - o[1] * o[3]};
        const double thickness = m_calibration.m_pixelSizeZ.value_or(1.0);
        for (int r = 0; r < 3; ++r) steps[2][r] = n[r] * thickness;
    }
    // LPS to RAS: the first two rows change sign.
    CAffine::Matrix rows{};
    for (int r = 0; r < 3; ++r) {
        const double sign = r < 2 ? -1.0 : 1.0;
        for (int c = 0; c < 3; ++c) rows[r][c] = sign * steps[c][r];
        rows[r][3] = sign * start[static_cast<size_t>(r)];
    }
    for (const auto& row : rows)
        for (double value : row)
            if (!std::isfinite(value)) return;
    m_transform = CAffine(rows);
}
