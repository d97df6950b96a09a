#pragma once

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "LabelLayer.h"
#include "StartupPreload.h"
#include "TimeVolume.h"
#include "VolumeGrid.h"
#include "ViewInterface.h"
#include "ViewerExports.h"
#include "ViewerHost.h"
#include "ViewerState.h"

// The main frame's logic without the window: the volume, the state, the
// loaders and every command handler. The window (CMainFrame) forwards its
// events and commands here; tests and headless runs drive the same code with
// their own view and host. The label image and the exports are parts of
// their own (CLabelLayer, CViewerExports).
class CViewer {
public:
    CViewer(CViewInterface& view, CViewerHost& host);
    CViewer(const CViewer&) = delete;
    CViewer& operator=(const CViewer&) = delete;

    // --- What others read --------------------------------------------------
    const CViewerState& State() const { return m_state; }
    const CTimeVolume& Volume() const { return m_volume; }
    CViewInterface& View() { return m_view; }
    const CViewInterface& View() const { return m_view; }
    const CLabelLayer& Labels() const { return m_labels; }
    CViewerExports& Exports() { return m_exports; }
    CViewerHost& Host() { return m_host; }
    const CViewerHost& Host() const { return m_host; }

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
    int TimerPeriodMs() const { return std::max(m_state.m_frameTimeMs, 1); }

    // Where the volume's voxels lie in the patient (RAS mm): the file's
    // transform, its steps lengthened or shortened as far as the pixel sizes
    // were changed since the load; none when the file gives none.
    std::optional<CAffine> PatientTransform() const;
    // From the view's millimetres (where planes and meshes lie) to RAS
    // millimetres; nothing when the volume has no geometry.
    std::optional<CAffine> SceneToPatient() const;
    // The file's voxel (column, row, slice) at the position: the position's
    // x and y count the other way, as the planes are placed (see CVolumeGrid).
    std::array<int, 3> FileVoxel() const;
    // The volume's grid at the pixel sizes in force.
    CVolumeGrid Grid() const;
    // The position's voxel centre in patient millimetres, when there is a geometry.
    std::optional<CAffine::Vector> WorldPosition() const;

    // The status bar's line for the file's voxel (column, row, slice) in the
    // frame shown: the voxel and frame with its time, the patient position
    // in mm when there is a geometry, and the value.
    std::string ReadoutText(const std::array<int, 3>& voxel) const;
    // The value in the file's units of a file voxel in the frame shown, or
    // nothing outside the volume.
    std::optional<double> ValueAt(const std::array<int, 3>& voxel) const;
    // Says once a load when the file the volume reads from changed on disk.
    void TellIfFileChanged();
    // The mouse at (x, y) of the width x height view: while it lies on a plane
    // shown, the readout tells of the voxel under it; elsewhere, and once it
    // left the view (`width` 0), of the position.
    void OnHover(double x, double y, int width, int height);

    // Why the planes of a volume of these sides cannot be shown as textures,
    // or "" when they can: every side's texture must fit both the longest
    // texture there is and what the view's OpenGL holds.
    std::string TextureRefusal(int sizeX, int sizeY, int sizeZ) const;

    // --- State set from outside the commands (command line, exports) ------
    void SetPosition(int x, int y, int z);
    // The position at the file's voxel (column, row, slice).
    void SetVoxel(const std::array<int, 3>& voxel);
    void SetFrame(int t);
    void SetLockedFrame(int frame);
    void SetBrightnessContrast(double brightness, double contrast);
    // What the next load takes: the saturation fraction and the DICOM series choice.
    void SetLoadSettings(double saturation, const std::string& seriesChoice);
    // The volume named at start-up, already loading; the first load of that file takes it over.
    void SetStartupPreload(std::unique_ptr<CStartupPreload> preload) {
        m_startupPreload = std::move(preload);
    }
    // True until the first load has taken over the preload or dropped it.
    bool StartupPreloadPending() const { return m_startupPreload != nullptr; }
    // The label whose ejection is given; 0 the one whose volume varies most.
    void SetEjectionLabel(int64_t label) { m_state.m_ejectionLabel = label; }
    void SetBaseTitle(const std::string& title) { m_state.m_baseTitle = title; }
    // Stops the playback timer for a while (an export) without ending
    // playback, and starts it again; playback ends when it cannot.
    void PausePlayback();
    void ResumePlayback();

    // --- Refresh and loading -----------------------------------------------
    // Derives the scene from the state, hands the view the planes of the
    // display frame and sets the title.
    void RefreshView();
    void UpdateTitle();
    void OpenStartupFile(const std::string& fileName);
    // What a path holds, as far as the viewer opens it: a volume of any
    // format of the volume format table, meshes (.obj) or nothing it opens.
    enum class EFileKind { kNone, kVolume, kMeshes };
    static EFileKind FileKindOf(const std::string& path);
    // Replaces the volume with the one `path` holds, in any volume format; a
    // path that cannot be loaded changes nothing and is reported.
    void LoadVolumeFile(const std::string& path) { LoadVolume(path); }
    // The same, with a choice among the volumes the path holds (a DICOM
    // series: "stack", a 1-based position or a UID; "" takes the state's
    // series choice, else asks) and the format to read it as (kNone: the one
    // the path is).
    void LoadVolume(const std::string& path, const std::string& choice = "",
                    EVolumeFormat format = EVolumeFormat::kNone);
    // The movies of `folder` ("" = the current one) as the volume (start-up without a file).
    void LoadAviDirectory(const std::string& folder = "") {
        LoadVolume(folder, "", EVolumeFormat::kMovieFolder);
    }
    void LoadGeometryFile(const std::string& path);
    // Reads a label image and shows it; a file that cannot be read or does
    // not fit changes nothing and says why.
    void LoadLabelFile(const std::string& path);
    // Shows `labels`, read from `path` (see CLabelLayer::Show); false, with a
    // message, when they do not fit.
    bool ShowLabels(CLabelImage&& labels, const std::string& path);
    // Files dropped on the window; with `asLabels` (Shift held) a label image.
    void OnDropFiles(const std::vector<std::string>& paths, bool asLabels = false);
    // Loads a volume or mesh file by its kind; false for a name of neither kind.
    bool OpenFile(const std::string& path);

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
    void OnOrientationLabels();
    // Label overlay opacity up or down by 0.1, within 0 to 1.
    void OnIncreaseLabelOpacity() { StepLabelOpacity(0.1); }
    void OnDecreaseLabelOpacity() { StepLabelOpacity(-0.1); }
    void OnShowXY();
    void OnShowXZ();
    void OnShowYZ();
    void OnShow3DRef();

    // --- File and window commands ------------------------------------------
    // Opens a volume of any format (the name is from when it opened only .tvi files).
    void OnOpenVolume();
    void OnOpenDicomFolder();
    void OnLoadGeometry();
    void OnLoadLabels();
    void OnSaveGeometry();
    void OnSaveVolumeNifti();
    void OnSaveLabelsNifti();
    void OnExit() { m_host.CloseWindow(); }
    void OnResize640x480() { m_host.ResizeViewTo(640, 480); }
    void OnResize320x240() { m_host.ResizeViewTo(320, 240); }
    void OnFullScreen() { m_host.ToggleFullScreen(); }
    void OnAbout() { m_host.ShowAbout(); }
    void OnSaveSnapshot();
    // Plane 0 = YZ at x, 1 = XZ at y, 2 = XY at z.
    void OnSavePlane(int plane);
    void OnSaveTimeSequence();
    // Every label's and closed mesh's volume in each frame, as a CSV file.
    void OnSaveCurvesCsv();
    void OnCurves() { m_host.ToggleCurves(); }
    void OnPreferences();
    void ApplyPreferences(const CPreferenceValues& values);
    // The values the Preferences show for the state now.
    CPreferenceValues CurrentPreferences() const;

    // Runs command `id` when its enable rule allows; false when it did not run.
    bool Execute(int id);

    // The geometry information report's text, one line per mesh object.
    std::string GeometryInformation() const;

private:
    // Every successful load ends here: `loaded` becomes the shown volume,
    // with its position, calibration, label fit, companion meshes, title and
    // the notes the load left.
    void AdoptVolume(CTimeVolume& loaded, const std::string& path);
    // Takes the pixel sizes and frame time the loaded volume's file carries.
    void AdoptCalibration();
    // The scene state the view draws from, as the viewer's state has it.
    void DeriveScene();
    // Arms a slice drag in `mode` (1 x, 2 y), or ends the one in progress.
    void ArmSliceDrag(int mode);
    void StepVoxel(int& value, int delta, int size);
    void ChangeBrightnessContrast(double& value, double delta);
    void StepLabelOpacity(double delta);
    void ToggleAndRefresh(bool& value);

    CViewerState m_state;
    CTimeVolume m_volume;
    CViewInterface& m_view;
    CViewerHost& m_host;
    CLabelLayer m_labels;
    CViewerExports m_exports;
    // The pixel sizes the volume's transform was loaded with.
    double m_transformPixelSize[3] = {1.0, 1.0, 1.0};
    // The file's voxel under the mouse, when it rests on a plane.
    std::optional<std::array<int, 3>> m_hoverVoxel;
    std::unique_ptr<CStartupPreload> m_startupPreload;
};
