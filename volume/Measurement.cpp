#include "Measurement.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <numbers>

#include "LabelImage.h"

namespace {

using Point = CMeasurement::Point;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
// How far (mm) a polygon's point may stand off its plane before the outline
// is refused: well below any pixel, well above rounding.
constexpr double kPlaneTolerance = 1e-3;
// The ruler samples the label image at most this far apart (voxels), so it
// cannot step over a one-voxel gap or a one-voxel rim.
constexpr double kLabelStep = 0.1;

Point Minus(const Point& a, const Point& b) {
    return {a[0] - b[0], a[1] - b[1], a[2] - b[2]};
}
double Dot(const Point& a, const Point& b) {
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}
double Norm(const Point& a) {
    return std::sqrt(Dot(a, a));
}
Point Cross(const Point& a, const Point& b) {
    return {a[1] * b[2] - a[2] * b[1], a[2] * b[0] - a[0] * b[2], a[0] * b[1] - a[1] * b[0]};
}
Point Along(const Point& a, const Point& b, double t) {
    return {a[0] + t * (b[0] - a[0]), a[1] + t * (b[1] - a[1]), a[2] + t * (b[2] - a[2])};
}

Point NewellSum(const std::vector<Point>& points) {
    Point sum{0, 0, 0};
    for (size_t i = 0; i < points.size(); ++i) {
        const Point c = Cross(points[i], points[(i + 1) % points.size()]);
        for (int a = 0; a < 3; ++a) sum[a] += c[a];
    }
    return sum;
}

size_t PointsNeeded(CMeasurement::Kind kind) {
    switch (kind) {
        case CMeasurement::Kind::Distance:
            return 2;
        case CMeasurement::Kind::Angle:
            return 3;
        case CMeasurement::Kind::Area:
            return 3;  // at least
    }
    return 0;
}

std::vector<Point> InMillimetres(const std::vector<Point>& voxels, const CMeasureMetric& metric) {
    std::vector<Point> mm;
    mm.reserve(voxels.size());
    for (const Point& p : voxels) mm.push_back(metric.ToMillimetres(p));
    return mm;
}

double ValueOf(CMeasurement::Kind kind, const std::vector<Point>& mm) {
    switch (kind) {
        case CMeasurement::Kind::Distance:
            return mm.size() == 2 ? Measure::Distance(mm[0], mm[1]) : kNaN;
        case CMeasurement::Kind::Angle:
            return mm.size() == 3 ? Measure::AngleDegrees(mm[0], mm[1], mm[2]) : kNaN;
        case CMeasurement::Kind::Area:
            return mm.size() >= 3 ? Measure::PolygonArea(mm) : kNaN;
    }
    return kNaN;
}

// True when the voxel nearest `p` carries label index `index` in `frame`;
// points off the grid are outside every label.
bool InsideLabel(const CLabelImage& labels, int frame, int index, const Point& p) {
    const int size[3] = {labels.SizeX(), labels.SizeY(), labels.SizeZ()};
    int64_t at[3];
    for (int a = 0; a < 3; ++a) {
        const double r = std::round(p[a]);
        if (!(r >= 0 && r < size[a])) return false;  // also refuses NaN
        at[a] = static_cast<int64_t>(r);
    }
    const uint8_t* voxels = labels.FrameVoxels(frame);
    if (voxels == nullptr) return false;
    return voxels[(at[2] * size[1] + at[1]) * size[0] + at[0]] == index;
}

// Walks from `from` towards `to` and gives where the label starts: the first
// inside sample, moved back to the boundary between it and the last outside one.
std::optional<Point> FirstInside(const Point& from, const Point& to, const CLabelImage& labels, int frame,
                                 int index) {
    const double length = Norm(Minus(to, from));
    const int steps = std::max(1, static_cast<int>(std::ceil(length / kLabelStep)));
    if (!std::isfinite(length) || steps > 10'000'000) return std::nullopt;
    if (InsideLabel(labels, frame, index, from)) return from;
    for (int s = 1; s <= steps; ++s) {
        double inside = static_cast<double>(s) / steps;
        if (!InsideLabel(labels, frame, index, Along(from, to, inside))) continue;
        double outside = static_cast<double>(s - 1) / steps;
        for (int i = 0; i < 30; ++i) {
            const double mid = 0.5 * (inside + outside);
            (InsideLabel(labels, frame, index, Along(from, to, mid)) ? inside : outside) = mid;
        }
        return Along(from, to, 0.5 * (inside + outside));
    }
    return std::nullopt;
}

}  // namespace

std::array<double, 3> CMeasureMetric::ToMillimetres(const std::array<double, 3>& voxel) const {
    if (toPatient) return toPatient->Apply(voxel);
    return {voxel[0] * pixelSize[0], voxel[1] * pixelSize[1], voxel[2] * pixelSize[2]};
}

std::optional<CMeasurement::Kind> CMeasurement::KindFromName(const std::string& name) {
    if (name == "distance") return Kind::Distance;
    if (name == "angle") return Kind::Angle;
    if (name == "area") return Kind::Area;
    return std::nullopt;
}

const char* CMeasurement::KindName(Kind kind) {
    switch (kind) {
        case Kind::Distance:
            return "distance";
        case Kind::Angle:
            return "angle";
        case Kind::Area:
            return "area";
    }
    return "";
}

const char* CMeasurement::UnitName(Kind kind) {
    switch (kind) {
        case Kind::Distance:
            return "mm";
        case Kind::Angle:
            return "deg";
        case Kind::Area:
            return "mm2";
    }
    return "";
}

CMeasurement CMeasurement::Fixed(std::string name, Kind kind, std::vector<Point> points) {
    CMeasurement m;
    m.m_name = std::move(name);
    m.m_kind = kind;
    m.m_points[0] = std::move(points);
    return m;
}

CMeasurement CMeasurement::PerFrame(std::string name, Kind kind, std::map<int, std::vector<Point>> frames) {
    CMeasurement m;
    m.m_name = std::move(name);
    m.m_kind = kind;
    m.m_mode = TimeMode::PerFrame;
    m.m_points = std::move(frames);
    return m;
}

CMeasurement CMeasurement::FollowsLabel(std::string name, std::vector<Point> points, int64_t label) {
    CMeasurement m = Fixed(std::move(name), Kind::Distance, std::move(points));
    m.m_mode = TimeMode::FollowsLabel;
    m.m_label = label;
    return m;
}

void CMeasurement::SetPoints(int frame, std::vector<Point> points) {
    if (m_mode == TimeMode::PerFrame)
        m_points[frame] = std::move(points);
    else
        m_points = {{0, std::move(points)}};
}

bool CMeasurement::SetMode(TimeMode mode, int frame, int64_t label) {
    const std::vector<Point>* shown = PointsAt(frame);
    if (shown == nullptr || (mode == TimeMode::FollowsLabel && m_kind != Kind::Distance)) return false;
    std::vector<Point> points = *shown;
    m_points = {{mode == TimeMode::PerFrame ? frame : 0, std::move(points)}};
    m_mode = mode;
    m_label = mode == TimeMode::FollowsLabel ? label : 0;
    return true;
}

std::string CMeasurement::Fault(const CMeasureMetric& metric) const {
    if (m_points.empty()) return "has no points";
    if (m_mode == TimeMode::FollowsLabel && m_kind != Kind::Distance)
        return "only a distance can follow a label";
    const size_t needed = PointsNeeded(m_kind);
    for (const auto& [frame, points] : m_points) {
        const std::string where =
            m_mode == TimeMode::PerFrame ? std::string(" in frame ") + std::to_string(frame) : "";
        for (const Point& p : points)
            for (double c : p)
                if (!std::isfinite(c)) return std::string("has a point that is not a number") + where;
        if (m_kind == Kind::Area) {
            if (points.size() < needed)
                return std::string("a polygon needs at least 3 points, has ") +
                       std::to_string(points.size()) + where;
            const std::vector<Point> mm = InMillimetres(points, metric);
            const double off = Measure::OffPlane(mm);
            if (std::isnan(off)) return std::string("polygon's points are all on one line") + where;
            if (off > kPlaneTolerance) return std::string("polygon is not in one plane") + where;
        } else if (points.size() != needed) {
            return std::string(m_kind == Kind::Angle ? "an " : "a ") + KindName(m_kind) + " needs " +
                   std::to_string(needed) + " points, has " + std::to_string(points.size()) + where;
        }
    }
    return {};
}

const std::vector<Point>* CMeasurement::PointsAt(int frame) const {
    if (m_points.empty()) return nullptr;
    if (m_mode != TimeMode::PerFrame) return &m_points.begin()->second;
    const auto after = m_points.lower_bound(frame);
    if (after != m_points.end() && after->first == frame) return &after->second;
    if (after == m_points.begin()) return &after->second;
    const auto before = std::prev(after);
    if (after == m_points.end()) return &before->second;
    // Ties go to the earlier frame.
    const int64_t toBefore = int64_t{frame} - before->first, toAfter = int64_t{after->first} - frame;
    return toBefore <= toAfter ? &before->second : &after->second;
}

double CMeasurement::ValueAt(int frame, const CLabelImage* labels, const CMeasureMetric& metric) const {
    const std::vector<Point>* points = PointsAt(frame);
    if (points == nullptr) return kNaN;
    if (m_mode != TimeMode::FollowsLabel) return ValueOf(m_kind, InMillimetres(*points, metric));
    if (labels == nullptr || points->size() != 2 || frame < 0) return kNaN;
    // A label image of one frame serves every frame, as it does on the planes.
    const int labelFrame = labels->Frames() == 1 ? 0 : frame;
    const auto ends = Measure::LabelEnds((*points)[0], (*points)[1], *labels, labelFrame, m_label);
    if (!ends) return kNaN;
    return Measure::Distance(metric.ToMillimetres((*ends)[0]), metric.ToMillimetres((*ends)[1]));
}

std::vector<double> CMeasurement::ValuesPerFrame(int frames, const CLabelImage* labels,
                                                 const CMeasureMetric& metric) const {
    std::vector<double> values;
    values.reserve(static_cast<size_t>(std::max(frames, 0)));
    for (int t = 0; t < frames; ++t) values.push_back(ValueAt(t, labels, metric));
    return values;
}

namespace Measure {

double Distance(const Point& a, const Point& b) {
    return Norm(Minus(a, b));
}

double AngleDegrees(const Point& a, const Point& b, const Point& c) {
    const Point u = Minus(a, b), v = Minus(c, b);
    const double nu = Norm(u), nv = Norm(v);
    if (!(nu > 0) || !(nv > 0)) return kNaN;
    // atan2 of the cross and dot products keeps its precision near 0 and 180 degrees.
    return std::atan2(Norm(Cross(u, v)), Dot(u, v)) * 180.0 / std::numbers::pi;
}

double PolygonArea(const std::vector<Point>& points) {
    if (points.size() < 3) return kNaN;
    return 0.5 * Norm(NewellSum(points));
}

double OffPlane(const std::vector<Point>& points) {
    if (points.size() < 3) return kNaN;
    // The plane's normal: Newell's sum for a polygon with area; failing that
    // (a figure whose lobes cancel), the first three points not on one line.
    Point normal = NewellSum(points);
    if (!(Norm(normal) > 1e-12)) {
        normal = {0, 0, 0};
        for (size_t i = 2; i < points.size() && !(Norm(normal) > 1e-12); ++i)
            normal = Cross(Minus(points[1], points[0]), Minus(points[i], points[0]));
        if (!(Norm(normal) > 1e-12)) return kNaN;
    }
    const double n = Norm(normal);
    Point centre{0, 0, 0};
    for (const Point& p : points)
        for (int a = 0; a < 3; ++a) centre[a] += p[a] / static_cast<double>(points.size());
    double worst = 0;
    for (const Point& p : points) worst = std::max(worst, std::abs(Dot(Minus(p, centre), normal)) / n);
    return worst;
}

std::optional<std::array<Point, 2>> LabelEnds(const Point& a, const Point& b, const CLabelImage& labels,
                                              int frame, int64_t label) {
    const int index = labels.IndexOf(label);
    if (index < 0 || frame < 0 || frame >= labels.Frames()) return std::nullopt;
    const auto fromA = FirstInside(a, b, labels, frame, index);
    if (!fromA) return std::nullopt;
    const auto fromB = FirstInside(b, a, labels, frame, index);
    if (!fromB) return std::nullopt;
    return std::array<Point, 2>{*fromA, *fromB};
}

}  // namespace Measure
