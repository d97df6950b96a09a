#pragma once

#include "MeasureTool.h"

// Measures three points, the angle at the middle one in degrees.
class CAngleTool : public CMeasureTool {
public:
    explicit CAngleTool(CViewer& viewer) : CMeasureTool(viewer, CMeasurement::Kind::Angle) {}
    const char* Name() const override { return "Angle"; }
};
