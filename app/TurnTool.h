#pragma once

#include "Tool.h"

// The camera turns under a left drag: the view does that itself, so this
// tool only leaves it the button.
class CTurnTool : public CTool {
public:
    const char* Name() const override { return "Turn"; }
    bool TakesLeftButton() const override { return false; }
};
