#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Affine.h"
#include "SliceImage.h"

// A segmentation: for every voxel of an X x Y x Z grid and every frame, the
// label of the structure it belongs to, 0 for background. Labels are whole
// numbers from 0 to kMaxValue; at most kMaxLabels different ones besides 0.
// Each is stored as a one-byte index into Values(), 0 standing for 0, so
// the image takes one byte per voxel whatever the labels' numbers.
class CLabelImage {
public:
    static constexpr int64_t kMaxValue = 65535;
    static constexpr int kMaxLabels = 255;

    // Takes the label values of a grid, x fastest, then y, then z, then
    // frames. False with `error` saying why, the image unchanged, when a
    // value is negative, above kMaxValue, not a whole number, or when there
    // are more than kMaxLabels labels.
    template <typename T>
    bool Assign(const T* values, int sizeX, int sizeY, int sizeZ, int frames, std::string& error);
    // The same with the values handed out a run at a time: values(first,
    // count, out) writes the values of voxels [first, first + count) to out.
    // It is asked for every run twice, so values never need to be held whole.
    using ValueRuns = std::function<void(int64_t first, int64_t count, double* out)>;
    bool Assign(const ValueRuns& values, int sizeX, int sizeY, int sizeZ, int frames, std::string& error);

    // Gives voxel (x, y, z) of `frame`, in the image's present order, the
    // label `value`, which joins Values() when it is new. False, with `error`
    // saying why and nothing changed, for a voxel outside, a value that is no
    // label, or a label past kMaxLabels.
    bool SetLabel(int x, int y, int z, int frame, int64_t value, std::string& error);

    // Makes a single-frame image one of `frames` frames, each a copy of the
    // one (which served every frame as it was). False, nothing changed, for
    // an image of more than one frame, fewer than one frame asked for, or
    // too little memory.
    bool RepeatFrame(int frames);

    // Forgets everything; Empty() afterwards.
    void Clear();
    bool Empty() const { return m_frames == 0; }

    int SizeX() const { return m_sizeX; }
    int SizeY() const { return m_sizeY; }
    int SizeZ() const { return m_sizeZ; }
    int Frames() const { return m_frames; }
    // The label value of each index; Values()[0] is 0, the rest ascending.
    const std::vector<int64_t>& Values() const { return m_values; }
    // How many voxels of `frame` carry index `label`.
    int64_t VoxelCount(int frame, int label) const;
    // The label indices of one frame, x fastest, then y, then z.
    const uint8_t* FrameVoxels(int frame) const;
    int64_t FrameVoxelCount() const { return int64_t{m_sizeX} * m_sizeY * m_sizeZ; }

    // Editing. The index of label `value`, or -1 when no index stands for it.
    int IndexOf(int64_t value) const;
    // Makes `value` a label, keeping Values() ascending: the indices above
    // its place move up by one in every voxel. Returns its index (the one it
    // had when it was a label already), or -1 with `error` saying why, the
    // image unchanged, when it is no label value or all kMaxLabels are taken.
    int AddValue(int64_t value, std::string& error);
    // Forgets label `value` when no voxel of any frame carries it, the
    // indices above it moving down; 0 is kept. False, nothing changed, otherwise.
    bool RemoveValue(int64_t value);
    // Gives voxel `voxel` (x fastest, then y, then z) of `frame` label index
    // `index`, keeping the counts. False, nothing changed, for a voxel,
    // frame or index outside.
    bool SetVoxel(int frame, int64_t voxel, int index) {
        const int64_t frameVoxels = FrameVoxelCount();
        if (frame < 0 || frame >= m_frames || voxel < 0 || voxel >= frameVoxels || index < 0 ||
            static_cast<size_t>(index) >= m_values.size())
            return false;
        uint8_t& at = m_voxels[static_cast<size_t>(frame * frameVoxels + voxel)];
        const size_t row = static_cast<size_t>(frame) * m_values.size();
        --m_counts[row + at];
        ++m_counts[row + static_cast<size_t>(index)];
        at = static_cast<uint8_t>(index);
        return true;
    }

    // The label indices of a plane through voxel `index`, as the grey planes
    // of the same grid show it (CTimeVolume::GetSlice): 0 = YZ, 1 = XZ, 2 = XY.
    // An owned image; the empty record for a plane, index or frame outside.
    CSliceImage GetSlice(int plane, int index, int frame, bool powerOfTwo) const;

    // Puts the labels on the grid of another image of `size` voxels, where
    // `toGrid` takes this image's voxels to that grid's (both in patient
    // space, one's transform undone by the other's). Only an exact fit is
    // taken: the axes swapped and flipped, every corner within 1e-3 of a
    // voxel of the grid's and the grid's sizes met. Then the voxels are
    // reordered onto the grid and true returned; otherwise false, nothing
    // changed.
    bool PlaceOnGrid(const CAffine& toGrid, const int size[3]);

    // How the voxels as now stored relate to the order they were assigned
    // in (a file's order): assigned axis a is now axis axisOf[a], running
    // backwards where flipped[a]. Each PlaceOnGrid adds its reordering.
    struct AxisOrder {
        int axisOf[3] = {0, 1, 2};
        bool flipped[3] = {false, false, false};
    };
    const AxisOrder& AssignedOrder() const { return m_order; }
    // The size along assigned axis `axis` (0 to 2).
    int AssignedSize(int axis) const;
    // The label indices of slice `k` of `frame` as they were assigned, x
    // fastest: AssignedSize(0) x AssignedSize(1) of them into `out`. False,
    // nothing written, for a slice or frame outside.
    bool AssignedSlice(int k, int frame, uint8_t* out) const;

    // Voxel size in mm as the file gave it; 0 when it gave none.
    double m_pixelSize[3] = {0.0, 0.0, 0.0};
    // Where the voxels lie in the patient, as the file gave it.
    std::optional<CAffine> m_transform;

private:
    // Why the value at voxel `i` is refused, naming the voxel by x, y, z and frame.
    static std::string BadValueText(double value, int64_t i, int sizeX, int sizeY, int sizeZ);
    bool Adopt(int sizeX, int sizeY, int sizeZ, int frames, std::vector<uint8_t> present, std::string& error);
    uint8_t Voxel(int x, int y, int z, int frame) const;
    // Where voxel `at` of a grid of `from` voxels lands when its axes are
    // reordered by `order` onto a grid with `stride`.
    static int64_t Reordered(const int at[3], const int from[3], const AxisOrder& order, const int64_t stride[3]);

    int m_sizeX = 0, m_sizeY = 0, m_sizeZ = 0, m_frames = 0;
    std::vector<uint8_t> m_voxels;
    std::vector<int64_t> m_values;
    AxisOrder m_order;
    std::vector<int64_t> m_counts;  // frame-major: m_counts[frame * Values().size() + index]
    // Index of each label value while assigning; -1 for values not present.
    std::vector<int16_t> m_indexOf;
};

template <typename T>
bool CLabelImage::Assign(const T* values, int sizeX, int sizeY, int sizeZ, int frames, std::string& error) {
    const ValueRuns runs = [values](int64_t first, int64_t count, double* out) {
        for (int64_t i = 0; i < count; ++i) out[i] = static_cast<double>(values[first + i]);
    };
    return Assign(runs, sizeX, sizeY, sizeZ, frames, error);
}
