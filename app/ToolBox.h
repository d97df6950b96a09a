#pragma once

#include <QKeyCombination>

#include <memory>
#include <vector>

#include "Tool.h"

class CViewer;

// The tools the left button can serve, and which one does now (Turn at
// first). The window shows them as the Tools menu and the tool bar, each
// with its key; later tools join the table.
class CToolBox {
public:
    enum class ETool { kTurn, kWindow, kBrush, kEraser, kFill, kPolygon, kRuler, kAngle, kArea };
    struct CEntry {
        ETool tool;
        const char* menuText;  // with its key hint after a tab
        QKeyCombination key;
    };

    explicit CToolBox(CViewer& viewer);
    ~CToolBox();

    static const std::vector<CEntry>& Entries();

    ETool ActiveId() const { return m_active; }
    CTool& Active() { return Tool(m_active); }
    const CTool& Active() const { return *m_tools[static_cast<size_t>(m_active)]; }
    CTool& Tool(ETool tool) { return *m_tools[static_cast<size_t>(tool)]; }
    // Makes `tool` the one the left button serves; a drag in progress ends
    // and what the tool drew goes.
    void Choose(ETool tool);

private:
    std::vector<std::unique_ptr<CTool>> m_tools;
    ETool m_active = ETool::kTurn;
};
