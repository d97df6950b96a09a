#include "CommandTable.h"

#include "Viewer.h"

namespace {

// Menu positions.
enum { kFile, kControl, kDisplay, kGeometry, kHelp };

// Enable and check rules.
bool NotPlaying(const CViewer& v) { return !v.State().m_playing; }
bool HasMeshes(const CViewer& v) { return v.View().m_meshes.ObjectCount() > 0; }
bool LastAboveZero(const CViewer& v) { return v.LastFrameIndex() > 0; }
bool HasLabels(const CViewer& v) { return !v.Labels().Empty(); }

constexpr auto kCtrl = Qt::ControlModifier;
constexpr auto kKeypad = Qt::KeypadModifier;

QKeyCombination Key(Qt::Key key) { return QKeyCombination(key); }
QKeyCombination Key(Qt::KeyboardModifiers modifiers, Qt::Key key) { return QKeyCombination(modifiers, key); }

std::vector<CCommand> BuildTable() {
    return {
        // File. Opening takes a volume of every format the program reads.
        {kCmdOpenVolume, kFile, "Open Volume...\tO", {Key(Qt::Key_O)}, [](CViewer& v) { v.OnOpenVolume(); },
         NotPlaying, nullptr},
        {kCmdOpenDicomFolder, kFile, "Open DICOM Folder...", {}, [](CViewer& v) { v.OnOpenDicomFolder(); },
         NotPlaying, nullptr},
        {kCmdSaveSnapshot, kFile, "Save Snapshot...\tCtrl + S", {Key(kCtrl, Qt::Key_S)},
         [](CViewer& v) { v.OnSaveSnapshot(); }, NotPlaying, nullptr, true},
        {kCmdSaveXYPlane, kFile, "Save Current XY-plane...\tCtrl + Z", {Key(kCtrl, Qt::Key_Z)},
         [](CViewer& v) { v.OnSavePlane(2); }, [](const CViewer& v) { return !v.State().m_playing && v.Volume().SizeZ() > 0; },
         nullptr},
        {kCmdSaveXZPlane, kFile, "Save Current XZ-plane...\tCtrl + Y", {Key(kCtrl, Qt::Key_Y)},
         [](CViewer& v) { v.OnSavePlane(1); }, [](const CViewer& v) { return !v.State().m_playing && v.Volume().SizeY() > 0; },
         nullptr},
        {kCmdSaveYZPlane, kFile, "Save Current YZ-plane...\tCtrl + X", {Key(kCtrl, Qt::Key_X)},
         [](CViewer& v) { v.OnSavePlane(0); }, [](const CViewer& v) { return !v.State().m_playing && v.Volume().SizeX() > 0; },
         nullptr},
        {kCmdSaveTimeSequence, kFile, "Save Time Sequence as AVI...", {},
         [](CViewer& v) { v.OnSaveTimeSequence(); },
         [](const CViewer& v) { return v.LastFrameIndex() >= 0; }, nullptr, true},
        {kCmdSaveGeometry, kFile, "Save Geometry As...", {}, [](CViewer& v) { v.OnSaveGeometry(); },
         [](const CViewer& v) { return HasMeshes(v) && NotPlaying(v); }, nullptr},
        {kCmdSaveVolumeNifti, kFile, "Save Volume as NIfTI...", {}, [](CViewer& v) { v.OnSaveVolumeNifti(); },
         [](const CViewer& v) { return v.Volume().SizeX() > 0 && NotPlaying(v); }, nullptr, true},
        {kCmdSaveLabelsNifti, kFile, "Save Label Image as NIfTI...", {},
         [](CViewer& v) { v.OnSaveLabelsNifti(); },
         [](const CViewer& v) { return HasLabels(v) && NotPlaying(v); }, nullptr},
        {kCmdSaveCurvesCsv, kFile, "Save Curves as CSV...", {}, [](CViewer& v) { v.OnSaveCurvesCsv(); },
         [](const CViewer& v) { return !v.Labels().Empty() || HasMeshes(v); }, nullptr},
        {kCmdExit, kFile, "E&xit", {}, [](CViewer& v) { v.OnExit(); }, nullptr, nullptr, true},

        // Control
        {kCmdPlayStop, kControl, "&Play/Stop\tSpace", {Key(Qt::Key_Space)},
         [](CViewer& v) { v.OnPlayStop(); }, LastAboveZero, nullptr},
        {kCmdPingPong, kControl, "Ping-Pong Play\tF1", {Key(Qt::Key_F1)}, [](CViewer& v) { v.OnPingPong(); },
         LastAboveZero, [](const CViewer& v) { return v.State().m_pingPongUp || v.State().m_pingPongDown; }},
        {kCmdNextFrame, kControl, "Next Frame\tS", {Key(Qt::Key_S)}, [](CViewer& v) { v.OnNextFrame(); },
         NotPlaying, nullptr, true},
        {kCmdPreviousFrame, kControl, "Previous Frame\tA", {Key(Qt::Key_A)},
         [](CViewer& v) { v.OnPreviousFrame(); }, NotPlaying, nullptr},
        {kCmdFirstFrame, kControl, "First Frame\tCtrl + Home", {Key(kCtrl, Qt::Key_Home)},
         [](CViewer& v) { v.OnFirstFrame(); }, nullptr, nullptr},
        {kCmdMiddleFrame, kControl, "Middle Frame\tM", {Key(Qt::Key_M)},
         [](CViewer& v) { v.OnMiddleFrame(); }, NotPlaying, nullptr},
        {kCmdLastFrame, kControl, "Last Frame\tCtrl + End", {Key(kCtrl, Qt::Key_End)},
         [](CViewer& v) { v.OnLastFrame(); }, NotPlaying, nullptr},
        {kCmdIncreaseX, kControl, "Increase X\tIns", {Key(Qt::Key_Insert)},
         [](CViewer& v) { v.OnIncreaseX(); }, nullptr, nullptr, true},
        {kCmdDecreaseX, kControl, "Decrease X\tDel", {Key(Qt::Key_Delete)},
         [](CViewer& v) { v.OnDecreaseX(); }, nullptr, nullptr},
        {kCmdIncreaseY, kControl, "Increase Y\tHome", {Key(Qt::Key_Home)},
         [](CViewer& v) { v.OnIncreaseY(); }, nullptr, nullptr},
        {kCmdDecreaseY, kControl, "Decrease Y\tEnd", {Key(Qt::Key_End)}, [](CViewer& v) { v.OnDecreaseY(); },
         nullptr, nullptr},
        {kCmdIncreaseZ, kControl, "Increase Z\tPg Up", {Key(Qt::Key_PageUp)},
         [](CViewer& v) { v.OnIncreaseZ(); }, nullptr, nullptr},
        {kCmdDecreaseZ, kControl, "Decrease Z\tPg Down", {Key(Qt::Key_PageDown)},
         [](CViewer& v) { v.OnDecreaseZ(); }, nullptr, nullptr},
        {kCmdShowXY, kControl, "Show XY\tCtrl + 1", {Key(kCtrl, Qt::Key_1)}, [](CViewer& v) { v.OnShowXY(); },
         nullptr, nullptr, true},
        {kCmdShowXZ, kControl, "Show XZ\tCtrl + 2", {Key(kCtrl, Qt::Key_2)}, [](CViewer& v) { v.OnShowXZ(); },
         nullptr, nullptr},
        {kCmdShowYZ, kControl, "Show YZ\tCtrl + 3", {Key(kCtrl, Qt::Key_3)}, [](CViewer& v) { v.OnShowYZ(); },
         nullptr, nullptr},
        {kCmdShow3DRef, kControl, "Show 3D ref\tCtrl + 4", {Key(kCtrl, Qt::Key_4)},
         [](CViewer& v) { v.OnShow3DRef(); }, nullptr, nullptr},

        // Display
        {kCmdXPlane, kDisplay, "&X-plane\tX or 1", {Key(Qt::Key_X), Key(Qt::Key_1)},
         [](CViewer& v) { v.OnShowXPlane(); }, nullptr, [](const CViewer& v) { return v.State().m_showX; }},
        {kCmdYPlane, kDisplay, "&Y-plane\tY or 2", {Key(Qt::Key_Y), Key(Qt::Key_2)},
         [](CViewer& v) { v.OnShowYPlane(); }, nullptr, [](const CViewer& v) { return v.State().m_showY; }},
        {kCmdZPlane, kDisplay, "&Z-plane\tZ or 3", {Key(Qt::Key_Z), Key(Qt::Key_3)},
         [](CViewer& v) { v.OnShowZPlane(); }, nullptr, [](const CViewer& v) { return v.State().m_showZ; }},
        {kCmdIncreaseContrast, kDisplay, "&Increase Contrast\t+", {Key(kKeypad, Qt::Key_Plus)},
         [](CViewer& v) { v.OnIncreaseContrast(); }, nullptr, nullptr, true},
        {kCmdDecreaseContrast, kDisplay, "&Decrease Contrast\t-", {Key(kKeypad, Qt::Key_Minus)},
         [](CViewer& v) { v.OnDecreaseContrast(); }, nullptr, nullptr},
        {kCmdIncreaseBrightness, kDisplay, "Increase &Brightness\tCtrl + +",
         {Key(kCtrl | kKeypad, Qt::Key_Plus)},
         [](CViewer& v) { v.OnIncreaseBrightness(); }, nullptr, nullptr},
        {kCmdDecreaseBrightness, kDisplay, "Decrease B&rightness\tCtrl + -",
         {Key(kCtrl | kKeypad, Qt::Key_Minus)},
         [](CViewer& v) { v.OnDecreaseBrightness(); }, nullptr, nullptr},
        {kCmdResetBrightnessContrast, kDisplay, "&Reset Brightness && Contrast\tR", {Key(Qt::Key_R)},
         [](CViewer& v) { v.OnResetBrightnessContrast(); }, nullptr, nullptr},
        {kCmdBilinearFiltering, kDisplay, "Bilinear &Filtering\tF", {Key(Qt::Key_F)},
         [](CViewer& v) { v.OnBilinearFiltering(); },
         nullptr, [](const CViewer& v) { return v.State().m_bilinear; }, true},
        {kCmdWhiteBackground, kDisplay, "&White Background\tW", {Key(Qt::Key_W)},
         [](CViewer& v) { v.OnWhiteBackground(); },
         nullptr, [](const CViewer& v) { return v.State().m_whiteBackground; }},
        {kCmdColourCoding, kDisplay, "XYZ Colour Coding\tCtrl+C", {Key(kCtrl, Qt::Key_C)},
         [](CViewer& v) { v.OnColourCoding(); },
         [](const CViewer& v) { return v.State().m_showX || v.State().m_showY || v.State().m_showZ; },
         [](const CViewer& v) { return v.View().m_colourCoding; }},
        {kCmdPositionInfo, kDisplay, "P&osition Info\tI", {Key(Qt::Key_I)},
         [](CViewer& v) { v.OnPositionInfo(); }, nullptr,
         [](const CViewer& v) { return v.State().m_positionInfo; }},
        {kCmdResize640x480, kDisplay, "Resize to 640x480", {}, [](CViewer& v) { v.OnResize640x480(); },
         NotPlaying, nullptr, true},
        {kCmdResize320x240, kDisplay, "Resize to 320x240", {}, [](CViewer& v) { v.OnResize320x240(); },
         NotPlaying, nullptr},
        {kCmdFullScreen, kDisplay, "Full Screen\tF11", {Key(Qt::Key_F11)},
         [](CViewer& v) { v.OnFullScreen(); }, nullptr, nullptr},
        {kCmdPreferences, kDisplay, "Pr&eferences...\tCtrl + P", {Key(kCtrl, Qt::Key_P)},
         [](CViewer& v) { v.OnPreferences(); }, nullptr, nullptr, true},
        {kCmdAlternateTexturing, kDisplay, "Alternate texturing (use if slices turn white)\tCtrl + A",
         {Key(kCtrl, Qt::Key_A)}, [](CViewer& v) { v.OnAlternateTexturing(); }, nullptr,
         [](const CViewer& v) { return v.View().m_alternateTexturing; }, true},
        {kCmdLabelOverlay, kDisplay, "Label Overlay\tV", {Key(Qt::Key_V)},
         [](CViewer& v) { v.OnLabelOverlay(); }, HasLabels,
         [](const CViewer& v) { return v.View().m_showLabels; }, true},
        {kCmdIncreaseLabelOpacity, kDisplay, "Increase Label Opacity\t]", {Key(Qt::Key_BracketRight)},
         [](CViewer& v) { v.OnIncreaseLabelOpacity(); }, HasLabels, nullptr},
        {kCmdDecreaseLabelOpacity, kDisplay, "Decrease Label Opacity\t[", {Key(Qt::Key_BracketLeft)},
         [](CViewer& v) { v.OnDecreaseLabelOpacity(); }, HasLabels, nullptr},
        {kCmdOrientationLabels, kDisplay, "Orientation Labels\tT", {Key(Qt::Key_T)},
         [](CViewer& v) { v.OnOrientationLabels(); },
         nullptr, [](const CViewer& v) { return v.State().m_showOrientation; }, true},
        {kCmdCurves, kDisplay, "Curves\tU", {Key(Qt::Key_U)}, [](CViewer& v) { v.OnCurves(); }, nullptr,
         [](const CViewer& v) { return v.Host().CurvesShown(); }},

        // Geometry
        {kCmdLoadGeometry, kGeometry, "Load Geometry...\tCtrl + O", {Key(kCtrl, Qt::Key_O)},
         [](CViewer& v) { v.OnLoadGeometry(); }, NotPlaying, nullptr},
        {kCmdLoadLabels, kGeometry, "Load Label Image...\tCtrl + L", {Key(kCtrl, Qt::Key_L)},
         [](CViewer& v) { v.OnLoadLabels(); }, NotPlaying, nullptr},
        {kCmdDrawGeometry, kGeometry, "Draw Geometry\tG", {Key(Qt::Key_G)},
         [](CViewer& v) { v.OnDrawGeometry(); }, HasMeshes,
         [](const CViewer& v) { return v.State().m_drawGeometry; }, true},
        {kCmdClipGeometry, kGeometry, "Clip Geometry\tC", {Key(Qt::Key_C)},
         [](CViewer& v) { v.OnClipGeometry(); }, HasMeshes,
         [](const CViewer& v) { return v.State().m_clipGeometry; }},
        {kCmdToggleObjects, kGeometry, "Toggle Objects\tTAB", {Key(Qt::Key_Tab)},
         [](CViewer& v) { v.OnToggleObjects(); }, HasMeshes, nullptr},
        {kCmdWireframe, kGeometry, "Wireframe Mode\tCtrl + W", {Key(kCtrl, Qt::Key_W)},
         [](CViewer& v) { v.OnWireframe(); },
         HasMeshes, [](const CViewer& v) { return v.View().m_wireframe; }},
        {kCmdBackfaceCulling, kGeometry, "Back-face Culling\tCtrl + B", {Key(kCtrl, Qt::Key_B)},
         [](CViewer& v) { v.OnBackfaceCulling(); }, HasMeshes,
         [](const CViewer& v) { return v.View().m_backfaceCulling; }},
        {kCmdZCapGeometry, kGeometry, "Z-cap Geometry", {}, [](CViewer& v) { v.OnZCapGeometry(); }, HasMeshes,
         nullptr},
        {kCmdPointsOnly, kGeometry, "Draw Points Only\tP", {Key(Qt::Key_P)},
         [](CViewer& v) { v.OnPointsOnly(); }, HasMeshes, nullptr},
        {kCmdLockFrame, kGeometry, "Lock Current TVI Frame\tL", {Key(Qt::Key_L)},
         [](CViewer& v) { v.OnLockFrame(); },
         [](const CViewer& v) { return HasMeshes(v) && v.Volume().Frames() > 0; },
         [](const CViewer& v) { return v.State().m_lockedFrame != -1; }},
        {kCmdBoundingBox, kGeometry, "Bounding Box\tB", {Key(Qt::Key_B)},
         [](CViewer& v) { v.OnBoundingBox(); }, nullptr,
         [](const CViewer& v) { return v.State().m_boundingBox; }, true},
        {kCmdAxes, kGeometry, "Axes\tE", {Key(Qt::Key_E)}, [](CViewer& v) { v.OnAxes(); }, nullptr,
         [](const CViewer& v) { return v.State().m_axes; }},
        {kCmdGeometryInformation, kGeometry, "Information\tCtrl + I", {Key(kCtrl, Qt::Key_I)},
         [](CViewer& v) { v.OnGeometryInformation(); }, HasMeshes, nullptr, true},

        // Help
        {kCmdAbout, kHelp, "&About Orvanta / Navigation Keys...", {}, [](CViewer& v) { v.OnAbout(); },
         NotPlaying, nullptr},

        // Keys without a menu item: arm or end the slice drags.
        {kCmdSliceDragX, -1, nullptr, {Key(Qt::Key_Left)}, [](CViewer& v) { v.OnSliceDragX(); }, nullptr,
         nullptr},
        {kCmdSliceDragY, -1, nullptr, {Key(Qt::Key_Right)}, [](CViewer& v) { v.OnSliceDragY(); }, nullptr,
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

bool CViewer::Execute(int id) {
    const CCommand* command = FindCommand(id);
    if (command == nullptr || !IsCommandEnabled(*command, *this)) return false;
    command->run(*this);
    return true;
}
