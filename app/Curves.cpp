#include "Curves.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <charconv>
#include <cmath>
#include <limits>
#include <map>
#include <set>
#include <thread>

#include "MeshVolume.h"
#include "Viewer.h"

namespace {

constexpr double kNoValue = std::numeric_limits<double>::quiet_NaN();

// A number as C writes it, whatever the locale: the CSV must read the same
// in every country.
std::string Number(double value) {
    if (!std::isfinite(value)) return "";
    char text[32];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::general, 10);
    return std::string(text, result.ptr);
}

// A CSV field: names may hold commas or quotes, which are quoted.
std::string Field(const std::string& text) {
    if (text.find_first_of(",\"\n\r") == std::string::npos) return text;
    std::string quoted = "\"";
    for (char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

}  // namespace

std::vector<CCurves::Line> CCurves::LabelVolumes(const CLabelImage& labels, const double pixelSizeMm[3]) {
    const double voxelMl = pixelSizeMm[0] * pixelSizeMm[1] * pixelSizeMm[2] / 1000.0;
    std::vector<Line> lines;
    for (size_t index = 1; index < labels.Values().size(); ++index) {
        Line line{"label" + std::to_string(labels.Values()[index]), labels.Values()[index], {}, 0};
        for (int frame = 0; frame < labels.Frames(); ++frame)
            line.ml.push_back(static_cast<double>(labels.VoxelCount(frame, static_cast<int>(index))) *
                              voxelMl);
        lines.push_back(std::move(line));
    }
    return lines;
}

std::vector<CCurves::Line> CCurves::MeshVolumes(const CMeshSet& meshes, int frames,
                                                std::vector<std::string>& open) {
    frames = std::clamp(frames, 0, kMaxFrames);
    // Every object's volume first, on all cores: label surfaces of a large
    // image hold millions of triangles over the frames.
    const std::vector<CMeshObject>& objects = meshes.Objects();
    std::vector<std::optional<double>> mm3(objects.size());
    std::atomic<size_t> next{0};
    const auto work = [&] {
        for (size_t i = next++; i < objects.size(); i = next++) {
            const int frame = objects[i].FrameNumber();
            if (frame >= 0 && frame < frames) mm3[i] = CMeshVolume::Enclosed(objects[i]);
        }
    };
    std::vector<std::thread> helpers;
    const size_t threads =
        std::min<size_t>(std::max(1u, std::thread::hardware_concurrency()), objects.size());
    for (size_t t = 1; t < threads; ++t) helpers.emplace_back(work);
    work();
    for (std::thread& helper : helpers) helper.join();

    // Lines in the order their first object comes in the set. A label's
    // surfaces and a mesh file's objects are never one line, whatever the
    // file calls its objects.
    std::vector<Line> lines;
    std::map<std::pair<std::string, int64_t>, size_t> lineOf;
    std::vector<bool> closed;
    for (size_t i = 0; i < objects.size(); ++i) {
        const int frame = objects[i].FrameNumber();
        if (frame < 0 || frame >= frames) continue;
        const std::string name = objects[i].BaseName();
        auto [at, added] = lineOf.emplace(std::make_pair(name, objects[i].m_label), lines.size());
        if (added) {
            lines.push_back(
                {name, 0, std::vector<double>(static_cast<size_t>(frames), kNoValue), objects[i].m_label});
            closed.push_back(true);
        }
        const size_t line = at->second;
        if (!mm3[i]) {
            closed[line] = false;
            continue;
        }
        // Two objects of one name in one frame are parts of one structure.
        double& ml = lines[line].ml[static_cast<size_t>(frame)];
        ml = (std::isnan(ml) ? 0.0 : ml) + *mm3[i] / 1000.0;
    }
    NameFileLinesApart(lines);
    std::vector<Line> kept;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (closed[i])
            kept.push_back(std::move(lines[i]));
        else
            open.push_back(lines[i].name);
    }
    return kept;
}

void CCurves::NameFileLinesApart(std::vector<Line>& lines) {
    std::set<std::string> taken;
    std::set<std::string> surfaces;
    for (const Line& line : lines) {
        taken.insert(line.name);
        if (line.surfaceOf != 0) surfaces.insert(line.name);
    }
    for (Line& line : lines) {
        if (line.surfaceOf != 0 || surfaces.count(line.name) == 0) continue;
        // The label's surfaces keep the name the exports have always given
        // them; the file's line takes the first free "<name>_file<n>".
        std::string name = line.name;
        name += "_file";
        for (int n = 2; taken.count(name) != 0; ++n) {
            name = line.name;
            name += "_file";
            name += std::to_string(n);
        }
        taken.insert(name);
        line.name = std::move(name);
    }
}

std::optional<CCurves::Ejection> CCurves::Eject(const Line& line, std::string& error) {
    if (line.ml.empty()) {
        error = line.name + " has no frames";
        return std::nullopt;
    }
    for (size_t frame = 0; frame < line.ml.size(); ++frame) {
        // A structure that vanishes in a frame is a segmentation gap, not a
        // volume of 0: an ejection fraction from it would read 100 %.
        if (!(line.ml[frame] > 0.0)) {
            error = "no ejection for " + line.name + ": it has no volume in frame " + std::to_string(frame);
            return std::nullopt;
        }
    }
    const auto largest = std::max_element(line.ml.begin(), line.ml.end());
    const auto smallest = std::min_element(line.ml.begin(), line.ml.end());
    Ejection result;
    result.line = line.name;
    result.label = line.label;
    result.edvMl = *largest;
    result.esvMl = *smallest;
    result.svMl = result.edvMl - result.esvMl;
    result.efPercent = result.svMl / result.edvMl * 100.0;
    result.edFrame = static_cast<int>(largest - line.ml.begin());
    result.esFrame = static_cast<int>(smallest - line.ml.begin());
    return result;
}

int CCurves::AutomaticChoice(const std::vector<Line>& lines) {
    int best = -1;
    double bestVariation = -1.0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::vector<double>& ml = lines[i].ml;
        if (ml.empty() || !std::all_of(ml.begin(), ml.end(), [](double v) { return v > 0.0; })) continue;
        double sum = 0.0;
        for (double v : ml) sum += v;
        const double mean = sum / static_cast<double>(ml.size());
        const double variation =
            (*std::max_element(ml.begin(), ml.end()) - *std::min_element(ml.begin(), ml.end())) / mean;
        if (variation > bestVariation) {
            best = static_cast<int>(i);
            bestVariation = variation;
        }
    }
    return best;
}

void CCurves::Compute(const CViewer& viewer, bool meshes) {
    const CViewerState& state = viewer.State();
    const double pixelSize[3] = {state.m_pixelSizeX, state.m_pixelSizeY, state.m_pixelSizeZ};
    const CLabelImage& labels = viewer.Labels().Image();
    const CMeshSet& set = viewer.View().m_meshes;
    // A mesh name may carry any frame number, up to the largest int: held
    // to the table's limit before counting one past it.
    const int meshFrames = std::min(set.LastFrame(), kMaxFrames) + 1;
    const int frames = std::max({viewer.Volume().Frames(), labels.Frames(), meshFrames});
    const CMeshSet none;
    Compute(labels, pixelSize, meshes ? set : none, frames, state.m_frameTimeMs);
    ComputeValues(viewer, m_labelMeans);
    ComputeMeasurements(viewer);
}

void CCurves::ComputeMeasurements(const CViewer& viewer) {
    m_measureLines.clear();
    const CMeasurementLayer::CVolumeContext context = MeasurementContext(viewer);
    for (const CMeasurement& measurement : viewer.Measurements().Items())
        m_measureLines.push_back(Line{CMeasurementLayer::ColumnName(measurement), 0,
                                      measurement.ValuesPerFrame(m_frames, context.labels, context.metric),
                                      0});
}

CMeasurementLayer::CVolumeContext CCurves::MeasurementContext(const CViewer& viewer) {
    const CTimeVolume& volume = viewer.Volume();
    const CViewerState& state = viewer.State();
    CMeasurementLayer::CVolumeContext context;
    context.size = {volume.SizeX(), volume.SizeY(), volume.SizeZ()};
    context.metric.toPatient = viewer.PatientTransform();
    context.metric.pixelSize = {state.m_pixelSizeX, state.m_pixelSizeY, state.m_pixelSizeZ};
    // Following a label reads the label image voxel by voxel in the volume's numbering.
    const CLabelImage& labels = viewer.Labels().Image();
    if (!labels.Empty() && labels.SizeX() == volume.SizeX() && labels.SizeY() == volume.SizeY() &&
        labels.SizeZ() == volume.SizeZ())
        context.labels = &labels;
    return context;
}

void CCurves::ComputeValues(const CViewer& viewer, bool labelMeans) {
    m_labelMeans = labelMeans;
    const CTimeVolume& volume = viewer.Volume();
    const std::array<int, 3> voxel = viewer.FileVoxel();
    m_valueLine.ml.assign(static_cast<size_t>(m_frames), kNoValue);
    for (int frame = 0; frame < m_frames && frame < volume.Frames(); ++frame)
        m_valueLine.ml[static_cast<size_t>(frame)] =
            volume.Value(voxel[0], voxel[1], voxel[2], frame).value_or(kNoValue);
    m_meanLines.clear();
    const CLabelImage& labels = viewer.Labels().Image();
    if (!labelMeans || labels.Empty() || volume.SizeX() != labels.SizeX() ||
        volume.SizeY() != labels.SizeY() || volume.SizeZ() != labels.SizeZ())
        return;
    // The label image lies on the volume's grid in the file's voxel order
    // (a label image that did not was refused or reordered when it loaded).
    const size_t count = labels.Values().size();
    for (size_t index = 1; index < count; ++index)
        m_meanLines.push_back({"label" + std::to_string(labels.Values()[index]) + "_mean",
                               labels.Values()[index],
                               std::vector<double>(static_cast<size_t>(m_frames), kNoValue), 0});
    std::vector<double> sums(count);
    std::vector<int64_t> voxels(count);
    for (int frame = 0; frame < m_frames && frame < volume.Frames(); ++frame) {
        const uint8_t* indices = labels.FrameVoxels(labels.Frames() == 1 ? 0 : frame);
        if (indices == nullptr) continue;
        std::fill(sums.begin(), sums.end(), 0.0);
        std::fill(voxels.begin(), voxels.end(), 0);
        for (int k = 0; k < labels.SizeZ(); ++k)
            for (int j = 0; j < labels.SizeY(); ++j)
                for (int i = 0; i < labels.SizeX(); ++i, ++indices) {
                    if (*indices == 0 || *indices >= count) continue;
                    const std::optional<double> value = volume.Value(i, j, k, frame);
                    if (!value) continue;
                    sums[*indices] += *value;
                    ++voxels[*indices];
                }
        for (size_t index = 1; index < count; ++index)
            if (voxels[index] > 0)
                m_meanLines[index - 1].ml[static_cast<size_t>(frame)] =
                    sums[index] / static_cast<double>(voxels[index]);
    }
}

void CCurves::Compute(const CLabelImage& labels, const double pixelSizeMm[3], const CMeshSet& meshes,
                      int frames, double frameTimeMs) {
    m_frames = std::clamp(frames, 0, kMaxFrames);
    m_frameTimeMs = frameTimeMs;
    m_labelLines = LabelVolumes(labels, pixelSizeMm);
    // A one-frame label image lies over every frame.
    for (Line& line : m_labelLines)
        if (line.ml.size() == 1) line.ml.assign(static_cast<size_t>(m_frames), line.ml.front());
    m_openMeshes.clear();
    m_meshLines = MeshVolumes(meshes, m_frames, m_openMeshes);
    m_valueLine.ml.clear();
    m_meanLines.clear();
}

std::optional<CCurves::Ejection> CCurves::LabelEjection(int64_t label, std::string& error) const {
    if (m_labelLines.empty()) {
        error = "no ejection: there is no label image";
        return std::nullopt;
    }
    if (label == 0) {
        const int choice = AutomaticChoice(m_labelLines);
        if (choice < 0) {
            error = "no ejection: every label lacks volume in some frame";
            return std::nullopt;
        }
        std::optional<Ejection> result = Eject(m_labelLines[static_cast<size_t>(choice)], error);
        if (result) result->automatic = true;
        return result;
    }
    for (const Line& line : m_labelLines)
        if (line.label == label) return Eject(line, error);
    error = "no ejection: the label image has no label " + std::to_string(label);
    return std::nullopt;
}

std::string CCurves::Csv() const {
    // Fields are appended one by one: the table of a long series is large,
    // and each row is built in place rather than from joined pieces.
    std::string text = "frame,time_ms";
    const auto field = [&text](const std::string& value) {
        text += ',';
        text += value;
    };
    for (const Line& line : m_labelLines) field(Field(line.name + "_ml"));
    for (const Line& line : m_meshLines) field(Field(line.name + "_mesh_ml"));
    for (const Line& line : m_measureLines) field(Field(line.name));
    field(m_valueLine.name);
    text += '\n';
    for (int frame = 0; frame < m_frames; ++frame) {
        text += std::to_string(frame);
        field(Number(frame * m_frameTimeMs));
        const auto f = static_cast<size_t>(frame);
        for (const Line& line : m_labelLines) field(f < line.ml.size() ? Number(line.ml[f]) : std::string());
        for (const Line& line : m_meshLines) field(Number(line.ml[f]));
        for (const Line& line : m_measureLines)
            field(f < line.ml.size() ? Number(line.ml[f]) : std::string());
        field(f < m_valueLine.ml.size() ? Number(m_valueLine.ml[f]) : std::string());
        text += '\n';
    }
    return text;
}
