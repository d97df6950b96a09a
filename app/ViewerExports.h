#pragma once

#include <string>
#include <vector>

class CViewer;

// What the viewer writes: a picture of the 3-D view, single planes as
// pictures, the time sequence as a movie and every mesh as an .obj file. Each
// reports its own failure to the user and returns false then; the save
// commands ask for the file name first, headless runs call these directly.
class CViewerExports {
public:
    explicit CViewerExports(CViewer& viewer) : m_viewer(viewer) {}

    bool SaveSnapshot(const std::string& path);
    // Plane 0 = YZ at x, 1 = XZ at y, 2 = XY at z, of the current frame.
    bool SavePlane(int plane, const std::string& path);
    // Every frame (and back, for ping-pong playback), as the view shows it.
    bool ExportMovie(const std::string& path);
    // Writes every mesh (from .obj files and labels) as an .obj file.
    bool SaveGeometry(const std::string& path);

    // The frames a movie shows, in order: all, then back when ping-pong is on.
    std::vector<int> MovieFrames() const;
    // The name a save dialog proposes: the volume's path without its
    // extension and `suffix`, a printf format that may take `index`.
    std::string ProposedName(const char* suffix, int index) const;
    // The name the geometry save proposes: beside the volume, else the labels.
    std::string ProposedGeometryName() const;

private:
    CViewer& m_viewer;
};
