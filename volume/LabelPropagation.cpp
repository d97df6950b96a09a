#include "LabelPropagation.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <exception>
#include <limits>
#include <string>
#include <vector>

#include "LabelImage.h"
#include "TimeVolume.h"

namespace {

// The share of voxels left out at either end of the value range when the
// slices are scaled to 8 bits, so that a few very bright voxels (vessels,
// artefacts) do not leave the tissue a handful of grey levels.
constexpr double kClipFraction = 0.005;
constexpr int kRangeBins = 4096;
// A result carried over k frames weighs 1 / k^kWeightPower: errors of the
// registration add up step by step, so the nearer reference is trusted more.
constexpr double kWeightPower = 1.0;

struct CValueRange {
    double low = 0.0;
    double high = 0.0;
};

double ValueAt(const CSliceValues& slice, int64_t at) {
    const uint16_t code = slice.Code(at);
    return slice.valueOfCode != nullptr ? slice.valueOfCode[code] : static_cast<double>(code);
}

// Calls visit(value) for every voxel of every slice and frame.
template <typename Visit>
void ForEachValue(const CTimeVolume& volume, Visit&& visit) {
    for (int z = 0; z < volume.SizeZ(); ++z)
        for (int t = 0; t < volume.Frames(); ++t) {
            const CSliceValues& slice = volume.SliceValues(z, t);
            const int64_t count = int64_t{slice.width} * slice.height;
            for (int64_t at = 0; at < count; ++at) {
                const double value = ValueAt(slice, at);
                if (std::isfinite(value)) visit(value);
            }
        }
}

// The values that become grey levels 0 and 255 in every slice and frame
// alike, so that the same tissue has the same grey level in each frame.
CValueRange RobustRange(const CTimeVolume& volume) {
    double low = std::numeric_limits<double>::infinity(), high = -low;
    ForEachValue(volume, [&](double value) {
        low = std::min(low, value);
        high = std::max(high, value);
    });
    if (!(high > low)) return {0.0, 0.0};
    std::vector<int64_t> bins(kRangeBins, 0);
    const double scale = kRangeBins / (high - low);
    int64_t total = 0;
    ForEachValue(volume, [&](double value) {
        ++bins[static_cast<size_t>(std::min<double>((value - low) * scale, kRangeBins - 1))];
        ++total;
    });
    const auto clipped = static_cast<int64_t>(kClipFraction * static_cast<double>(total));
    int first = 0, last = kRangeBins - 1;
    for (int64_t seen = 0; first < kRangeBins - 1 && (seen += bins[static_cast<size_t>(first)]) <= clipped;)
        ++first;
    for (int64_t seen = 0; last > 0 && (seen += bins[static_cast<size_t>(last)]) <= clipped;) --last;
    if (last <= first) return {low, high};
    return {low + first / scale, low + (last + 1) / scale};
}

// Slice z of frame t as grey levels, `width` x `height`; pixels a smaller
// slice lacks (movies that disagree) are black.
void GreySlice(const CTimeVolume& volume, int z, int t, const CValueRange& range, int width, int height,
               uint8_t* out) {
    const CSliceValues& slice = volume.SliceValues(z, t);
    std::fill_n(out, int64_t{width} * height, uint8_t{0});
    if (!(range.high > range.low)) return;
    const double scale = 255.0 / (range.high - range.low);
    const int rows = std::min(height, slice.height), columns = std::min(width, slice.width);
    for (int y = 0; y < rows; ++y)
        for (int x = 0; x < columns; ++x) {
            const double value = ValueAt(slice, int64_t{y} * slice.width + x);
            const double level = std::isfinite(value) ? (value - range.low) * scale : 0.0;
            out[int64_t{y} * width + x] = static_cast<uint8_t>(std::clamp(level, 0.0, 255.0) + 0.5);
        }
}

// Bilinear sampling at (x, y), clamped to the image: the four pixels and
// their weights.
struct CCorners {
    int64_t at[4];
    float weight[4];
};

CCorners Corners(float x, float y, int width, int height) {
    x = std::clamp(x, 0.0f, static_cast<float>(width - 1));
    y = std::clamp(y, 0.0f, static_cast<float>(height - 1));
    const int x0 = std::min(static_cast<int>(x), width - 2), y0 = std::min(static_cast<int>(y), height - 2);
    const float fx = x - static_cast<float>(x0), fy = y - static_cast<float>(y0);
    const int64_t at = int64_t{y0} * width + x0;
    return {{at, at + 1, at + width, at + width + 1},
            {(1 - fx) * (1 - fy), fx * (1 - fy), (1 - fx) * fy, fx * fy}};
}

// A stretch of the cycle between neighbouring references (with one
// reference, the whole cycle from it back to itself): `first` and `last` are
// the references at its ends, `last` counted past the cycle's end when the
// stretch wraps, so its frames are first + 1 to last - 1. The labels of each
// end are carried into it from that end, and no further: past the next
// reference, that reference's own labels are nearer and better.
struct CArc {
    int first;
    int last;
    int Inside() const { return last - first - 1; }
};

class CPropagation {
public:
    CPropagation(const CTimeVolume& volume, CLabelImage& labels, const CPropagationSettings& settings,
                 const std::vector<int>& references, const COpticalFlow& flow)
        : m_volume(volume),
          m_labels(labels),
          m_settings(settings),
          m_flow(flow),
          m_width(volume.SizeX()),
          m_height(volume.SizeY()),
          m_frames(volume.Frames()),
          m_pixels(int64_t{m_width} * m_height),
          m_range(RobustRange(volume)),
          // Whole pixels of the largest side must fit the kept 16-bit fields.
          m_keptScale(std::min(16.0f, 32000.0f / static_cast<float>(std::max(m_width, m_height) + 2))) {
        int longest = 0;
        for (size_t a = 0; a < references.size(); ++a) {
            const int last = a + 1 < references.size() ? references[a + 1] : references[0] + m_frames;
            m_arcs.push_back({references[a], last});
            longest = std::max(longest, m_arcs.back().Inside());
        }
        m_kept.resize(static_cast<size_t>(longest * m_pixels * 2));
        m_grey.resize(static_cast<size_t>(m_frames * m_pixels));
        for (std::vector<float>* field : {&m_pair, &m_previous, &m_current})
            field->resize(static_cast<size_t>(m_pixels * 2));
        m_decided.resize(static_cast<size_t>(m_pixels));
    }

    // Two flows for every frame that is no reference, in every slice.
    int64_t Steps() const {
        int64_t inside = 0;
        for (const CArc& arc : m_arcs) inside += arc.Inside();
        return int64_t{m_volume.SizeZ()} * 2 * inside;
    }

    // Carries the labels of slice z, recording what it writes in `change`.
    // False when `progress` cancels.
    bool Slice(int z, const CPropagationProgress& progress, int64_t& done, CLabelChange& change) {
        for (int t = 0; t < m_frames; ++t) GreySlice(m_volume, z, t, m_range, m_width, m_height, Grey(t));
        const auto heard = [&] {
            return !progress || progress(static_cast<int>(++done), static_cast<int>(Steps()));
        };
        for (const CArc& arc : m_arcs) {
            // Forwards from the first end, each frame's field kept ...
            for (int k = 1; k <= arc.Inside(); ++k) {
                const int t = Wrap(arc.first + k);
                Step(t, Wrap(t - 1), k == 1);
                Keep(k - 1);
                if (!heard()) return false;
            }
            // ... then backwards from the last, each frame decided by both.
            for (int k = 1; k <= arc.Inside(); ++k) {
                const int t = Wrap(arc.last - k);
                Step(t, Wrap(t + 1), k == 1);
                if (!IsKept(t)) Decide(z, t, arc, arc.Inside() + 1 - k, k, change);
                if (!heard()) return false;
            }
        }
        return true;
    }

private:
    int Wrap(int t) const { return ((t % m_frames) + m_frames) % m_frames; }
    uint8_t* Grey(int t) { return m_grey.data() + t * m_pixels; }
    bool IsKept(int t) const {
        const auto& keep = m_settings.keep;
        return static_cast<size_t>(t) < keep.size() && keep[static_cast<size_t>(t)];
    }

    // Goes one frame on, from `toward` (reached already) to t: m_current
    // becomes the field from frame t to the reference.
    void Step(int t, int toward, bool first) {
        std::swap(m_previous, m_current);
        m_flow.Measure(Grey(t), Grey(toward), m_width, m_height, m_settings.method, m_pair.data());
        Compose(first);
    }

    // The field from the frame reached to the reference: the step to the
    // neighbour, then the field the neighbour had at where the step lands.
    void Compose(bool first) {
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x) {
                const int64_t at = int64_t{y} * m_width + x;
                float dx = m_pair[static_cast<size_t>(2 * at)], dy = m_pair[static_cast<size_t>(2 * at + 1)];
                if (!std::isfinite(dx) || !std::isfinite(dy)) dx = dy = 0.0f;
                if (!first) {
                    const CCorners corners =
                        Corners(static_cast<float>(x) + dx, static_cast<float>(y) + dy, m_width, m_height);
                    float px = 0.0f, py = 0.0f;
                    for (int i = 0; i < 4; ++i) {
                        px += corners.weight[i] * m_previous[static_cast<size_t>(2 * corners.at[i])];
                        py += corners.weight[i] * m_previous[static_cast<size_t>(2 * corners.at[i] + 1)];
                    }
                    dx += px;
                    dy += py;
                }
                // Where the reference is sampled is clamped to it anyway; so
                // is the field, which keeps it within the kept fields' range.
                dx = std::clamp(static_cast<float>(x) + dx, -1.0f, static_cast<float>(m_width)) -
                     static_cast<float>(x);
                dy = std::clamp(static_cast<float>(y) + dy, -1.0f, static_cast<float>(m_height)) -
                     static_cast<float>(y);
                m_current[static_cast<size_t>(2 * at)] = dx;
                m_current[static_cast<size_t>(2 * at + 1)] = dy;
            }
    }

    void Keep(int slot) {
        int16_t* out = m_kept.data() + 2 * slot * m_pixels;
        for (int64_t i = 0; i < 2 * m_pixels; ++i)
            out[i] = static_cast<int16_t>(std::lround(m_current[static_cast<size_t>(i)] * m_keptScale));
    }

    // Labels frame t of slice z, `forward` frames after the arc's first end
    // (whose field was kept) and `backward` before its last (whose field is
    // m_current): each end's labels warped through its field, weighed by
    // how many steps they took. Then writes the labels that differ.
    void Decide(int z, int t, const CArc& arc, int forward, int backward, CLabelChange& change) {
        struct CSource {
            const uint8_t* labels;
            const int16_t* kept;  // null for the last end, whose field is m_current
            float weight;
        };
        const float ahead = static_cast<float>(1.0 / std::pow(forward, kWeightPower));
        const float behind = static_cast<float>(1.0 / std::pow(backward, kWeightPower));
        const CSource sources[2] = {
            {m_labels.FrameVoxels(Wrap(arc.first)) + z * m_pixels,
             m_kept.data() + 2 * (forward - 1) * m_pixels, ahead / (ahead + behind)},
            {m_labels.FrameVoxels(Wrap(arc.last)) + z * m_pixels, nullptr, behind / (ahead + behind)}};
        const float unkept = 1.0f / m_keptScale;
        std::array<uint8_t, 8> label{};
        std::array<float, 8> score{};
        for (int y = 0; y < m_height; ++y)
            for (int x = 0; x < m_width; ++x) {
                const int64_t at = int64_t{y} * m_width + x;
                size_t found = 0;
                for (const CSource& source : sources) {
                    const float dx =
                        source.kept ? source.kept[2 * at] * unkept : m_current[static_cast<size_t>(2 * at)];
                    const float dy = source.kept ? source.kept[2 * at + 1] * unkept
                                                 : m_current[static_cast<size_t>(2 * at + 1)];
                    const CCorners corners =
                        Corners(static_cast<float>(x) + dx, static_cast<float>(y) + dy, m_width, m_height);
                    for (int i = 0; i < 4; ++i) {
                        const uint8_t index = source.labels[corners.at[i]];
                        size_t slot = 0;
                        while (slot < found && label[slot] != index) ++slot;
                        if (slot == found) {
                            label[found] = index;
                            score[found++] = 0.0f;
                        }
                        score[slot] += source.weight * corners.weight[i];
                    }
                }
                size_t best = 0;
                for (size_t slot = 1; slot < found; ++slot)
                    if (score[slot] > score[best] ||
                        (score[slot] == score[best] && label[slot] < label[best]))
                        best = slot;
                m_decided[static_cast<size_t>(at)] = label[best];
            }
        Write(z, t, change);
    }

    // Writes one label at a time, so the change record holds one run a label.
    void Write(int z, int t, CLabelChange& change) {
        const int64_t first = z * m_pixels;
        const uint8_t* present = m_labels.FrameVoxels(t) + first;
        std::array<bool, 256> differs{};
        for (int64_t i = 0; i < m_pixels; ++i)
            if (m_decided[static_cast<size_t>(i)] != present[i])
                differs[m_decided[static_cast<size_t>(i)]] = true;
        const std::vector<int64_t>& values = m_labels.Values();
        for (int index = 0; index < static_cast<int>(differs.size()); ++index) {
            if (!differs[static_cast<size_t>(index)]) continue;
            for (int64_t i = 0; i < m_pixels; ++i) {
                const int before = present[i];
                if (m_decided[static_cast<size_t>(i)] != index || before == index) continue;
                if (m_settings.record)
                    change.Add(t, first + i, static_cast<uint16_t>(values[static_cast<size_t>(before)]),
                               static_cast<uint16_t>(values[static_cast<size_t>(index)]));
                m_labels.SetVoxel(t, first + i, index);
            }
        }
    }

    const CTimeVolume& m_volume;
    CLabelImage& m_labels;
    const CPropagationSettings& m_settings;
    const COpticalFlow& m_flow;
    const int m_width, m_height, m_frames;
    const int64_t m_pixels;
    const CValueRange m_range;
    const float m_keptScale;
    std::vector<CArc> m_arcs;
    // The forward fields of the arc being done, in 1/m_keptScale pixels.
    std::vector<int16_t> m_kept;
    std::vector<uint8_t> m_grey;  // every frame of the slice
    std::vector<float> m_pair, m_previous, m_current;
    std::vector<uint8_t> m_decided;
};

// Why the labels cannot be carried over `volume`; empty when they can.
std::string Refusal(const CTimeVolume& volume, const CLabelImage& labels, std::vector<int>& references) {
    if (volume.SizeX() == 0 || volume.SizeZ() == 0 || volume.Frames() == 0) return "there is no volume";
    if (labels.Empty()) return "there is no label image";
    const auto grid = [](int x, int y, int z) {
        return std::to_string(x) + " x " + std::to_string(y) + " x " + std::to_string(z);
    };
    if (labels.SizeX() != volume.SizeX() || labels.SizeY() != volume.SizeY() ||
        labels.SizeZ() != volume.SizeZ())
        return std::string("the label image's grid (") +
               grid(labels.SizeX(), labels.SizeY(), labels.SizeZ()) + ") is not the volume's (" +
               grid(volume.SizeX(), volume.SizeY(), volume.SizeZ()) + ")";
    const std::string frames = std::to_string(volume.Frames());
    if (volume.Frames() < 2)
        return "the volume has a single frame: there is no other frame to carry labels to";
    if (labels.Frames() == 1)
        return std::string("the label image has a single frame: give it the volume's ") + frames +
               " frames first";
    if (labels.Frames() != volume.Frames())
        return std::string("the label image has ") + std::to_string(labels.Frames()) +
               " frames and the volume " + frames;
    for (int z = 0; z < volume.SizeZ(); ++z)
        if (volume.SliceFrames(z) < volume.Frames())
            return std::string("slice ") + std::to_string(z) + " of the volume lacks frames";
    if (volume.SizeX() < COpticalFlow::kMinSize || volume.SizeY() < COpticalFlow::kMinSize)
        return std::string("slices of ") + std::to_string(volume.SizeX()) + " x " +
               std::to_string(volume.SizeY()) + " pixels are too small to follow motion in (at least " +
               std::to_string(COpticalFlow::kMinSize) + " a side)";
    // A frame named twice is one reference.
    std::sort(references.begin(), references.end());
    references.erase(std::unique(references.begin(), references.end()), references.end());
    if (references.empty()) return "no reference frame was given";
    for (const int reference : references) {
        if (reference < 0 || reference >= volume.Frames())
            return std::string("reference frame ") + std::to_string(reference) +
                   " is outside the frames 0 to " + std::to_string(volume.Frames() - 1);
        if (labels.VoxelCount(reference, 0) == labels.FrameVoxelCount())
            return std::string("reference frame ") + std::to_string(reference) + " has no labels";
    }
    return {};
}

}  // namespace

bool PropagateLabels(const CTimeVolume& volume, CLabelImage& labels, const CPropagationSettings& settings,
                     const CPropagationProgress& progress, CLabelChange& change, std::string& error) {
    std::vector<int> references = settings.references;
    if (std::string refusal = Refusal(volume, labels, references); !refusal.empty()) {
        error = std::move(refusal);
        return false;
    }
    const COpticalFlow* flow = nullptr;
    try {
        flow = &COpticalFlow::Get();
    } catch (const std::exception& e) {
        error = std::string("motion cannot be measured: ") + e.what();
        return false;
    }
    // Written slice by slice as each is done; taken back whole on a cancel
    // or a failure, so the labels are then exactly as they were.
    CLabelChange written;
    written.Start(labels.FrameVoxelCount(), labels.Frames());
    std::string failure;
    try {
        CPropagation propagation(volume, labels, settings, references, *flow);
        int64_t done = 0;
        for (int z = 0; z < volume.SizeZ() && failure.empty(); ++z)
            if (!propagation.Slice(z, progress, done, written)) failure = "cancelled";
    } catch (const std::exception& e) {
        failure = std::string("the labels could not be carried over time: ") + e.what();
    }
    if (!failure.empty()) {
        std::string undoError;
        if (settings.record) written.Undo(labels, undoError);
        error = std::move(failure);
        return false;
    }
    written.ShrinkToFit();
    change = std::move(written);
    return true;
}
