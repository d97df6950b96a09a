#include "PolygonTool.h"

#include "LabelEditing.h"
#include "PlanePick.h"
#include "Viewer.h"

namespace {

// The plane's two free axes in file order.
std::array<size_t, 2> FreeAxes(int plane) {
    if (plane == 0) return {1, 2};
    if (plane == 1) return {0, 2};
    return {0, 1};
}

}  // namespace

void CPolygonTool::AddVertex(const CPointer& at) {
    const std::optional<CPlanePick> pick = CPlanePick::At(m_viewer, at);
    if (!pick) return;
    const int slice = pick->voxel[static_cast<size_t>(pick->plane)];
    if (m_vertices.empty()) {
        m_plane = pick->plane;
        m_slice = slice;
    } else if (pick->plane != m_plane || slice != m_slice) {
        return;
    }
    const std::array<size_t, 2> axes = FreeAxes(m_plane);
    const std::array<double, 2> vertex = {pick->voxelPoint[axes[0]], pick->voxelPoint[axes[1]]};
    // A double click's second press lands where the first did.
    if (!m_vertices.empty() && m_vertices.back() == vertex) return;
    m_vertices.push_back(vertex);
    m_scenePoints.push_back(pick->scene);
    ShowEdges(nullptr);
}

void CPolygonTool::Press(const CPointer& at) { AddVertex(at); }

void CPolygonTool::DoubleClick(const CPointer& at) {
    AddVertex(at);
    Finish();
}

void CPolygonTool::Hover(const CPointer& at) {
    if (m_vertices.empty()) return;
    const std::optional<CPlanePick> pick = CPlanePick::At(m_viewer, at);
    const bool onSlice = pick && pick->plane == m_plane && pick->voxel[static_cast<size_t>(m_plane)] == m_slice;
    ShowEdges(onSlice ? &pick->scene : nullptr);
}

void CPolygonTool::Finish() {
    if (m_vertices.size() >= 3) {
        CLabelEditing& editing = m_viewer.Editing();
        if (editing.Begin()) {
            editing.Polygon(m_vertices, m_plane, m_slice);
            editing.End();
        }
    }
    Cancel();
}

void CPolygonTool::Cancel() {
    const bool shown = !m_vertices.empty();
    m_vertices.clear();
    m_scenePoints.clear();
    m_plane = m_slice = -1;
    if (shown) {
        m_viewer.View().m_toolOutlines.clear();
        m_viewer.View().Repaint();
    }
}

void CPolygonTool::ShowEdges(const std::array<double, 3>* next) {
    CSceneState::COutline edges;
    edges.points = m_scenePoints;
    if (next != nullptr) edges.points.push_back(*next);
    m_viewer.View().m_toolOutlines = {std::move(edges)};
    m_viewer.View().Repaint();
}
