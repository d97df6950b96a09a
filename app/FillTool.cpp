#include "FillTool.h"

#include "LabelEditing.h"
#include "PlanePick.h"
#include "Viewer.h"

void CFillTool::Press(const CPointer& at) {
    const std::optional<CPlanePick> pick = CPlanePick::At(m_viewer, at);
    CLabelEditing& editing = m_viewer.Editing();
    if (!pick || !editing.Begin()) return;
    editing.Fill(pick->voxel, pick->plane);
    editing.End();
}
