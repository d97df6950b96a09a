#include "CommandLine.h"

#include <QCommandLineParser>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

#include "PreferencesDialog.h"
#include "Viewer.h"
#include "VolumeFormat.h"

namespace {

enum class Kind {
    kFlag,     // no argument
    kNumbers,  // comma-separated numbers, `count` of them
    kSize,     // WxH
    kWord,     // one of `words`
    kPath,     // an output file
    kPlaneAndPath,
};

// What an option does, and so where Parse puts it.
enum class Role {
    kState,    // set after loading, in order
    kLoad,     // taken by the load itself
    kOutput,   // written without drawing
    kDrawing,  // written by drawing the scene: needs an OpenGL context
};

struct OptionSyntax {
    const char* name;
    Kind kind;
    Role role = Role::kState;
    int count = 0;
    double minimum = 0, maximum = 0;
    bool integer = false;
    std::vector<std::string> words = {};
};

const std::vector<OptionSyntax>& OptionSyntaxes() {
    static const std::vector<OptionSyntax> syntaxes = {
        {"info", Kind::kFlag, Role::kOutput},
        {"snapshot", Kind::kPath, Role::kDrawing},
        {"save-plane", Kind::kPlaneAndPath, Role::kOutput, 0, 0, 0, false, {"xy", "xz", "yz"}},
        {"export-avi", Kind::kPath, Role::kDrawing},
        {"export-obj", Kind::kPath, Role::kOutput},
        {"labels", Kind::kPath, Role::kState},
        {"size", Kind::kSize, Role::kState, 2, 1, 8192, true},
        {"position", Kind::kNumbers, Role::kState, 3, -1e9, 1e9, true},
        {"frame", Kind::kNumbers, Role::kState, 1, -1e9, 1e9, true},
        {"lock-frame", Kind::kNumbers, Role::kState, 1, -1, 1e9, true},
        {"view", Kind::kWord, Role::kState, 0, 0, 0, false, {"xy", "xz", "yz", "3d"}},
        {"camera", Kind::kNumbers, Role::kState, 3, -1e6, 1e6, false},
        {"saturation", Kind::kNumbers, Role::kLoad, 1, 1, 100, true},
        {"series", Kind::kPath, Role::kLoad},
        {"quit", Kind::kFlag, Role::kLoad},
        {"pixel-size", Kind::kNumbers, Role::kState, 3, 0.01, 100, false},
        {"frame-time", Kind::kNumbers, Role::kState, 1, 1, 5000, true},
        {"brightness", Kind::kNumbers, Role::kState, 1, 0, 1, false},
        {"contrast", Kind::kNumbers, Role::kState, 1, 0, 1, false},
        {"hide-planes", Kind::kWord},
        {"white-background", Kind::kFlag},
        {"no-bilinear", Kind::kFlag},
        {"colour-coding", Kind::kFlag},
        {"no-bounding-box", Kind::kFlag},
        {"axes", Kind::kFlag},
        {"no-geometry", Kind::kFlag},
        {"clip-geometry", Kind::kFlag},
        {"wireframe", Kind::kFlag},
        {"points-only", Kind::kFlag},
        {"backface-culling", Kind::kFlag},
        {"z-cap", Kind::kFlag},
        {"select-object", Kind::kNumbers, Role::kState, 1, -1, 1e9, true},
        {"alternate-texturing", Kind::kFlag},
        {"ping-pong", Kind::kFlag},
    };
    return syntaxes;
}

const OptionSyntax* FindSyntax(const std::string& name) {
    for (const OptionSyntax& syntax : OptionSyntaxes())
        if (name == syntax.name) return &syntax;
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
        const OptionSyntax* syntax =
            FindSyntax(argument.substr(2, equals == std::string::npos ? equals : equals - 2));
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
        const std::string piece = text.substr(start, end == std::string::npos ? std::string::npos : end - start);
        double value = 0;
        const auto [rest, error] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
        if (piece.empty() || error != std::errc() || rest != piece.data() + piece.size() || !std::isfinite(value))
            return false;
        if (integer && value != std::trunc(value)) return false;
        numbers.push_back(value);
        if (end == std::string::npos) return true;
        start = end + 1;
    }
}

// Checks the value of one option against its syntax and fills `option`.
bool ParseValue(const OptionSyntax& syntax, const std::string& value, CCommandLine::Option& option,
                std::string& error) {
    const std::string argument = "--" + option.name;
    switch (syntax.kind) {
        case Kind::kFlag:
            break;
        case Kind::kNumbers:
        case Kind::kSize: {
            const char separator = syntax.kind == Kind::kSize ? 'x' : ',';
            if (!ParseNumbers(value, separator, syntax.integer, option.numbers) ||
                static_cast<int>(option.numbers.size()) != syntax.count) {
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
        case Kind::kWord:
            if (option.name == "hide-planes") {
                if (value.empty() || value.find_first_not_of("xyz") != std::string::npos) {
                    error = argument + ": expected any of x, y and z, got '" + value + "'";
                    return false;
                }
            } else if (std::find(syntax.words.begin(), syntax.words.end(), value) == syntax.words.end()) {
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
    return true;
}

}  // namespace

bool CCommandLine::Draws() const {
    for (const Option& output : outputs) {
        const OptionSyntax* syntax = FindSyntax(output.name);
        if (syntax != nullptr && syntax->role == Role::kDrawing) return true;
    }
    return false;
}

bool CCommandLine::Parse(const std::vector<std::string>& arguments, std::string& error) {
    QCommandLineParser parser;
    const QCommandLineOption helpOption(QStringList{"h", "help"});
    const QCommandLineOption versionOption(QStringList{"v", "version"});
    parser.addOption(helpOption);
    parser.addOption(versionOption);
    for (const OptionSyntax& syntax : OptionSyntaxes())
        parser.addOption(
            QCommandLineOption(syntax.name, QString(), syntax.kind == Kind::kFlag ? "" : "value"));

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
    // The first argument that is not an option is the file; further ones are ignored.
    const QStringList positional = parser.positionalArguments();
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
        const OptionSyntax* syntax = FindSyntax(name);
        if (syntax == nullptr) continue;  // help and version
        const qsizetype occurrence = seen[name]++;
        const QStringList values = parser.values(found);
        const std::string value = syntax->kind == Kind::kFlag ? "" : ToBytes(values.value(occurrence));
        Option option{name, {}, ""};
        if (!ParseValue(*syntax, value, option, error)) return false;
        if (name == "quit") {
            quit = true;
        } else if (name == "size") {
            width = static_cast<int>(option.numbers[0]);
            height = static_cast<int>(option.numbers[1]);
            sizeGiven = true;
        } else if (syntax->role == Role::kState) {
            state.push_back(option);
        } else if (syntax->role == Role::kLoad) {
            loadSettings.push_back(option);
        } else {
            outputs.push_back(option);
        }
    }
    return true;
}

std::string CCommandLine::HelpText() {
    return R"(Usage: orvanta [OPTIONS] [FILE]

Shows a 4-D image. FILE is one of:
)" + VolumeFormatsHelpText() +
           R"(  .obj                 meshes, one object per frame (named NAME-<frame>)

Outputs (any of them runs without a window and exits when done):
  --info                      print the loaded data as one JSON object
  --snapshot PNG              write the 3-D view as a PNG picture
  --save-plane xy|xz|yz PNG   write one plane through the current voxel
  --export-avi AVI            write the time sequence as an uncompressed movie
  --export-obj OBJ            write every mesh (from .obj files and labels) as an .obj file

Set before loading:
  --size WxH                  drawing area (default 640x480)
  --saturation PERCENT        intensity window percentile (1..100)

  --quit                      close the window as soon as it shows the file
                              (for scripts that time the start or check a file)
  --series N|stack|UID        the DICOM series to load: its place in the list
                              (1-based), the stack of single-slice series, or
                              its Series Instance UID; without it the stack,
                              else the series with the most images

State, applied after loading in the order given:
  --labels NII                show a label image (.nii, .nii.gz) over the planes and as surfaces
  --position X,Y,Z            current voxel
  --frame T                   current frame
  --lock-frame T              show volume frame T while the meshes follow the frame
  --view xy|xz|yz|3d          camera preset
  --camera AZ,EL,DIST         camera as the position title shows it (degrees, mm)
  --pixel-size X,Y,Z          voxel size in mm (0.01..100 each)
  --frame-time MS             frame time in ms (1..5000)
  --brightness B, --contrast C  0..1, 0.5 neutral
  --hide-planes [x][y][z]     hide the YZ, XZ or XY plane
  --white-background  --no-bilinear  --colour-coding  --no-bounding-box  --axes
  --no-geometry  --clip-geometry  --wireframe  --points-only  --backface-culling
  --z-cap  --select-object N  --alternate-texturing  --ping-pong

  -v, --version               print the version
  -h, --help                  print this text

Every option with a value also takes the form --option=value.

Exit status: 0 done, 1 a file could not be read or written, 2 a usage error.
)";
}

void CCommandLine::ApplyLoadSettings(CViewer& viewer) const {
    viewer.m_saturation = Saturation(viewer.m_saturation);
    for (const Option& option : loadSettings)
        if (option.name == "series") viewer.m_seriesChoice = option.text;
}

double CCommandLine::Saturation(double fallback) const {
    double saturation = fallback;
    for (const Option& option : loadSettings)
        if (option.name == "saturation")
            saturation = CPreferencesDialog::PercentToSaturation(static_cast<int>(option.numbers[0]));
    return saturation;
}

void CCommandLine::ApplyState(const Option& option, CViewer& viewer) {
    const std::string& name = option.name;
    const std::vector<double>& n = option.numbers;
    CViewModel& view = viewer.m_view;
    // Switches are set to the state asked for, whatever they were.
    auto set = [&](bool current, bool wanted, void (CViewer::*toggle)()) {
        if (current != wanted) (viewer.*toggle)();
    };
    if (name == "labels") {
        viewer.LoadLabelFile(option.text);
    } else if (name == "position") {
        viewer.m_x = static_cast<int>(n[0]);
        viewer.m_y = static_cast<int>(n[1]);
        viewer.m_z = static_cast<int>(n[2]);
        viewer.RefreshView();
    } else if (name == "frame") {
        viewer.m_t = static_cast<int>(n[0]);
        viewer.RefreshView();
    } else if (name == "lock-frame") {
        viewer.m_lockedFrame = static_cast<int>(n[0]);
        viewer.RefreshView();
    } else if (name == "view") {
        const std::string& v = option.text;
        view.ShowCameraPreset(v == "xy"   ? COrbitCamera::kShowXY
                              : v == "xz" ? COrbitCamera::kShowXZ
                              : v == "yz" ? COrbitCamera::kShowYZ
                                          : COrbitCamera::kShow3DRef);
    } else if (name == "camera") {
        // The numbers the position title shows: degrees, the azimuth with its +90.
        constexpr double kDegrees = 57.29577951308232;
        view.SetCameraAngles((n[0] - 90.0) / kDegrees, n[1] / kDegrees);
        view.m_distance = n[2];
        view.Repaint();
    } else if (name == "pixel-size" || name == "frame-time") {
        CPreferenceValues values = viewer.CurrentPreferences();
        if (name == "frame-time") values.frameTimeMs = static_cast<int>(n[0]);
        if (name == "pixel-size") {
            values.pixelSizeX = n[0];
            values.pixelSizeY = n[1];
            values.pixelSizeZ = n[2];
        }
        viewer.ApplyPreferences(values);
    } else if (name == "brightness" || name == "contrast") {
        (name == "brightness" ? viewer.m_brightness : viewer.m_contrast) = n[0];
        view.SetBrightnessContrast(viewer.m_brightness, viewer.m_contrast);
        viewer.RefreshView();
    } else if (name == "hide-planes") {
        const std::string& planes = option.text;
        set(viewer.m_showX, planes.find('x') == std::string::npos, &CViewer::OnShowXPlane);
        set(viewer.m_showY, planes.find('y') == std::string::npos, &CViewer::OnShowYPlane);
        set(viewer.m_showZ, planes.find('z') == std::string::npos, &CViewer::OnShowZPlane);
    } else if (name == "white-background") {
        set(viewer.m_whiteBackground, true, &CViewer::OnWhiteBackground);
    } else if (name == "no-bilinear") {
        set(viewer.m_bilinear, false, &CViewer::OnBilinearFiltering);
    } else if (name == "colour-coding") {
        set(view.m_colourCoding, true, &CViewer::OnColourCoding);
    } else if (name == "no-bounding-box") {
        set(viewer.m_boundingBox, false, &CViewer::OnBoundingBox);
    } else if (name == "axes") {
        set(viewer.m_axes, true, &CViewer::OnAxes);
    } else if (name == "no-geometry") {
        set(viewer.m_drawGeometry, false, &CViewer::OnDrawGeometry);
    } else if (name == "clip-geometry") {
        set(viewer.m_clipGeometry, true, &CViewer::OnClipGeometry);
    } else if (name == "wireframe") {
        set(view.m_wireframe, true, &CViewer::OnWireframe);
    } else if (name == "points-only") {
        set(view.m_pointsOnly, true, &CViewer::OnPointsOnly);
    } else if (name == "backface-culling") {
        set(view.m_backfaceCulling, true, &CViewer::OnBackfaceCulling);
    } else if (name == "alternate-texturing") {
        set(view.m_alternateTexturing, true, &CViewer::OnAlternateTexturing);
    } else if (name == "z-cap") {
        viewer.OnZCapGeometry();
    } else if (name == "select-object") {
        view.m_selectedObject = static_cast<int>(n[0]);
        viewer.RefreshView();
    } else if (name == "ping-pong") {
        set(viewer.m_pingPongUp || viewer.m_pingPongDown, true, &CViewer::OnPingPong);
    }
}
