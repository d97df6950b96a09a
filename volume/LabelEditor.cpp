#include "LabelEditor.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "LabelImage.h"
#include "TimeVolume.h"

namespace {

constexpr double kFarthestVertex = 1e7;

bool IsLabelValue(int64_t value, std::string& error) {
    if (value >= 0 && value <= CLabelImage::kMaxValue) return true;
    error = std::to_string(value) + " is not a label: labels are whole numbers from 0 to " +
            std::to_string(CLabelImage::kMaxValue);
    return false;
}

bool IsPlaneOrSpace(int plane, std::string& error) {
    if (plane >= -1 && plane <= 2) return true;
    error = std::string("plane ") + std::to_string(plane) + " is none of 0 (YZ), 1 (XZ), 2 (XY) or -1 (3-D)";
    return false;
}

// The plane's two free axes, in file order.
std::array<int, 2> FreeAxes(int plane) {
    if (plane == 0) return {1, 2};
    if (plane == 1) return {0, 2};
    return {0, 1};
}

}  // namespace

CLabelEditor::CLabelEditor(CLabelImage& image, const std::array<double, 3>& pixelSize)
    : m_image(image), m_pixelSize(pixelSize) {}

CLabelEditor::Values CLabelEditor::ValuesOf(const CTimeVolume& volume) {
    return [&volume](int i, int j, int k, int frame) {
        const std::optional<double> value = volume.Value(i, j, k, frame);
        return value ? *value : std::numeric_limits<double>::quiet_NaN();
    };
}

bool CLabelEditor::Inside(const Voxel& voxel) const {
    const int size[3] = {m_image.SizeX(), m_image.SizeY(), m_image.SizeZ()};
    for (int axis = 0; axis < 3; ++axis)
        if (voxel[static_cast<size_t>(axis)] < 0 || voxel[static_cast<size_t>(axis)] >= size[axis])
            return false;
    return true;
}

bool CLabelEditor::CheckCommon(int frame, const CLabelEditOptions& options, std::string& error) const {
    if (m_image.Empty()) {
        error = "there is no label image to edit";
        return false;
    }
    if (frame < 0 || frame >= m_image.Frames()) {
        error = std::string("frame ") + std::to_string(frame) + " is not one of the label image's " +
                std::to_string(m_image.Frames()) + " frames";
        return false;
    }
    if (options.drawOver == EDrawOver::kLabel && !IsLabelValue(options.overValue, error)) return false;
    if (options.useRange) {
        if (!(options.low <= options.high)) {
            error = "the value range is empty: its low end lies above its high end";
            return false;
        }
        if (!m_values) {
            error = "a value range needs the volume's values, and there are none";
            return false;
        }
    }
    return true;
}

bool CLabelEditor::BrushVoxels(const Voxel& centre, double radius, int plane, std::vector<int64_t>& voxels,
                               std::string& error) const {
    voxels.clear();
    if (!IsPlaneOrSpace(plane, error)) return false;
    if (!Inside(centre)) {
        error = "the brush centre lies outside the label image";
        return false;
    }
    if (!std::isfinite(radius) || radius < 0) {
        error = "the brush radius must be a millimetre size of 0 or more";
        return false;
    }
    for (const double size : m_pixelSize)
        if (!std::isfinite(size) || size <= 0) {
            error = "the voxel sizes are unknown, so a radius in millimetres has no extent in voxels";
            return false;
        }
    const int size[3] = {m_image.SizeX(), m_image.SizeY(), m_image.SizeZ()};
    const double reach = radius * (1.0 + 1e-9);
    int low[3], high[3];
    for (int axis = 0; axis < 3; ++axis) {
        // Held to the image's size before it becomes an int, so a huge radius stays in range.
        const int steps =
            axis == plane
                ? 0
                : static_cast<int>(std::min(std::floor(reach / m_pixelSize[axis]), double(size[axis])));
        low[axis] = std::max(0, centre[static_cast<size_t>(axis)] - steps);
        high[axis] = std::min(size[axis] - 1, centre[static_cast<size_t>(axis)] + steps);
    }
    const double limit = reach * reach;
    for (int k = low[2]; k <= high[2]; ++k) {
        const double dz = (k - centre[2]) * m_pixelSize[2];
        for (int j = low[1]; j <= high[1]; ++j) {
            const double dy = (j - centre[1]) * m_pixelSize[1];
            const int64_t row = (int64_t{k} * size[1] + j) * size[0];
            for (int i = low[0]; i <= high[0]; ++i) {
                const double dx = (i - centre[0]) * m_pixelSize[0];
                if (dx * dx + dy * dy + dz * dz <= limit ||
                    (i == centre[0] && j == centre[1] && k == centre[2]))
                    voxels.push_back(row + i);
            }
        }
    }
    return true;
}

bool CLabelEditor::Write(const std::vector<int64_t>& voxels, int frame, int64_t value,
                         const CLabelEditOptions& options, CLabelChange& change, std::string& error) {
    change.Start(m_image.FrameVoxelCount(), m_image.Frames());
    // Room for one frame's voxels at once; what stays unused is given back,
    // since the undo stack is bounded by what its records take.
    change.Reserve(voxels.size());
    const int first = options.scope == EEditScope::kEveryFrame ? 0 : frame;
    const int last = options.scope == EEditScope::kEveryFrame ? m_image.Frames() - 1 : frame;
    const int64_t sizeX = m_image.SizeX(), sizeY = m_image.SizeY();
    const std::vector<int64_t>& values = m_image.Values();
    // Added on the first write only, so an edit that writes nothing adds no label.
    int index = m_image.IndexOf(value);
    for (int at = first; at <= last; ++at) {
        const uint8_t* labels = m_image.FrameVoxels(at);
        for (const int64_t voxel : voxels) {
            const int64_t before = values[labels[voxel]];
            if (before == value) continue;
            if (options.drawOver == EDrawOver::kBackground && before != 0) continue;
            if (options.drawOver == EDrawOver::kLabel && before != options.overValue) continue;
            if (options.useRange) {
                const double inside =
                    m_values(static_cast<int>(voxel % sizeX), static_cast<int>(voxel / sizeX % sizeY),
                             static_cast<int>(voxel / sizeX / sizeY), at);
                if (!(inside >= options.low && inside <= options.high)) continue;
            }
            if (index < 0) {
                index = m_image.AddValue(value, error);
                if (index < 0) return false;
                change.AddValue(value);
            }
            change.Add(at, voxel, static_cast<uint16_t>(before), static_cast<uint16_t>(value));
            m_image.SetVoxel(at, voxel, index);
        }
    }
    change.ShrinkToFit();
    return true;
}

bool CLabelEditor::Brush(const Voxel& centre, double radius, int plane, int frame, int64_t value,
                         const CLabelEditOptions& options, CLabelChange& change, std::string& error) {
    if (!CheckCommon(frame, options, error) || !IsLabelValue(value, error)) return false;
    if (!BrushVoxels(centre, radius, plane, m_voxels, error)) return false;
    return Write(m_voxels, frame, value, options, change, error);
}

bool CLabelEditor::Erase(const Voxel& centre, double radius, int plane, int frame,
                         const CLabelEditOptions& options, CLabelChange& change, std::string& error) {
    return Brush(centre, radius, plane, frame, 0, options, change, error);
}

bool CLabelEditor::Fill(const Voxel& seed, int plane, int frame, int64_t value, int64_t limit,
                        const CLabelEditOptions& options, CLabelChange& change, std::string& error) {
    if (!CheckCommon(frame, options, error) || !IsLabelValue(value, error)) return false;
    if (!IsPlaneOrSpace(plane, error)) return false;
    if (!Inside(seed)) {
        error = "the fill starts outside the label image";
        return false;
    }
    const int size[3] = {m_image.SizeX(), m_image.SizeY(), m_image.SizeZ()};
    const int64_t stride[3] = {1, size[0], int64_t{size[0]} * size[1]};
    const uint8_t* labels = m_image.FrameVoxels(frame);
    const int64_t start = seed[0] + seed[1] * stride[1] + seed[2] * stride[2];
    const uint8_t label = labels[start];
    // The region grows in m_voxels, which serves as its queue; m_seen marks
    // its voxels and is cleared again voxel by voxel, so a small fill costs
    // little on a large image.
    if (m_seen.size() != static_cast<size_t>(m_image.FrameVoxelCount()))
        m_seen.assign(static_cast<size_t>(m_image.FrameVoxelCount()), 0);
    m_voxels.assign(1, start);
    m_seen[static_cast<size_t>(start)] = 1;
    bool tooLarge = false;
    const bool narrow = m_image.FrameVoxelCount() <= int64_t{UINT32_MAX};
    try {
        for (size_t next = 0; next < m_voxels.size() && !tooLarge; ++next) {
            const int64_t voxel = m_voxels[next];
            int64_t at[3];
            if (narrow) {
                // 32-bit division, several times faster, wherever a frame allows it.
                const uint32_t row = static_cast<uint32_t>(voxel) / static_cast<uint32_t>(size[0]);
                at[0] = voxel - int64_t{row} * size[0];
                at[1] = row % static_cast<uint32_t>(size[1]);
                at[2] = row / static_cast<uint32_t>(size[1]);
            } else {
                const int64_t row = voxel / size[0];
                at[0] = voxel - row * size[0];
                at[1] = row % size[1];
                at[2] = row / size[1];
            }
            for (int axis = 0; axis < 3 && !tooLarge; ++axis) {
                if (axis == plane) continue;
                for (const int step : {-1, 1}) {
                    if (at[axis] + step < 0 || at[axis] + step >= size[axis]) continue;
                    const int64_t neighbour = voxel + step * stride[axis];
                    if (m_seen[static_cast<size_t>(neighbour)] || labels[neighbour] != label) continue;
                    if (static_cast<int64_t>(m_voxels.size()) >= limit) {
                        tooLarge = true;
                        break;
                    }
                    m_seen[static_cast<size_t>(neighbour)] = 1;
                    m_voxels.push_back(neighbour);
                }
            }
        }
    } catch (...) {
        // Out of memory: marks would stay behind for the next fill.
        m_seen.clear();
        throw;
    }
    for (const int64_t voxel : m_voxels) m_seen[static_cast<size_t>(voxel)] = 0;
    if (tooLarge || static_cast<int64_t>(m_voxels.size()) > limit) {
        error = std::string("the region to fill holds more than ") +
                std::to_string(std::max<int64_t>(limit, 0)) + " voxels, the limit; nothing was filled";
        return false;
    }
    return Write(m_voxels, frame, value, options, change, error);
}

bool CLabelEditor::Polygon(const std::vector<std::array<double, 2>>& vertices, int plane, int slice,
                           int frame, int64_t value, const CLabelEditOptions& options, CLabelChange& change,
                           std::string& error) {
    if (!CheckCommon(frame, options, error) || !IsLabelValue(value, error)) return false;
    const int size[3] = {m_image.SizeX(), m_image.SizeY(), m_image.SizeZ()};
    if (plane < 0 || plane > 2 || slice < 0 || slice >= size[plane]) {
        error = "the polygon's plane or slice lies outside the label image";
        return false;
    }
    if (vertices.size() < 3) {
        error = "a polygon needs at least 3 vertices";
        return false;
    }
    double top = vertices[0][1], bottom = vertices[0][1];
    for (const auto& vertex : vertices) {
        if (!std::isfinite(vertex[0]) || !std::isfinite(vertex[1])) {
            error = "a polygon vertex is not a finite point";
            return false;
        }
        // Far enough for any drawing, near enough that crossings cannot overflow.
        if (std::fabs(vertex[0]) > kFarthestVertex || std::fabs(vertex[1]) > kFarthestVertex) {
            error = "a polygon vertex lies too far outside the label image";
            return false;
        }
        top = std::min(top, vertex[1]);
        bottom = std::max(bottom, vertex[1]);
    }
    const std::array<int, 2> axes = FreeAxes(plane);
    const int width = size[axes[0]], height = size[axes[1]];
    const int64_t stride[3] = {1, size[0], int64_t{size[0]} * size[1]};
    m_voxels.clear();
    std::vector<double> crossings;
    // Rows in the image only; bounds are held in doubles before they become ints.
    const int firstRow = static_cast<int>(std::clamp(std::ceil(top), 0.0, static_cast<double>(height)));
    const int lastRow = static_cast<int>(std::clamp(std::floor(bottom), -1.0, height - 1.0));
    for (int row = firstRow; row <= lastRow; ++row) {
        crossings.clear();
        for (size_t n = 0; n < vertices.size(); ++n) {
            auto a = vertices[n], b = vertices[(n + 1) % vertices.size()];
            // Each edge holds its upper end and not its lower one, so a row
            // through a vertex counts it once.
            if ((a[1] > row) == (b[1] > row)) continue;
            // The same edge of two polygons gives the same crossing whichever way each runs.
            if (a[1] > b[1]) std::swap(a, b);
            crossings.push_back(a[0] + (row - a[1]) * (b[0] - a[0]) / (b[1] - a[1]));
        }
        std::sort(crossings.begin(), crossings.end());
        for (size_t n = 0; n + 1 < crossings.size(); n += 2) {
            // Centres from the left crossing on, short of the right one.
            const double from = std::clamp(std::ceil(crossings[n]), 0.0, static_cast<double>(width));
            const double to = std::clamp(std::ceil(crossings[n + 1]), 0.0, static_cast<double>(width));
            for (int column = static_cast<int>(from); column < static_cast<int>(to); ++column)
                m_voxels.push_back(column * stride[axes[0]] + row * stride[axes[1]] + slice * stride[plane]);
        }
    }
    return Write(m_voxels, frame, value, options, change, error);
}
