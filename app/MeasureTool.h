#pragma once

#include <array>
#include <cstddef>
#include <optional>
#include <vector>

#include "Measurement.h"
#include "MeasurementLayer.h"
#include "Tool.h"

class CViewer;

// What the ruler, angle and area tools share. Clicks on a plane place the
// points of a new measurement, in file voxel coordinates; it is made, fixed
// in time and named after its kind (d1, a1, s1 and on), as one undo step
// once it has its points: two for a ruler, three for an angle, and for an
// area whatever a double click or Enter closes (on the plane and slice of
// its first point; clicks elsewhere are ignored). Esc drops the points so
// far. A press within a few pixels of a point of a measurement shown
// grabs it instead: the drag moves it over the planes (in the frame shown
// for a measurement set frame by frame), and the whole drag is one undo
// step; released without a drag, the click places a point as any other.
class CMeasureTool : public CTool {
public:
    using Point = CMeasurement::Point;
    // How near (pixels) a press must come to a point to grab it.
    static constexpr double kGrabPixels = 6.0;

    CMeasureTool(CViewer& viewer, CMeasurement::Kind kind) : m_viewer(viewer), m_kind(kind) {}

    void Press(const CPointer& at) override;
    void Drag(const CPointer& at) override;
    void Release() override;
    void DoubleClick(const CPointer& at) override;
    void Hover(const CPointer& at) override;
    void Finish() override;
    void Cancel() override;
    void PutDown() override {
        Release();
        Cancel();
    }

    // The points placed so far of the measurement under way.
    const std::vector<Point>& Placed() const { return m_points; }

private:
    // Starts dragging the point nearest the pointer, when one lies near enough.
    bool Grab(const CPointer& at);
    void AddPoint(const CPointer& at);
    // Makes the measurement of the points placed; a figure without a value
    // (an outline on one line) is refused with a note.
    void Make();
    // Draws the points so far, with a line on to `next` (scene mm).
    void ShowPlaced(const std::array<double, 3>* next);
    size_t Needed() const;

    CViewer& m_viewer;
    CMeasurement::Kind m_kind;
    std::vector<Point> m_points;
    std::vector<std::array<double, 3>> m_scenePoints;
    int m_plane = -1;
    // The drag under way: the measurements before it, and the point held.
    std::optional<CMeasurementLayer> m_before;
    size_t m_item = 0, m_point = 0;
    CPointer m_pressedAt;
    bool m_moved = false;
};
