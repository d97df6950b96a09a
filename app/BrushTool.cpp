#include "BrushTool.h"

#include <cmath>

#include "LabelEditing.h"
#include "PlanePick.h"
#include "Viewer.h"

void CBrushTool::Press(const CPointer& at) {
    const std::optional<CPlanePick> pick = CPlanePick::At(m_viewer, at);
    if (!pick || !m_viewer.Editing().Begin()) return;
    m_plane = pick->plane;
    m_last = pick->voxel;
    m_viewer.Editing().Brush(pick->voxel, m_plane, Erases());
    ShowCircle(pick->plane, pick->scene);
}

void CBrushTool::Drag(const CPointer& at) {
    if (!m_last) return;
    const std::optional<CPlanePick> pick = CPlanePick::At(m_viewer, at);
    // A stroke stays on the plane it began on.
    if (!pick || pick->plane != m_plane) {
        HideCircle();
        return;
    }
    if (pick->voxel != *m_last) {
        m_viewer.Editing().BrushLine(*m_last, pick->voxel, m_plane, Erases());
        m_last = pick->voxel;
    }
    ShowCircle(pick->plane, pick->scene);
}

void CBrushTool::Release() {
    if (!m_last) return;
    m_last.reset();
    m_plane = -1;
    m_viewer.Editing().End();
}

void CBrushTool::Hover(const CPointer& at) {
    const std::optional<CPlanePick> pick = CPlanePick::At(m_viewer, at);
    if (pick)
        ShowCircle(pick->plane, pick->scene);
    else
        HideCircle();
}

void CBrushTool::PutDown() {
    Release();
    HideCircle();
}

void CBrushTool::ShowCircle(int plane, const std::array<double, 3>& centre) {
    constexpr int kSegments = 48;
    constexpr double kTurn = 6.283185307179586;
    const double radius = m_viewer.Editing().Settings().brushRadiusMm;
    // The circle lies in the plane's two free axes, in millimetres.
    const int u = plane == 0 ? 1 : 0;
    const int v = plane == 2 ? 1 : 2;
    CSceneState::COutline circle;
    circle.closed = true;
    for (int i = 0; i < kSegments; ++i) {
        std::array<double, 3> point = centre;
        point[static_cast<size_t>(u)] += radius * std::cos(kTurn * i / kSegments);
        point[static_cast<size_t>(v)] += radius * std::sin(kTurn * i / kSegments);
        circle.points.push_back(point);
    }
    m_viewer.View().m_toolOutlines = {std::move(circle)};
    m_viewer.View().Repaint();
}

void CBrushTool::HideCircle() {
    if (m_viewer.View().m_toolOutlines.empty()) return;
    m_viewer.View().m_toolOutlines.clear();
    m_viewer.View().Repaint();
}
