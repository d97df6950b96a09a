#include "SliceInterpolation.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "LabelImage.h"

namespace {

constexpr double kInfinite = std::numeric_limits<double>::infinity();

// Exact squared Euclidean distances along one line, by the lower envelope of
// parabolas (Felzenszwalb and Huttenlocher): out[p] = min over q of
// (spacing * (p - q))^2 + in[q], in time linear in the line's length. A
// sample at infinity roots no parabola; a line without a finite sample
// stays infinite.
class CLineDistance {
public:
    void Transform(const double* in, int count, double spacing, double* out) {
        m_roots.resize(static_cast<size_t>(count));
        m_bounds.resize(static_cast<size_t>(count) + 1);
        int top = -1;
        for (int q = 0; q < count; ++q) {
            if (in[q] == kInfinite) continue;
            const double xq = q * spacing;
            double from = -kInfinite;
            // Parabolas the new one lies below from where they begin leave the envelope.
            while (top >= 0) {
                const int v = m_roots[static_cast<size_t>(top)];
                const double xv = v * spacing;
                from = ((in[q] + xq * xq) - (in[v] + xv * xv)) / (2.0 * (xq - xv));
                if (from > m_bounds[static_cast<size_t>(top)]) break;
                --top;
                from = -kInfinite;
            }
            ++top;
            m_roots[static_cast<size_t>(top)] = q;
            m_bounds[static_cast<size_t>(top)] = from;
            m_bounds[static_cast<size_t>(top) + 1] = kInfinite;
        }
        if (top < 0) {
            std::fill(out, out + count, kInfinite);
            return;
        }
        size_t at = 0;
        for (int p = 0; p < count; ++p) {
            const double xp = p * spacing;
            while (m_bounds[at + 1] < xp) ++at;
            const int root = m_roots[at];
            const double dx = xp - root * spacing;
            out[p] = dx * dx + in[root];
        }
    }

private:
    std::vector<int> m_roots;      // the samples whose parabolas form the envelope
    std::vector<double> m_bounds;  // where each of them begins to be lowest
};

// One slice of a frame: `width` x `height` pixels along the two other voxel
// axes, in file order, each `spacing` apart.
struct CSlicePlane {
    int width = 0, height = 0;
    int64_t strideU = 0, strideV = 0, strideSlice = 0;
    double spacingU = 1.0, spacingV = 1.0;

    int64_t Voxel(int slice, int u, int v) const { return slice * strideSlice + u * strideU + v * strideV; }
    size_t Pixels() const { return static_cast<size_t>(width) * static_cast<size_t>(height); }
};

CSlicePlane PlaneAcross(const CLabelImage& labels, int axis) {
    const int size[3] = {labels.SizeX(), labels.SizeY(), labels.SizeZ()};
    const int64_t stride[3] = {1, size[0], int64_t{size[0]} * size[1]};
    const int u = axis == 0 ? 1 : 0, v = axis == 2 ? 1 : 2;
    CSlicePlane plane;
    plane.width = size[u];
    plane.height = size[v];
    plane.strideU = stride[u];
    plane.strideV = stride[v];
    plane.strideSlice = stride[axis];
    const double su = labels.m_pixelSize[u], sv = labels.m_pixelSize[v];
    // Square pixels when the file gave no sizes. Scaled so the longer side is 1:
    // squared distances then stay below the squared diagonal in voxels, and
    // however thin the other side, nothing overflows.
    if (std::isfinite(su) && std::isfinite(sv) && su > 0 && sv > 0) {
        plane.spacingU = su / std::max(su, sv);
        plane.spacingV = sv / std::max(su, sv);
    }
    return plane;
}

// Signed distances to the shape's edge: for each pixel of the slice, the
// distance to the nearest pixel of the shape when it lies outside, minus
// the distance to the nearest pixel outside when it lies within. So every
// pixel of the shape is negative and every other positive, and a blend of
// two maps is negative wherever both are, with the edge halfway between an
// inside and an outside pixel. Without a pixel inside (outside), each is as
// far from one as the slice's diagonal, the farthest any edge could lie.
class CSignedDistance {
public:
    void Compute(const CSlicePlane& plane, const std::vector<uint8_t>& inside, std::vector<double>& out) {
        Squared(plane, inside, 1, m_toInside);
        Squared(plane, inside, 0, m_toOutside);
        const double diagonal = std::hypot(plane.width * plane.spacingU, plane.height * plane.spacingV);
        const auto distance = [diagonal](double squared) {
            return squared == kInfinite ? diagonal : std::sqrt(squared);
        };
        out.resize(plane.Pixels());
        for (size_t p = 0; p < out.size(); ++p) out[p] = distance(m_toInside[p]) - distance(m_toOutside[p]);
    }

private:
    // The squared distance of every pixel to the nearest pixel whose mask is
    // `target`: along the rows, then along the columns of the row results.
    void Squared(const CSlicePlane& plane, const std::vector<uint8_t>& mask, uint8_t target,
                 std::vector<double>& out) {
        const size_t width = static_cast<size_t>(plane.width);
        m_line.resize(static_cast<size_t>(std::max(plane.width, plane.height)));
        m_column.resize(m_line.size());
        out.resize(plane.Pixels());
        for (size_t row = 0; row < static_cast<size_t>(plane.height); ++row) {
            for (size_t u = 0; u < width; ++u) m_line[u] = mask[row * width + u] == target ? 0.0 : kInfinite;
            m_transform.Transform(m_line.data(), plane.width, plane.spacingU, &out[row * width]);
        }
        for (size_t u = 0; u < width; ++u) {
            for (size_t v = 0; v < static_cast<size_t>(plane.height); ++v) m_line[v] = out[v * width + u];
            m_transform.Transform(m_line.data(), plane.height, plane.spacingV, m_column.data());
            for (size_t v = 0; v < static_cast<size_t>(plane.height); ++v) out[v * width + u] = m_column[v];
        }
    }

    CLineDistance m_transform;
    std::vector<double> m_line, m_column, m_toInside, m_toOutside;
};

bool Refuse(std::string& error, std::string text) {
    error = std::move(text);
    return false;
}

const char* AxisName(int axis) {
    return axis == 0 ? "i" : axis == 1 ? "j" : "k";
}

}  // namespace

bool InterpolateBetweenSlices(CLabelImage& labels, int64_t value, int axis, int frame, CLabelChange& change,
                              std::string& error) {
    if (labels.Empty()) return Refuse(error, "there is no label image to interpolate in");
    if (frame < 0 || frame >= labels.Frames())
        return Refuse(error, std::string("frame ") + std::to_string(frame) +
                                 " is not one of the label image's " + std::to_string(labels.Frames()) +
                                 " frames");
    if (axis < 0 || axis > 2)
        return Refuse(error,
                      std::string("axis ") + std::to_string(axis) + " is none of 0 (i), 1 (j) or 2 (k)");
    if (value == 0) return Refuse(error, "0 is the background, not a label to interpolate");
    const int index = labels.IndexOf(value);
    if (index <= 0) return Refuse(error, std::to_string(value) + " is not a label of this image");

    const CSlicePlane plane = PlaneAcross(labels, axis);
    const int slices = axis == 0 ? labels.SizeX() : axis == 1 ? labels.SizeY() : labels.SizeZ();
    const uint8_t* voxels = labels.FrameVoxels(frame);
    std::vector<uint8_t> holdsLabel(static_cast<size_t>(slices), 0);
    for (int s = 0; s < slices; ++s)
        for (int v = 0; v < plane.height && !holdsLabel[static_cast<size_t>(s)]; ++v)
            for (int u = 0; u < plane.width; ++u)
                if (voxels[plane.Voxel(s, u, v)] == index) {
                    holdsLabel[static_cast<size_t>(s)] = 1;
                    break;
                }
    std::vector<int> drawn;
    for (int s = 0; s < slices; ++s)
        if (holdsLabel[static_cast<size_t>(s)]) drawn.push_back(s);
    if (drawn.size() < 2)
        return Refuse(error, std::string("label ") + std::to_string(value) + " lies on " +
                                 std::to_string(drawn.size()) + " slice(s) across axis " + AxisName(axis) +
                                 " in frame " + std::to_string(frame) +
                                 "; interpolating needs at least two slices drawn");

    // Everything is worked out before anything is written, so a failure
    // (out of memory) leaves the image as it was.
    CSignedDistance signedDistance;
    std::vector<uint8_t> mask(plane.Pixels());
    const auto distancesOf = [&](int slice, std::vector<double>& out) {
        for (int v = 0; v < plane.height; ++v)
            for (int u = 0; u < plane.width; ++u)
                mask[static_cast<size_t>(v) * static_cast<size_t>(plane.width) + static_cast<size_t>(u)] =
                    voxels[plane.Voxel(slice, u, v)] == index ? 1 : 0;
        signedDistance.Compute(plane, mask, out);
    };
    std::vector<double> before, after;
    int afterSlice = -1;
    std::vector<int64_t> written;
    for (size_t gap = 0; gap + 1 < drawn.size(); ++gap) {
        const int a = drawn[gap], b = drawn[gap + 1];
        if (b - a < 2) continue;
        // Consecutive gaps share a drawn slice; its map is made once.
        if (afterSlice == a)
            std::swap(before, after);
        else
            distancesOf(a, before);
        distancesOf(b, after);
        afterSlice = b;
        for (int s = a + 1; s < b; ++s) {
            const double w = static_cast<double>(s - a) / (b - a);
            size_t p = 0;
            for (int v = 0; v < plane.height; ++v)
                for (int u = 0; u < plane.width; ++u, ++p) {
                    const int64_t voxel = plane.Voxel(s, u, v);
                    if ((1.0 - w) * before[p] + w * after[p] < 0 && voxels[voxel] == 0)
                        written.push_back(voxel);
                }
        }
    }
    // Ascending, so the record's runs break only where a frame's voxel
    // numbers pass a multiple of 2^32, whichever axis the slices cross.
    std::sort(written.begin(), written.end());

    change.Start(labels.FrameVoxelCount(), labels.Frames());
    change.Reserve(written.size());
    for (const int64_t voxel : written) {
        change.Add(frame, voxel, 0, static_cast<uint16_t>(value));
        labels.SetVoxel(frame, voxel, index);
    }
    return true;
}
