#include "ToolBox.h"

#include "TurnTool.h"
#include "WindowTool.h"

CToolBox::CToolBox(CViewer& viewer) {
    // In the order of ETool.
    m_tools.push_back(std::make_unique<CTurnTool>());
    m_tools.push_back(std::make_unique<CWindowTool>(viewer));
}

CToolBox::~CToolBox() = default;

const std::vector<CToolBox::CEntry>& CToolBox::Entries() {
    static const std::vector<CEntry> entries = {
        {ETool::kTurn, "&Turn\tQ", QKeyCombination(Qt::Key_Q)},
        {ETool::kWindow, "&Window/Level\tN", QKeyCombination(Qt::Key_N)},
    };
    return entries;
}

void CToolBox::Choose(ETool tool) {
    if (tool == m_active) return;
    Active().Release();
    m_active = tool;
}
