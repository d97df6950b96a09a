#include "CommandTable.h"

#include "LabelCommands.h"
#include "LabelEditing.h"
#include "MeasurementEditing.h"
#include "TextFormat.h"
#include "Viewer.h"
#include "ViewerExports.h"
#include "WindowLevel.h"
#include "Workspace.h"

namespace {

// Menu positions.
enum { kFile, kEdit, kControl, kDisplay, kGeometry, kLabels, kHelp };

// Enable and check rules.
bool NotPlaying(const CViewer& v) { return !v.State().m_playing; }
bool HasMeshes(const CViewer& v) { return v.View().m_meshes.ObjectCount() > 0; }
bool LastAboveZero(const CViewer& v) { return v.Navigation().LastFrameIndex() > 0; }
bool HasLabels(const CViewer& v) { return !v.Labels().Empty(); }

constexpr auto kCtrl = Qt::ControlModifier;
constexpr auto kKeypad = Qt::KeypadModifier;

QKeyCombination Key(Qt::Key key) { return QKeyCombination(key); }
QKeyCombination Key(Qt::KeyboardModifiers modifiers, Qt::Key key) { return QKeyCombination(modifiers, key); }

// An on/off switch of the viewer's state or of the view's.
template <typename Flag>
CCommand Switch(int id, int menu, const char* text, std::vector<QKeyCombination> keys, Flag flag,
                bool (*enabled)(const CViewer&), bool separatorBefore = false) {
    CCommand command{id, menu, text, std::move(keys), nullptr, enabled, nullptr, separatorBefore};
    if constexpr (std::is_same_v<Flag, bool CViewerState::*>)
        command.stateSwitch = flag;
    else
        command.viewSwitch = flag;
    return command;
}

bool HasVolume(const CViewer& v) { return v.Volume().SizeX() > 0; }

// Whether a label or measurement edit can be undone (or redone) now: not while a stroke is painted.
bool CanStep(const CViewer& v, bool undo) {
    const CMeasurementEditing& editing = v.MeasurementEditing();
    return undo ? editing.CanUndo() : editing.CanRedo();
}

// The row that shows the planes through colour map `Map`, checked while it does.
template <EColourMap Map>
CCommand ColourMapRow(bool separatorBefore = false) {
    static const std::string text = std::string("Colour Map: ") + ColourMapInfo(Map).title;
    return {kCmdColourMapFirst + static_cast<int>(Map),
            kDisplay,
            text.c_str(),
            {},
            [](CViewer& v) { v.SetColourMap(Map); },
            HasVolume,
            [](const CViewer& v) { return v.View().m_colourMap == Map; },
            separatorBefore};
}

// A change of the view's own drawing, told as a display change.
void Redraw(CViewer& v, void (CSceneState::*change)()) {
    (v.View().*change)();
    v.Notices().Announce(kChangeDisplay);
}

// Rectangle textures instead of power-of-two ones, for drivers that show the planes white.
void SwitchTexturing(CViewer& v) {
    const bool on = !v.View().m_alternateTexturing;
    v.View().m_textureTarget = on ? CSceneState::kTextureRectangle : GL_TEXTURE_2D;
    v.SetViewSwitch(&CSceneState::m_alternateTexturing, on);
}

// One line per mesh object: its name, frame, counts and centroid size.
void ShowGeometryInformation(CViewer& v) {
    std::string text;
    const CMeshSet& meshes = v.View().m_meshes;
    for (int i = 0; i < meshes.ObjectCount(); ++i) {
        const CMeshObject& object = meshes.Object(i);
        CMeshObject centred = object;
        const Vec3d c = object.Centroid();
        centred.Translate({-c.x, -c.y, -c.z});
        text += FormatText(
            "Obj #%02i:  Basename=%s\t Frame=%02i\t vertices=%i\t triangles=%i\t size = %.2f    \n", i,
            object.BaseName().c_str(), object.FrameNumber(), static_cast<int>(object.m_vertices.size()),
            static_cast<int>(object.m_triangles.size()), centred.CentroidSize());
    }
    // Meshes made only from labels have no .obj file to name.
    const std::string& path = v.State().m_geometryPath;
    std::string caption = path.empty() ? v.Labels().Path() : path;
    caption += ": Geometry information";
    v.Host().Dialogs().ShowMessage(caption, text, CDialogService::Icon::kInformation);
}

std::vector<CCommand> BuildTable() {
    return {
        // File. Opening takes a volume of every format the program reads.
        {kCmdOpenVolume, kFile, "Open Volume...\tO", {Key(Qt::Key_O)}, [](CViewer& v) { v.OnOpenVolume(); },
         NotPlaying, nullptr},
        {kCmdOpenDicomFolder, kFile, "Open DICOM Folder...", {}, [](CViewer& v) { v.OnOpenDicomFolder(); },
         NotPlaying, nullptr},
        {kCmdOpenFromPacs, kFile, "Open from PACS...", {},
         [](CViewer& v) {
             std::string folder, seriesUid;
             if (v.Host().AskPacsSeries(folder, seriesUid)) v.LoadVolume(folder, seriesUid);
         },
         NotPlaying, nullptr},
        // A reading put away and brought back: files, display, measurements and camera.
        {kCmdOpenWorkspace, kFile, "Open Workspace...", {}, [](CViewer& v) { CWorkspace::OnOpen(v); }, NotPlaying,
         nullptr, true},
        {kCmdSaveWorkspace, kFile, "Save Workspace...", {}, [](CViewer& v) { CWorkspace::OnSave(v); },
         [](const CViewer& v) {
             return (!v.State().m_volumePath.empty() || !v.Labels().Path().empty() ||
                     !v.State().m_geometryPath.empty()) &&
                    NotPlaying(v);
         },
         nullptr},
        // The label image kept in its own file, in that file's form.
        {kCmdSaveLabelImage, kFile, "Save Label Image\tCtrl + Shift + S", {Key(kCtrl | Qt::ShiftModifier, Qt::Key_S)},
         [](CViewer& v) { v.Editing().Save(); }, [](const CViewer& v) { return HasLabels(v) && NotPlaying(v); },
         nullptr, true},
        {kCmdSaveLabelImageAs, kFile, "Save Label Image As...", {}, [](CViewer& v) { v.Editing().SaveAs(); },
         [](const CViewer& v) { return HasLabels(v) && NotPlaying(v); }, nullptr},
        {kCmdSaveSnapshot, kFile, "Save Snapshot...\tCtrl + S", {Key(kCtrl, Qt::Key_S)},
         [](CViewer& v) { CViewerExports(v).OnSaveSnapshot(); }, NotPlaying, nullptr, true},
        {kCmdSaveXYPlane, kFile, "Save Current XY-plane...\tCtrl + Z", {Key(kCtrl, Qt::Key_Z)},
         [](CViewer& v) { CViewerExports(v).OnSavePlane(2); }, [](const CViewer& v) { return !v.State().m_playing && v.Volume().SizeZ() > 0; },
         nullptr},
        {kCmdSaveXZPlane, kFile, "Save Current XZ-plane...\tCtrl + Y", {Key(kCtrl, Qt::Key_Y)},
         [](CViewer& v) { CViewerExports(v).OnSavePlane(1); }, [](const CViewer& v) { return !v.State().m_playing && v.Volume().SizeY() > 0; },
         nullptr},
        {kCmdSaveYZPlane, kFile, "Save Current YZ-plane...\tCtrl + X", {Key(kCtrl, Qt::Key_X)},
         [](CViewer& v) { CViewerExports(v).OnSavePlane(0); }, [](const CViewer& v) { return !v.State().m_playing && v.Volume().SizeX() > 0; },
         nullptr},
        {kCmdSaveTimeSequence, kFile, "Save Time Sequence as AVI...", {},
         [](CViewer& v) { CViewerExports(v).OnSaveTimeSequence(); },
         [](const CViewer& v) { return v.Navigation().LastFrameIndex() >= 0; }, nullptr, true},
        {kCmdSaveGeometry, kFile, "Save Geometry As...", {}, [](CViewer& v) { CViewerExports(v).OnSaveGeometry(); },
         [](const CViewer& v) { return HasMeshes(v) && NotPlaying(v); }, nullptr},
        {kCmdSaveVolumeNifti, kFile, "Save Volume as NIfTI...", {}, [](CViewer& v) { CViewerExports(v).OnSaveVolumeNifti(); },
         [](const CViewer& v) { return v.Volume().SizeX() > 0 && NotPlaying(v); }, nullptr, true},
        {kCmdSaveLabelsNifti, kFile, "Save Label Image as NIfTI...", {},
         [](CViewer& v) { CViewerExports(v).OnSaveLabelsNifti(); },
         [](const CViewer& v) { return HasLabels(v) && NotPlaying(v); }, nullptr},
        {kCmdSaveCurvesCsv, kFile, "Save Curves as CSV...", {}, [](CViewer& v) { CViewerExports(v).OnSaveCurvesCsv(); },
         [](const CViewer& v) { return !v.Labels().Empty() || HasMeshes(v); }, nullptr},
        {kCmdExit, kFile, "E&xit", {}, [](CViewer& v) { v.Host().CloseWindow(); }, nullptr, nullptr, true},

        // Edit. Ctrl + Z stays with saving the XY-plane, as it always was;
        // Undo takes the other key desktops give it.
        {kCmdUndo, kEdit, "&Undo\tAlt + Backspace", {Key(Qt::AltModifier, Qt::Key_Backspace)},
         [](CViewer& v) { v.MeasurementEditing().Undo(); }, [](const CViewer& v) { return CanStep(v, true); },
         nullptr},
        {kCmdRedo, kEdit, "&Redo\tCtrl + Shift + Z", {Key(kCtrl | Qt::ShiftModifier, Qt::Key_Z)},
         [](CViewer& v) { v.MeasurementEditing().Redo(); }, [](const CViewer& v) { return CanStep(v, false); },
         nullptr},

        // Control
        {kCmdPlayStop, kControl, "&Play/Stop\tSpace", {Key(Qt::Key_Space)},
         [](CViewer& v) { v.Navigation().OnPlayStop(); }, LastAboveZero, nullptr},
        {kCmdPingPong, kControl, "Ping-Pong Play\tF1", {Key(Qt::Key_F1)}, [](CViewer& v) { v.Navigation().OnPingPong(); },
         LastAboveZero, [](const CViewer& v) { return v.State().m_pingPongUp || v.State().m_pingPongDown; }},
        {kCmdNextFrame, kControl, "Next Frame\tS", {Key(Qt::Key_S)}, [](CViewer& v) { v.Navigation().OnNextFrame(); },
         NotPlaying, nullptr, true},
        {kCmdPreviousFrame, kControl, "Previous Frame\tA", {Key(Qt::Key_A)},
         [](CViewer& v) { v.Navigation().OnPreviousFrame(); }, NotPlaying, nullptr},
        {kCmdFirstFrame, kControl, "First Frame\tCtrl + Home", {Key(kCtrl, Qt::Key_Home)},
         [](CViewer& v) { v.Navigation().OnFirstFrame(); }, nullptr, nullptr},
        {kCmdMiddleFrame, kControl, "Middle Frame\tM", {Key(Qt::Key_M)},
         [](CViewer& v) { v.Navigation().OnMiddleFrame(); }, NotPlaying, nullptr},
        {kCmdLastFrame, kControl, "Last Frame\tCtrl + End", {Key(kCtrl, Qt::Key_End)},
         [](CViewer& v) { v.Navigation().OnLastFrame(); }, NotPlaying, nullptr},
        {kCmdIncreaseX, kControl, "Increase X\tIns", {Key(Qt::Key_Insert)},
         [](CViewer& v) { v.Navigation().OnIncreaseX(); }, nullptr, nullptr, true},
        {kCmdDecreaseX, kControl, "Decrease X\tDel", {Key(Qt::Key_Delete)},
         [](CViewer& v) { v.Navigation().OnDecreaseX(); }, nullptr, nullptr},
        {kCmdIncreaseY, kControl, "Increase Y\tHome", {Key(Qt::Key_Home)},
         [](CViewer& v) { v.Navigation().OnIncreaseY(); }, nullptr, nullptr},
        {kCmdDecreaseY, kControl, "Decrease Y\tEnd", {Key(Qt::Key_End)}, [](CViewer& v) { v.Navigation().OnDecreaseY(); },
         nullptr, nullptr},
        {kCmdIncreaseZ, kControl, "Increase Z\tPg Up", {Key(Qt::Key_PageUp)},
         [](CViewer& v) { v.Navigation().OnIncreaseZ(); }, nullptr, nullptr},
        {kCmdDecreaseZ, kControl, "Decrease Z\tPg Down", {Key(Qt::Key_PageDown)},
         [](CViewer& v) { v.Navigation().OnDecreaseZ(); }, nullptr, nullptr},
        {kCmdShowXY, kControl, "Show XY\tCtrl + 1", {Key(kCtrl, Qt::Key_1)}, [](CViewer& v) { v.View().ShowCameraPreset(COrbitCamera::kShowXY); },
         nullptr, nullptr, true},
        {kCmdShowXZ, kControl, "Show XZ\tCtrl + 2", {Key(kCtrl, Qt::Key_2)}, [](CViewer& v) { v.View().ShowCameraPreset(COrbitCamera::kShowXZ); },
         nullptr, nullptr},
        {kCmdShowYZ, kControl, "Show YZ\tCtrl + 3", {Key(kCtrl, Qt::Key_3)}, [](CViewer& v) { v.View().ShowCameraPreset(COrbitCamera::kShowYZ); },
         nullptr, nullptr},
        {kCmdShow3DRef, kControl, "Show 3D ref\tCtrl + 4", {Key(kCtrl, Qt::Key_4)},
         [](CViewer& v) { v.View().ShowCameraPreset(COrbitCamera::kShow3DRef); }, nullptr, nullptr},

        // Display
        Switch(kCmdXPlane, kDisplay, "&X-plane\tX or 1", {Key(Qt::Key_X), Key(Qt::Key_1)}, &CViewerState::m_showX, nullptr),
        Switch(kCmdYPlane, kDisplay, "&Y-plane\tY or 2", {Key(Qt::Key_Y), Key(Qt::Key_2)}, &CViewerState::m_showY, nullptr),
        Switch(kCmdZPlane, kDisplay, "&Z-plane\tZ or 3", {Key(Qt::Key_Z), Key(Qt::Key_3)}, &CViewerState::m_showZ, nullptr),
        {kCmdIncreaseContrast, kDisplay, "&Increase Contrast\t+", {Key(kKeypad, Qt::Key_Plus)},
         [](CViewer& v) { v.StepBrightnessContrast(true, 0.05); }, nullptr, nullptr, true},
        {kCmdDecreaseContrast, kDisplay, "&Decrease Contrast\t-", {Key(kKeypad, Qt::Key_Minus)},
         [](CViewer& v) { v.StepBrightnessContrast(true, -0.05); }, nullptr, nullptr},
        {kCmdIncreaseBrightness, kDisplay, "Increase &Brightness\tCtrl + +",
         {Key(kCtrl | kKeypad, Qt::Key_Plus)},
         [](CViewer& v) { v.StepBrightnessContrast(false, 0.05); }, nullptr, nullptr},
        {kCmdDecreaseBrightness, kDisplay, "Decrease B&rightness\tCtrl + -",
         {Key(kCtrl | kKeypad, Qt::Key_Minus)},
         [](CViewer& v) { v.StepBrightnessContrast(false, -0.05); }, nullptr, nullptr},
        {kCmdResetBrightnessContrast, kDisplay, "&Reset Brightness && Contrast\tR", {Key(Qt::Key_R)},
         [](CViewer& v) { v.SetBrightnessContrast(0.5, 0.5); }, nullptr, nullptr},
        Switch(kCmdBilinearFiltering, kDisplay, "Bilinear &Filtering\tF", {Key(Qt::Key_F)}, &CViewerState::m_bilinear, nullptr, true),
        Switch(kCmdWhiteBackground, kDisplay, "&White Background\tW", {Key(Qt::Key_W)}, &CViewerState::m_whiteBackground, nullptr),
        Switch(kCmdColourCoding, kDisplay, "XYZ Colour Coding\tCtrl+C", {Key(kCtrl, Qt::Key_C)}, &CSceneState::m_colourCoding, [](const CViewer& v) { return v.State().m_showX || v.State().m_showY || v.State().m_showZ; }),
        Switch(kCmdPositionInfo, kDisplay, "P&osition Info\tI", {Key(Qt::Key_I)}, &CViewerState::m_positionInfo, nullptr),
        {kCmdWindowLevel, kDisplay, "Window/Level...", {}, [](CViewer& v) { CWindowLevel(v).OnDialog(); },
         HasVolume, nullptr, true},
        {kCmdResetWindow, kDisplay, "Reset Window\tShift + R", {Key(Qt::ShiftModifier, Qt::Key_R)},
         [](CViewer& v) { v.SetWindow(std::nullopt); }, HasVolume, nullptr},
        ColourMapRow<EColourMap::kGrey>(true),
        ColourMapRow<EColourMap::kInvertedGrey>(),
        ColourMapRow<EColourMap::kHot>(),
        ColourMapRow<EColourMap::kViridis>(),
        ColourMapRow<EColourMap::kMagma>(),
        ColourMapRow<EColourMap::kInferno>(),
        ColourMapRow<EColourMap::kPlasma>(),
        ColourMapRow<EColourMap::kDiverging>(),
        Switch(kCmdColourBar, kDisplay, "Colour Bar", {}, &CSceneState::m_showColourBar, HasVolume, true),
        {kCmdResize640x480, kDisplay, "Resize to 640x480", {}, [](CViewer& v) { v.Host().ResizeViewTo(640, 480); },
         NotPlaying, nullptr, true},
        {kCmdResize320x240, kDisplay, "Resize to 320x240", {}, [](CViewer& v) { v.Host().ResizeViewTo(320, 240); },
         NotPlaying, nullptr},
        {kCmdFullScreen, kDisplay, "Full Screen\tF11", {Key(Qt::Key_F11)},
         [](CViewer& v) { v.Host().ToggleFullScreen(); }, nullptr, nullptr},
        {kCmdPreferences, kDisplay, "Pr&eferences...\tCtrl + P", {Key(kCtrl, Qt::Key_P)},
         [](CViewer& v) { v.OnPreferences(); }, nullptr, nullptr, true},
        {kCmdAlternateTexturing, kDisplay, "Alternate texturing (use if slices turn white)\tCtrl + A",
         {Key(kCtrl, Qt::Key_A)}, [](CViewer& v) { SwitchTexturing(v); }, nullptr,
         [](const CViewer& v) { return v.View().m_alternateTexturing; }, true},
        Switch(kCmdLabelOverlay, kDisplay, "Label Overlay\tV", {Key(Qt::Key_V)}, &CSceneState::m_showLabels, HasLabels, true),
        {kCmdIncreaseLabelOpacity, kDisplay, "Increase Label Opacity\t]", {Key(Qt::Key_BracketRight)},
         [](CViewer& v) { v.StepLabelOpacity(0.1); }, HasLabels, nullptr},
        {kCmdDecreaseLabelOpacity, kDisplay, "Decrease Label Opacity\t[", {Key(Qt::Key_BracketLeft)},
         [](CViewer& v) { v.StepLabelOpacity(-0.1); }, HasLabels, nullptr},
        Switch(kCmdOrientationLabels, kDisplay, "Orientation Labels\tT", {Key(Qt::Key_T)}, &CViewerState::m_showOrientation, nullptr, true),
        {kCmdCurves, kDisplay, "Curves\tU", {Key(Qt::Key_U)}, [](CViewer& v) { v.Host().ToggleCurves(); }, nullptr,
         [](const CViewer& v) { return v.Host().CurvesShown(); }},

        // Geometry
        {kCmdLoadGeometry, kGeometry, "Load Geometry...\tCtrl + O", {Key(kCtrl, Qt::Key_O)},
         [](CViewer& v) { v.OnLoadGeometry(); }, NotPlaying, nullptr},
        {kCmdLoadLabels, kGeometry, "Load Label Image...\tCtrl + L", {Key(kCtrl, Qt::Key_L)},
         [](CViewer& v) { v.OnLoadLabels(); }, NotPlaying, nullptr},
        {kCmdNewLabelImage, kGeometry, "New Label Image", {}, [](CViewer& v) { v.Editing().NewLabelImage(); },
         [](const CViewer& v) { return HasVolume(v) && NotPlaying(v); }, nullptr},
        Switch(kCmdDrawGeometry, kGeometry, "Draw Geometry\tG", {Key(Qt::Key_G)}, &CViewerState::m_drawGeometry, HasMeshes, true),
        Switch(kCmdClipGeometry, kGeometry, "Clip Geometry\tC", {Key(Qt::Key_C)}, &CViewerState::m_clipGeometry, HasMeshes),
        {kCmdToggleObjects, kGeometry, "Toggle Objects\tTAB", {Key(Qt::Key_Tab)},
         [](CViewer& v) { Redraw(v, &CSceneState::CycleSelectedObject); }, HasMeshes, nullptr},
        Switch(kCmdWireframe, kGeometry, "Wireframe Mode\tCtrl + W", {Key(kCtrl, Qt::Key_W)}, &CSceneState::m_wireframe, HasMeshes),
        {kCmdBackfaceCulling, kGeometry, "Back-face Culling\tCtrl + B", {Key(kCtrl, Qt::Key_B)},
         [](CViewer& v) { v.View().ToggleBackfaceCulling();
                         v.Notices().Announce(kChangeDisplay);; }, HasMeshes,
         [](const CViewer& v) { return v.View().m_backfaceCulling; }},
        {kCmdZCapGeometry, kGeometry, "Z-cap Geometry", {}, [](CViewer& v) { v.View().m_meshes.ZCapAll();
                         v.Notices().Announce(kChangeMeshes);; }, HasMeshes,
         nullptr},
        Switch(kCmdPointsOnly, kGeometry, "Draw Points Only\tP", {Key(Qt::Key_P)}, &CSceneState::m_pointsOnly, HasMeshes),
        {kCmdLockFrame, kGeometry, "Lock Current TVI Frame\tL", {Key(Qt::Key_L)},
         [](CViewer& v) { v.Navigation().OnLockFrame(); },
         [](const CViewer& v) { return HasMeshes(v) && v.Volume().Frames() > 0; },
         [](const CViewer& v) { return v.State().m_lockedFrame != -1; }},
        Switch(kCmdBoundingBox, kGeometry, "Bounding Box\tB", {Key(Qt::Key_B)}, &CViewerState::m_boundingBox, nullptr, true),
        Switch(kCmdAxes, kGeometry, "Axes\tE", {Key(Qt::Key_E)}, &CViewerState::m_axes, nullptr),
        {kCmdGeometryInformation, kGeometry, "Information\tCtrl + I", {Key(kCtrl, Qt::Key_I)},
         [](CViewer& v) { ShowGeometryInformation(v); }, HasMeshes, nullptr, true},

        // Labels: work on the whole label image.
        {kCmdInterpolateSlices, kLabels, "Interpolate Between Slices", {},
         [](CViewer& v) { CLabelCommands(v).Interpolate(); },
         [](const CViewer& v) { return HasLabels(v) && NotPlaying(v); }, nullptr},
        {kCmdPropagateLabels, kLabels, "Propagate Over Time...", {}, [](CViewer& v) { CLabelCommands(v).OnPropagate(); },
         [](const CViewer& v) { return HasLabels(v) && NotPlaying(v) && v.Volume().Frames() > 1; }, nullptr},

        // Help
        {kCmdAbout, kHelp, "&About Orvanta / Navigation Keys...", {}, [](CViewer& v) { v.Host().ShowAbout(); },
         NotPlaying, nullptr},

        // Keys without a menu item: arm or end the slice drags.
        {kCmdSliceDragX, -1, nullptr, {Key(Qt::Key_Left)}, [](CViewer& v) { v.Navigation().OnSliceDragX(); }, nullptr,
         nullptr},
        {kCmdSliceDragY, -1, nullptr, {Key(Qt::Key_Right)}, [](CViewer& v) { v.Navigation().OnSliceDragY(); }, nullptr,
         nullptr},
    };
}

}  // namespace

const std::vector<CCommand>& CommandTable() {
    static const std::vector<CCommand> table = BuildTable();
    return table;
}

const CCommand* FindCommand(int id) {
    for (const CCommand& command : CommandTable())
        if (command.id == id) return &command;
    return nullptr;
}

bool IsCommandEnabled(const CCommand& command, const CViewer& viewer) {
    return command.enabled == nullptr || command.enabled(viewer);
}

bool IsCommandCheckable(const CCommand& command) {
    return command.checked != nullptr || command.stateSwitch != nullptr || command.viewSwitch != nullptr;
}

bool IsCommandChecked(const CCommand& command, const CViewer& viewer) {
    if (command.stateSwitch != nullptr) return viewer.State().*command.stateSwitch;
    if (command.viewSwitch != nullptr) return viewer.View().*command.viewSwitch;
    return command.checked != nullptr && command.checked(viewer);
}

void RunCommand(const CCommand& command, CViewer& viewer) {
    // Whatever the command changes is told once, when it is done.
    const CViewerNotices::CBatch batch(viewer.Notices());
    if (command.stateSwitch != nullptr)
        viewer.SetSwitch(command.stateSwitch, !(viewer.State().*command.stateSwitch));
    else if (command.viewSwitch != nullptr)
        viewer.SetViewSwitch(command.viewSwitch, !(viewer.View().*command.viewSwitch));
    else
        command.run(viewer);
}

bool CViewer::Execute(int id) {
    const CCommand* command = FindCommand(id);
    if (command == nullptr || !IsCommandEnabled(*command, *this)) return false;
    RunCommand(*command, *this);
    return true;
}
