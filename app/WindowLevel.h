#pragma once

#include <optional>
#include <string>
#include <vector>

#include "ColourMap.h"
#include "DisplayWindow.h"

class CViewer;

// What the Window/Level dialog edits: the window in the file's units (or the
// load default), the colour map, and the presets it offers with their windows.
struct CWindowLevelValues {
    CDisplayWindow window;
    bool loadDefault = true;
    EColourMap colourMap = EColourMap::kGrey;
    struct CPreset {
        EWindowPreset preset;
        CDisplayWindow window;
    };
    std::vector<CPreset> presets;
};

// The viewer's window/level and colour map as commands: the dialog, the
// presets and the values the status bar and --info give. Keeps nothing of
// its own: one is made for each use.
class CWindowLevel {
public:
    explicit CWindowLevel(CViewer& viewer) : m_viewer(viewer) {}

    // Display > Window/Level...: shows the dialog and takes what it gives.
    void OnDialog();
    // A preset's window; false (nothing changed) when the volume has no such window.
    bool ApplyPreset(EWindowPreset preset);
    // The dialog's values for the viewer now.
    CWindowLevelValues CurrentValues() const;
    // Takes the dialog's values.
    void Apply(const CWindowLevelValues& values);

    // "W 400 L 40": the window in force, for the status bar; "" without a volume.
    static std::string StatusText(const CViewer& viewer);

private:
    CViewer& m_viewer;
};
