#include "LabelImage.h"

#include <new>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "PlaneGather.h"

std::string CLabelImage::BadValueText(double value, int64_t i, int sizeX, int sizeY, int sizeZ) {
    char number[64];
    std::snprintf(number, sizeof number, "%.17g", value);
    const int64_t x = i % sizeX, y = i / sizeX % sizeY, z = i / sizeX / sizeY % sizeZ,
                  t = i / sizeX / sizeY / sizeZ;
    return "voxel (" + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(z) + ") of frame " +
           std::to_string(t) + " holds " + number + ", which is not a label: labels are whole numbers from 0 to " +
           std::to_string(kMaxValue);
}

bool CLabelImage::Assign(const ValueRuns& values, int sizeX, int sizeY, int sizeZ, int frames, std::string& error) {
    if (sizeX <= 0 || sizeY <= 0 || sizeZ <= 0 || frames <= 0) {
        error = "the label image has no voxels";
        return false;
    }
    const int64_t count = int64_t{sizeX} * sizeY * sizeZ * frames;
    constexpr int64_t kRun = int64_t{1} << 16;
    std::vector<double> run(static_cast<size_t>(std::min(count, kRun)));
    // First pass: which labels there are, and whether each value is one.
    std::vector<uint8_t> present(static_cast<size_t>(kMaxValue) + 1, 0);
    for (int64_t first = 0; first < count; first += kRun) {
        const int64_t n = std::min(kRun, count - first);
        values(first, n, run.data());
        for (int64_t i = 0; i < n; ++i) {
            const double v = run[static_cast<size_t>(i)];
            if (!std::isfinite(v) || v != std::trunc(v) || v < 0 || v > static_cast<double>(kMaxValue)) {
                error = BadValueText(v, first + i, sizeX, sizeY, sizeZ);
                return false;
            }
            present[static_cast<size_t>(v)] = 1;
        }
    }
    if (!Adopt(sizeX, sizeY, sizeZ, frames, std::move(present), error)) return false;
    // Second pass: each value becomes its index.
    const size_t labels = m_values.size();
    const int64_t frameVoxels = count / frames;
    for (int64_t first = 0; first < count; first += kRun) {
        const int64_t n = std::min(kRun, count - first);
        values(first, n, run.data());
        for (int64_t i = 0; i < n; ++i) {
            // A file that changes while it is read can hand out another value now.
            const double v = run[static_cast<size_t>(i)];
            const int index = v >= 0 && v <= static_cast<double>(kMaxValue) ? m_indexOf[static_cast<size_t>(v)] : -1;
            if (index < 0 || v != std::trunc(v)) {
                Clear();
                error = "the label values changed while they were read";
                return false;
            }
            m_voxels[static_cast<size_t>(first + i)] = static_cast<uint8_t>(index);
            ++m_counts[static_cast<size_t>((first + i) / frameVoxels) * labels + index];
        }
    }
    m_indexOf.clear();
    return true;
}

bool CLabelImage::SetLabel(int x, int y, int z, int frame, int64_t value, std::string& error) {
    if (x < 0 || y < 0 || z < 0 || frame < 0 || x >= m_sizeX || y >= m_sizeY || z >= m_sizeZ || frame >= m_frames) {
        error = std::string("voxel (") + std::to_string(x) + ", " + std::to_string(y) + ", " + std::to_string(z) +
                ") of frame " + std::to_string(frame) + " lies outside the label image";
        return false;
    }
    if (value < 0 || value > kMaxValue) {
        error = std::to_string(value) + " is not a label: labels are whole numbers from 0 to " +
                std::to_string(kMaxValue);
        return false;
    }
    const auto at = std::lower_bound(m_values.begin(), m_values.end(), value);
    const auto index = static_cast<size_t>(at - m_values.begin());
    if (at == m_values.end() || *at != value) {
        if (static_cast<int>(m_values.size()) > kMaxLabels) {
            error = std::string("the label image already holds ") + std::to_string(kMaxLabels) + " different labels";
            return false;
        }
        // The new label takes its place in the ascending values; those above move up one index.
        const size_t labels = m_values.size();
        std::vector<int64_t> counts(static_cast<size_t>(m_frames) * (labels + 1), 0);
        for (size_t f = 0; f < static_cast<size_t>(m_frames); ++f)
            for (size_t j = 0; j < labels; ++j) counts[f * (labels + 1) + j + (j >= index)] = m_counts[f * labels + j];
        m_values.insert(at, value);
        m_counts = std::move(counts);
        for (uint8_t& voxel : m_voxels)
            if (voxel >= index) ++voxel;
    }
    uint8_t& voxel = m_voxels[((static_cast<size_t>(frame) * m_sizeZ + z) * m_sizeY + y) * m_sizeX + x];
    const size_t row = static_cast<size_t>(frame) * m_values.size();
    --m_counts[row + voxel];
    voxel = static_cast<uint8_t>(index);
    ++m_counts[row + index];
    return true;
}

void CLabelImage::Clear() {
    m_sizeX = m_sizeY = m_sizeZ = m_frames = 0;
    m_voxels.clear();
    m_voxels.shrink_to_fit();
    m_values.clear();
    m_counts.clear();
    m_order = AxisOrder();
}

bool CLabelImage::Adopt(int sizeX, int sizeY, int sizeZ, int frames, std::vector<uint8_t> present,
                        std::string& error) {
    std::vector<int64_t> values{0};
    std::vector<int16_t> indexOf(present.size(), -1);
    indexOf[0] = 0;
    for (size_t v = 1; v < present.size(); ++v) {
        if (!present[v]) continue;
        if (static_cast<int>(values.size()) > kMaxLabels) {
            error = "the label image holds more than " + std::to_string(kMaxLabels) + " different labels";
            return false;
        }
        indexOf[v] = static_cast<int16_t>(values.size());
        values.push_back(static_cast<int64_t>(v));
    }
    // Allocated before anything is replaced, so running out of memory keeps the old image.
    std::vector<uint8_t> voxels(static_cast<size_t>(int64_t{sizeX} * sizeY * sizeZ * frames));
    std::vector<int64_t> counts(static_cast<size_t>(frames) * values.size(), 0);
    m_voxels = std::move(voxels);
    m_counts = std::move(counts);
    m_values = std::move(values);
    m_indexOf = std::move(indexOf);
    m_sizeX = sizeX;
    m_sizeY = sizeY;
    m_sizeZ = sizeZ;
    m_frames = frames;
    m_order = AxisOrder();
    return true;
}

int64_t CLabelImage::VoxelCount(int frame, int label) const {
    if (frame < 0 || frame >= m_frames || label < 0 || static_cast<size_t>(label) >= m_values.size()) return 0;
    return m_counts[static_cast<size_t>(frame) * m_values.size() + static_cast<size_t>(label)];
}

const uint8_t* CLabelImage::FrameVoxels(int frame) const {
    if (frame < 0 || frame >= m_frames) return nullptr;
    return m_voxels.data() + static_cast<size_t>(frame) * m_sizeX * m_sizeY * m_sizeZ;
}

int CLabelImage::IndexOf(int64_t value) const {
    const auto at = std::lower_bound(m_values.begin(), m_values.end(), value);
    return at != m_values.end() && *at == value ? static_cast<int>(at - m_values.begin()) : -1;
}

int CLabelImage::AddValue(int64_t value, std::string& error) {
    if (value < 0 || value > kMaxValue) {
        error = std::to_string(value) + " is not a label: labels are whole numbers from 0 to " +
                std::to_string(kMaxValue);
        return -1;
    }
    if (Empty()) {
        error = "there is no label image";
        return -1;
    }
    const int present = IndexOf(value);
    if (present >= 0) return present;
    if (static_cast<int>(m_values.size()) > kMaxLabels) {
        error = std::string("the label image holds ") + std::to_string(kMaxLabels) + " labels already, the most it can hold";
        return -1;
    }
    const size_t at = static_cast<size_t>(std::lower_bound(m_values.begin(), m_values.end(), value) - m_values.begin());
    const size_t labels = m_values.size();
    // The counts first, so running out of memory leaves the image as it was.
    std::vector<int64_t> counts(static_cast<size_t>(m_frames) * (labels + 1), 0);
    for (size_t frame = 0; frame < static_cast<size_t>(m_frames); ++frame)
        for (size_t label = 0; label < labels; ++label)
            counts[frame * (labels + 1) + label + (label >= at ? 1 : 0)] = m_counts[frame * labels + label];
    if (at < labels) {
        uint8_t moved[256];
        for (int index = 0; index < 256; ++index) moved[index] = static_cast<uint8_t>(index + (index >= static_cast<int>(at) ? 1 : 0));
        for (uint8_t& voxel : m_voxels) voxel = moved[voxel];
    }
    m_values.insert(m_values.begin() + static_cast<std::ptrdiff_t>(at), value);
    m_counts = std::move(counts);
    return static_cast<int>(at);
}

bool CLabelImage::RepeatFrame(int frames) {
    if (m_frames != 1 || frames < 1) return false;
    const size_t frameVoxels = m_voxels.size();
    try {
        std::vector<uint8_t> voxels;
        voxels.reserve(frameVoxels * static_cast<size_t>(frames));
        std::vector<int64_t> counts;
        counts.reserve(m_counts.size() * static_cast<size_t>(frames));
        for (int frame = 0; frame < frames; ++frame) {
            voxels.insert(voxels.end(), m_voxels.begin(), m_voxels.end());
            counts.insert(counts.end(), m_counts.begin(), m_counts.end());
        }
        m_voxels = std::move(voxels);
        m_counts = std::move(counts);
    } catch (const std::bad_alloc&) {
        return false;
    }
    m_frames = frames;
    return true;
}

bool CLabelImage::RemoveValue(int64_t value) {
    const int index = IndexOf(value);
    if (index <= 0) return false;
    const size_t labels = m_values.size();
    for (int frame = 0; frame < m_frames; ++frame)
        if (VoxelCount(frame, index) != 0) return false;
    std::vector<int64_t> counts;
    counts.reserve(static_cast<size_t>(m_frames) * (labels - 1));
    for (size_t i = 0; i < m_counts.size(); ++i)
        if (i % labels != static_cast<size_t>(index)) counts.push_back(m_counts[i]);
    if (static_cast<size_t>(index) + 1 < labels) {
        uint8_t moved[256];
        for (int i = 0; i < 256; ++i) moved[i] = static_cast<uint8_t>(i > index ? i - 1 : i);
        for (uint8_t& voxel : m_voxels) voxel = moved[voxel];
    }
    m_values.erase(m_values.begin() + index);
    m_counts = std::move(counts);
    return true;
}

uint8_t CLabelImage::Voxel(int x, int y, int z, int frame) const {
    return m_voxels[((static_cast<size_t>(frame) * m_sizeZ + z) * m_sizeY + y) * m_sizeX + x];
}

CSliceImage CLabelImage::GetSlice(int plane, int index, int frame, bool powerOfTwo) const {
    const int extents[3] = {m_sizeX, m_sizeY, m_sizeZ};
    if (plane < 0 || plane > 2 || index < 0 || index >= extents[plane] || frame < 0 || frame >= m_frames)
        return CSliceImage();
    if (plane == 2) {
        // The XY plane is stored as it is shown.
        CSliceImage image = MakeOwnedSliceImage(m_sizeX, m_sizeY, 1);
        const uint8_t* first = &m_voxels[((static_cast<size_t>(frame) * m_sizeZ + index) * m_sizeY) * m_sizeX];
        std::copy(first, first + static_cast<size_t>(m_sizeX) * m_sizeY, image.m_data);
        return image;
    }
    return GatherUprightPlane(plane, index, m_sizeX, m_sizeY, m_sizeZ, powerOfTwo,
                              [&](int x, int y, int z) { return Voxel(x, y, z, frame); });
}

bool CLabelImage::PlaceOnGrid(const CAffine& toGrid, const int size[3]) {
    if (Empty()) return false;
    const int from[3] = {m_sizeX, m_sizeY, m_sizeZ};
    // Each of this image's axes must step along one axis of the grid, by one
    // voxel forwards or backwards.
    int axisOf[3] = {-1, -1, -1};
    bool flipped[3] = {};
    for (int a = 0; a < 3; ++a) {
        const CAffine::Vector step = toGrid.Step(a);
        for (int b = 0; b < 3; ++b)
            if (std::fabs(std::fabs(step[static_cast<size_t>(b)]) - 1.0) < 0.5) {
                axisOf[a] = b;
                flipped[a] = step[static_cast<size_t>(b)] < 0;
            }
        if (axisOf[a] < 0 || from[a] != size[axisOf[a]]) return false;
    }
    if (axisOf[0] == axisOf[1] || axisOf[1] == axisOf[2] || axisOf[0] == axisOf[2]) return false;
    // Every corner lands on the voxel the reordering puts it at.
    constexpr double kTolerance = 1e-3;
    for (int corner = 0; corner < 8; ++corner) {
        CAffine::Vector voxel{};
        CAffine::Vector expected{};
        for (int a = 0; a < 3; ++a) {
            const int at = (corner >> a) & 1 ? from[a] - 1 : 0;
            voxel[static_cast<size_t>(a)] = at;
            expected[static_cast<size_t>(axisOf[a])] = flipped[a] ? from[a] - 1 - at : at;
        }
        const CAffine::Vector landed = toGrid.Apply(voxel);
        for (size_t b = 0; b < 3; ++b)
            if (!(std::fabs(landed[b] - expected[b]) <= kTolerance)) return false;
    }
    AxisOrder step;
    for (int a = 0; a < 3; ++a) {
        step.axisOf[a] = axisOf[a];
        step.flipped[a] = flipped[a];
    }
    std::vector<uint8_t> placed(m_voxels.size());
    const int64_t frameVoxels = int64_t{m_sizeX} * m_sizeY * m_sizeZ;
    const int64_t stride[3] = {1, size[0], int64_t{size[0]} * size[1]};
    for (int frame = 0; frame < m_frames; ++frame) {
        const uint8_t* in = m_voxels.data() + frame * frameVoxels;
        uint8_t* out = placed.data() + frame * frameVoxels;
        int at[3];
        for (at[2] = 0; at[2] < m_sizeZ; ++at[2])
            for (at[1] = 0; at[1] < m_sizeY; ++at[1])
                for (at[0] = 0; at[0] < m_sizeX; ++at[0]) out[Reordered(at, from, step, stride)] = *in++;
    }
    m_voxels = std::move(placed);
    // Assigned axis a was axis m_order.axisOf[a]; this step moves that one on.
    AxisOrder order;
    for (int a = 0; a < 3; ++a) {
        const int now = m_order.axisOf[a];
        order.axisOf[a] = axisOf[now];
        order.flipped[a] = m_order.flipped[a] != flipped[now];
    }
    m_order = order;
    m_sizeX = size[0];
    m_sizeY = size[1];
    m_sizeZ = size[2];
    double pixelSize[3];
    for (int a = 0; a < 3; ++a) pixelSize[axisOf[a]] = m_pixelSize[a];
    std::copy(pixelSize, pixelSize + 3, m_pixelSize);
    return true;
}

int64_t CLabelImage::Reordered(const int at[3], const int from[3], const AxisOrder& order, const int64_t stride[3]) {
    int64_t index = 0;
    for (int a = 0; a < 3; ++a)
        index += (order.flipped[a] ? from[a] - 1 - at[a] : at[a]) * stride[order.axisOf[a]];
    return index;
}

int CLabelImage::AssignedSize(int axis) const {
    const int sizes[3] = {m_sizeX, m_sizeY, m_sizeZ};
    return axis >= 0 && axis < 3 ? sizes[m_order.axisOf[axis]] : 0;
}

bool CLabelImage::AssignedSlice(int k, int frame, uint8_t* out) const {
    const int from[3] = {AssignedSize(0), AssignedSize(1), AssignedSize(2)};
    if (k < 0 || k >= from[2] || frame < 0 || frame >= m_frames) return false;
    const uint8_t* voxels = FrameVoxels(frame);
    const int64_t stride[3] = {1, m_sizeX, int64_t{m_sizeX} * m_sizeY};
    int at[3] = {0, 0, k};
    for (at[1] = 0; at[1] < from[1]; ++at[1])
        for (at[0] = 0; at[0] < from[0]; ++at[0]) *out++ = voxels[Reordered(at, from, m_order, stride)];
    return true;
}
