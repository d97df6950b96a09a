#pragma once

#include <string>

#include "TimeVolume.h"
#include "ViewModel.h"
#include "ViewerHost.h"

// The main frame's state and logic without the window: the volume, the
// current position and frame, the display switches, playback, the loaders
// and every command handler. The window (CMainFrame) forwards its events and
// commands here; tests and headless runs drive the same code with their own
// view and host.
class CViewer {
public:
    CViewer(CViewModel& view, CViewerHost& host);
    CViewer(const CViewer&) = delete;
    CViewer& operator=(const CViewer&) = delete;

    // --- State -------------------------------------------------------------
    CTimeVolume m_volume;
    CViewModel& m_view;
    int m_x = 0, m_y = 0, m_z = 0;
    int m_t = 0;
    int m_lockedFrame = -1;
    double m_contrast = 0.5;
    double m_brightness = 0.5;
    double m_saturation = 0.98;
    int m_frameTimeMs = 55;
    double m_pixelSizeX = 1.3671875;
    double m_pixelSizeY = 1.3671875;
    double m_pixelSizeZ = 6.0;
    bool m_playing = false;
    bool m_pingPongUp = false;
    bool m_pingPongDown = false;
    bool m_whiteBackground = false;
    bool m_bilinear = true;
    bool m_showX = true, m_showY = true, m_showZ = true;
    bool m_positionInfo = false;
    bool m_clipGeometry = false;
    bool m_boundingBox = true;
    bool m_axes = false;
    bool m_drawGeometry = true;
    int m_sliceDragMode = 0;  // 0 none, 1 x follows the mouse, 2 y follows it
    int m_dragLastX = -1, m_dragLastY = -1;
    std::string m_tviPath;
    std::string m_fileTitle;
    std::string m_geometryPath;
    std::string m_baseTitle;
    // What the volume was loaded from: "tvi", "dicom", or "" (movies or nothing).
    std::string m_volumeFormat;
    // DICOM: how a series is chosen without asking ("stack", a 1-based list
    // position or a UID; "" asks when there are several), the folder or file
    // loaded, the series list found there, and the UIDs of the series loaded.
    std::string m_seriesChoice;
    std::string m_dicomPath;
    std::vector<std::string> m_seriesList;
    std::vector<std::string> m_seriesUids;

    // --- Derived values ----------------------------------------------------
    // The larger of the volume's last frame and the meshes' last frame number.
    int LastFrameIndex() const;
    // The volume frame shown: the locked one, else t held to the volume's frames.
    int DisplayFrame() const;
    // The title the window should have now.
    std::string TitleText() const;

    // --- Refresh and loading -----------------------------------------------
    void RefreshView();
    void UpdateTitle();
    void OpenStartupFile(const std::string& fileName);
    void LoadTviFile(const std::string& path);
    void LoadGeometryFile(const std::string& path);
    // The movies of `folder` ("" = the current one) as the volume (start-up without a file).
    void LoadAviDirectory(const std::string& folder = "");
    // A series of DICOM images as the volume: `path` names a folder (its
    // series, chosen by `choice` or m_seriesChoice, else asked) or one image
    // file (the series it belongs to, from its folder). A folder without
    // DICOM images but with movies loads its movies.
    void LoadDicom(const std::string& path, const std::string& choice = "");
    // True for what LoadDicom opens: a folder, or a file marked as DICOM.
    static bool OpensAsDicom(const std::string& path);
    // Files dropped on the window.
    void OnDropFiles(const std::vector<std::string>& paths);

    // --- Navigation and playback -------------------------------------------
    void OnIncreaseX();
    void OnDecreaseX();
    void OnIncreaseY();
    void OnDecreaseY();
    void OnIncreaseZ();
    void OnDecreaseZ();
    void OnNextFrame();
    void OnPreviousFrame();
    void OnFirstFrame();
    void OnMiddleFrame();
    void OnLastFrame();
    void OnPlayStop();
    void OnPingPong();
    void OnLockFrame();
    void OnTimer();
    void OnMouseWheel(int delta);
    void OnSliceDragX();
    void OnSliceDragY();
    void OnMouseMove(int x, int y, bool ctrl, bool shift);
    void OnLeftButtonDown(int x, int y);
    void OnLeftButtonUp();

    // --- Display and geometry commands -------------------------------------
    void OnShowXPlane();
    void OnShowYPlane();
    void OnShowZPlane();
    void OnIncreaseContrast();
    void OnDecreaseContrast();
    void OnIncreaseBrightness();
    void OnDecreaseBrightness();
    void OnResetBrightnessContrast();
    void OnBilinearFiltering();
    void OnWhiteBackground();
    void OnColourCoding();
    void OnPositionInfo();
    void OnAlternateTexturing();
    void OnDrawGeometry();
    void OnClipGeometry();
    void OnToggleObjects();
    void OnWireframe();
    void OnBackfaceCulling();
    void OnZCapGeometry();
    void OnPointsOnly();
    void OnBoundingBox();
    void OnAxes();
    void OnGeometryInformation();
    void OnShowXY();
    void OnShowXZ();
    void OnShowYZ();
    void OnShow3DRef();

    // --- File and window commands ------------------------------------------
    void OnOpenTvi();
    void OnOpenDicomFolder();
    void OnLoadGeometry();
    void OnExit() { m_host.CloseWindow(); }
    void OnResize640x480() { m_host.ResizeViewTo(640, 480); }
    void OnResize320x240() { m_host.ResizeViewTo(320, 240); }
    void OnFullScreen() { m_host.ToggleFullScreen(); }
    void OnAbout() { m_host.ShowAbout(); }
    void OnSaveSnapshot();
    // Plane 0 = YZ at x, 1 = XZ at y, 2 = XY at z.
    void OnSavePlane(int plane);
    void OnSaveTimeSequence();
    void OnPreferences();

    // The work behind the save commands, without their dialogs (headless runs
    // call these). Each reports its own failure and returns false then.
    bool SaveSnapshot(const std::string& path);
    bool SavePlane(int plane, const std::string& path);
    bool ExportMovie(const std::string& path);
    // The frames a movie shows, in order: all, then back when ping-pong is on.
    std::vector<int> MovieFrames() const;
    // The name a save dialog proposes: the .tvi path without extension and
    // `suffix`, a printf format that may take `index`.
    std::string ProposedName(const char* suffix, int index) const;
    void ApplyPreferences(const CPreferenceValues& values);
    // The values the Preferences show for the state now.
    CPreferenceValues CurrentPreferences() const;

    // Runs command `id` when its enable rule allows; false when it did not run.
    bool Execute(int id);

    // The geometry information report's text, one line per mesh object.
    std::string GeometryInformation() const;

    CViewerHost& Host() { return m_host; }

private:
    void CopySwitchesToView();
    // Copies the three plane switches into the view and refreshes.
    void CopyPlaneSwitchesToView();
    // Arms a slice drag in `mode` (1 x, 2 y), or ends the one in progress.
    void ArmSliceDrag(int mode);
    void StepVoxel(int& value, int delta, int size);
    void ChangeBrightnessContrast(double& value, double delta);

    CViewerHost& m_host;
};
