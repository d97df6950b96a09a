#pragma once

#include <algorithm>
#include <array>
#include <memory>
#include <string>
#include <vector>

#include "ColourMap.h"
#include "DisplayWindow.h"
#include "LabelLayer.h"
#include "MeasurementLayer.h"
#include "Navigation.h"
#include "StartupPreload.h"
#include "TimeVolume.h"
#include "VolumeGrid.h"
#include "ViewInterface.h"
#include "ViewerHost.h"
#include "ViewerNotices.h"
#include "ViewerState.h"

// The main frame's logic without the window: the volume, the state and the
// loaders, and the dispatch of commands to the parts that carry them out.
// The window (CMainFrame) forwards its events and commands here; tests and
// headless runs drive the same code with their own view and host. Moving
// through the data is CNavigation's, the label image CLabelLayer's, and
// writing files CViewerExports' (which reads the viewer, not the other way).
// Whatever changes is announced through Notices(): the viewer's own view,
// the status bar's readout and the panels follow those notices.
class CLabelEditing;
class CMeasurementEditing;

class CViewer {
public:
    CViewer(CViewInterface& view, CViewerHost& host);
    ~CViewer();
    CViewer(const CViewer&) = delete;
    CViewer& operator=(const CViewer&) = delete;

    // --- What others read --------------------------------------------------
    const CViewerState& State() const { return m_state; }
    const CTimeVolume& Volume() const { return m_volume; }
    CViewInterface& View() { return m_view; }
    const CViewInterface& View() const { return m_view; }
    const CLabelLayer& Labels() const { return m_labels; }
    CLabelLayer& Labels() { return m_labels; }
    // Editing the label image: the tools' operations, undo, saving.
    CLabelEditing& Editing() { return *m_editing; }
    const CLabelEditing& Editing() const { return *m_editing; }
    CViewerHost& Host() { return m_host; }
    const CViewerHost& Host() const { return m_host; }
    CNavigation& Navigation() { return m_navigation; }
    const CNavigation& Navigation() const { return m_navigation; }
    // Rulers, angles and outlines, read from a measurement file or placed with the tools.
    CMeasurementLayer& Measurements() { return m_measurements; }
    const CMeasurementLayer& Measurements() const { return m_measurements; }
    // Changing the measurements as undo steps; Edit > Undo over both histories.
    CMeasurementEditing& MeasurementEditing() { return *m_measurementEditing; }
    const CMeasurementEditing& MeasurementEditing() const { return *m_measurementEditing; }
    CViewerNotices& Notices() { return m_notices; }

    // --- Derived values ----------------------------------------------------
    // The title the window should have now.
    std::string TitleText() const;

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

    // --- State set by commands, the command line and exports --------------
    // The position at the file's voxel (column, row, slice).
    void SetVoxel(const std::array<int, 3>& voxel);
    void SetBrightnessContrast(double brightness, double contrast);
    // Brightness (or contrast) up or down by `delta`, within 0 to 1.
    void StepBrightnessContrast(bool contrast, double delta);
    // The window the planes are shown through, in the file's units; none
    // goes back to the load default. False, changing nothing, for a window
    // of no width or without a volume.
    bool SetWindow(const std::optional<CDisplayWindow>& window);
    // The colour map of the planes; the colour bar comes on with any map but grey.
    void SetColourMap(EColourMap map);
    // Label overlay opacity up or down by `delta`, kept on tenths within 0 to 1.
    void StepLabelOpacity(double delta);
    // An on/off switch of the viewer's state or of the view's, set to `on`.
    void SetSwitch(bool CViewerState::* flag, bool on);
    void SetViewSwitch(bool CSceneState::* flag, bool on);
    // Whether a mesh export writes every frame and patient coordinates; the
    // save dialog's check boxes start from the last choice.
    void SetMeshExportChoice(bool allFrames, bool patientSpace);
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

    // --- Refresh and loading -----------------------------------------------
    // Derives the scene from the state, hands the view the planes of the
    // display frame and sets the title.
    void RefreshView();
    void UpdateTitle();
    void OpenStartupFile(const std::string& fileName);
    // What a path holds, as far as the viewer opens it: a volume of any
    // format of the volume format table, meshes (.obj), a workspace
    // (.orvanta) or nothing it opens.
    enum class EFileKind { kNone, kVolume, kMeshes, kWorkspace };
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
    void LoadGeometryFile(const std::string& path);
    // Reads a label image and shows it; a file that cannot be read or does
    // not fit changes nothing and says why.
    void LoadLabelFile(const std::string& path);
    // Shows `labels`, read from `path` (see CLabelLayer::Show); false, with a
    // message, when they do not fit.
    bool ShowLabels(CLabelImage&& labels, const std::string& path);
    // Files dropped on the window; with `asLabels` (Shift held) a label image.
    void OnDropFiles(const std::vector<std::string>& paths, bool asLabels = false);
    // Loads a volume, mesh or workspace file by its kind; false for a name of none of them.
    bool OpenFile(const std::string& path);

    // --- Commands that ask first ------------------------------------------
    // Opens a volume of any format.
    void OnOpenVolume();
    void OnOpenDicomFolder();
    void OnLoadGeometry();
    void OnLoadLabels();
    void OnPreferences();
    void ApplyPreferences(const CPreferenceValues& values);
    // The values the Preferences show for the state now.
    CPreferenceValues CurrentPreferences() const;

    // Runs command `id` when its enable rule allows, and tells what it
    // changed once; false when it did not run.
    bool Execute(int id);

private:
    // Every successful load ends here: `loaded` becomes the shown volume,
    // with its position, calibration, label fit, companion meshes, title and
    // the notes the load left.
    void AdoptVolume(CTimeVolume& loaded, const std::string& path);
    // Takes the pixel sizes and frame time the loaded volume's file carries.
    void AdoptCalibration();
    // The colour map and window a new load starts with, by the kind of its images.
    void ShowAsItsKindIs();
    // The scene state the view draws from, as the viewer's state has it.
    void DeriveScene();
    // The viewer's own answer to a notice: the view, the title and the readout.
    void Follow(unsigned changes);
    // Takes over what showing a label image changed beyond the labels.
    void AdoptLabelGrid(const CLabelLayer::CGridChange& change);

    CViewerState m_state;
    CTimeVolume m_volume;
    CViewInterface& m_view;
    CViewerHost& m_host;
    CViewerNotices m_notices;
    CLabelLayer m_labels;
    CNavigation m_navigation;
    CMeasurementLayer m_measurements;
    // The pixel sizes the volume's transform was loaded with.
    double m_transformPixelSize[3] = {1.0, 1.0, 1.0};
    // The file's voxel under the mouse, when it rests on a plane.
    std::optional<std::array<int, 3>> m_hoverVoxel;
    std::unique_ptr<CStartupPreload> m_startupPreload;
    // Last, so that it goes first: it listens to the notices.
    std::unique_ptr<CLabelEditing> m_editing;
    std::unique_ptr<CMeasurementEditing> m_measurementEditing;
};
