#include "ViewerReport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cmath>
#include <string>
#include <type_traits>
#include <variant>

#include "Curves.h"
#include "PathUtils.h"
#include "Viewer.h"
#include "VolumeFormat.h"

namespace {

// Paths are bytes; JSON text is UTF-8. Bytes that are not UTF-8 become
// U+FFFD, so the output always parses. No path gives null.
QJsonValue JsonPath(const std::string& path) {
    if (path.empty()) return QJsonValue::Null;
    return QString::fromUtf8(path.data(), static_cast<qsizetype>(path.size()));
}

QJsonArray JsonArray(std::initializer_list<double> numbers) {
    QJsonArray array;
    for (double number : numbers) array.append(number);
    return array;
}

// Each label's volume in ml in every frame of the label image, and the
// ejection of the label asked for (or of the one chosen), null when refused.
void AddVolumesJson(const CViewer& viewer, QJsonObject& info) {
    const CViewerState& state = viewer.State();
    const double pixelSize[3] = {state.m_pixelSizeX, state.m_pixelSizeY, state.m_pixelSizeZ};
    QJsonObject volumes;
    for (const CCurves::Line& line : CCurves::LabelVolumes(viewer.Labels().Image(), pixelSize)) {
        QJsonArray perFrame;
        for (double ml : line.ml) perFrame.append(ml);
        volumes[QString::number(line.label)] = perFrame;
    }
    info["volume_ml_per_frame"] = volumes;
    CCurves curves;
    curves.Compute(viewer, false);
    std::string error;
    const std::optional<CCurves::Ejection> ejection = curves.LabelEjection(state.m_ejectionLabel, error);
    QJsonObject values;
    if (ejection) {
        values["label"] = static_cast<qint64>(ejection->label);
        values["automatic"] = ejection->automatic;
        values["edv_ml"] = ejection->edvMl;
        values["esv_ml"] = ejection->esvMl;
        values["sv_ml"] = ejection->svMl;
        values["ef_percent"] = ejection->efPercent;
        values["ed_frame"] = ejection->edFrame;
        values["es_frame"] = ejection->esFrame;
    }
    info["ejection"] = ejection ? QJsonValue(values) : QJsonValue();
}

// The label image: its grid, the labels it holds and the voxels of each label
// in every frame (one entry per frame of the label image); null without one.
QJsonValue LabelsJson(const CViewer& viewer) {
    const CLabelImage& labels = viewer.Labels().Image();
    if (labels.Empty()) return QJsonValue();
    QJsonArray values;
    QJsonObject counts;
    for (size_t i = 1; i < labels.Values().size(); ++i) {
        values.append(static_cast<qint64>(labels.Values()[i]));
        QJsonArray perFrame;
        for (int frame = 0; frame < labels.Frames(); ++frame)
            perFrame.append(static_cast<qint64>(labels.VoxelCount(frame, static_cast<int>(i))));
        counts[QString::number(labels.Values()[i])] = perFrame;
    }
    QJsonObject info;
    info["path"] = JsonPath(viewer.Labels().Path());
    info["size"] = JsonArray({double(labels.SizeX()), double(labels.SizeY()), double(labels.SizeZ())});
    info["frames"] = labels.Frames();
    info["labels"] = values;
    info["voxels_per_frame"] = counts;
    info["meshes"] = viewer.Labels().MeshCount();
    AddVolumesJson(viewer, info);
    return info;
}

// A value of a format's --info field as JSON: null, a text, a number, a yes
// or no, a list of those, or a list of entries.
QJsonValue JsonOf(const std::monostate&) {
    return QJsonValue();
}
QJsonValue JsonOf(const std::string& text) {
    return QString::fromStdString(text);
}
QJsonValue JsonOf(double number) {
    return number;
}
QJsonValue JsonOf(bool yes) {
    return yes;
}
QJsonValue JsonOf(const CInfoRecord& record) {
    QJsonObject entry;
    for (const auto& [key, value] : record.values)
        entry[QString::fromStdString(key)] = std::visit([](const auto& v) { return JsonOf(v); }, value);
    return entry;
}
template <typename T>
QJsonValue JsonOf(const std::vector<T>& values) {
    QJsonArray array;
    for (const T& value : values) array.append(JsonOf(value));
    return array;
}

QJsonValue JsonField(const CInfoField& field) {
    return std::visit([](const auto& value) { return JsonOf(value); }, field.value);
}

// Each measurement's value in every frame, over the frames the curves table;
// null where a frame has none (a ruler that misses its label).
QJsonArray MeasurementsJson(const CViewer& viewer) {
    QJsonArray list;
    if (viewer.Measurements().Empty()) return list;
    CCurves curves;
    curves.Compute(viewer, false);
    const std::vector<CMeasurement>& items = viewer.Measurements().Items();
    for (size_t at = 0; at < items.size() && at < curves.MeasurementLines().size(); ++at) {
        QJsonArray values;
        for (const double value : curves.MeasurementLines()[at].ml)
            values.append(std::isfinite(value) ? QJsonValue(value) : QJsonValue());
        list.append(QJsonObject{{"name", QString::fromStdString(items[at].Name())},
                                {"kind", CMeasurement::KindName(items[at].GetKind())},
                                {"unit", CMeasurement::UnitName(items[at].GetKind())},
                                {"values_per_frame", values}});
    }
    return list;
}

}  // namespace

std::string CViewerReport::InfoJson() const {
    const CViewer& viewer = m_viewer;
    const CTimeVolume& v = viewer.Volume();
    const CViewerState& state = viewer.State();
    const CMeshSet& meshes = viewer.View().m_meshes;
    size_t vertices = 0, triangles = 0;
    for (const CMeshObject& object : meshes.Objects()) {
        vertices += object.m_vertices.size();
        triangles += object.m_triangles.size();
    }
    QJsonObject volume;
    const CVolumeFileInfo& file = v.FileInfo();
    volume["path"] = JsonPath(state.m_volumePath);
    volume["format"] = file.m_format == EVolumeFormat::kNone
                           ? QJsonValue()
                           : QJsonValue(VolumeFormatRow(file.m_format).name);
    // Every volume has these, null where its format has none.
    volume["datatype"] = QJsonValue();
    volume["value_range"] = QJsonValue();
    for (const CInfoField& field : file.m_fields)
        volume[QString::fromStdString(field.key)] = JsonField(field);
    volume["size"] = JsonArray({double(v.SizeX()), double(v.SizeY()), double(v.SizeZ())});
    volume["frames"] = v.Frames();
    volume["pixel_size_mm"] = JsonArray({state.m_pixelSizeX, state.m_pixelSizeY, state.m_pixelSizeZ});
    volume["frame_time_ms"] = state.m_frameTimeMs;
    volume["saturation"] = state.m_saturation;
    volume["saturation_level"] = v.SaturationLevel();
    const std::optional<CAffine> transform = viewer.PatientTransform();
    QJsonValue rows;
    if (transform) {
        QJsonArray matrix;
        for (const auto& row : transform->Rows()) matrix.append(JsonArray({row[0], row[1], row[2], row[3]}));
        rows = matrix;
    }
    volume["transform"] = rows;
    volume["orientation"] =
        transform ? QJsonValue(QString::fromStdString(transform->AxisCodes())) : QJsonValue();

    QJsonObject meshInfo;
    meshInfo["path"] = JsonPath(state.m_geometryPath);
    meshInfo["objects"] = meshes.ObjectCount();
    meshInfo["last_frame"] = meshes.LastFrame();
    meshInfo["vertices"] = static_cast<qint64>(vertices);
    meshInfo["triangles"] = static_cast<qint64>(triangles);

    QJsonObject info;
    info["volume"] = volume;
    info["meshes"] = meshInfo;
    info["position"] = JsonArray({double(state.m_x), double(state.m_y), double(state.m_z)});
    // The same voxel as the file numbers it, which the transform maps and
    // world_position and value belong to; no volume, no file to number by.
    const std::array<int, 3> voxel = viewer.FileVoxel();
    info["voxel"] = v.SizeX() == 0
                        ? QJsonValue()
                        : QJsonValue(JsonArray({double(voxel[0]), double(voxel[1]), double(voxel[2])}));
    info["frame"] = state.m_t;
    const std::optional<CAffine::Vector> world = viewer.WorldPosition();
    info["world_position"] =
        world ? QJsonValue(JsonArray({(*world)[0], (*world)[1], (*world)[2]})) : QJsonValue();
    const std::optional<double> value = viewer.ValueAt(voxel);
    info["value"] = value && std::isfinite(*value) ? QJsonValue(*value) : QJsonValue();
    info["last_frame_index"] = viewer.Navigation().LastFrameIndex();
    info["labels"] = LabelsJson(viewer);
    info["measurements"] = MeasurementsJson(viewer);
    // How the planes are shown: the window in the file's units and the map.
    QJsonObject display;
    if (v.SizeX() > 0) {
        const CDisplayWindow window = v.Window();
        display["window"] = QJsonObject{{"center", window.center}, {"width", window.width}};
    } else {
        display["window"] = QJsonValue();
    }
    display["colormap"] = ColourMapInfo(viewer.View().m_colourMap).name;
    info["display"] = display;
    return QJsonDocument(info).toJson(QJsonDocument::Compact).toStdString() + "\n";
}

std::string CViewerReport::NiftiSidecarJson() const {
    const CViewer& viewer = m_viewer;
    const CVolumeFileInfo& file = viewer.Volume().FileInfo();
    auto field = [&file](const char* key) {
        for (const CInfoField& f : file.m_fields)
            if (f.key == key) return JsonField(f);
        return QJsonValue();
    };
    QJsonObject json;
    json["frame_time_ms"] = viewer.State().m_frameTimeMs;
    QJsonArray triggers;
    for (double ms : file.m_frameTimes) triggers.append(ms);
    json["trigger_times_ms"] = triggers.isEmpty() ? QJsonValue() : QJsonValue(triggers);
    json["series_description"] = field("series_description");
    json["series_number"] = field("series_number");
    // A stack of several series has no one UID.
    const QJsonValue uid = field("series_uid");
    json["series_uid"] = uid.isString() ? uid : QJsonValue();
    json["source"] = JsonPath(viewer.State().m_volumePath);
    json["program_version"] = ORVANTA_VERSION;
    return QJsonDocument(json).toJson(QJsonDocument::Indented).toStdString();
}
