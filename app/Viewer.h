#pragma once

#include <algorithm>
#include <memory>
#include <string>

#include "LabelImage.h"
#include "StartupPreload.h"
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
    static constexpr double kDefaultSaturation = 0.98;
    double m_saturation = kDefaultSaturation;
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
    std::string m_fileTitle;
    std::string m_geometryPath;
    std::string m_baseTitle;
    // The label image shown over the planes, its file, and how many of the
    // meshes (the last ones of the set) were made from it.
    CLabelImage m_labels;
    std::string m_labelPath;
    int m_labelMeshCount = 0;
    // How a DICOM series is chosen without asking ("stack", a 1-based list
    // position or a UID; "" asks when there are several).
    std::string m_seriesChoice;
    // The volume named at start-up, already loading (see CStartupPreload);
    // the first load of that file takes it over.
    std::unique_ptr<CStartupPreload> m_startupPreload;

    // --- Derived values ----------------------------------------------------
    // The larger of the volume's last frame and the meshes' last frame number.
    int LastFrameIndex() const;
    // The volume frame shown: the locked one, else t held to the volume's frames.
    int DisplayFrame() const;
    // The title the window should have now.
    std::string TitleText() const;
    // The playback timer's period: the frame time, but at least 1 ms. A file
    // may carry a frame time below 1 ms or below 0, and a timer of 0 ms
    // would spin while a negative one never starts.
    int TimerPeriodMs() const { return std::max(m_frameTimeMs, 1); }

    // Why the planes of a volume of these sides cannot be shown as textures,
    // or "" when they can: every side's texture must fit both the longest
    // texture there is and what the view's OpenGL holds.
    std::string TextureRefusal(int sizeX, int sizeY, int sizeZ) const;

    // --- Refresh and loading -----------------------------------------------
    void RefreshView();
    void UpdateTitle();
    void OpenStartupFile(const std::string& fileName);
    // What a path holds, as far as the viewer opens it: a volume of any
    // format of the volume format table, meshes (.obj) or nothing it opens.
    enum class EFileKind { kNone, kVolume, kMeshes };
    static EFileKind FileKindOf(const std::string& path);
    // Replaces the volume with the one `path` holds, in any volume format
    // (the name is from when it opened only .tvi files); a path that cannot
    // be loaded changes nothing and is reported.
    void LoadTviFile(const std::string& path) { LoadVolume(path); }
    // The same, with a choice among the volumes the path holds (a DICOM
    // series: "stack", a 1-based position or a UID; "" takes m_seriesChoice,
    // else asks) and the format to read it as (kNone: the one the path is).
    void LoadVolume(const std::string& path, const std::string& choice = "",
                    EVolumeFormat format = EVolumeFormat::kNone);
    void LoadGeometryFile(const std::string& path);
    // Files dropped on the window; with `asLabels` (Shift held) a label image.
    void OnDropFiles(const std::vector<std::string>& paths, bool asLabels = false);
    // Loads a volume or mesh file by its kind; false for a name of neither kind.
    bool OpenFile(const std::string& path);
    // Takes the pixel sizes and frame time the loaded volume's file carries.
    void AdoptCalibration();
    // Reads a .nii or .nii.gz label image and shows it (ShowLabels). A file
    // that cannot be read or does not fit the volume changes nothing and says why.
    void LoadLabelFile(const std::string& path);
    // Shows `labels`, read from `path`, over the planes and as surface meshes,
    // replacing the earlier label image and its meshes; meshes from .obj
    // files stay. The labels must have the volume's x, y and z size and one
    // frame or the volume's frame count; without a volume they make the grid
    // and must carry pixel sizes. False, with a message, when they do not fit.
    bool ShowLabels(CLabelImage&& labels, const std::string& path);
    // The label frame that goes with the display frame: a single frame serves all.
    int LabelFrame() const;
    // The movies of `folder` ("" = the current one) as the volume (start-up without a file).
    void LoadAviDirectory(const std::string& folder = "") { LoadVolume(folder, "", EVolumeFormat::kMovieFolder); }

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
    void OnLabelOverlay();
    // Label overlay opacity up or down by 0.1, within 0 to 1.
    void OnIncreaseLabelOpacity() { StepLabelOpacity(0.1); }
    void OnDecreaseLabelOpacity() { StepLabelOpacity(-0.1); }
    void OnShowXY();
    void OnShowXZ();
    void OnShowYZ();
    void OnShow3DRef();

    // --- File and window commands ------------------------------------------
    void OnOpenTvi();
    void OnOpenDicomFolder();
    void OnLoadGeometry();
    void OnLoadLabels();
    void OnSaveGeometry();
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
    // Writes every mesh (from .obj files and labels) as an .obj file.
    bool SaveGeometry(const std::string& path);
    // The frames a movie shows, in order: all, then back when ping-pong is on.
    std::vector<int> MovieFrames() const;
    // The name a save dialog proposes: the volume's path without its
    // extension and `suffix`, a printf format that may take `index`.
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
    // Every successful load ends here: `loaded` becomes the shown volume,
    // with its position, calibration, label fit, companion meshes, title and
    // the notes the load left.
    void AdoptVolume(CTimeVolume& loaded);
    void CopySwitchesToView();
    // Copies the three plane switches into the view and refreshes.
    void CopyPlaneSwitchesToView();
    // Arms a slice drag in `mode` (1 x, 2 y), or ends the one in progress.
    void ArmSliceDrag(int mode);
    void StepVoxel(int& value, int delta, int size);
    void ChangeBrightnessContrast(double& value, double delta);
    void StepLabelOpacity(double delta);
    // The grid the planes cut: the volume's, else the label image's.
    void GridSize(int size[3]) const;
    // Hands the overlay of the display frame to the view, or removes it.
    void UploadLabelOverlay();
    // After the volume or the pixel sizes changed: forgets labels that no
    // longer fit the volume, with their meshes, and makes the meshes again
    // where the voxel size or the frame count they were made for changed.
    void FitLabelsToVolume();
    // Puts `meshes`, made for `frames` frames at the current voxel size, in
    // place of the label meshes.
    void ReplaceLabelMeshes(std::vector<CMeshObject>&& meshes, int frames);
    // The label meshes: one object per label present and frame.
    std::vector<CMeshObject> LabelMeshes(const CLabelImage& labels, int frames);

    CViewerHost& m_host;
    bool m_labelOverlayUploaded = false;
    // The voxel size and frame count the label meshes were made for.
    double m_labelMeshPixelSize[3] = {0.0, 0.0, 0.0};
    int m_labelMeshFrames = 0;
};
