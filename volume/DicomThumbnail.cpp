#include "DicomThumbnail.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "DicomSeriesLayout.h"
#include "DicomSource.h"

namespace {

// The picture's pixels from one image's values: each the mean of the values
// its box covers, windowed over the image's range (turned over for
// MONOCHROME1, whose smallest values are the brightest).
CChoiceTable::Picture Shrink(const std::vector<double>& values, int32_t columns, int32_t rows,
                             int largestSide, bool inverted) {
    const double scale = std::min(1.0, static_cast<double>(largestSide) / std::max(columns, rows));
    CChoiceTable::Picture picture;
    picture.width = std::max(1, static_cast<int>(std::lround(columns * scale)));
    picture.height = std::max(1, static_cast<int>(std::lround(rows * scale)));
    std::vector<double> sums(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height), 0.0);
    std::vector<int32_t> counts(sums.size(), 0);
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (int32_t y = 0; y < rows; ++y) {
        const size_t outRow =
            static_cast<size_t>(int64_t{y} * picture.height / rows) * static_cast<size_t>(picture.width);
        const double* row = values.data() + static_cast<size_t>(y) * static_cast<size_t>(columns);
        for (int32_t x = 0; x < columns; ++x) {
            if (!std::isfinite(row[x])) continue;
            lowest = std::min(lowest, row[x]);
            highest = std::max(highest, row[x]);
            const size_t out = outRow + static_cast<size_t>(int64_t{x} * picture.width / columns);
            sums[out] += row[x];
            ++counts[out];
        }
    }
    picture.grey.assign(sums.size(), 0);
    if (!(highest > lowest)) return picture;
    for (size_t i = 0; i < sums.size(); ++i) {
        if (counts[i] == 0) continue;
        double level = (sums[i] / counts[i] - lowest) / (highest - lowest);
        if (inverted) level = 1.0 - level;
        picture.grey[i] = static_cast<uint8_t>(std::clamp(std::lround(level * 255.0), 0L, 255L));
    }
    return picture;
}

}  // namespace

bool CDicomThumbnail::Make(const CDicomFolder::Series& series, int largestSide,
                           CChoiceTable::Picture& picture, std::string& error,
                           const CDicomCodec* inProcessCodec) {
    if (!series.Loadable()) {
        error = series.layoutError;
        return false;
    }
    CDicomFolder::Series sorted = series;
    CDicomSeriesLayout layout;
    if (!sorted.Layout(layout, error)) return false;
    // The middle slice's first frame, decoded as the load of that one image
    // would: in a reader process, with its sign, rescale and frame.
    const CDicomImageHeader middle = layout.m_slices[layout.m_slices.size() / 2][0];
    CDicomSeriesLayout one;
    if (!one.Sort({middle}, error)) return false;
    CDicomSource source(one, inProcessCodec);
    if (!source.Prepare({}, error)) return false;
    const int64_t count = int64_t{one.Columns()} * one.Rows();
    const uint16_t* codes = source.Codes(0, count, nullptr);
    std::vector<double> values(static_cast<size_t>(count));
    for (size_t i = 0; i < values.size(); ++i) values[i] = source.ValueOfCode(codes[i]);
    picture = Shrink(values, one.Columns(), one.Rows(), std::max(1, largestSide),
                     middle.photometric == "MONOCHROME1");
    return true;
}
