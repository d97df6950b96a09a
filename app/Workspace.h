#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CViewer;

// A reading put away: which files are shown (paths relative to the
// workspace file, so a folder moved whole still opens), and how — window,
// colour map, measurements, camera, position, frame, playback and switches.
// Read from and written to a JSON file ending in ".orvanta". Opening one
// loads its files and then sets the rest, so a headless run on it renders
// what the window showed when it was saved.
class CWorkspace {
public:
    static constexpr int kVersion = 1;
    static constexpr const char* kExtension = ".orvanta";
    static bool IsWorkspaceName(const std::string& path);

    // The files, as absolute or workspace-relative paths (relative once
    // written; resolved against the workspace's folder once read).
    std::string m_volume;
    std::string m_series;  // the DICOM series chosen: a UID, "stack" or a 1-based position
    double m_saturation = 0.98;
    std::string m_labels;
    std::string m_descriptions;  // the label names and colours, when read from a file
    std::string m_meshes;
    std::vector<int64_t> m_hiddenLabels;

    std::optional<std::array<double, 2>> m_window;  // centre, width in the file's units
    std::string m_colourMap;
    double m_brightness = 0.5, m_contrast = 0.5, m_labelOpacity = 0.4;
    std::optional<std::array<double, 3>> m_pixelSize;
    std::optional<int> m_frameTimeMs;
    std::array<int, 3> m_position{0, 0, 0};
    int m_frame = 0;
    int m_lockedFrame = -1;
    bool m_pingPong = false;
    int m_selectedObject = -1;
    int64_t m_ejectionLabel = 0;
    // The orbit camera: azimuth and elevation in radians, and distance; it
    // looks at the middle of what is shown, as after any load.
    std::optional<std::array<double, 3>> m_camera;
    std::optional<std::array<int, 2>> m_viewSize;  // the drawing's pixels
    // The display switches by their workspace names ("x_plane", "axes" ...).
    std::vector<std::pair<std::string, bool>> m_switches;
    // The measurements as a --measure file lists them, points in voxels.
    std::string m_measurements;  // a JSON array; "" for none

    // What the viewer shows now, to be written to `path`: file paths are
    // made relative to its folder.
    static CWorkspace Capture(const CViewer& viewer);
    // The workspace as its file holds it.
    std::string ToJson(const std::string& workspacePath) const;
    // Writes the file beside itself first and renames it over, so a failed
    // write leaves the earlier workspace whole.
    bool Write(const std::string& path, std::string& error) const;

    // Reads the text of a workspace file; `source` names it in the one-line
    // error. Paths come back joined to `folder`.
    static bool Parse(const std::string& text, const std::string& source, const std::string& folder,
                      CWorkspace& out, std::string& error);
    static bool Read(const std::string& path, CWorkspace& out, std::string& error);

    // The files named that do not exist, in the order they are named, and
    // the one message that names them ("" when none is missing).
    std::vector<std::string> MissingFiles() const;
    std::string MissingText() const;
    // Loads what the workspace names and sets the rest; files that are gone
    // are left out and named in one error message.
    void Open(CViewer& viewer) const;

    // File > Open Workspace... and Save Workspace...: ask for the file; a
    // save first offers to save label edits, which the workspace names by file.
    static void OnOpen(CViewer& viewer);
    static void OnSave(CViewer& viewer);
    // Reads and opens the workspace at `path`; a file that cannot be read is told.
    static void OpenFile(const std::string& path, CViewer& viewer);
    // Writes what the viewer shows to `path`; false with the reason told.
    static bool SaveFile(const std::string& path, CViewer& viewer);

    // The switches a workspace keeps: its name for each, and the command it is.
    struct CSwitch {
        const char* name;
        int command;
    };
    static const std::vector<CSwitch>& Switches();
};
