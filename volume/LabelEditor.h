#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "LabelChange.h"

class CLabelImage;
class CTimeVolume;

// Which voxels an edit may write.
enum class EDrawOver {
    kAll,         // every voxel
    kBackground,  // only voxels of label 0
    kLabel,       // only voxels of one chosen label (CLabelEditOptions::overValue)
};

// Which frames an edit writes: the one it was made on, or every frame (the
// same voxels in each, each frame checked on its own).
enum class EEditScope { kThisFrame, kEveryFrame };

// What every edit shares.
struct CLabelEditOptions {
    EDrawOver drawOver = EDrawOver::kAll;
    // The label kLabel writes over.
    int64_t overValue = 0;
    // With `useRange`, only voxels whose volume value (file units) at that
    // voxel and frame lies in [low, high] are written.
    bool useRange = false;
    double low = 0.0;
    double high = 0.0;
    EEditScope scope = EEditScope::kThisFrame;
};

// The voxel operations of label editing on one label image: brush, eraser,
// fill and polygon. Voxels are the file's (column i, row j, slice k); a plane
// is 0 = YZ (i fixed), 1 = XZ (j fixed), 2 = XY (k fixed). Each operation
// returns, in `change`, the record of the voxels it changed, for undo; an
// operation refused returns false with `error` saying why, and writes nothing.
class CLabelEditor {
public:
    // The value of voxel (i, j, k) of `frame` in the file's units; NaN for
    // none (such a voxel is never inside a value range).
    using Values = std::function<double(int i, int j, int k, int frame)>;
    using Voxel = std::array<int, 3>;

    // `pixelSize`: the voxel's size along i, j and k in millimetres.
    CLabelEditor(CLabelImage& image, const std::array<double, 3>& pixelSize);

    // The values a value range tests; without them a range is refused.
    void SetValues(Values values) { m_values = std::move(values); }
    // The values of `volume`, which must outlive their use.
    static Values ValuesOf(const CTimeVolume& volume);

    // Writes label `value` (0 to CLabelImage::kMaxValue; a new one is added
    // to the image's labels) into every voxel whose centre lies within
    // `radius` millimetres of the centre of voxel `centre`, distance <= radius
    // counting as within (with a relative allowance of 1e-9 for rounding, so
    // a radius of 3 pixel sizes takes the voxel 3 pixels away). With
    // `plane` 0 to 2 only the voxels of that plane through `centre` (a disc);
    // with `plane` -1 a ball across slices. The centre voxel is always
    // written (draw-over and range allowing), however small the radius.
    bool Brush(const Voxel& centre, double radius, int plane, int frame, int64_t value,
               const CLabelEditOptions& options, CLabelChange& change, std::string& error);
    // The same shape, writing 0.
    bool Erase(const Voxel& centre, double radius, int plane, int frame, const CLabelEditOptions& options,
               CLabelChange& change, std::string& error);
    // Writes `value` into the voxels connected to `seed` that carry its label
    // in `frame`: through faces (6 neighbours) in 3-D (`plane` -1), through
    // edges (4 neighbours) in plane `plane` through `seed`. When the region
    // holds more than `limit` voxels nothing is written and the fill is
    // refused. Draw-over and range then choose which of the region's voxels
    // are written; with every frame, the same voxels in each.
    bool Fill(const Voxel& seed, int plane, int frame, int64_t value, int64_t limit,
              const CLabelEditOptions& options, CLabelChange& change, std::string& error);
    // Writes `value` into the voxels of slice `slice` of plane `plane` whose
    // centres lie inside the closed polygon `vertices`, given in the plane's
    // two free voxel axes in file order ((j, k) on YZ, (i, k) on XZ, (i, j) on
    // XY; centres at whole numbers). Inside is by the even-odd rule; a
    // centre on an edge is inside when the polygon lies to its right or
    // below it (larger first, larger second coordinate), so polygons that
    // share an edge take each voxel on it once.
    bool Polygon(const std::vector<std::array<double, 2>>& vertices, int plane, int slice, int frame,
                 int64_t value, const CLabelEditOptions& options, CLabelChange& change, std::string& error);

private:
    // Checks what every operation shares; the frame and, for one voxel, that it lies inside.
    bool CheckCommon(int frame, const CLabelEditOptions& options, std::string& error) const;
    bool Inside(const Voxel& voxel) const;
    // The voxels within the brush, as indices within a frame.
    bool BrushVoxels(const Voxel& centre, double radius, int plane, std::vector<int64_t>& voxels,
                     std::string& error) const;
    // Writes `value` into `voxels` (indices within a frame) of `frame` or of
    // every frame, as the options allow, recording each change.
    bool Write(const std::vector<int64_t>& voxels, int frame, int64_t value, const CLabelEditOptions& options,
               CLabelChange& change, std::string& error);

    CLabelImage& m_image;
    std::array<double, 3> m_pixelSize;
    Values m_values;
    // Kept between operations so a stroke of many dabs allocates once.
    std::vector<int64_t> m_voxels;
    std::vector<uint8_t> m_seen;
};
