#include "DicomThumbnail.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <stdexcept>

#include "DicomCodec.h"
#include "DicomSeriesLayout.h"
#include "IsolatedRun.h"
#include "PathUtils.h"

namespace {

// The picture's pixels from one frame's values: each the mean of the values
// its box covers, windowed over the frame's range (turned over for
// MONOCHROME1, whose smallest values are the brightest).
template <typename T>
CChoiceTable::Picture Shrink(const T* values, int32_t columns, int32_t rows, int largestSide, bool inverted) {
    const double scale = std::min(1.0, static_cast<double>(largestSide) / std::max(columns, rows));
    CChoiceTable::Picture picture;
    picture.width = std::max(1, static_cast<int>(std::lround(columns * scale)));
    picture.height = std::max(1, static_cast<int>(std::lround(rows * scale)));
    std::vector<double> sums(static_cast<size_t>(picture.width) * static_cast<size_t>(picture.height), 0.0);
    std::vector<int32_t> counts(sums.size(), 0);
    double lowest = std::numeric_limits<double>::infinity();
    double highest = -lowest;
    for (int32_t y = 0; y < rows; ++y) {
        const size_t outRow = static_cast<size_t>(int64_t{y} * picture.height / rows) * static_cast<size_t>(picture.width);
        const T* row = values + static_cast<size_t>(y) * static_cast<size_t>(columns);
        for (int32_t x = 0; x < columns; ++x) {
            const double value = static_cast<double>(row[x]);
            if (!std::isfinite(value)) continue;
            lowest = std::min(lowest, value);
            highest = std::max(highest, value);
            const size_t out = outRow + static_cast<size_t>(int64_t{x} * picture.width / columns);
            sums[out] += value;
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

bool CDicomThumbnail::Make(const CDicomFolder::Series& series, int largestSide, CChoiceTable::Picture& picture,
                           std::string& error, const CDicomCodec* inProcessCodec) {
    if (!series.Loadable()) {
        error = series.layoutError;
        return false;
    }
    CDicomFolder::Series sorted = series;
    CDicomSeriesLayout layout;
    if (!sorted.Layout(layout, error)) return false;
    const CDicomImageHeader& image = layout.m_slices[layout.m_slices.size() / 2][0];
    const int32_t columns = layout.Columns();
    const int32_t rows = layout.Rows();
    const bool inverted = image.photometric == "MONOCHROME1";
    largestSide = std::max(1, largestSide);

    const CDicomCodec* codec = CDicomCodec::GetOr(inProcessCodec, error);
    if (codec == nullptr) return false;
    // The reader holds the file's frames three times at up to 8 bytes a value.
    CIsolatedRun::Options options;
    options.inProcess = inProcessCodec != nullptr;
    options.childMemory = std::min<int64_t>(
        CIsolatedRun::kChildMemory,
        (int64_t{256} << 20) + 3 * 8 * int64_t{columns} * rows * std::max<int64_t>(1, image.frames));
    std::string answer;
    bool failed = false;
    const auto work = [&](int64_t) -> std::string {
        CDicomCodec::Image decoded;
        codec->Decode(image.path, columns, rows, decoded);
        if (image.frame < 0 || image.frame >= decoded.frames)
            throw std::runtime_error(" holds fewer frames than its header announces");
        if (decoded.type == EValueType::kUnknown)
            throw std::runtime_error(": pixel data of " + decoded.typeName + " values cannot be shown");
        const int64_t samples = int64_t{columns} * rows;
        const size_t valueBytes = VisitValueType(decoded.type, [](auto value) { return sizeof value; });
        CChoiceTable::Picture made;
        VisitValues(decoded.type,
                    decoded.bytes.data() + static_cast<size_t>(image.frame) * static_cast<size_t>(samples) * valueBytes,
                    samples, false, [&](const auto* values, int64_t) {
                        made = Shrink(values, columns, rows, largestSide, inverted);
                    });
        std::string bytes(2 * sizeof(int32_t), '\0');
        std::memcpy(bytes.data(), &made.width, sizeof made.width);
        std::memcpy(bytes.data() + sizeof made.width, &made.height, sizeof made.height);
        bytes.append(made.grey.begin(), made.grey.end());
        return bytes;
    };
    std::string runError;
    if (!CIsolatedRun::Run(
            0, 1, 1,
            [&](int64_t item) {
                // Appended rather than added: GCC 12 warns wrongly of overlap
                // in a literal plus a string temporary at -O2.
                std::string reply(1, '+');
                try {
                    reply += work(item);
                } catch (const std::exception& e) {
                    reply.assign(1, '-');
                    reply += FileNameOfPath(image.path);
                    reply += e.what();
                }
                return reply;
            },
            [&](int64_t, const std::string& text) { answer = text; }, [&](int64_t) { failed = true; },
            runError, options)) {
        error = runError;
        return false;
    }
    if (failed || answer.empty()) {
        error = FileNameOfPath(image.path) + " cannot be read: it is truncated or damaged";
        return false;
    }
    if (answer[0] != '+') {
        error = answer.substr(1);
        return false;
    }
    // The answer of a reader process is checked like any input.
    int32_t width = 0, height = 0;
    if (answer.size() < 1 + 2 * sizeof(int32_t)) {
        error = "the reader process answered too little";
        return false;
    }
    std::memcpy(&width, answer.data() + 1, sizeof width);
    std::memcpy(&height, answer.data() + 1 + sizeof width, sizeof height);
    const size_t pixels = answer.size() - 1 - 2 * sizeof(int32_t);
    if (width <= 0 || height <= 0 || width > largestSide || height > largestSide ||
        static_cast<size_t>(width) * static_cast<size_t>(height) != pixels) {
        error = "the reader process answered a picture of the wrong size";
        return false;
    }
    picture.width = width;
    picture.height = height;
    picture.grey.assign(answer.begin() + 1 + 2 * sizeof(int32_t), answer.end());
    return true;
}
