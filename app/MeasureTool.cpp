#include "MeasureTool.h"

#include <cmath>
#include <limits>

#include "Curves.h"
#include "MeasurementEditing.h"
#include "PlanePick.h"
#include "SceneGeometry.h"
#include "Viewer.h"

size_t CMeasureTool::Needed() const {
    switch (m_kind) {
        case CMeasurement::Kind::Distance:
            return 2;
        case CMeasurement::Kind::Angle:
            return 3;
        case CMeasurement::Kind::Area:
            break;
    }
    return std::numeric_limits<size_t>::max();  // until closed
}

bool CMeasureTool::Grab(const CPointer& at) {
    const CMeasurementLayer& layer = m_viewer.Measurements();
    const CVolumeGrid grid = m_viewer.Grid();
    if (layer.Empty() || !grid.IsUsable()) return false;
    const int frame = m_viewer.Navigation().DisplayFrame();
    double nearest = kGrabPixels;
    bool found = false;
    for (size_t i = 0; i < layer.Size(); ++i) {
        const std::vector<Point>* points = layer.Items()[i].PointsAt(frame);
        if (!layer.Shown(i) || points == nullptr) continue;
        for (size_t p = 0; p < points->size(); ++p) {
            const auto pixel =
                ProjectToWindow(m_viewer.View(), at.width, at.height, grid.SceneOfVoxel((*points)[p]));
            if (!pixel) continue;
            const double distance = std::hypot((*pixel)[0] - at.x, (*pixel)[1] - at.y);
            if (distance <= nearest) {
                nearest = distance;
                m_item = i;
                m_point = p;
                found = true;
            }
        }
    }
    if (found) {
        m_before = layer;
        m_pressedAt = at;
        m_moved = false;
    }
    return found;
}

void CMeasureTool::Press(const CPointer& at) {
    if (m_points.empty() && Grab(at)) return;
    AddPoint(at);
}

void CMeasureTool::Drag(const CPointer& at) {
    if (!m_before) return;
    const std::optional<CPlanePick> pick = CPlanePick::At(m_viewer, at);
    if (!pick) return;
    m_moved = true;
    CMeasurementLayer layer = m_viewer.Measurements();
    if (m_item >= layer.Size()) return;
    CMeasurement& measurement = layer.Item(m_item);
    const int frame = m_viewer.Navigation().DisplayFrame();
    std::vector<Point> points = *measurement.PointsAt(frame);
    if (m_point >= points.size()) return;
    points[m_point] = pick->voxelPoint;
    measurement.SetPoints(frame, std::move(points));
    // An outline's point stays on its plane: a move off it is not taken.
    if (!measurement.Fault(CCurves::MeasurementContext(m_viewer).metric).empty()) return;
    m_viewer.MeasurementEditing().Show(layer);
}

void CMeasureTool::Release() {
    if (!m_before) return;
    const CMeasurementLayer before = std::move(*m_before);
    m_before.reset();
    // A click on a point without a drag places a point there, so that a
    // measurement may start where another has a point.
    if (!m_moved) {
        AddPoint(m_pressedAt);
        return;
    }
    m_viewer.MeasurementEditing().Commit(before, "Move Measurement Point");
}

void CMeasureTool::AddPoint(const CPointer& at) {
    const std::optional<CPlanePick> pick = CPlanePick::At(m_viewer, at);
    if (!pick) return;
    if (m_kind == CMeasurement::Kind::Area) {
        // An outline lies on the plane and slice of its first point.
        if (m_points.empty())
            m_plane = pick->plane;
        else if (pick->plane != m_plane ||
                 pick->voxelPoint[static_cast<size_t>(m_plane)] != m_points[0][static_cast<size_t>(m_plane)])
            return;
    }
    // A double click's second press lands where the first did.
    if (!m_points.empty() && m_points.back() == pick->voxelPoint) return;
    m_points.push_back(pick->voxelPoint);
    m_scenePoints.push_back(pick->scene);
    if (m_points.size() >= Needed())
        Make();
    else
        ShowPlaced(nullptr);
}

void CMeasureTool::DoubleClick(const CPointer& at) {
    AddPoint(at);
    if (m_kind == CMeasurement::Kind::Area) Finish();
}

void CMeasureTool::Hover(const CPointer& at) {
    if (m_points.empty()) return;
    const std::optional<CPlanePick> pick = CPlanePick::At(m_viewer, at);
    ShowPlaced(pick ? &pick->scene : nullptr);
}

void CMeasureTool::Finish() {
    if (m_kind == CMeasurement::Kind::Area && m_points.size() >= 3) Make();
    Cancel();
}

void CMeasureTool::Make() {
    CMeasurementLayer layer = m_viewer.Measurements();
    CMeasurement made = CMeasurement::Fixed(layer.FreeName(m_kind), m_kind, m_points);
    const std::string fault = made.Fault(CCurves::MeasurementContext(m_viewer).metric);
    if (fault.empty()) {
        const QString text = QString("Add %1").arg(QString::fromStdString(made.Name()));
        layer.Add(std::move(made));
        m_viewer.MeasurementEditing().Change(layer, text);
    } else {
        m_viewer.Host().ShowStatusNote(std::string("No ") + CMeasurement::KindName(m_kind) +
                                       " was made: " + fault);
    }
    Cancel();
}

void CMeasureTool::Cancel() {
    const bool shown = !m_points.empty();
    m_points.clear();
    m_scenePoints.clear();
    m_plane = -1;
    if (shown) {
        m_viewer.View().m_toolOutlines.clear();
        m_viewer.View().Repaint();
    }
}

void CMeasureTool::ShowPlaced(const std::array<double, 3>* next) {
    CSceneState::COutline line;
    line.points = m_scenePoints;
    if (next != nullptr) line.points.push_back(*next);
    m_viewer.View().m_toolOutlines = {std::move(line)};
    m_viewer.View().Repaint();
}
