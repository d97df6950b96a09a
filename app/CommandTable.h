#pragma once

#include <QKeyCombination>

#include <vector>

#include "SceneState.h"
#include "ViewerState.h"

class CViewer;

// Command ids, in table order. Tests and callers name a command by these.
enum ECommandId : int {
    kCmdOpenVolume = 0x801A,
    kCmdOpenDicomFolder = 0x803C,
    kCmdSaveSnapshot = 0x8021,
    kCmdSaveXYPlane = 0x8019,
    kCmdSaveXZPlane = 0x8018,
    kCmdSaveYZPlane = 0x8017,
    kCmdSaveTimeSequence = 0x8032,
    kCmdSaveGeometry = 0x8040,
    kCmdSaveVolumeNifti = 0x8058,
    kCmdSaveLabelsNifti = 0x8059,
    kCmdSaveLabelImage = 0x8082,
    kCmdSaveLabelImageAs = 0x8083,
    kCmdUndo = 0x8080,
    kCmdRedo = 0x8081,
    kCmdSaveCurvesCsv = 0x8060,
    kCmdExit = 0xE141,
    kCmdPlayStop = 0x8004,
    kCmdPingPong = 0x802F,
    kCmdNextFrame = 0x8013,
    kCmdPreviousFrame = 0x8014,
    kCmdFirstFrame = 0x802A,
    kCmdMiddleFrame = 0x802E,
    kCmdLastFrame = 0x802B,
    kCmdIncreaseX = 0x8034,
    kCmdDecreaseX = 0x8035,
    kCmdIncreaseY = 0x8037,
    kCmdDecreaseY = 0x8036,
    kCmdIncreaseZ = 0x8027,
    kCmdDecreaseZ = 0x8028,
    kCmdShowXY = 0x8024,
    kCmdShowXZ = 0x8022,
    kCmdShowYZ = 0x8023,
    kCmdShow3DRef = 0x8025,
    kCmdXPlane = 0x800F,
    kCmdYPlane = 0x8010,
    kCmdZPlane = 0x8011,
    kCmdIncreaseContrast = 0x8008,
    kCmdDecreaseContrast = 0x8009,
    kCmdIncreaseBrightness = 0x800A,
    kCmdDecreaseBrightness = 0x800B,
    kCmdResetBrightnessContrast = 0x800E,
    kCmdBilinearFiltering = 0x800D,
    kCmdWhiteBackground = 0x800C,
    kCmdColourCoding = 0x8031,
    kCmdPositionInfo = 0x8012,
    kCmdResize640x480 = 0x802D,
    kCmdResize320x240 = 0x8033,
    kCmdFullScreen = 0x8038,
    kCmdPreferences = 0x8016,
    kCmdAlternateTexturing = 0x8039,
    kCmdLabelOverlay = 0x8041,
    kCmdIncreaseLabelOpacity = 0x8042,
    kCmdDecreaseLabelOpacity = 0x8043,
    kCmdOrientationLabels = 0x8045,
    kCmdCurves = 0x8061,
    kCmdWindowLevel = 0x8062,
    kCmdResetWindow = 0x8063,
    kCmdColourBar = 0x8064,
    // One command per colour map, in the order of EColourMap.
    kCmdColourMapFirst = 0x8070,
    kCmdLoadGeometry = 0x801B,
    kCmdLoadLabels = 0x8044,
    kCmdNewLabelImage = 0x8084,
    kCmdInterpolateSlices = 0x8085,
    kCmdPropagateLabels = 0x8086,
    kCmdOpenWorkspace = 0x8090,
    kCmdSaveWorkspace = 0x8091,
    kCmdOpenFromPacs = 0x8092,
    kCmdDrawGeometry = 0x801F,
    kCmdClipGeometry = 0x801C,
    kCmdToggleObjects = 0x8020,
    kCmdWireframe = 0x8026,
    kCmdBackfaceCulling = 0x8029,
    kCmdZCapGeometry = 0x8030,
    kCmdPointsOnly = 0x803B,
    kCmdLockFrame = 0x802C,
    kCmdBoundingBox = 0x801D,
    kCmdAxes = 0x801E,
    kCmdGeometryInformation = 0x803A,
    kCmdAbout = 0xE140,
    kCmdSliceDragX = 0x8006,
    kCmdSliceDragY = 0x8005,
};

// One command of the viewer: where it sits in the menus, its keys, what it
// does and the rules that enable and check it. Menus, shortcuts and the key
// gate are all built from this one table. An on/off switch names its flag
// (of the viewer's state or of the view's) instead of a function: running it
// flips the flag and its check mark reads it.
struct CCommand {
    int id;
    int menu;          // index into kMenuTitles; -1 for commands with keys only
    const char* text;  // menu text with its key hint after a tab; nullptr without menu item
    std::vector<QKeyCombination> keys;
    void (*run)(CViewer&);
    bool (*enabled)(const CViewer&);  // nullptr: always enabled
    bool (*checked)(const CViewer&);  // nullptr: never shows a check mark (unless a switch)
    bool separatorBefore = false;
    bool CViewerState::* stateSwitch = nullptr;
    bool CSceneState::* viewSwitch = nullptr;
};

inline constexpr const char* kMenuTitles[] = {"&File", "&Edit", "&Control", "&Display", "Geometry", "&Labels", "&Help"};

// Every command, menus in order and items in menu order.
const std::vector<CCommand>& CommandTable();
// The command with `id`, or nullptr.
const CCommand* FindCommand(int id);
// Whether the command is enabled for the viewer's state now.
bool IsCommandEnabled(const CCommand& command, const CViewer& viewer);
// Whether the command shows a check mark, and whether it is checked now.
bool IsCommandCheckable(const CCommand& command);
bool IsCommandChecked(const CCommand& command, const CViewer& viewer);
// Runs the command whatever its enable rule says (the command line sets
// switches before anything is loaded); Execute is the checked way.
void RunCommand(const CCommand& command, CViewer& viewer);
