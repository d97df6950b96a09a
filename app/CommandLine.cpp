#include "CommandLine.h"

#include "Viewer.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>

namespace {

enum class Kind {
    kFlag,     // no argument
    kNumbers,  // comma-separated numbers, `count` of them
    kSize,     // WxH
    kWord,     // one of `words`
    kPath,     // an output file
    kPlaneAndPath,
};

struct OptionSyntax {
    Kind kind;
    int count = 0;
    double minimum = 0, maximum = 0;
    bool integer = false;
    std::vector<std::string> words = {};
    bool output = false;
};

const std::map<std::string, OptionSyntax>& OptionSyntaxes() {
    static const std::map<std::string, OptionSyntax> specs = {
        {"info", {Kind::kFlag, 0, 0, 0, false, {}, true}},
        {"snapshot", {Kind::kPath, 0, 0, 0, false, {}, true}},
        {"save-plane", {Kind::kPlaneAndPath, 0, 0, 0, false, {"xy", "xz", "yz"}, true}},
        {"export-avi", {Kind::kPath, 0, 0, 0, false, {}, true}},
        {"size", {Kind::kSize, 2, 1, 8192, true}},
        {"series", {Kind::kPath}},
        {"position", {Kind::kNumbers, 3, -1e9, 1e9, true}},
        {"frame", {Kind::kNumbers, 1, -1e9, 1e9, true}},
        {"lock-frame", {Kind::kNumbers, 1, -1, 1e9, true}},
        {"view", {Kind::kWord, 0, 0, 0, false, {"xy", "xz", "yz", "3d"}}},
        {"camera", {Kind::kNumbers, 3, -1e6, 1e6, false}},
        {"saturation", {Kind::kNumbers, 1, 1, 100, true}},
        {"pixel-size", {Kind::kNumbers, 3, 0.01, 100, false}},
        {"frame-time", {Kind::kNumbers, 1, 1, 5000, true}},
        {"brightness", {Kind::kNumbers, 1, 0, 1, false}},
        {"contrast", {Kind::kNumbers, 1, 0, 1, false}},
        {"hide-planes", {Kind::kWord}},
        {"white-background", {Kind::kFlag}},
        {"no-bilinear", {Kind::kFlag}},
        {"colour-coding", {Kind::kFlag}},
        {"no-bounding-box", {Kind::kFlag}},
        {"axes", {Kind::kFlag}},
        {"no-geometry", {Kind::kFlag}},
        {"clip-geometry", {Kind::kFlag}},
        {"wireframe", {Kind::kFlag}},
        {"points-only", {Kind::kFlag}},
        {"backface-culling", {Kind::kFlag}},
        {"z-cap", {Kind::kFlag}},
        {"select-object", {Kind::kNumbers, 1, -1, 1e9, true}},
        {"alternate-texturing", {Kind::kFlag}},
        {"ping-pong", {Kind::kFlag}},
    };
    return specs;
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

}  // namespace

bool CCommandLine::Parse(const std::vector<std::string>& arguments, std::string& error) {
    for (size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument.rfind("--", 0) != 0 || argument == "--") {
            if (argument == "--" || argument.empty() || argument[0] == '-') {
                error = "unknown option " + argument;
                return false;
            }
            // The first argument that is not an option is the file; further ones are ignored.
            if (file.empty()) file = argument;
            continue;
        }
        const std::string name = argument.substr(2);
        if (name == "help") {
            help = true;
            continue;
        }
        if (name == "version") {
            version = true;
            continue;
        }
        const auto found = OptionSyntaxes().find(name);
        if (found == OptionSyntaxes().end()) {
            error = "unknown option " + argument;
            return false;
        }
        const OptionSyntax& syntax = found->second;
        Option option{name, {}, ""};
        auto next = [&](std::string& value) {
            if (i + 1 >= arguments.size()) {
                error = argument + " needs an argument";
                return false;
            }
            value = arguments[++i];
            return true;
        };
        std::string value;
        switch (syntax.kind) {
            case Kind::kFlag: break;
            case Kind::kNumbers:
            case Kind::kSize: {
                if (!next(value)) return false;
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
                if (!next(value)) return false;
                if (name == "hide-planes") {
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
                if (!next(option.text)) return false;
                break;
            case Kind::kPlaneAndPath:
                if (!next(value)) return false;
                if (std::find(syntax.words.begin(), syntax.words.end(), value) == syntax.words.end()) {
                    error = argument + ": unknown plane '" + value + "' (xy, xz or yz)";
                    return false;
                }
                option.numbers.push_back(value == "yz" ? 0 : value == "xz" ? 1 : 2);
                if (!next(option.text)) return false;
                break;
        }
        if (name == "series") {
            series = option.text;
        } else if (name == "size") {
            width = static_cast<int>(option.numbers[0]);
            height = static_cast<int>(option.numbers[1]);
            sizeGiven = true;
        } else if (syntax.output) {
            outputs.push_back(option);
        } else {
            state.push_back(option);
        }
    }
    return true;
}

const char* CCommandLine::HelpText() {
    return R"(Usage: orvanta [OPTIONS] [FILE]

Shows a 4-D image: FILE is a .tvi time volume (its companion .obj meshes come
with it), an .obj mesh file, a folder of DICOM images or one DICOM image (its
series is loaded). Without FILE the .avi movies of the current folder are
loaded, one per slice.

Outputs (any of them runs without a window and exits when done):
  --info                      print the loaded data as one JSON object
  --snapshot PNG              write the 3-D view as a PNG picture
  --save-plane xy|xz|yz PNG   write one plane through the current voxel
  --export-avi AVI            write the time sequence as an uncompressed movie

  --series N|stack|UID         the DICOM series to load: its place in the list
                              (1-based), the stack of single-slice series, or
                              its Series Instance UID; without it the stack,
                              else the series with the most images

State, applied after loading in the order given:
  --size WxH                  drawing area (default 640x480)
  --position X,Y,Z            current voxel
  --frame T                   current frame
  --lock-frame T              show volume frame T while the meshes follow the frame
  --view xy|xz|yz|3d          camera preset
  --camera AZ,EL,DIST         camera as the position title shows it (degrees, mm)
  --saturation PERCENT        intensity window percentile (1..100)
  --pixel-size X,Y,Z          voxel size in mm (0.01..100 each)
  --frame-time MS             frame time in ms (1..5000)
  --brightness B, --contrast C  0..1, 0.5 neutral
  --hide-planes [x][y][z]     hide the YZ, XZ or XY plane
  --white-background  --no-bilinear  --colour-coding  --no-bounding-box  --axes
  --no-geometry  --clip-geometry  --wireframe  --points-only  --backface-culling
  --z-cap  --select-object N  --alternate-texturing  --ping-pong

  --version                   print the version
  --help                      print this text

Exit status: 0 done, 1 a file could not be read or written, 2 a usage error.
)";
}

void CCommandLine::ApplyState(const Option& option, CViewer& viewer) {
    const std::string& name = option.name;
    const std::vector<double>& n = option.numbers;
    CViewModel& view = viewer.m_view;
    // Switches are set to the state asked for, whatever they were.
    auto set = [&](bool current, bool wanted, void (CViewer::*toggle)()) {
        if (current != wanted) (viewer.*toggle)();
    };
    if (name == "position") {
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
    } else if (name == "saturation" || name == "pixel-size" || name == "frame-time") {
        CPreferenceValues values = viewer.CurrentPreferences();
        if (name == "saturation") values.saturationPercent = static_cast<int>(n[0]);
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
