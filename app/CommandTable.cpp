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
        // File. "Open TVI..." opens a volume of every format the program reads.
        {0x801A, kFile, "Open TVI...\tO", {Key(Qt::Key_O)}, [](CViewer& v) { v.OnOpenTvi(); }, NotPlaying,
         nullptr},
        {0x803C, kFile, "Open DICOM Folder...", {}, [](CViewer& v) { v.OnOpenDicomFolder(); }, NotPlaying, nullptr},
        {0x8021, kFile, "Save Snapshot...\tCtrl + S", {Key(kCtrl, Qt::Key_S)}, [](CViewer& v) { v.OnSaveSnapshot(); },
         NotPlaying, nullptr, true},
        {0x8019, kFile, "Save Current XY-plane...\tCtrl + Z", {Key(kCtrl, Qt::Key_Z)},
         [](CViewer& v) { v.OnSavePlane(2); }, [](const CViewer& v) { return !v.State().m_playing && v.Volume().SizeZ() > 0; },
         nullptr},
        {0x8018, kFile, "Save Current XZ-plane...\tCtrl + Y", {Key(kCtrl, Qt::Key_Y)},
         [](CViewer& v) { v.OnSavePlane(1); }, [](const CViewer& v) { return !v.State().m_playing && v.Volume().SizeY() > 0; },
         nullptr},
        {0x8017, kFile, "Save Current YZ-plane...\tCtrl + X", {Key(kCtrl, Qt::Key_X)},
         [](CViewer& v) { v.OnSavePlane(0); }, [](const CViewer& v) { return !v.State().m_playing && v.Volume().SizeX() > 0; },
         nullptr},
        {0x8032, kFile, "Save Time Sequence as AVI...", {}, [](CViewer& v) { v.OnSaveTimeSequence(); },
         [](const CViewer& v) { return v.LastFrameIndex() >= 0; }, nullptr, true},
        {0x8040, kFile, "Save Geometry As...", {}, [](CViewer& v) { v.OnSaveGeometry(); },
         [](const CViewer& v) { return HasMeshes(v) && NotPlaying(v); }, nullptr},
        {0x8058, kFile, "Save Volume as NIfTI...", {}, [](CViewer& v) { v.OnSaveVolumeNifti(); },
         [](const CViewer& v) { return v.Volume().SizeX() > 0 && NotPlaying(v); }, nullptr, true},
        {0x8059, kFile, "Save Label Image as NIfTI...", {}, [](CViewer& v) { v.OnSaveLabelsNifti(); },
         [](const CViewer& v) { return HasLabels(v) && NotPlaying(v); }, nullptr},
        {0x8060, kFile, "Save Curves as CSV...", {}, [](CViewer& v) { v.OnSaveCurvesCsv(); },
         [](const CViewer& v) { return !v.Labels().Empty() || HasMeshes(v); }, nullptr},
        {0xE141, kFile, "E&xit", {}, [](CViewer& v) { v.OnExit(); }, nullptr, nullptr, true},

        // Control
        {0x8004, kControl, "&Play/Stop\tSpace", {Key(Qt::Key_Space)}, [](CViewer& v) { v.OnPlayStop(); },
         LastAboveZero, nullptr},
        {0x802F, kControl, "Ping-Pong Play\tF1", {Key(Qt::Key_F1)}, [](CViewer& v) { v.OnPingPong(); },
         LastAboveZero, [](const CViewer& v) { return v.State().m_pingPongUp || v.State().m_pingPongDown; }},
        {0x8013, kControl, "Next Frame\tS", {Key(Qt::Key_S)}, [](CViewer& v) { v.OnNextFrame(); }, NotPlaying,
         nullptr, true},
        {0x8014, kControl, "Previous Frame\tA", {Key(Qt::Key_A)}, [](CViewer& v) { v.OnPreviousFrame(); },
         NotPlaying, nullptr},
        {0x802A, kControl, "First Frame\tCtrl + Home", {Key(kCtrl, Qt::Key_Home)},
         [](CViewer& v) { v.OnFirstFrame(); }, nullptr, nullptr},
        {0x802E, kControl, "Middle Frame\tM", {Key(Qt::Key_M)}, [](CViewer& v) { v.OnMiddleFrame(); }, NotPlaying,
         nullptr},
        {0x802B, kControl, "Last Frame\tCtrl + End", {Key(kCtrl, Qt::Key_End)}, [](CViewer& v) { v.OnLastFrame(); },
         NotPlaying, nullptr},
        {0x8034, kControl, "Increase X\tIns", {Key(Qt::Key_Insert)}, [](CViewer& v) { v.OnIncreaseX(); }, nullptr,
         nullptr, true},
        {0x8035, kControl, "Decrease X\tDel", {Key(Qt::Key_Delete)}, [](CViewer& v) { v.OnDecreaseX(); }, nullptr,
         nullptr},
        {0x8037, kControl, "Increase Y\tHome", {Key(Qt::Key_Home)}, [](CViewer& v) { v.OnIncreaseY(); }, nullptr,
         nullptr},
        {0x8036, kControl, "Decrease Y\tEnd", {Key(Qt::Key_End)}, [](CViewer& v) { v.OnDecreaseY(); }, nullptr,
         nullptr},
        {0x8027, kControl, "Increase Z\tPg Up", {Key(Qt::Key_PageUp)}, [](CViewer& v) { v.OnIncreaseZ(); }, nullptr,
         nullptr},
        {0x8028, kControl, "Decrease Z\tPg Down", {Key(Qt::Key_PageDown)}, [](CViewer& v) { v.OnDecreaseZ(); },
         nullptr, nullptr},
        {0x8024, kControl, "Show XY\tCtrl + 1", {Key(kCtrl, Qt::Key_1)}, [](CViewer& v) { v.OnShowXY(); }, nullptr,
         nullptr, true},
        {0x8022, kControl, "Show XZ\tCtrl + 2", {Key(kCtrl, Qt::Key_2)}, [](CViewer& v) { v.OnShowXZ(); }, nullptr,
         nullptr},
        {0x8023, kControl, "Show YZ\tCtrl + 3", {Key(kCtrl, Qt::Key_3)}, [](CViewer& v) { v.OnShowYZ(); }, nullptr,
         nullptr},
        {0x8025, kControl, "Show 3D ref\tCtrl + 4", {Key(kCtrl, Qt::Key_4)}, [](CViewer& v) { v.OnShow3DRef(); },
         nullptr, nullptr},

        // Display
        {0x800F, kDisplay, "&X-plane\tX or 1", {Key(Qt::Key_X), Key(Qt::Key_1)},
         [](CViewer& v) { v.OnShowXPlane(); }, nullptr, [](const CViewer& v) { return v.State().m_showX; }},
        {0x8010, kDisplay, "&Y-plane\tY or 2", {Key(Qt::Key_Y), Key(Qt::Key_2)},
         [](CViewer& v) { v.OnShowYPlane(); }, nullptr, [](const CViewer& v) { return v.State().m_showY; }},
        {0x8011, kDisplay, "&Z-plane\tZ or 3", {Key(Qt::Key_Z), Key(Qt::Key_3)},
         [](CViewer& v) { v.OnShowZPlane(); }, nullptr, [](const CViewer& v) { return v.State().m_showZ; }},
        {0x8008, kDisplay, "&Increase Contrast\t+", {Key(kKeypad, Qt::Key_Plus)},
         [](CViewer& v) { v.OnIncreaseContrast(); }, nullptr, nullptr, true},
        {0x8009, kDisplay, "&Decrease Contrast\t-", {Key(kKeypad, Qt::Key_Minus)},
         [](CViewer& v) { v.OnDecreaseContrast(); }, nullptr, nullptr},
        {0x800A, kDisplay, "Increase &Brightness\tCtrl + +", {Key(kCtrl | kKeypad, Qt::Key_Plus)},
         [](CViewer& v) { v.OnIncreaseBrightness(); }, nullptr, nullptr},
        {0x800B, kDisplay, "Decrease B&rightness\tCtrl + -", {Key(kCtrl | kKeypad, Qt::Key_Minus)},
         [](CViewer& v) { v.OnDecreaseBrightness(); }, nullptr, nullptr},
        {0x800E, kDisplay, "&Reset Brightness && Contrast\tR", {Key(Qt::Key_R)},
         [](CViewer& v) { v.OnResetBrightnessContrast(); }, nullptr, nullptr},
        {0x800D, kDisplay, "Bilinear &Filtering\tF", {Key(Qt::Key_F)}, [](CViewer& v) { v.OnBilinearFiltering(); },
         nullptr, [](const CViewer& v) { return v.State().m_bilinear; }, true},
        {0x800C, kDisplay, "&White Background\tW", {Key(Qt::Key_W)}, [](CViewer& v) { v.OnWhiteBackground(); },
         nullptr, [](const CViewer& v) { return v.State().m_whiteBackground; }},
        {0x8031, kDisplay, "XYZ Colour Coding\tCtrl+C", {Key(kCtrl, Qt::Key_C)},
         [](CViewer& v) { v.OnColourCoding(); },
         [](const CViewer& v) { return v.State().m_showX || v.State().m_showY || v.State().m_showZ; },
         [](const CViewer& v) { return v.View().m_colourCoding; }},
        {0x8012, kDisplay, "P&osition Info\tI", {Key(Qt::Key_I)}, [](CViewer& v) { v.OnPositionInfo(); }, nullptr,
         [](const CViewer& v) { return v.State().m_positionInfo; }},
        {0x802D, kDisplay, "Resize to 640x480", {}, [](CViewer& v) { v.OnResize640x480(); }, NotPlaying, nullptr,
         true},
        {0x8033, kDisplay, "Resize to 320x240", {}, [](CViewer& v) { v.OnResize320x240(); }, NotPlaying, nullptr},
        {0x8038, kDisplay, "Full Screen\tF11", {Key(Qt::Key_F11)}, [](CViewer& v) { v.OnFullScreen(); }, nullptr,
         nullptr},
        {0x8016, kDisplay, "Pr&eferences...\tCtrl + P", {Key(kCtrl, Qt::Key_P)}, [](CViewer& v) { v.OnPreferences(); },
         nullptr, nullptr, true},
        {0x8039, kDisplay, "Alternate texturing (use if slices turn white)\tCtrl + A", {Key(kCtrl, Qt::Key_A)},
         [](CViewer& v) { v.OnAlternateTexturing(); }, nullptr,
         [](const CViewer& v) { return v.View().m_alternateTexturing; }, true},
        {0x8041, kDisplay, "Label Overlay\tV", {Key(Qt::Key_V)}, [](CViewer& v) { v.OnLabelOverlay(); }, HasLabels,
         [](const CViewer& v) { return v.View().m_showLabels; }, true},
        {0x8042, kDisplay, "Increase Label Opacity\t]", {Key(Qt::Key_BracketRight)},
         [](CViewer& v) { v.OnIncreaseLabelOpacity(); }, HasLabels, nullptr},
        {0x8043, kDisplay, "Decrease Label Opacity\t[", {Key(Qt::Key_BracketLeft)},
         [](CViewer& v) { v.OnDecreaseLabelOpacity(); }, HasLabels, nullptr},
        {0x8045, kDisplay, "Orientation Labels\tT", {Key(Qt::Key_T)}, [](CViewer& v) { v.OnOrientationLabels(); },
         nullptr, [](const CViewer& v) { return v.State().m_showOrientation; }, true},
        {0x8061, kDisplay, "Curves\tU", {Key(Qt::Key_U)}, [](CViewer& v) { v.OnCurves(); }, nullptr,
         [](const CViewer& v) { return v.Host().CurvesShown(); }},

        // Geometry
        {0x801B, kGeometry, "Load Geometry...\tCtrl + O", {Key(kCtrl, Qt::Key_O)},
         [](CViewer& v) { v.OnLoadGeometry(); }, NotPlaying, nullptr},
        {0x8044, kGeometry, "Load Label Image...\tCtrl + L", {Key(kCtrl, Qt::Key_L)},
         [](CViewer& v) { v.OnLoadLabels(); }, NotPlaying, nullptr},
        {0x801F, kGeometry, "Draw Geometry\tG", {Key(Qt::Key_G)}, [](CViewer& v) { v.OnDrawGeometry(); }, HasMeshes,
         [](const CViewer& v) { return v.State().m_drawGeometry; }, true},
        {0x801C, kGeometry, "Clip Geometry\tC", {Key(Qt::Key_C)}, [](CViewer& v) { v.OnClipGeometry(); }, HasMeshes,
         [](const CViewer& v) { return v.State().m_clipGeometry; }},
        {0x8020, kGeometry, "Toggle Objects\tTAB", {Key(Qt::Key_Tab)}, [](CViewer& v) { v.OnToggleObjects(); },
         HasMeshes, nullptr},
        {0x8026, kGeometry, "Wireframe Mode\tCtrl + W", {Key(kCtrl, Qt::Key_W)}, [](CViewer& v) { v.OnWireframe(); },
         HasMeshes, [](const CViewer& v) { return v.View().m_wireframe; }},
        {0x8029, kGeometry, "Back-face Culling\tCtrl + B", {Key(kCtrl, Qt::Key_B)},
         [](CViewer& v) { v.OnBackfaceCulling(); }, HasMeshes,
         [](const CViewer& v) { return v.View().m_backfaceCulling; }},
        {0x8030, kGeometry, "Z-cap Geometry", {}, [](CViewer& v) { v.OnZCapGeometry(); }, HasMeshes, nullptr},
        {0x803B, kGeometry, "Draw Points Only\tP", {Key(Qt::Key_P)}, [](CViewer& v) { v.OnPointsOnly(); },
         HasMeshes, nullptr},
        {0x802C, kGeometry, "Lock Current TVI Frame\tL", {Key(Qt::Key_L)}, [](CViewer& v) { v.OnLockFrame(); },
         [](const CViewer& v) { return HasMeshes(v) && v.Volume().Frames() > 0; },
         [](const CViewer& v) { return v.State().m_lockedFrame != -1; }},
        {0x801D, kGeometry, "Bounding Box\tB", {Key(Qt::Key_B)}, [](CViewer& v) { v.OnBoundingBox(); }, nullptr,
         [](const CViewer& v) { return v.State().m_boundingBox; }, true},
        {0x801E, kGeometry, "Axes\tE", {Key(Qt::Key_E)}, [](CViewer& v) { v.OnAxes(); }, nullptr,
         [](const CViewer& v) { return v.State().m_axes; }},
        {0x803A, kGeometry, "Information\tCtrl + I", {Key(kCtrl, Qt::Key_I)},
         [](CViewer& v) { v.OnGeometryInformation(); }, HasMeshes, nullptr, true},

        // Help
        {0xE140, kHelp, "&About Orvanta / Navigation Keys...", {}, [](CViewer& v) { v.OnAbout(); }, NotPlaying,
         nullptr},

        // Keys without a menu item: arm or end the slice drags.
        {0x8006, -1, nullptr, {Key(Qt::Key_Left)}, [](CViewer& v) { v.OnSliceDragX(); }, nullptr, nullptr},
        {0x8005, -1, nullptr, {Key(Qt::Key_Right)}, [](CViewer& v) { v.OnSliceDragY(); }, nullptr, nullptr},
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
