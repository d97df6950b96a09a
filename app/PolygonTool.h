#pragma once

#include <array>
#include <vector>

#include "Tool.h"

class CViewer;

// Clicks set the vertices of a polygon on one plane; a double click or
// Enter fills its inside on that slice with the active label (one undo
// step), Esc drops it. Clicks on another plane or slice than the first
// vertex's are ignored. The edges so far are drawn, the last one following
// the mouse.
class CPolygonTool : public CTool {
public:
    explicit CPolygonTool(CViewer& viewer) : m_viewer(viewer) {}

    const char* Name() const override { return "Polygon"; }
    void Press(const CPointer& at) override;
    void DoubleClick(const CPointer& at) override;
    void Hover(const CPointer& at) override;
    void Finish() override;
    void Cancel() override;
    void PutDown() override { Cancel(); }

    // The vertices so far, in the plane's two free file voxel axes.
    const std::vector<std::array<double, 2>>& Vertices() const { return m_vertices; }

private:
    // Adds the vertex under the pointer when it lies on the polygon's slice.
    void AddVertex(const CPointer& at);
    // Draws the edges, with one more to `next` (scene mm) while the mouse is on the slice.
    void ShowEdges(const std::array<double, 3>* next);

    CViewer& m_viewer;
    int m_plane = -1;
    int m_slice = -1;
    std::vector<std::array<double, 2>> m_vertices;
    std::vector<std::array<double, 3>> m_scenePoints;
};
