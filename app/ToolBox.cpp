#include "ToolBox.h"

#include "AngleTool.h"
#include "AreaTool.h"
#include "BrushTool.h"
#include "EraserTool.h"
#include "FillTool.h"
#include "PolygonTool.h"
#include "RulerTool.h"
#include "TurnTool.h"
#include "WindowTool.h"

CToolBox::CToolBox(CViewer& viewer) {
    // In the order of ETool.
    m_tools.push_back(std::make_unique<CTurnTool>());
    m_tools.push_back(std::make_unique<CWindowTool>(viewer));
    m_tools.push_back(std::make_unique<CBrushTool>(viewer));
    m_tools.push_back(std::make_unique<CEraserTool>(viewer));
    m_tools.push_back(std::make_unique<CFillTool>(viewer));
    m_tools.push_back(std::make_unique<CPolygonTool>(viewer));
    m_tools.push_back(std::make_unique<CRulerTool>(viewer));
    m_tools.push_back(std::make_unique<CAngleTool>(viewer));
    m_tools.push_back(std::make_unique<CAreaTool>(viewer));
}

CToolBox::~CToolBox() = default;

const std::vector<CToolBox::CEntry>& CToolBox::Entries() {
    static const std::vector<CEntry> entries = {
        {ETool::kTurn, "&Turn\tQ", QKeyCombination(Qt::Key_Q)},
        {ETool::kWindow, "&Window/Level\tN", QKeyCombination(Qt::Key_N)},
        // The label tools: Shift with the tool's initial, as no plain letter is left for them.
        {ETool::kBrush, "&Brush\tShift + B", QKeyCombination(Qt::ShiftModifier, Qt::Key_B)},
        {ETool::kEraser, "&Eraser\tShift + E", QKeyCombination(Qt::ShiftModifier, Qt::Key_E)},
        {ETool::kFill, "&Fill\tShift + F", QKeyCombination(Qt::ShiftModifier, Qt::Key_F)},
        {ETool::kPolygon, "&Polygon\tShift + P", QKeyCombination(Qt::ShiftModifier, Qt::Key_P)},
        // The measuring tools: Shift with a letter of what they give (distance, angle, area).
        {ETool::kRuler, "R&uler\tShift + D", QKeyCombination(Qt::ShiftModifier, Qt::Key_D)},
        {ETool::kAngle, "An&gle\tShift + G", QKeyCombination(Qt::ShiftModifier, Qt::Key_G)},
        {ETool::kArea, "&Area\tShift + A", QKeyCombination(Qt::ShiftModifier, Qt::Key_A)},
    };
    return entries;
}

void CToolBox::Choose(ETool tool) {
    if (tool == m_active) return;
    Active().PutDown();
    m_active = tool;
}
