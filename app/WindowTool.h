#pragma once

#include <optional>

#include "DisplayWindow.h"
#include "Tool.h"

class CViewer;

// Window/level by dragging: to the right the window widens, to the left it
// narrows; down the level (centre) rises, up it falls. A pixel moves either
// by a fixed share of the series' full range of values, so a drag across the
// view spans most of it whatever the units.
class CWindowTool : public CTool {
public:
    // The share of the full value range one pixel of drag moves the window by.
    static constexpr double kRangePerPixel = 1.0 / 512.0;

    explicit CWindowTool(CViewer& viewer) : m_viewer(viewer) {}

    const char* Name() const override { return "Window"; }
    void Press(const CPointer& at) override;
    void Drag(const CPointer& at) override;
    void Release() override { m_start.reset(); }

    // The window a drag from `start` by (dx, dy) pixels gives, for a series
    // whose values span `range`: never narrower than a pixel's step.
    static CDisplayWindow Dragged(const CDisplayWindow& start, int dx, int dy, double range);

private:
    CViewer& m_viewer;
    // The window and the point where the drag began; none between drags.
    std::optional<CDisplayWindow> m_start;
    CPointer m_from;
    double m_range = 1.0;
};
