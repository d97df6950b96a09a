#pragma once

#include "BrushTool.h"

// The brush's shape and stroke, writing background (0).
class CEraserTool : public CBrushTool {
public:
    using CBrushTool::CBrushTool;
    const char* Name() const override { return "Eraser"; }

protected:
    bool Erases() const override { return true; }
};
