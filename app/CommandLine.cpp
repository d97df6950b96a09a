#include "CommandLine.h"

#include <QCommandLineParser>
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <map>

#include "CommandTable.h"
#include "LabelCommands.h"
#include "Curves.h"
#include "CurvesExport.h"
#include "MeshSet.h"
#include "PacsServer.h"
#include "PreferencesDialog.h"
#include "TextFormat.h"
#include "Viewer.h"
#include "ViewerExports.h"
#include "ViewerReport.h"
#include "WindowLevel.h"
#include "VolumeFormat.h"
#include "Workspace.h"

namespace {

enum class Kind {
    kFlag,     // no argument
    kNumbers,  // comma-separated numbers, `count` of them (-n: 1 to n of them)
    kSize,     // WxH
    kWord,     // one of `words`
    kLetters,  // any of the letters of words[0], at least one
    kPath,     // a file, or another word passed on as it is
    kPlaneAndPath,
};

// What an option is for, and so when it takes effect.
enum class Role {
    kOutput,   // written without drawing, in a run without window
    kDrawing,  // written by drawing the scene: needs an OpenGL context
    kLoad,     // taken by the load itself, before the file is read
    kWindow,   // for the window only
    kState,    // set after loading, in the order given
    kPacs,     // which archive to list or retrieve from, and how
};

using Option = CCommandLine::Option;

// Switches are set to the state asked for, whatever they were.
void SetSwitch(CViewer& viewer, bool current, bool wanted, int command) {
    if (current != wanted) RunCommand(*FindCommand(command), viewer);
}

// Each option once: its syntax and help line, its role, and what it does.
struct OptionRow {
    const char* name;
    Kind kind;
    Role role;
    const char* usage;  // the option with its value, as --help shows it
    const char* help;
    int count = 0;
    double minimum = 0, maximum = 0;
    bool integer = false;
    std::vector<std::string> words = {};
    // What a load setting, a window option or a state option does: to the
    // command line itself (`take`) or to the viewer (`apply`).
    void (*take)(const Option&, CCommandLine&) = nullptr;
    void (*apply)(const Option&, CViewer&) = nullptr;
    // What an output writes: 0 done, 1 failed (reported), 2 a usage error.
    int (*write)(const Option&, CViewer&) = nullptr;
    // A value the syntax lets through but the option cannot take: why, or nullptr.
    const char* (*refuse)(const Option&) = nullptr;
};

// The names of the window presets and colour maps, as the options take them.
std::vector<std::string> PresetNames() {
    std::vector<std::string> names;
    int count = 0;
    const CWindowPresetRow* rows = WindowPresetRows(count);
    for (int at = 0; at < count; ++at) names.emplace_back(rows[at].name);
    return names;
}

std::vector<std::string> ColourMapNames() {
    std::vector<std::string> names;
    for (const CColourMapInfo& map : ColourMaps()) names.emplace_back(map.name);
    return names;
}

const std::vector<OptionRow>& OptionRows() {
    static const std::vector<OptionRow> rows = {
        {.name = "info",
         .kind = Kind::kFlag,
         .role = Role::kOutput,
         .usage = "--info",
         .help = "print the loaded data as one JSON object",
         .write =
             [](const Option&, CViewer& viewer) {
                 // A label asked for by number must give its ejection: a
                 // study where it cannot fails rather than giving null.
                 if (const int64_t label = viewer.State().m_ejectionLabel; label != 0) {
                     CCurves curves;
                     curves.Compute(viewer, false);
                     std::string error;
                     if (!curves.LabelEjection(label, error)) {
                         std::fprintf(stderr, "orvanta: --ejection-label %lld: %s\n",
                                      static_cast<long long>(label), error.c_str());
                         return 1;
                     }
                 }
                 std::fputs(CViewerReport(viewer).InfoJson().c_str(), stdout);
                 std::fflush(stdout);
                 return 0;
             }},
        {.name = "snapshot",
         .kind = Kind::kPath,
         .role = Role::kDrawing,
         .usage = "--snapshot PNG",
         .help = "write the 3-D view as a PNG picture",
         .write = [](const Option& o,
                     CViewer& viewer) { return CViewerExports(viewer).SaveSnapshot(o.text) ? 0 : 1; }},
        {.name = "save-workspace",
         .kind = Kind::kPath,
         .role = Role::kOutput,
         .usage = "--save-workspace FILE",
         .help = "write the reading the other options describe as a workspace (.orvanta)",
         .write = [](const Option& o, CViewer& viewer) { return CWorkspace::SaveFile(o.text, viewer) ? 0 : 1; },
         .refuse = [](const Option& o) -> const char* {
             return CWorkspace::IsWorkspaceName(o.text) ? nullptr : "the workspace's name must end in .orvanta";
         }},
        {.name = "save-plane",
         .kind = Kind::kPlaneAndPath,
         .role = Role::kOutput,
         .usage = "--save-plane xy|xz|yz PNG",
         .help = "write one plane through the current voxel",
         .words = {"xy", "xz", "yz"},
         .write =
             [](const Option& o, CViewer& viewer) {
                 if (viewer.Volume().SizeX() == 0) {
                     std::fprintf(stderr, "orvanta: --save-plane needs a volume\n");
                     return 2;
                 }
                 return CViewerExports(viewer).SavePlane(static_cast<int>(o.numbers[0]), o.text) ? 0 : 1;
             }},
        {.name = "export-avi",
         .kind = Kind::kPath,
         .role = Role::kDrawing,
         .usage = "--export-avi AVI",
         .help = "write the time sequence as an uncompressed movie",
         .write = [](const Option& o,
                     CViewer& viewer) { return CViewerExports(viewer).ExportMovie(o.text) ? 0 : 1; }},
        {.name = "export-obj",
         .kind = Kind::kPath,
         .role = Role::kOutput,
         .usage = "--export-obj OBJ",
         .help = "write every mesh (from .obj files and labels) as an .obj file",
         .write = [](const Option& o,
                     CViewer& viewer) { return CViewerExports(viewer).SaveGeometry(o.text) ? 0 : 1; }},
        {.name = "export-mesh",
         .kind = Kind::kPath,
         .role = Role::kOutput,
         .usage = "--export-mesh FILE",
         .help = "write the meshes of the current frame (with --all-frames: one file per\n"
                 "frame, FILE-<frame>) as .obj, .stl, .ply, .vtp or .gii, by the extension",
         .write = [](const Option& o,
                     CViewer& viewer) { return CViewerExports(viewer).ExportMeshes(o.text) ? 0 : 1; }},
        {.name = "export-csv",
         .kind = Kind::kPath,
         .role = Role::kOutput,
         .usage = "--export-csv FILE",
         .help = "write every label's and closed mesh's volume in each frame as CSV",
         .write = [](const Option& o,
                     CViewer& viewer) { return CCurvesExport::SaveCsv(viewer, o.text) ? 0 : 1; }},
        {.name = "export-plot",
         .kind = Kind::kPath,
         .role = Role::kOutput,
         .usage = "--export-plot PNG|SVG",
         .help = "draw the Curves panel's chart at --size as a picture (no OpenGL needed)",
         .write =
             [](const Option& o, CViewer& viewer) {
                 if (!CCurvesExport::IsPlotName(o.text)) {
                     std::fprintf(stderr, "orvanta: --export-plot writes .png or .svg files, not %s\n",
                                  o.text.c_str());
                     return 2;
                 }
                 const int width = static_cast<int>(o.numbers.at(0));
                 const int height = static_cast<int>(o.numbers.at(1));
                 return CCurvesExport::SavePlot(viewer, o.text, width, height) ? 0 : 1;
             }},
        {.name = "export-nifti",
         .kind = Kind::kPath,
         .role = Role::kOutput,
         .usage = "--export-nifti FILE",
         .help = "write every frame of the volume in the file's units as a NIfTI image\n"
                 "(.nii or .nii.gz) in patient space, with FILE's name .json beside it",
         .write =
             [](const Option& o, CViewer& viewer) {
                 if (viewer.Volume().SizeX() == 0) {
                     std::fprintf(stderr, "orvanta: --export-nifti needs a volume\n");
                     return 2;
                 }
                 return CViewerExports(viewer).SaveVolumeNifti(o.text) ? 0 : 1;
             }},
        {.name = "export-labels",
         .kind = Kind::kPath,
         .role = Role::kOutput,
         .usage = "--export-labels FILE",
         .help = "write the label image, as it lies on the volume's grid, as NIfTI",
         .write =
             [](const Option& o, CViewer& viewer) {
                 if (viewer.Labels().Empty()) {
                     std::fprintf(stderr, "orvanta: --export-labels needs a label image (--labels)\n");
                     return 2;
                 }
                 return CViewerExports(viewer).SaveLabelsNifti(o.text) ? 0 : 1;
             }},
        {.name = "size",
         .kind = Kind::kSize,
         .role = Role::kLoad,
         .usage = "--size WxH",
         .help = "drawing area (default 640x480)",
         .count = 2,
         .minimum = 1,
         .maximum = 8192,
         .integer = true,
         .take =
             [](const Option& o, CCommandLine& line) {
                 line.width = static_cast<int>(o.numbers[0]);
                 line.height = static_cast<int>(o.numbers[1]);
                 line.sizeGiven = true;
             }},
        {.name = "saturation",
         .kind = Kind::kNumbers,
         .role = Role::kLoad,
         .usage = "--saturation PERCENT",
         .help = "intensity window percentile (1..100)",
         .count = 1,
         .minimum = 1,
         .maximum = 100,
         .integer = true,
         .take =
             [](const Option& o, CCommandLine& line) {
                 line.saturation = CPreferencesDialog::PercentToSaturation(static_cast<int>(o.numbers[0]));
                 line.saturationGiven = true;
             }},
        {.name = "series",
         .kind = Kind::kPath,
         .role = Role::kLoad,
         .usage = "--series N|stack|UID",
         .help = "the DICOM series to load: its place in the list (1-based), the stack of\n"
                 "single-slice series, or its Series Instance UID; without it the stack,\n"
                 "else the series with the most images",
         .take =
             [](const Option& o, CCommandLine& line) {
                 line.seriesChoice = o.text;
                 line.pacs.seriesUid = o.text;
             }},
        {.name = "pacs",
         .kind = Kind::kPath,
         .role = Role::kPacs,
         .usage = "--pacs AET@HOST:PORT",
         .help = "the DICOM archive to list (--list) or retrieve from (--study, --series)\n"
                 "instead of loading a file",
         .take = [](const Option& o, CCommandLine& line) { line.pacs.server = o.text; },
         .refuse = [](const Option& o) -> const char* {
             CPacsServer server;
             std::string error;
             return CPacsServer::Parse(o.text, server, error)
                        ? nullptr
                        : "not AET@HOST:PORT (an AE title of 1 to 16 characters, a port 1..65535)";
         }},
        {.name = "dicomweb",
         .kind = Kind::kPath,
         .role = Role::kPacs,
         .usage = "--dicomweb URL",
         .help = "a DICOMweb archive (its base URL) to list or retrieve from, as --pacs;\n"
                 "a token or password comes from ORVANTA_DICOMWEB_TOKEN, or\n"
                 "ORVANTA_DICOMWEB_USER and ORVANTA_DICOMWEB_PASSWORD",
         .take = [](const Option& o, CCommandLine& line) { line.pacs.dicomWeb = o.text; },
         .refuse = [](const Option& o) -> const char* {
             return o.text.rfind("https://", 0) == 0 || o.text.rfind("http://", 0) == 0
                        ? nullptr
                        : "not an http:// or https:// address";
         }},
        {.name = "aet",
         .kind = Kind::kPath,
         .role = Role::kPacs,
         .usage = "--aet TITLE",
         .help = "our AE title (default ORVANTA)",
         .take = [](const Option& o, CCommandLine& line) { line.pacs.ourAet = o.text; },
         .refuse = [](const Option& o) -> const char* {
             std::string error;
             return CPacsServer::CheckAeTitle(o.text, error)
                        ? nullptr
                        : "not an AE title (1 to 16 characters, no backslash)";
         }},
        {.name = "list",
         .kind = Kind::kFlag,
         .role = Role::kPacs,
         .usage = "--list",
         .help = "print every matching series as one JSON object a line, then exit",
         .take = [](const Option&, CCommandLine& line) { line.pacs.list = true; }},
        {.name = "patient-id",
         .kind = Kind::kPath,
         .role = Role::kPacs,
         .usage = "--patient-id ID",
         .help = "list the series of this patient (* and ? match any text and any letter)",
         .take = [](const Option& o, CCommandLine& line) { line.pacs.patientId = o.text; }},
        {.name = "study",
         .kind = Kind::kPath,
         .role = Role::kPacs,
         .usage = "--study UID",
         .help = "the study to list, or to retrieve (all of it, without --series)",
         .take = [](const Option& o, CCommandLine& line) { line.pacs.studyUid = o.text; }},
        {.name = "modality",
         .kind = Kind::kPath,
         .role = Role::kPacs,
         .usage = "--modality M",
         .help = "list the series of this modality (MR, CT ...)",
         .take = [](const Option& o, CCommandLine& line) { line.pacs.modality = o.text; }},
        {.name = "retrieve",
         .kind = Kind::kWord,
         .role = Role::kPacs,
         .usage = "--retrieve get|move",
         .help = "C-GET (the default), or C-MOVE to our own storage service on --move-port",
         .words = {"get", "move"},
         .take = [](const Option& o, CCommandLine& line) { line.pacs.move = o.text == "move"; }},
        {.name = "move-port",
         .kind = Kind::kNumbers,
         .role = Role::kPacs,
         .usage = "--move-port N",
         .help = "the port our storage service listens on during a C-MOVE (default 11113)",
         .count = 1,
         .minimum = 1,
         .maximum = 65535,
         .integer = true,
         .take = [](const Option& o,
                    CCommandLine& line) { line.pacs.movePort = static_cast<int>(o.numbers[0]); }},
        {.name = "pacs-timeout",
         .kind = Kind::kNumbers,
         .role = Role::kPacs,
         .usage = "--pacs-timeout S",
         .help = "seconds to wait for the archive's every answer (default 30)",
         .count = 1,
         .minimum = 1,
         .maximum = 3600,
         .integer = true,
         .take = [](const Option& o,
                    CCommandLine& line) { line.pacs.timeoutSeconds = static_cast<int>(o.numbers[0]); }},
        {.name = "pacs-cache",
         .kind = Kind::kNumbers,
         .role = Role::kPacs,
         .usage = "--pacs-cache MB",
         .help = "the size the cache of retrieved studies is kept within (default 4096)",
         .count = 1,
         .minimum = 1,
         .maximum = 1e8,
         .take = [](const Option& o, CCommandLine& line) { line.pacs.cacheMegabytes = o.numbers[0]; }},
        {.name = "quit",
         .kind = Kind::kFlag,
         .role = Role::kWindow,
         .usage = "--quit",
         .help = "close the window as soon as it shows the file (for scripts that time\n"
                 "the start or check a file)",
         .take = [](const Option&, CCommandLine& line) { line.quit = true; }},
        {.name = "labels",
         .kind = Kind::kPath,
         .role = Role::kState,
         .usage = "--labels NII",
         .help = "show a label image (NIfTI) over the planes and as surfaces",
         .apply = [](const Option& o, CViewer& viewer) { viewer.LoadLabelFile(o.text); }},
        {.name = "propagate-labels",
         .kind = Kind::kNumbers,
         .role = Role::kState,
         .usage = "--propagate-labels F[,G]",
         .help = "carry the labels of frame F (and G) to every other frame (needs\n"
                 "--labels; a 3-D label image is taken as frame F's labels)",
         .count = -2,
         .minimum = 0,
         .maximum = 1e9,
         .integer = true,
         .apply =
             [](const Option& o, CViewer& viewer) {
                 std::vector<int> references;
                 for (const double frame : o.numbers) references.push_back(static_cast<int>(frame));
                 // A command-line run has no undo to keep a record for.
                 CLabelCommands(viewer).Propagate(references, false);
             }},
        {.name = "measure",
         .kind = Kind::kPath,
         .role = Role::kState,
         .usage = "--measure JSON",
         .help = "distances, angles and areas to give in every frame (--info,\n"
                 "--export-csv); read after --labels, which a ruler may follow",
         .apply =
             [](const Option& o, CViewer& viewer) {
                 std::string error;
                 if (!viewer.Measurements().Load(o.text, CCurves::MeasurementContext(viewer), error))
                     viewer.Host().Dialogs().ShowMessage("Error", std::string("--measure ") + error,
                                                         CDialogService::Icon::kError);
                 else
                     viewer.Notices().Announce(kChangeMeasurements);
             }},
        {.name = "position",
         .kind = Kind::kNumbers,
         .role = Role::kState,
         .usage = "--position X,Y,Z",
         .help = "current voxel as the position title numbers it (x and y counted\n"
                 "against the file's columns and rows)",
         .count = 3,
         .minimum = -1e9,
         .maximum = 1e9,
         .integer = true,
         .apply =
             [](const Option& o, CViewer& viewer) {
                 viewer.Navigation().SetPosition(static_cast<int>(o.numbers[0]), static_cast<int>(o.numbers[1]),
                                    static_cast<int>(o.numbers[2]));
             }},
        {.name = "voxel",
         .kind = Kind::kNumbers,
         .role = Role::kState,
         .usage = "--voxel I,J,K",
         .help = "current voxel as the file numbers it (column, row, slice, as the\n"
                 "status bar shows them); not with --position",
         .count = 3,
         .minimum = -1e9,
         .maximum = 1e9,
         .integer = true,
         .apply =
             [](const Option& o, CViewer& viewer) {
                 // The file's numbering only covers the file's voxels.
                 const CTimeVolume& volume = viewer.Volume();
                 const std::array<int, 3> voxel = {static_cast<int>(o.numbers[0]),
                                                   static_cast<int>(o.numbers[1]),
                                                   static_cast<int>(o.numbers[2])};
                 const int size[3] = {volume.SizeX(), volume.SizeY(), volume.SizeZ()};
                 for (size_t axis = 0; axis < 3; ++axis) {
                     if (voxel[axis] < 0 || voxel[axis] >= size[axis]) {
                         viewer.Host().Dialogs().ShowMessage(
                             "Error",
                             FormatText("--voxel %d,%d,%d lies outside the volume's %d x %d x %d voxels",
                                        voxel[0], voxel[1], voxel[2], size[0], size[1], size[2]),
                             CDialogService::Icon::kError);
                         return;
                     }
                 }
                 viewer.SetVoxel(voxel);
             }},
        {.name = "frame",
         .kind = Kind::kNumbers,
         .role = Role::kState,
         .usage = "--frame T",
         .help = "current frame",
         .count = 1,
         .minimum = -1e9,
         .maximum = 1e9,
         .integer = true,
         .apply = [](const Option& o, CViewer& viewer) { viewer.Navigation().SetFrame(static_cast<int>(o.numbers[0])); }},
        {.name = "lock-frame",
         .kind = Kind::kNumbers,
         .role = Role::kState,
         .usage = "--lock-frame T",
         .help = "show volume frame T while the meshes follow the frame",
         .count = 1,
         .minimum = -1,
         .maximum = 1e9,
         .integer = true,
         .apply = [](const Option& o,
                     CViewer& viewer) { viewer.Navigation().SetLockedFrame(static_cast<int>(o.numbers[0])); }},
        {.name = "view",
         .kind = Kind::kWord,
         .role = Role::kState,
         .usage = "--view xy|xz|yz|3d",
         .help = "camera preset",
         .words = {"xy", "xz", "yz", "3d"},
         .apply =
             [](const Option& o, CViewer& viewer) {
                 const std::string& v = o.text;
                 viewer.View().ShowCameraPreset(v == "xy"   ? COrbitCamera::kShowXY
                                                : v == "xz" ? COrbitCamera::kShowXZ
                                                : v == "yz" ? COrbitCamera::kShowYZ
                                                            : COrbitCamera::kShow3DRef);
             }},
        {.name = "camera",
         .kind = Kind::kNumbers,
         .role = Role::kState,
         .usage = "--camera AZ,EL,DIST",
         .help = "camera as the position title shows it (degrees, mm)",
         .count = 3,
         .minimum = -1e6,
         .maximum = 1e6,
         .apply =
             [](const Option& o, CViewer& viewer) {
                 // The numbers the position title shows: degrees, the azimuth with its +90.
                 constexpr double kDegrees = 57.29577951308232;
                 CViewInterface& view = viewer.View();
                 view.SetCameraAngles((o.numbers[0] - 90.0) / kDegrees, o.numbers[1] / kDegrees);
                 view.m_distance = o.numbers[2];
                 view.Repaint();
             }},
        {.name = "pixel-size",
         .kind = Kind::kNumbers,
         .role = Role::kState,
         .usage = "--pixel-size X,Y,Z",
         .help = "voxel size in mm (0.01..100 each)",
         .count = 3,
         .minimum = 0.01,
         .maximum = 100,
         .apply =
             [](const Option& o, CViewer& viewer) {
                 CPreferenceValues values = viewer.CurrentPreferences();
                 values.pixelSizeX = o.numbers[0];
                 values.pixelSizeY = o.numbers[1];
                 values.pixelSizeZ = o.numbers[2];
                 viewer.ApplyPreferences(values);
             }},
        {.name = "frame-time",
         .kind = Kind::kNumbers,
         .role = Role::kState,
         .usage = "--frame-time MS",
         .help = "frame time in ms (1..5000)",
         .count = 1,
         .minimum = 1,
         .maximum = 5000,
         .integer = true,
         .apply =
             [](const Option& o, CViewer& viewer) {
                 CPreferenceValues values = viewer.CurrentPreferences();
                 values.frameTimeMs = static_cast<int>(o.numbers[0]);
                 viewer.ApplyPreferences(values);
             }},
        {.name = "brightness",
         .kind = Kind::kNumbers,
         .role = Role::kState,
         .usage = "--brightness B",
         .help = "0..1, 0.5 neutral",
         .count = 1,
         .maximum = 1,
         .apply =
             [](const Option& o, CViewer& viewer) {
                 viewer.SetBrightnessContrast(o.numbers[0], viewer.State().m_contrast);
             }},
        {.name = "contrast",
         .kind = Kind::kNumbers,
         .role = Role::kState,
         .usage = "--contrast C",
         .help = "0..1, 0.5 neutral",
         .count = 1,
         .maximum = 1,
         .apply =
             [](const Option& o, CViewer& viewer) {
                 viewer.SetBrightnessContrast(viewer.State().m_brightness, o.numbers[0]);
             }},
        {.name = "hide-planes",
         .kind = Kind::kLetters,
         .role = Role::kState,
         .usage = "--hide-planes [x][y][z]",
         .help = "hide the YZ, XZ or XY plane",
         .words = {"xyz"},
         .apply =
             [](const Option& o, CViewer& viewer) {
                 const CViewerState& s = viewer.State();
                 const std::string& planes = o.text;
                 SetSwitch(viewer, s.m_showX, planes.find('x') == std::string::npos, kCmdXPlane);
                 SetSwitch(viewer, s.m_showY, planes.find('y') == std::string::npos, kCmdYPlane);
                 SetSwitch(viewer, s.m_showZ, planes.find('z') == std::string::npos, kCmdZPlane);
             }},
        {.name = "white-background",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--white-background",
         .help = "white instead of black behind the scene",
         .apply =
             [](const Option&, CViewer& v) {
                 SetSwitch(v, v.State().m_whiteBackground, true, kCmdWhiteBackground);
             }},
        {.name = "no-bilinear",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--no-bilinear",
         .help = "nearest-neighbour textures",
         .apply =
             [](const Option&, CViewer& v) {
                 SetSwitch(v, v.State().m_bilinear, false, kCmdBilinearFiltering);
             }},
        {.name = "colour-coding",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--colour-coding",
         .help = "frame the planes in x, y and z colours",
         .apply = [](const Option&,
                     CViewer& v) { SetSwitch(v, v.View().m_colourCoding, true, kCmdColourCoding); }},
        {.name = "no-bounding-box",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--no-bounding-box",
         .help = "no box around the volume",
         .apply = [](const Option&,
                     CViewer& v) { SetSwitch(v, v.State().m_boundingBox, false, kCmdBoundingBox); }},
        {.name = "axes",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--axes",
         .help = "draw the axes",
         .apply = [](const Option&, CViewer& v) { SetSwitch(v, v.State().m_axes, true, kCmdAxes); }},
        {.name = "no-orientation-labels",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--no-orientation-labels",
         .help = "no patient direction letters round the box",
         .apply =
             [](const Option&, CViewer& v) {
                 SetSwitch(v, v.State().m_showOrientation, false, kCmdOrientationLabels);
             }},
        {.name = "no-geometry",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--no-geometry",
         .help = "draw no meshes",
         .apply =
             [](const Option&, CViewer& v) {
                 SetSwitch(v, v.State().m_drawGeometry, false, kCmdDrawGeometry);
             }},
        {.name = "clip-geometry",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--clip-geometry",
         .help = "cut the meshes at the shown planes",
         .apply = [](const Option&,
                     CViewer& v) { SetSwitch(v, v.State().m_clipGeometry, true, kCmdClipGeometry); }},
        {.name = "wireframe",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--wireframe",
         .help = "meshes as wire frames",
         .apply = [](const Option&,
                     CViewer& v) { SetSwitch(v, v.View().m_wireframe, true, kCmdWireframe); }},
        {.name = "points-only",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--points-only",
         .help = "meshes as points",
         .apply = [](const Option&,
                     CViewer& v) { SetSwitch(v, v.View().m_pointsOnly, true, kCmdPointsOnly); }},
        {.name = "backface-culling",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--backface-culling",
         .help = "leave out the meshes' back faces",
         .apply =
             [](const Option&, CViewer& v) {
                 SetSwitch(v, v.View().m_backfaceCulling, true, kCmdBackfaceCulling);
             }},
        {.name = "z-cap",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--z-cap",
         .help = "close the meshes at their ends in z",
         .apply = [](const Option&, CViewer& v) { RunCommand(*FindCommand(kCmdZCapGeometry), v); }},
        {.name = "select-object",
         .kind = Kind::kNumbers,
         .role = Role::kState,
         .usage = "--select-object N",
         .help = "draw only object N of each frame (-1: all)",
         .count = 1,
         .minimum = -1,
         .maximum = 1e9,
         .integer = true,
         .apply =
             [](const Option& o, CViewer& viewer) {
                 viewer.View().m_selectedObject = static_cast<int>(o.numbers[0]);
                 viewer.Notices().Announce(kChangeDisplay);
             }},
        {.name = "alternate-texturing",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--alternate-texturing",
         .help = "rectangle textures (if slices turn white)",
         .apply =
             [](const Option&, CViewer& v) {
                 SetSwitch(v, v.View().m_alternateTexturing, true, kCmdAlternateTexturing);
             }},
        {.name = "ejection-label",
         .kind = Kind::kNumbers,
         .role = Role::kState,
         .usage = "--ejection-label N",
         .help = "the label whose ejection fraction --info gives (default: the label whose\n"
                 "volume varies most)",
         .count = 1,
         .minimum = 1,
         .maximum = 65535,
         .integer = true,
         .apply =
             [](const Option& o, CViewer& viewer) {
                 viewer.SetEjectionLabel(static_cast<int64_t>(o.numbers[0]));
             }},
        {.name = "window",
         .kind = Kind::kNumbers,
         .role = Role::kState,
         .usage = "--window CENTER,WIDTH",
         .help = "show the planes through this window, in the file's units",
         .count = 2,
         .minimum = -1e15,
         .maximum = 1e15,
         .apply = [](const Option& o, CViewer& v) { v.SetWindow(CDisplayWindow{o.numbers[0], o.numbers[1]}); },
         .refuse = [](const Option& o) -> const char* {
             return o.numbers[1] > 0 ? nullptr : "the width must be above 0";
         }},
        {.name = "window-preset",
         .kind = Kind::kWord,
         .role = Role::kState,
         .usage = "--window-preset NAME",
         .help = "a preset window: load-default, full-range, 1-99, 2-98, ct-brain,\n"
                 "ct-soft-tissue, ct-lung or ct-bone",
         .words = PresetNames(),
         .apply =
             [](const Option& o, CViewer& v) {
                 if (const std::optional<EWindowPreset> preset = WindowPresetOfName(o.text))
                     CWindowLevel(v).ApplyPreset(*preset);
             }},
        {.name = "colormap",
         .kind = Kind::kWord,
         .role = Role::kState,
         .usage = "--colormap NAME",
         .help = "the planes' colours: grey, inverted-grey, hot, viridis, magma, inferno,\n"
                 "plasma or diverging (the colour bar comes on with any but grey)",
         .words = ColourMapNames(),
         .apply =
             [](const Option& o, CViewer& v) {
                 if (const std::optional<EColourMap> map = ColourMapByName(o.text)) v.SetColourMap(*map);
             }},
        {.name = "colorbar",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--colorbar",
         .help = "draw the colour bar with the window's end values",
         .apply = [](const Option&,
                     CViewer& v) { SetSwitch(v, v.View().m_showColourBar, true, kCmdColourBar); }},
        {.name = "no-colorbar",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--no-colorbar",
         .help = "leave the colour bar out",
         .apply = [](const Option&,
                     CViewer& v) { SetSwitch(v, v.View().m_showColourBar, false, kCmdColourBar); }},
        {.name = "all-frames",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--all-frames",
         .help = "--export-mesh writes every frame, one file each (.vtp with a .pvd\n"
                 "collection of their times)",
         .apply = [](const Option&, CViewer& viewer) { CViewerExports(viewer).SetAllMeshFrames(true); }},
        {.name = "mesh-space",
         .kind = Kind::kWord,
         .role = Role::kState,
         .usage = "--mesh-space viewer|patient",
         .help = "coordinates --export-mesh writes: the view's millimetres (default), or\n"
                 "RAS millimetres through the volume's geometry",
         .words = {"viewer", "patient"},
         .apply = [](const Option& o,
                     CViewer& viewer) { CViewerExports(viewer).SetMeshesInPatientSpace(o.text == "patient"); }},
        {.name = "ping-pong",
         .kind = Kind::kFlag,
         .role = Role::kState,
         .usage = "--ping-pong",
         .help = "play forth and back",
         .apply =
             [](const Option&, CViewer& v) {
                 SetSwitch(v, v.State().m_pingPongUp || v.State().m_pingPongDown, true, kCmdPingPong);
             }},
    };
    return rows;
}

const OptionRow* FindRow(const std::string& name) {
    for (const OptionRow& row : OptionRows())
        if (name == row.name) return &row;
    return nullptr;
}

// Arguments are bytes, and paths need not be UTF-8: they travel through the
// parser as Latin-1, one character per byte, and come back unchanged.
QString FromBytes(const std::string& bytes) {
    return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
std::string ToBytes(const QString& text) {
    return text.toLatin1().toStdString();
}

// The parser gives an option one value, but --save-plane takes two, a plane
// and a path. The path joins the plane behind a NUL, which no argument can
// hold, as one value; Parse splits them again.
constexpr char kJoin = '\0';

QStringList JoinTwoValueOptions(const std::vector<std::string>& arguments) {
    QStringList joined{"orvanta"};
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        joined << FromBytes(argument);
        if (argument == "--") {
            for (++i; i < arguments.size(); ++i) joined << FromBytes(arguments[i]);
            break;
        }
        if (argument.rfind("--", 0) != 0) continue;
        const size_t equals = argument.find('=');
        const OptionRow* syntax =
            FindRow(argument.substr(2, equals == std::string::npos ? equals : equals - 2));
        if (syntax == nullptr || syntax->kind == Kind::kFlag) continue;
        // The values that follow, which may look like options themselves.
        const size_t values =
            (equals == std::string::npos ? 1 : 0) + (syntax->kind == Kind::kPlaneAndPath ? 1 : 0);
        if (i + values >= arguments.size()) continue;  // the parser reports what is missing
        if (syntax->kind == Kind::kPlaneAndPath) {
            std::string value = equals == std::string::npos ? arguments[++i] : argument.substr(equals + 1);
            value += kJoin;
            value += arguments[++i];
            joined.back() = FromBytes("--" + std::string(syntax->name) + "=" + value);
        } else if (values == 1) {
            joined << FromBytes(arguments[++i]);
        }
    }
    return joined;
}

// Splits "a,b,c" (or "WxH") into numbers; false when a piece is not a
// number, or not whole where a whole number is needed.
bool ParseNumbers(const std::string& text, char separator, bool integer, std::vector<double>& numbers) {
    size_t start = 0;
    while (true) {
        const size_t end = text.find(separator, start);
        const std::string piece =
            text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        double value = 0;
        const auto [rest, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (piece.empty() || error != std::errc() || rest != piece.data() + piece.size() ||
            !std::isfinite(value))
            return false;
        if (integer && value != std::trunc(value)) return false;
        numbers.push_back(value);
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

// Checks the value of one option against its syntax and fills `option`.
bool ParseValue(const OptionRow& syntax, const std::string& value, CCommandLine::Option& option,
                std::string& error) {
    const std::string argument = "--" + option.name;
    switch (syntax.kind) {
        case Kind::kFlag:
            break;
        case Kind::kNumbers:
        case Kind::kSize: {
            const char separator = syntax.kind == Kind::kSize ? 'x' : ',';
            if (!ParseNumbers(value, separator, syntax.integer, option.numbers) ||
                (syntax.count > 0 ? static_cast<int>(option.numbers.size()) != syntax.count
                                  : option.numbers.size() < 1 ||
                                        static_cast<int>(option.numbers.size()) > -syntax.count)) {
                error = argument + ": malformed value '" + value + "'";
                return false;
            }
            for (double number : option.numbers) {
                if (number < syntax.minimum || number > syntax.maximum) {
                    error = argument + ": " + value + " is out of range";
                    return false;
                }
            }
            break;
        }
        case Kind::kLetters:
            if (value.empty() || value.find_first_not_of(syntax.words[0]) != std::string::npos) {
                error = argument + ": expected letters of '" + syntax.words[0] + "', got '" + value + "'";
                return false;
            }
            option.text = value;
            break;
        case Kind::kWord:
            if (std::find(syntax.words.begin(), syntax.words.end(), value) == syntax.words.end()) {
                error = argument + ": unknown value '" + value + "'";
                return false;
            }
            option.text = value;
            break;
        case Kind::kPath:
            option.text = value;
            break;
        case Kind::kPlaneAndPath: {
            const size_t join = value.find(kJoin);
            const std::string plane = value.substr(0, join);
            if (join == std::string::npos) {
                error = argument + " needs a plane and a path";
                return false;
            }
            if (std::find(syntax.words.begin(), syntax.words.end(), plane) == syntax.words.end()) {
                error = argument + ": unknown plane '" + plane + "' (xy, xz or yz)";
                return false;
            }
            option.numbers.push_back(plane == "yz" ? 0 : plane == "xz" ? 1 : 2);
            option.text = value.substr(join + 1);
            break;
        }
    }
    if (syntax.refuse != nullptr)
        if (const char* reason = syntax.refuse(option)) {
            error = argument + ": " + value + ": " + reason;
            return false;
        }
    return true;
}

}  // namespace

bool CCommandLine::Draws() const {
    for (const Option& output : outputs) {
        const OptionRow* row = FindRow(output.name);
        if (row != nullptr && row->role == Role::kDrawing) return true;
    }
    return false;
}

bool CCommandLine::Parse(const std::vector<std::string>& arguments, std::string& error) {
    QCommandLineParser parser;
    const QCommandLineOption helpOption(QStringList{"h", "help"});
    const QCommandLineOption versionOption(QStringList{"v", "version"});
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    for (const OptionRow& row : OptionRows())
        parser.addOption(QCommandLineOption(row.name, QString(), row.kind == Kind::kFlag ? "" : "value"));

    if (!parser.parse(JoinTwoValueOptions(arguments))) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const std::string name = ToBytes(unknown.front());
            error = "unknown option " + std::string(name.size() == 1 ? "-" : "--") + name;
        } else {
            error = ToBytes(parser.errorText());
        }
        return false;
    }
    help = parser.isSet(helpOption);
    version = parser.isSet(versionOption);
    // The one argument that is not an option is the file. A second one is
    // refused rather than dropped: the user would not learn which one shows.
    const QStringList positional = parser.positionalArguments();
    if (positional.size() > 1) {
        error = "one file at a time: '" + ToBytes(positional[0]) + "' and '" + ToBytes(positional[1]) +
                "' were both given";
        return false;
    }
    if (!positional.isEmpty()) file = ToBytes(positional.front());
    if (!positional.isEmpty() && file.empty()) {
        error = "the file name is empty";
        return false;
    }

    // The parser keeps each option's values apart; the names come in the
    // order given, which is the order the state options apply in.
    std::map<std::string, qsizetype> seen;
    for (const QString& found : parser.optionNames()) {
        const std::string name = ToBytes(found);
        const OptionRow* row = FindRow(name);
        if (row == nullptr) continue;  // help and version
        const qsizetype occurrence = seen[name]++;
        const QStringList values = parser.values(found);
        const std::string value = row->kind == Kind::kFlag ? "" : ToBytes(values.value(occurrence));
        Option option{name, {}, ""};
        if (!ParseValue(*row, value, option, error)) return false;
        if (row->take != nullptr) row->take(option, *this);
        if (row->role == Role::kState) state.push_back(option);
        if (row->role == Role::kOutput || row->role == Role::kDrawing) outputs.push_back(option);
    }
    // Two numberings of one voxel on one command line would leave the
    // position to the order of the options; the user says which is meant.
    const auto given = [this](const char* name) {
        return std::any_of(state.begin(), state.end(), [name](const Option& o) { return o.name == name; });
    };
    // Labels are carried once they are loaded, wherever the option stood.
    if (given("propagate-labels") && !given("labels")) {
        error = "--propagate-labels needs a label image (--labels)";
        return false;
    }
    std::stable_partition(state.begin(), state.end(),
                          [](const Option& o) { return o.name != "propagate-labels"; });
    // Measurements are placed once the labels they may follow are final.
    std::stable_partition(state.begin(), state.end(), [](const Option& o) { return o.name != "measure"; });
    if (given("position") && given("voxel")) {
        error = "--position and --voxel both set the current voxel: give one of them";
        return false;
    }
    if (!pacs.Check(!file.empty(), error)) return false;
    // The chart is drawn at the size of the view, wherever --size stood.
    for (Option& output : outputs)
        if (output.name == "export-plot") output.numbers = {double(width), double(height)};
    return true;
}

namespace {

// One line of --help: the usage in a column of its own, then what it does.
std::string HelpLine(const std::string& usage, std::string help) {
    constexpr size_t kColumn = 30;
    std::string line = "  " + usage;
    line.resize(std::max(line.size() + 2, kColumn), ' ');
    for (size_t at = help.find('\n'); at != std::string::npos; at = help.find('\n', at + 1))
        help.insert(at + 1, std::string(kColumn, ' '));
    return line + help + "\n";
}

std::string HelpLines(std::initializer_list<Role> roles) {
    std::string text;
    for (const OptionRow& row : OptionRows())
        if (std::find(roles.begin(), roles.end(), row.role) != roles.end())
            text += HelpLine(row.usage, row.help);
    return text;
}

}  // namespace

std::string CCommandLine::HelpText() {
    std::string files;
    for (const auto& [usage, help] : VolumeFormatsHelp()) files += HelpLine(usage, help);
    files += HelpLine(".obj .stl .ply .vtp .gii",
                      "meshes, objects named NAME-<frame> (lv-07); an .stl or .gii\n"
                      "file is one object named after the file");
    return "Usage: orvanta [OPTIONS] [FILE]\n\nShows a 4-D image. FILE is one of:\n" + files +
           "\nOutputs (any of them runs without a window and exits when done):\n" +
           HelpLines({Role::kOutput, Role::kDrawing}) + "\nSet before loading:\n" + HelpLines({Role::kLoad}) +
           "\nFor the window:\n" + HelpLines({Role::kWindow}) + "\nFrom a DICOM archive:\n" +
           HelpLines({Role::kPacs}) + "\nState, applied after loading in the order given:\n" +
           HelpLines({Role::kState}) + "\n" + HelpLine("-v, --version", "print the version") +
           HelpLine("-h, --help", "print this text") +
           "\nEvery option with a value also takes the form --option=value.\n\n"
           "Exit status: 0 done, 1 a file could not be read or written, 2 a usage error.\n";
}

bool CCommandLine::ReadWorkspace(CWorkspace& workspace, std::string& error) const {
    if (!CWorkspace::Read(file, workspace, error)) return false;
    // What is given beside the workspace wins over what it holds.
    if (!seriesChoice.empty()) workspace.m_series = seriesChoice;
    if (saturationGiven) workspace.m_saturation = saturation;
    if (sizeGiven) workspace.m_viewSize = std::array<int, 2>{width, height};
    return true;
}

void CCommandLine::OpenFile(CViewer& viewer) const {
    if (!CWorkspace::IsWorkspaceName(file)) {
        ApplyLoadSettings(viewer);
        viewer.OpenStartupFile(file);
        return;
    }
    viewer.SetBaseTitle(viewer.Host().Title());
    CWorkspace workspace;
    std::string error;
    if (!ReadWorkspace(workspace, error)) {
        viewer.Host().Dialogs().ShowMessage("Error", error, CDialogService::Icon::kError);
        return;
    }
    workspace.Open(viewer);
    viewer.Host().NoteRecentFile(file);
}

void CCommandLine::ApplyLoadSettings(CViewer& viewer) const {
    viewer.SetLoadSettings(saturation, seriesChoice);
}

void CCommandLine::ApplyState(const Option& option, CViewer& viewer) {
    const OptionRow* row = FindRow(option.name);
    if (row != nullptr && row->apply != nullptr) row->apply(option, viewer);
}

int CCommandLine::WriteOutput(const Option& option, CViewer& viewer) {
    const OptionRow* row = FindRow(option.name);
    return row != nullptr && row->write != nullptr ? row->write(option, viewer) : 2;
}
