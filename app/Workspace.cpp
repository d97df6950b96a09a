#include "Workspace.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "ColourMap.h"
#include "CommandTable.h"
#include "Curves.h"
#include "LabelEditing.h"
#include "PathUtils.h"
#include "Viewer.h"

namespace {

namespace fs = std::filesystem;

// A workspace is a page of settings; anything larger is not one.
constexpr std::streamsize kMaxFileBytes = 16 * 1024 * 1024;

QString Text(const std::string& bytes) {
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}
std::string Bytes(const QString& text) {
    return text.toUtf8().toStdString();
}

// `path` as seen from `folder`, both made absolute first; a path on no common
// root stays absolute.
std::string RelativeTo(const std::string& path, const fs::path& folder) {
    if (path.empty()) return path;
    std::error_code error;
    const fs::path absolute = fs::absolute(path, error).lexically_normal();
    if (error) return path;
    const fs::path relative = absolute.lexically_relative(folder);
    return relative.empty() ? absolute.string() : relative.string();
}

// A path read from the file, joined to the workspace's folder as the
// workspace was named (so a workspace opened by a relative name gives
// relative paths, as the files would have been named beside it).
std::string Resolve(const std::string& path, const std::string& folder) {
    if (path.empty() || fs::path(path).is_absolute()) return path;
    return (fs::path(folder) / path).lexically_normal().string();
}

QJsonArray Numbers(std::initializer_list<double> numbers) {
    QJsonArray array;
    for (const double number : numbers) array.append(number);
    return array;
}

// Reads `count` finite numbers from `value`; false when it is not such a list.
template <size_t N>
bool ReadNumbers(const QJsonValue& value, std::array<double, N>& out) {
    const QJsonArray array = value.toArray();
    if (!value.isArray() || array.size() != static_cast<qsizetype>(N)) return false;
    for (size_t i = 0; i < N; ++i) {
        const QJsonValue item = array[static_cast<qsizetype>(i)];
        if (!item.isDouble() || !std::isfinite(item.toDouble())) return false;
        out[i] = item.toDouble();
    }
    return true;
}

bool WholeInRange(double value, double low, double high) {
    return value >= low && value <= high && value == std::floor(value);
}

}  // namespace

bool CWorkspace::IsWorkspaceName(const std::string& path) {
    return EndsWithIgnoringCase(path, kExtension);
}

const std::vector<CWorkspace::CSwitch>& CWorkspace::Switches() {
    static const std::vector<CSwitch> switches = {
        {"x_plane", kCmdXPlane},
        {"y_plane", kCmdYPlane},
        {"z_plane", kCmdZPlane},
        {"bilinear", kCmdBilinearFiltering},
        {"white_background", kCmdWhiteBackground},
        {"colour_coding", kCmdColourCoding},
        {"position_info", kCmdPositionInfo},
        {"colour_bar", kCmdColourBar},
        {"label_overlay", kCmdLabelOverlay},
        {"orientation_labels", kCmdOrientationLabels},
        {"draw_geometry", kCmdDrawGeometry},
        {"clip_geometry", kCmdClipGeometry},
        {"wireframe", kCmdWireframe},
        {"points_only", kCmdPointsOnly},
        {"backface_culling", kCmdBackfaceCulling},
        {"alternate_texturing", kCmdAlternateTexturing},
        {"bounding_box", kCmdBoundingBox},
        {"axes", kCmdAxes},
    };
    return switches;
}

CWorkspace CWorkspace::Capture(const CViewer& viewer) {
    const CViewerState& state = viewer.State();
    const CViewInterface& view = viewer.View();
    CWorkspace w;
    w.m_volume = state.m_volumePath;
    for (const CInfoField& field : viewer.Volume().FileInfo().m_fields)
        if (const auto* uid = std::get_if<std::string>(&field.value); field.key == "series_uid" && uid)
            w.m_series = *uid;
    if (w.m_series.empty()) w.m_series = state.m_seriesChoice;
    w.m_saturation = state.m_saturation;
    w.m_labels = viewer.Labels().Path();
    if (!w.m_labels.empty()) w.m_descriptions = viewer.Labels().DescriptionsPath();
    if (!viewer.Labels().Empty())
        for (const int64_t value : viewer.Labels().Image().Values())
            if (value != 0 && !viewer.Labels().Table().Shown(value)) w.m_hiddenLabels.push_back(value);
    w.m_meshes = state.m_geometryPath;

    if (viewer.Volume().SizeX() > 0) {
        const CDisplayWindow window = viewer.Volume().Window();
        w.m_window = std::array<double, 2>{window.center, window.width};
    }
    for (const CColourMapInfo& map : ColourMaps())
        if (map.map == view.m_colourMap) w.m_colourMap = map.name;
    w.m_brightness = state.m_brightness;
    w.m_contrast = state.m_contrast;
    w.m_labelOpacity = view.m_labelOpacity;
    w.m_pixelSize = std::array<double, 3>{state.m_pixelSizeX, state.m_pixelSizeY, state.m_pixelSizeZ};
    w.m_frameTimeMs = state.m_frameTimeMs;
    w.m_position = {state.m_x, state.m_y, state.m_z};
    w.m_frame = state.m_t;
    w.m_lockedFrame = state.m_lockedFrame;
    w.m_pingPong = state.m_pingPongUp || state.m_pingPongDown;
    w.m_selectedObject = view.m_selectedObject;
    w.m_ejectionLabel = state.m_ejectionLabel;
    w.m_camera = std::array<double, 3>{view.m_azimuth, view.m_elevation, view.m_distance};
    if (const std::array<int, 2> size = view.ViewSize(); size[0] > 0 && size[1] > 0) w.m_viewSize = size;
    for (const CSwitch& entry : Switches())
        w.m_switches.emplace_back(entry.name, IsCommandChecked(*FindCommand(entry.command), viewer));
    if (!viewer.Measurements().Empty()) w.m_measurements = viewer.Measurements().ToJson();
    return w;
}

std::string CWorkspace::ToJson(const std::string& workspacePath) const {
    std::error_code error;
    const fs::path folder = fs::absolute(workspacePath, error).lexically_normal().parent_path();
    // Each file by its path from the workspace, which holds while the two
    // move together, and by its absolute path, for files kept elsewhere
    // (an atlas, a shared archive) when the workspace alone moves.
    const auto keep = [&folder](QJsonObject& into, const char* key, const char* absoluteKey,
                                const std::string& file) {
        into[key] = Text(RelativeTo(file, folder));
        std::error_code ignored;
        into[absoluteKey] = Text(fs::absolute(file, ignored).lexically_normal().string());
    };

    QJsonObject json;
    json["orvanta_workspace"] = kVersion;
    QJsonObject files;
    if (!m_volume.empty()) {
        QJsonObject volume{{"saturation", m_saturation}};
        keep(volume, "path", "absolute_path", m_volume);
        if (!m_series.empty()) volume["series"] = Text(m_series);
        files["volume"] = volume;
    }
    if (!m_labels.empty()) {
        QJsonObject labels;
        keep(labels, "path", "absolute_path", m_labels);
        if (!m_descriptions.empty())
            keep(labels, "descriptions", "descriptions_absolute_path", m_descriptions);
        QJsonArray hidden;
        for (const int64_t value : m_hiddenLabels) hidden.append(static_cast<double>(value));
        if (!hidden.isEmpty()) labels["hidden"] = hidden;
        files["labels"] = labels;
    }
    if (!m_meshes.empty()) {
        QJsonObject meshes;
        keep(meshes, "path", "absolute_path", m_meshes);
        files["meshes"] = meshes;
    }
    json["files"] = files;

    QJsonObject display;
    if (m_window) display["window"] = Numbers({(*m_window)[0], (*m_window)[1]});
    if (!m_colourMap.empty()) display["colormap"] = Text(m_colourMap);
    display["brightness"] = m_brightness;
    display["contrast"] = m_contrast;
    display["label_opacity"] = m_labelOpacity;
    display["selected_object"] = m_selectedObject;
    QJsonObject switches;
    for (const auto& [name, on] : m_switches) switches[Text(name)] = on;
    display["shown"] = switches;
    json["display"] = display;

    QJsonObject place;
    place["position"] = Numbers({double(m_position[0]), double(m_position[1]), double(m_position[2])});
    place["frame"] = m_frame;
    place["locked_frame"] = m_lockedFrame;
    place["ping_pong"] = m_pingPong;
    if (m_pixelSize)
        place["pixel_size_mm"] = Numbers({(*m_pixelSize)[0], (*m_pixelSize)[1], (*m_pixelSize)[2]});
    if (m_frameTimeMs) place["frame_time_ms"] = *m_frameTimeMs;
    if (m_ejectionLabel != 0) place["ejection_label"] = static_cast<double>(m_ejectionLabel);
    json["reading"] = place;

    if (m_camera) {
        const std::array<double, 3>& c = *m_camera;
        QJsonObject camera{{"azimuth", c[0]}, {"elevation", c[1]}, {"distance", c[2]}};
        if (m_viewSize) camera["view_size"] = Numbers({double((*m_viewSize)[0]), double((*m_viewSize)[1])});
        json["camera"] = camera;
    }
    if (!m_measurements.empty())
        json["measurements"] = QJsonDocument::fromJson(QByteArray::fromStdString(m_measurements)).array();
    return QJsonDocument(json).toJson(QJsonDocument::Indented).toStdString();
}

bool CWorkspace::Write(const std::string& path, std::string& error) const {
    return WriteWholeFile(path, ToJson(path), error);
}

bool CWorkspace::Parse(const std::string& text, const std::string& source, const std::string& folder,
                       CWorkspace& out, std::string& error) {
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())), &parseError);
    if (document.isNull() || !document.isObject()) {
        error = source + ": not a workspace (" +
                (document.isNull() ? Bytes(parseError.errorString()) : std::string("not a JSON object")) +
                ")";
        return false;
    }
    const QJsonObject json = document.object();
    const QJsonValue version = json.value("orvanta_workspace");
    if (!version.isDouble()) {
        error = source + ": not a workspace (no \"orvanta_workspace\" version)";
        return false;
    }
    if (!WholeInRange(version.toDouble(), 1, kVersion)) {
        error = source + ": workspace version " + Bytes(QString::number(version.toDouble())) +
                " is not one this Orvanta reads (up to " + std::to_string(kVersion) + ")";
        return false;
    }
    // Each fault names where it is; the first found is the one told.
    std::string fault;
    const auto fail = [&fault](const char* what) {
        if (fault.empty()) fault = what;
    };
    const auto string = [&fail](const QJsonObject& object, const char* key, std::string& to) {
        const QJsonValue value = object.value(key);
        if (value.isUndefined()) return;
        if (!value.isString() || value.toString().isEmpty())
            fail("a file path is not a non-empty string");
        else
            to = Bytes(value.toString());
    };
    const auto number = [&fail](const QJsonObject& object, const char* key, double low, double high,
                                bool whole, auto& to) {
        const QJsonValue value = object.value(key);
        if (value.isUndefined()) return;
        const double v = value.toDouble(std::nan(""));
        if (!value.isDouble() || !(v >= low && v <= high) || (whole && v != std::floor(v)))
            fail("a number is missing or out of range");
        else
            to = static_cast<std::remove_reference_t<decltype(to)>>(v);
    };

    // A file by its path from the workspace's folder, else where it was
    // when the workspace was written; the first when neither exists, so that
    // it is named as missing where the workspace puts it.
    const auto file = [&string, &folder](const QJsonObject& object, const char* key, const char* absoluteKey,
                                         std::string& to) {
        std::string relative, absolute;
        string(object, key, relative);
        string(object, absoluteKey, absolute);
        to = Resolve(relative, folder);
        std::error_code error;
        if ((to.empty() || !fs::exists(to, error)) && !absolute.empty() && fs::exists(absolute, error))
            to = absolute;
    };
    CWorkspace w;
    const QJsonObject files = json.value("files").toObject();
    for (const char* key : {"volume", "labels", "meshes"})
        if (files.contains(key) && !files.value(key).isObject())
            fail("a file entry is not an object with its path");
    const QJsonObject volume = files.value("volume").toObject();
    file(volume, "path", "absolute_path", w.m_volume);
    string(volume, "series", w.m_series);
    number(volume, "saturation", 0.0, 1.0, false, w.m_saturation);
    const QJsonObject labels = files.value("labels").toObject();
    file(labels, "path", "absolute_path", w.m_labels);
    file(labels, "descriptions", "descriptions_absolute_path", w.m_descriptions);
    for (const QJsonValue& hidden : labels.value("hidden").toArray()) {
        if (!hidden.isDouble() || !WholeInRange(hidden.toDouble(), 1, 1e15))
            fail("a hidden label is not a label number");
        else
            w.m_hiddenLabels.push_back(static_cast<int64_t>(hidden.toDouble()));
    }
    file(files.value("meshes").toObject(), "path", "absolute_path", w.m_meshes);

    const QJsonObject display = json.value("display").toObject();
    if (display.contains("window")) {
        std::array<double, 2> window{};
        if (!ReadNumbers(display.value("window"), window) || !(window[1] > 0))
            fail("the window is not [centre, width] with a width above 0");
        else
            w.m_window = window;
    }
    if (display.contains("colormap")) {
        string(display, "colormap", w.m_colourMap);
        if (!ColourMapByName(w.m_colourMap)) fail("the colour map is not one Orvanta has");
    }
    number(display, "brightness", 0.0, 1.0, false, w.m_brightness);
    number(display, "contrast", 0.0, 1.0, false, w.m_contrast);
    number(display, "label_opacity", 0.0, 1.0, false, w.m_labelOpacity);
    number(display, "selected_object", -1, 1e9, true, w.m_selectedObject);
    const QJsonObject shown = display.value("shown").toObject();
    for (const CSwitch& entry : Switches()) {
        const QJsonValue on = shown.value(entry.name);
        if (on.isBool())
            w.m_switches.emplace_back(entry.name, on.toBool());
        else if (!on.isUndefined())
            fail("a display switch is not true or false");
    }

    const QJsonObject reading = json.value("reading").toObject();
    if (reading.contains("position")) {
        std::array<double, 3> position{};
        if (!ReadNumbers(reading.value("position"), position) ||
            !std::all_of(position.begin(), position.end(),
                         [](double v) { return WholeInRange(v, -1e9, 1e9); }))
            fail("the position is not three whole numbers");
        else
            for (size_t a = 0; a < 3; ++a) w.m_position[a] = static_cast<int>(position[a]);
    }
    number(reading, "frame", 0, 1e9, true, w.m_frame);
    number(reading, "locked_frame", -1, 1e9, true, w.m_lockedFrame);
    if (reading.contains("ping_pong")) w.m_pingPong = reading.value("ping_pong").toBool();
    if (reading.contains("pixel_size_mm")) {
        std::array<double, 3> size{};
        if (!ReadNumbers(reading.value("pixel_size_mm"), size) ||
            !std::all_of(size.begin(), size.end(), [](double v) { return v >= 0.01 && v <= 100; }))
            fail("the pixel sizes are not three numbers from 0.01 to 100");
        else
            w.m_pixelSize = size;
    }
    int frameTime = 0;
    number(reading, "frame_time_ms", 1, 65535, true, frameTime);
    if (frameTime > 0) w.m_frameTimeMs = frameTime;
    number(reading, "ejection_label", 0, 1e15, true, w.m_ejectionLabel);

    if (json.contains("camera")) {
        const QJsonObject camera = json.value("camera").toObject();
        std::array<double, 3> c{};
        number(camera, "azimuth", -1e6, 1e6, false, c[0]);
        number(camera, "elevation", -1e6, 1e6, false, c[1]);
        number(camera, "distance", 1e-6, 1e9, false, c[2]);
        if (!camera.contains("distance")) fail("the camera lacks its distance");
        w.m_camera = c;
        if (camera.contains("view_size")) {
            std::array<double, 2> size{};
            if (!ReadNumbers(camera.value("view_size"), size) || !WholeInRange(size[0], 1, 8192) ||
                !WholeInRange(size[1], 1, 8192))
                fail("the view size is not two whole numbers from 1 to 8192");
            else
                w.m_viewSize = std::array<int, 2>{static_cast<int>(size[0]), static_cast<int>(size[1])};
        }
    }
    if (json.contains("measurements")) {
        if (!json.value("measurements").isArray())
            fail("the measurements are not a list");
        else
            w.m_measurements = QJsonDocument(json.value("measurements").toArray())
                                   .toJson(QJsonDocument::Compact)
                                   .toStdString();
    }
    if (!fault.empty()) {
        error = source + ": " + fault;
        return false;
    }
    out = std::move(w);
    return true;
}

bool CWorkspace::Read(const std::string& path, CWorkspace& out, std::string& error) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = path + ": cannot be read";
        return false;
    }
    std::string text(static_cast<size_t>(kMaxFileBytes) + 1, '\0');
    file.read(text.data(), kMaxFileBytes + 1);
    if (file.bad()) {
        error = path + ": cannot be read";
        return false;
    }
    text.resize(static_cast<size_t>(file.gcount()));
    if (text.size() > static_cast<size_t>(kMaxFileBytes)) {
        error = path + ": too large for a workspace";
        return false;
    }
    return Parse(text, path, fs::path(path).parent_path().string(), out, error);
}

std::vector<std::string> CWorkspace::MissingFiles() const {
    std::vector<std::string> missing;
    for (const std::string* path : {&m_volume, &m_labels, &m_descriptions, &m_meshes}) {
        std::error_code error;
        if (!path->empty() && !fs::exists(*path, error)) missing.push_back(*path);
    }
    return missing;
}

std::string CWorkspace::MissingText() const {
    const std::vector<std::string> missing = MissingFiles();
    if (missing.empty()) return "";
    std::string names;
    for (const std::string& path : missing) {
        if (!names.empty()) names += ", ";
        names += path;
    }
    return std::string("The workspace names files that are missing: ") + names + ".";
}

void CWorkspace::OnOpen(CViewer& viewer) {
    const std::string path =
        viewer.Host().Dialogs().AskOpenFileName({"Orvanta workspaces (*.orvanta)", kExtension + 1, ""});
    if (!path.empty()) OpenFile(path, viewer);
}

void CWorkspace::OnSave(CViewer& viewer) {
    CDialogService& dialogs = viewer.Host().Dialogs();
    // The workspace names the label image by its file, so edits not saved
    // would not come back with it.
    if (viewer.Editing().Unsaved()) {
        switch (
            dialogs.AskSaveChanges("The label image has edits that are not saved. The workspace will name "
                                   "the label file: save the edits first?")) {
            case CDialogService::EUnsavedAnswer::kSave:
                if (!viewer.Editing().Save()) return;
                break;
            case CDialogService::EUnsavedAnswer::kDiscard:
                break;
            case CDialogService::EUnsavedAnswer::kCancel:
                return;
        }
    }
    const std::string stem = PathWithoutExtension(FileNameOfPath(viewer.State().m_volumePath));
    const std::string path = dialogs.AskSaveFileName({"Orvanta workspaces (*.orvanta)", kExtension + 1,
                                                      stem.empty() ? "reading.orvanta" : stem + kExtension});
    if (!path.empty()) SaveFile(path, viewer);
}

void CWorkspace::OpenFile(const std::string& path, CViewer& viewer) {
    CWorkspace workspace;
    std::string error;
    if (!Read(path, workspace, error)) {
        viewer.Host().Dialogs().ShowMessage("Error", error, CDialogService::Icon::kError);
        return;
    }
    workspace.Open(viewer);
    viewer.Host().NoteRecentFile(path);
}

bool CWorkspace::SaveFile(const std::string& path, CViewer& viewer) {
    std::string error;
    if (!Capture(viewer).Write(path, error)) {
        viewer.Host().Dialogs().ShowMessage("Error", error, CDialogService::Icon::kError);
        return false;
    }
    viewer.Host().NoteRecentFile(path);
    return true;
}

void CWorkspace::Open(CViewer& viewer) const {
    const std::vector<std::string> missing = MissingFiles();
    const auto present = [&missing](const std::string& path) {
        return !path.empty() && std::find(missing.begin(), missing.end(), path) == missing.end();
    };
    const CViewerNotices::CBatch batch(viewer.Notices());
    // Labels not saved are asked about once, by the first load that replaces them.
    viewer.SetLoadSettings(m_saturation, m_series);
    if (present(m_volume)) viewer.LoadVolume(m_volume, m_series);
    if (present(m_labels)) viewer.LoadLabelFile(m_labels);
    if (present(m_meshes) && m_meshes != viewer.State().m_geometryPath) viewer.LoadGeometryFile(m_meshes);
    for (const int64_t value : m_hiddenLabels) viewer.Labels().Table().SetShown(value, false);
    if (!m_hiddenLabels.empty()) viewer.Notices().Announce(kChangeLabelLook);

    if (m_pixelSize || m_frameTimeMs) {
        CPreferenceValues values = viewer.CurrentPreferences();
        if (m_pixelSize)
            std::tie(values.pixelSizeX, values.pixelSizeY, values.pixelSizeZ) =
                std::tuple((*m_pixelSize)[0], (*m_pixelSize)[1], (*m_pixelSize)[2]);
        if (m_frameTimeMs) values.frameTimeMs = *m_frameTimeMs;
        const CPreferenceValues now = viewer.CurrentPreferences();
        if (values.pixelSizeX != now.pixelSizeX || values.pixelSizeY != now.pixelSizeY ||
            values.pixelSizeZ != now.pixelSizeZ || values.frameTimeMs != now.frameTimeMs)
            viewer.ApplyPreferences(values);
    }
    if (m_window) viewer.SetWindow(CDisplayWindow{(*m_window)[0], (*m_window)[1]});
    if (const std::optional<EColourMap> map = ColourMapByName(m_colourMap)) viewer.SetColourMap(*map);
    viewer.SetBrightnessContrast(m_brightness, m_contrast);
    viewer.View().m_labelOpacity = m_labelOpacity;
    viewer.View().m_selectedObject = m_selectedObject;
    viewer.SetEjectionLabel(m_ejectionLabel);
    for (const auto& [name, on] : m_switches)
        for (const CSwitch& entry : Switches())
            if (name == entry.name) {
                const CCommand& command = *FindCommand(entry.command);
                if (IsCommandChecked(command, viewer) != on) RunCommand(command, viewer);
            }

    viewer.Navigation().SetPosition(m_position[0], m_position[1], m_position[2]);
    const int last = viewer.Navigation().LastFrameIndex();
    viewer.Navigation().SetLockedFrame(m_lockedFrame < 0 ? -1 : std::min(m_lockedFrame, last));
    viewer.Navigation().SetFrame(std::clamp(m_frame, 0, std::max(last, 0)));
    if (m_pingPong != (viewer.State().m_pingPongUp || viewer.State().m_pingPongDown))
        viewer.Navigation().OnPingPong();
    if (m_camera) {
        CViewInterface& view = viewer.View();
        view.SetCameraAngles((*m_camera)[0], (*m_camera)[1]);
        view.m_distance = (*m_camera)[2];
        viewer.Notices().Announce(kChangeCamera);
    }
    if (!m_measurements.empty()) {
        std::string error;
        if (!viewer.Measurements().LoadText(std::string(R"({"measurements": )") + m_measurements + "}",
                                            "the workspace's measurements",
                                            CCurves::MeasurementContext(viewer), error))
            viewer.Host().Dialogs().ShowMessage("Error", error, CDialogService::Icon::kError);
        viewer.Notices().Announce(kChangeMeasurements);
    }
    if (!missing.empty())
        viewer.Host().Dialogs().ShowMessage("Error", MissingText(), CDialogService::Icon::kError);
}
