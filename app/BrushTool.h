#pragma once

#include <array>
#include <optional>

#include "Tool.h"

class CViewer;

// Paints the active label with a round brush on the plane under the mouse:
// a press puts a dab, a drag strokes on along that plane, and the release
// makes the stroke one undo step. The brush's circle follows the mouse.
// The radius (in millimetres), the disc or ball shape and what may be
// painted over are the editing settings'.
class CBrushTool : public CTool {
public:
    explicit CBrushTool(CViewer& viewer) : m_viewer(viewer) {}

    const char* Name() const override { return "Brush"; }
    void Press(const CPointer& at) override;
    void Drag(const CPointer& at) override;
    void Release() override;
    void Hover(const CPointer& at) override;
    void PutDown() override;

protected:
    // The eraser writes background instead.
    virtual bool Erases() const { return false; }

private:
    // Shows the brush's circle round scene point `centre` on `plane`, or none.
    void ShowCircle(int plane, const std::array<double, 3>& centre);
    void HideCircle();

    CViewer& m_viewer;
    // The plane the stroke paints on and the voxel of its last dab; none between strokes.
    int m_plane = -1;
    std::optional<std::array<int, 3>> m_last;
};
