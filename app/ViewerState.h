#pragma once

#include <cstdint>
#include <string>

// What the viewer is showing and how: the position in the 4-D data, the
// display switches, playback, the settings of the running program and the
// names the title shows. Plain data changed by the viewer's commands; each
// value is kept here only, and the scene the view draws is derived from it on
// every refresh. The view's own switches (wire frame, colour coding, culling,
// points, texturing, the selected object, the label overlay) are the view's.
struct CViewerState {
    // The current voxel: the YZ plane is shown at x, the XZ plane at y, the
    // XY plane at z. Mesh loads may place it outside the volume.
    int m_x = 0, m_y = 0, m_z = 0;
    int m_t = 0;                // current frame
    int m_lockedFrame = -1;     // volume frame kept while the meshes play on; -1 none
    double m_contrast = 0.5;    // 0..1, 0.5 neutral
    double m_brightness = 0.5;  // 0..1, 0.5 neutral
    static constexpr double kDefaultSaturation = 0.98;
    double m_saturation = kDefaultSaturation;  // fraction of samples below white
    int m_frameTimeMs = 55;
    double m_pixelSizeX = 1.3671875;  // mm
    double m_pixelSizeY = 1.3671875;
    double m_pixelSizeZ = 6.0;
    bool m_playing = false;
    // Ping-pong playback is on when either is set: stepping forward or backward.
    bool m_pingPongUp = false;
    bool m_pingPongDown = false;
    bool m_whiteBackground = false;
    bool m_bilinear = true;
    bool m_showX = true, m_showY = true, m_showZ = true;  // the planes at x, y and z
    bool m_positionInfo = false;                          // the title shows position and camera
    bool m_clipGeometry = false;
    bool m_boundingBox = true;
    bool m_axes = false;
    bool m_drawGeometry = true;
    bool m_showOrientation = true;  // the patient direction letters, where the volume has a geometry
    int m_sliceDragMode = 0;  // 0 none, 1 x follows the mouse, 2 y follows it
    int m_dragLastX = -1, m_dragLastY = -1;
    // The path of the loaded volume, whatever its format (the name is from
    // when only .tvi files opened).
    std::string m_volumePath;
    std::string m_fileTitle;     // the name the title shows
    bool m_toldFileChanged = false;  // the user heard that the shown file changed on disk
    std::string m_geometryPath;  // the last .obj file asked for
    std::string m_baseTitle;     // the application's name, as the window began
    // How a DICOM series is chosen without asking ("stack", a 1-based list
    // position or a UID; "" asks when there are several).
    std::string m_seriesChoice;
    // The label whose ejection the Curves panel and --info give; 0 lets the
    // viewer take the label whose volume varies most.
    int64_t m_ejectionLabel = 0;
    // What a mesh export writes: every frame, one file each; patient
    // coordinates instead of the view's millimetres.
    bool m_allMeshFrames = false;
    bool m_meshesInPatientSpace = false;
};
