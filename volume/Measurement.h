#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Affine.h"

class CLabelImage;

// How voxel positions become lengths: through the file's voxel-to-RAS map
// when it has one, else by scaling each voxel axis by its pixel size.
struct CMeasureMetric {
    std::optional<CAffine> toPatient;
    std::array<double, 3> pixelSize{1.0, 1.0, 1.0};

    std::array<double, 3> ToMillimetres(const std::array<double, 3>& voxel) const;
};

// A ruler, protractor or outline placed on the volume. Points are continuous
// voxel coordinates of the file (voxel centres at whole numbers), so they stay
// put whatever the display does with the grid.
class CMeasurement {
public:
    using Point = std::array<double, 3>;
    enum class Kind { Distance, Angle, Area };
    enum class TimeMode { Fixed, PerFrame, FollowsLabel };

    static std::optional<Kind> KindFromName(const std::string& name);
    static const char* KindName(Kind kind);
    static const char* UnitName(Kind kind);  // "mm", "deg", "mm2"

    // The same points in every frame.
    static CMeasurement Fixed(std::string name, Kind kind, std::vector<Point> points);
    // Points set in some frames only; the others borrow from the nearest.
    static CMeasurement PerFrame(std::string name, Kind kind, std::map<int, std::vector<Point>> frames);
    // A distance whose ends slide along the line through `points` to the
    // boundary of `label` in each frame.
    static CMeasurement FollowsLabel(std::string name, std::vector<Point> points, int64_t label);

    const std::string& Name() const { return m_name; }
    Kind GetKind() const { return m_kind; }
    TimeMode Mode() const { return m_mode; }
    int64_t Label() const { return m_label; }
    const std::map<int, std::vector<Point>>& FramePoints() const { return m_points; }

    // Every fault that makes the measurement meaningless ("needs 2 points, has 3",
    // "polygon is not in one plane"); empty when it is sound. Checks what can
    // be checked without the volume: counts and flatness.
    std::string Fault(const CMeasureMetric& metric) const;

    // The points that apply to `frame`: its own, else those of the nearest
    // frame that has some, the earlier one on a tie. Empty when none are set.
    const std::vector<Point>* PointsAt(int frame) const;

    // One value per frame, NaN where there is none (no points, or the line
    // misses the label). `labels`, on the volume's grid in the file's voxel
    // order, is needed only to follow a label; one frame of labels serves every frame.
    std::vector<double> ValuesPerFrame(int frames, const CLabelImage* labels,
                                       const CMeasureMetric& metric) const;
    double ValueAt(int frame, const CLabelImage* labels, const CMeasureMetric& metric) const;

    // --- Editing -----------------------------------------------------------
    void Rename(std::string name) { m_name = std::move(name); }
    // The points of `frame`: a measurement set frame by frame gets (or
    // replaces) that frame's own points; the others change in every frame.
    void SetPoints(int frame, std::vector<Point> points);
    // Another way of following time, starting from the points that apply to
    // `frame`: fixed keeps them, per frame gives them to that frame alone,
    // following `label` uses them as the line (distances only; false, with
    // nothing changed, for the other kinds or when there are no points).
    bool SetMode(TimeMode mode, int frame, int64_t label = 0);

    bool operator==(const CMeasurement&) const = default;

private:
    std::string m_name;
    Kind m_kind = Kind::Distance;
    TimeMode m_mode = TimeMode::Fixed;
    int64_t m_label = 0;
    std::map<int, std::vector<Point>> m_points;  // Fixed keeps its points under frame 0
};

// The geometric pieces, in millimetres.
namespace Measure {
double Distance(const CMeasurement::Point& a, const CMeasurement::Point& b);
// The angle at `b` between b->a and b->c, in degrees; NaN when an arm has no length.
double AngleDegrees(const CMeasurement::Point& a, const CMeasurement::Point& b, const CMeasurement::Point& c);
// The area of a planar polygon (Newell's sum of cross products).
double PolygonArea(const std::vector<CMeasurement::Point>& points);
// The largest distance of any point from the polygon's plane; NaN when all are collinear.
double OffPlane(const std::vector<CMeasurement::Point>& points);
// Where the line a-b enters `label` walking in from each end, in voxel
// coordinates; nothing when the line misses it in `frame`.
std::optional<std::array<CMeasurement::Point, 2>> LabelEnds(const CMeasurement::Point& a,
                                                            const CMeasurement::Point& b,
                                                            const CLabelImage& labels, int frame,
                                                            int64_t label);
}  // namespace Measure
