#include "WindowTool.h"

#include <algorithm>
#include <cmath>

#include "Viewer.h"

CDisplayWindow CWindowTool::Dragged(const CDisplayWindow& start, int dx, int dy, double range) {
    const double step = range * kRangePerPixel;
    return {start.center + dy * step, std::max(start.width + dx * step, step)};
}

void CWindowTool::Press(const CPointer& at) {
    if (m_viewer.Volume().SizeX() == 0) return;
    m_start = m_viewer.Volume().Window();
    m_from = at;
    // A series of one value still moves: one unit a pixel at least.
    const std::optional<CDisplayWindow> full = m_viewer.Volume().PresetWindow(EWindowPreset::kFullRange);
    m_range = full && std::isfinite(full->width) && full->width > 0 ? full->width : 1.0;
}

void CWindowTool::Drag(const CPointer& at) {
    if (!m_start) return;
    m_viewer.SetWindow(Dragged(*m_start, at.x - m_from.x, at.y - m_from.y, m_range));
}
