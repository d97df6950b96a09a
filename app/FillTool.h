#pragma once

#include "Tool.h"

class CViewer;

// A click fills the region of the clicked voxel's label connected to it, in
// the plane or through the volume as the settings say, with the active
// label; one undo step. A region larger than the settings' bound is refused.
class CFillTool : public CTool {
public:
    explicit CFillTool(CViewer& viewer) : m_viewer(viewer) {}

    const char* Name() const override { return "Fill"; }
    void Press(const CPointer& at) override;

private:
    CViewer& m_viewer;
};
