#include "MeasurementLayer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <algorithm>
#include <cmath>
#include <optional>
#include <set>

#include "LabelImage.h"
#include "TextFormat.h"

namespace {

using Point = CMeasurement::Point;

// A measurement file is a few points each; anything larger is not one.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

std::string ToBytes(const QString& text) {
    return text.toUtf8().toStdString();
}

std::string PointText(const Point& p) {
    char text[96];
    std::snprintf(text, sizeof text, "(%g, %g, %g)", p[0], p[1], p[2]);
    return text;
}

// Reads one list of points in voxel or RAS numbering and gives them in voxels.
bool ReadPoints(const QJsonValue& value, bool ras, const CMeasurementLayer::CVolumeContext& volume,
                const std::optional<CAffine>& toVoxel, std::vector<Point>& out, std::string& error) {
    if (!value.isArray()) {
        error = "points must be a list of [x, y, z]";
        return false;
    }
    for (const QJsonValue& item : value.toArray()) {
        const QJsonArray xyz = item.toArray();
        if (!item.isArray() || xyz.size() != 3) {
            error = "a point must be [x, y, z]";
            return false;
        }
        Point p{};
        for (int a = 0; a < 3; ++a) {
            if (!xyz[a].isDouble() || !std::isfinite(xyz[a].toDouble())) {
                error = "a point's coordinates must be numbers";
                return false;
            }
            p[static_cast<size_t>(a)] = xyz[a].toDouble();
        }
        const Point voxel = ras ? toVoxel->Apply(p) : p;
        for (int a = 0; a < 3; ++a) {
            const double c = voxel[static_cast<size_t>(a)];
            // Voxel centres are at whole numbers; a voxel reaches half a step either side.
            if (!(c >= -0.5 && c <= volume.size[static_cast<size_t>(a)] - 0.5)) {
                error = std::string("point ") + PointText(p) + " is outside the volume";
                return false;
            }
        }
        out.push_back(voxel);
    }
    return true;
}

// Reads one entry of the list; `error` is the fault alone, the caller names the entry.
std::optional<CMeasurement> ReadMeasurement(const QJsonObject& entry, const std::string& name,
                                            const CMeasurementLayer::CVolumeContext& volume,
                                            std::string& error) {
    const auto kind = CMeasurement::KindFromName(ToBytes(entry.value("kind").toString()));
    if (!kind) {
        error = std::string("unknown kind ") + QuotedForMessage(ToBytes(entry.value("kind").toString())) +
                " (distance, angle or area)";
        return std::nullopt;
    }
    const int sources = int{entry.contains("points_ras")} + int{entry.contains("points_voxel")} +
                        int{entry.contains("frames")};
    if (sources != 1) {
        error = "give exactly one of points_ras, points_voxel and frames";
        return std::nullopt;
    }
    bool ras = entry.contains("points_ras");
    if (entry.contains("frames")) {
        const QString in = entry.value("frames_in").toString("voxel");
        if (in != "voxel" && in != "ras") {
            error = "frames_in must be \"voxel\" or \"ras\"";
            return std::nullopt;
        }
        ras = in == "ras";
    }
    const std::optional<CAffine> toVoxel =
        volume.metric.toPatient ? volume.metric.toPatient->Inverse() : std::nullopt;
    if (ras && !toVoxel) {
        error = "RAS points need a volume with a patient geometry; give points_voxel";
        return std::nullopt;
    }
    std::optional<CMeasurement> made;
    if (entry.contains("frames")) {
        if (entry.contains("follow_label")) {
            error = "a ruler that follows a label takes one pair of points, not frames";
            return std::nullopt;
        }
        const QJsonValue framesValue = entry.value("frames");
        if (!framesValue.isObject() || framesValue.toObject().isEmpty()) {
            error = "frames must map frame numbers to lists of points";
            return std::nullopt;
        }
        std::map<int, std::vector<Point>> frames;
        const QJsonObject byFrame = framesValue.toObject();
        for (auto it = byFrame.begin(); it != byFrame.end(); ++it) {
            bool whole = false;
            const int frame = it.key().toInt(&whole);
            if (!whole || frame < 0) {
                error = std::string("frame ") + QuotedForMessage(ToBytes(it.key())) + " is not a frame number";
                return std::nullopt;
            }
            std::string fault;
            if (!ReadPoints(it.value(), ras, volume, toVoxel, frames[frame], fault)) {
                error = fault + " in frame " + std::to_string(frame);
                return std::nullopt;
            }
        }
        made = CMeasurement::PerFrame(name, *kind, std::move(frames));
    } else {
        std::vector<Point> points;
        if (!ReadPoints(entry.value(ras ? "points_ras" : "points_voxel"), ras, volume, toVoxel, points,
                        error))
            return std::nullopt;
        if (entry.contains("follow_label")) {
            const double label = entry.value("follow_label").toDouble(-1);
            if (*kind != CMeasurement::Kind::Distance) {
                error = "only a distance can follow a label";
                return std::nullopt;
            }
            if (!(label >= 1 && label <= 1e15 && label == std::floor(label))) {
                error = "follow_label must be a label number above 0";
                return std::nullopt;
            }
            const auto value = static_cast<int64_t>(label);
            if (volume.labels == nullptr || volume.labels->Empty() || volume.labels->IndexOf(value) < 0) {
                error = std::string("label ") + std::to_string(value) + " is not in the label image";
                return std::nullopt;
            }
            made = CMeasurement::FollowsLabel(name, std::move(points), value);
        } else {
            made = CMeasurement::Fixed(name, *kind, std::move(points));
        }
    }
    error = made->Fault(volume.metric);
    if (!error.empty()) return std::nullopt;
    return made;
}

}  // namespace

bool CMeasurementLayer::Parse(const std::string& text, const std::string& source,
                              const CVolumeContext& volume, std::vector<CMeasurement>& out,
                              std::string& error, std::set<std::string>* hiddenOut) {
    QJsonParseError parseError;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())), &parseError);
    if (document.isNull()) {
        error = source + ": not valid JSON (" + ToBytes(parseError.errorString()) + " at character " +
                std::to_string(parseError.offset) + ")";
        return false;
    }
    const QJsonValue list = document.object().value("measurements");
    if (!document.isObject() || !list.isArray()) {
        error = source + ": expected an object with a \"measurements\" list";
        return false;
    }
    std::vector<CMeasurement> read;
    std::set<std::string> hidden;
    int number = 0;
    for (const QJsonValue& value : list.toArray()) {
        ++number;
        const QJsonObject entry = value.toObject();
        std::string name = ToBytes(entry.value("name").toString());
        const std::string label =
            name.empty() ? std::string("measurement ") + std::to_string(number) : QuotedForMessage(name);
        std::string fault;
        if (!value.isObject())
            fault = "is not an object";
        else if (name.empty())
            fault = "has no name";
        // The name heads a CSV column and a line of the Curves panel.
        else if (std::any_of(name.begin(), name.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }))
            fault = "has a control character in its name";
        for (const CMeasurement& earlier : read)
            if (fault.empty() && earlier.Name() == name) fault = "has the name of an earlier one";
        const QJsonValue shown = entry.value("shown");
        if (fault.empty() && !shown.isUndefined() && !shown.isBool()) fault = "shown must be true or false";
        std::optional<CMeasurement> made;
        if (fault.empty()) made = ReadMeasurement(entry, name, volume, fault);
        if (!made) {
            error = source + ": measurement " + label + ": " + fault;
            return false;
        }
        read.push_back(std::move(*made));
        if (shown.isBool() && !shown.toBool()) hidden.insert(name);
    }
    out = std::move(read);
    if (hiddenOut != nullptr) *hiddenOut = std::move(hidden);
    return true;
}

bool CMeasurementLayer::Load(const std::string& path, const CVolumeContext& volume, std::string& error) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        error = path + ": cannot be read (" + ToBytes(file.errorString()) + ")";
        return false;
    }
    if (file.size() > kMaxFileBytes) {
        error = path + ": too large for a measurement file";
        return false;
    }
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    return Parse(bytes.toStdString(), path, volume, m_items, error, &m_hidden);
}

void CMeasurementLayer::Add(CMeasurement measurement) {
    m_hidden.erase(measurement.Name());
    m_items.push_back(std::move(measurement));
}

void CMeasurementLayer::Remove(size_t index) {
    if (index >= m_items.size()) return;
    m_hidden.erase(m_items[index].Name());
    m_items.erase(m_items.begin() + static_cast<std::ptrdiff_t>(index));
}

void CMeasurementLayer::Rename(size_t index, const std::string& name) {
    if (index >= m_items.size()) return;
    const bool shown = Shown(index);
    m_hidden.erase(m_items[index].Name());
    m_items[index].Rename(name);
    SetShown(index, shown);
}

bool CMeasurementLayer::Shown(size_t index) const {
    return index < m_items.size() && m_hidden.count(m_items[index].Name()) == 0;
}

void CMeasurementLayer::SetShown(size_t index, bool shown) {
    if (index >= m_items.size()) return;
    if (shown)
        m_hidden.erase(m_items[index].Name());
    else
        m_hidden.insert(m_items[index].Name());
}

int CMeasurementLayer::IndexOf(const std::string& name) const {
    for (size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].Name() == name) return static_cast<int>(i);
    return -1;
}

std::string CMeasurementLayer::FreeName(CMeasurement::Kind kind) const {
    const char* prefix = kind == CMeasurement::Kind::Distance ? "d"
                         : kind == CMeasurement::Kind::Angle  ? "a"
                                                              : "s";
    for (size_t n = 1;; ++n) {
        // Appended, not added: GCC 12 at -O2 misreads string + string here as an overlapping copy.
        std::string name(prefix);
        name += std::to_string(n);
        if (IndexOf(name) < 0) return name;
    }
}

std::string CMeasurementLayer::ToJson() const {
    const auto points = [](const std::vector<Point>& list) {
        QJsonArray array;
        for (const Point& p : list) array.append(QJsonArray{p[0], p[1], p[2]});
        return array;
    };
    QJsonArray list;
    for (const CMeasurement& m : m_items) {
        QJsonObject entry{{"name", QString::fromStdString(m.Name())},
                          {"kind", CMeasurement::KindName(m.GetKind())}};
        if (m.Mode() == CMeasurement::TimeMode::PerFrame) {
            QJsonObject frames;
            for (const auto& [frame, list] : m.FramePoints()) frames[QString::number(frame)] = points(list);
            entry["frames"] = frames;
        } else if (const std::vector<Point>* list = m.PointsAt(0)) {
            entry["points_voxel"] = points(*list);
        }
        if (m.Mode() == CMeasurement::TimeMode::FollowsLabel)
            entry["follow_label"] = static_cast<double>(m.Label());
        if (m_hidden.count(m.Name()) != 0) entry["shown"] = false;
        list.append(entry);
    }
    return QJsonDocument(list).toJson(QJsonDocument::Compact).toStdString();
}

std::string CMeasurementLayer::ColumnName(const CMeasurement& measurement) {
    return measurement.Name() + "_" + CMeasurement::UnitName(measurement.GetKind());
}
