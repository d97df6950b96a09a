#pragma once

#include "MeasureTool.h"

// Measures a closed outline on one plane, its area in mm2.
class CAreaTool : public CMeasureTool {
public:
    explicit CAreaTool(CViewer& viewer) : CMeasureTool(viewer, CMeasurement::Kind::Area) {}
    const char* Name() const override { return "Area"; }
};
