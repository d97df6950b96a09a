#pragma once

#include "MeasureTool.h"

// Measures two points, the distance between them in mm.
class CRulerTool : public CMeasureTool {
public:
    explicit CRulerTool(CViewer& viewer) : CMeasureTool(viewer, CMeasurement::Kind::Distance) {}
    const char* Name() const override { return "Ruler"; }
};
