#pragma once

#include <QKeyCombination>

#include <vector>

class CViewer;

// One command of the viewer: where it sits in the menus, its keys, what it
// does and the rules that enable and check it. Menus, shortcuts and the key
// gate are all built from this one table.
struct CCommand {
    int id;
    int menu;          // index into kMenuTitles; -1 for commands with keys only
    const char* text;  // menu text with its key hint after a tab; nullptr without menu item
    std::vector<QKeyCombination> keys;
    void (*run)(CViewer&);
    bool (*enabled)(const CViewer&);  // nullptr: always enabled
    bool (*checked)(const CViewer&);  // nullptr: never shows a check mark
    bool separatorBefore = false;
};

inline constexpr const char* kMenuTitles[] = {"&File", "&Control", "&Display", "Geometry", "&Help"};

// Every command, menus in order and items in menu order.
const std::vector<CCommand>& CommandTable();
// The command with `id`, or nullptr.
const CCommand* FindCommand(int id);
// Whether the command is enabled for the viewer's state now.
bool IsCommandEnabled(const CCommand& command, const CViewer& viewer);
