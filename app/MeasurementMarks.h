#pragma once

#include <string>
#include <vector>

#include "Measurement.h"
#include "SceneState.h"

class CViewer;

// How the viewer's measurements look in the 3-D view at the frame shown.
class CMeasurementMarks {
public:
    // The marks of the measurements shown, for the scene state.
    static std::vector<CSceneState::CMeasureMark> Of(const CViewer& viewer);
    // A value with its unit as the view and the panel give it ("42.3 mm",
    // "90.0 deg", "12.5 mm2"); "-" where there is none.
    static std::string ValueText(CMeasurement::Kind kind, double value);
};
