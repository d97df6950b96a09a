#include "HeadlessRun.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "HeadlessHost.h"
#include "OffscreenView.h"
#include "TextFormat.h"
#include "Viewer.h"

namespace {

std::string JsonString(const std::string& text) {
    if (text.empty()) return "null";
    std::string out = "\"";
    for (const unsigned char c : text) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c < 0x20) {
            out += FormatText("\\u%04x", c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

// Prints the errors collected since `from` and says whether there were any.
bool ReportErrors(const CHeadlessDialogs& dialogs, size_t& from) {
    const bool any = dialogs.m_errors.size() > from;
    for (; from < dialogs.m_errors.size(); ++from) std::fprintf(stderr, "orvanta: %s\n", dialogs.m_errors[from].c_str());
    return any;
}

}  // namespace

// The label image: its file, grid, labels and, per label, the voxel count of each frame.
static std::string LabelsJson(const CViewer& viewer) {
    const CLabelImage& labels = viewer.m_labels;
    if (labels.Empty()) return "null";
    std::string values, counts;
    for (size_t i = 1; i < labels.Values().size(); ++i) {
        const std::string value = std::to_string(labels.Values()[i]);
        values += (i > 1 ? ", " : "") + value;
        counts += std::string(i > 1 ? ", " : "") + "\"" + value + "\": [";
        for (int frame = 0; frame < labels.Frames(); ++frame)
            counts += (frame > 0 ? ", " : "") + std::to_string(labels.VoxelCount(frame, static_cast<int>(i)));
        counts += "]";
    }
    return FormatText("{\"path\": %s, \"size\": [%d, %d, %d], \"frames\": %d, \"labels\": [%s], "
                      "\"voxels_per_frame\": {%s}, \"meshes\": %d}",
                      JsonString(viewer.m_labelPath).c_str(), labels.SizeX(), labels.SizeY(), labels.SizeZ(),
                      labels.Frames(), values.c_str(), counts.c_str(), viewer.m_labelMeshCount);
}

std::string InfoJson(const CViewer& viewer) {
    const CTimeVolume& v = viewer.m_volume;
    const CMeshSet& meshes = viewer.m_view.m_meshes;
    size_t vertices = 0, triangles = 0;
    for (const CMeshObject& object : meshes.Objects()) {
        vertices += object.m_vertices.size();
        triangles += object.m_triangles.size();
    }
    const CVolumeFileInfo& file = v.m_fileInfo;
    const std::string valueRange =
        file.m_valueRange ? FormatText("[%.17g, %.17g]", (*file.m_valueRange)[0], (*file.m_valueRange)[1])
                          : "null";
    return FormatText(
        "{\"volume\": {\"path\": %s, \"format\": %s, \"datatype\": %s, \"value_range\": %s, \"size\": [%d, "
        "%d, "
        "%d], \"frames\": %d, \"pixel_size_mm\": [%.15g, %.15g, %.15g], \"frame_time_ms\": %d, "
        "\"saturation\": "
        "%.15g, \"saturation_level\": %u}, \"meshes\": {\"path\": "
        "%s, \"objects\": %d, \"last_frame\": %d, \"vertices\": %zu, \"triangles\": %zu}, \"position\": [%d, "
        "%d, "
        "%d], \"frame\": %d, \"last_frame_index\": %d, \"labels\": %s}\n",
        JsonString(viewer.m_tviPath).c_str(), JsonString(file.m_format).c_str(),
        JsonString(file.m_datatype).c_str(), valueRange.c_str(), v.m_sizeX, v.m_sizeY, v.m_sizeZ, v.m_frames,
        viewer.m_pixelSizeX, viewer.m_pixelSizeY, viewer.m_pixelSizeZ, viewer.m_frameTimeMs,
        viewer.m_saturation, static_cast<unsigned>(v.m_saturationLevel),
        JsonString(viewer.m_geometryPath).c_str(), meshes.ObjectCount(), meshes.LastFrame(), vertices,
        triangles, viewer.m_x, viewer.m_y, viewer.m_z, viewer.m_t, viewer.LastFrameIndex(), LabelsJson(viewer).c_str());
}

int RunHeadless(const CCommandLine& commandLine) {
    COffscreenView view;
    if (!view.Create(commandLine.width, commandLine.height)) {
        std::fprintf(stderr, "orvanta: cannot draw without a display: %s\n", view.ErrorText().c_str());
        return 1;
    }
    CHeadlessHost host;
    CViewer viewer(view, host);
    size_t reported = 0;

    const std::string& file = commandLine.file;
    if (!file.empty() && CViewer::FileKindOf(file) == CViewer::EFileKind::kNone) {
        std::fprintf(stderr,
                     "orvanta: %s: only .tvi, .nii and .nii.gz volumes and .obj meshes can be loaded\n",
                     file.c_str());
        return 2;
    }
    // Standard output carries --info; the readers' diagnostics go to
    // standard error meanwhile.
    std::fflush(stdout);
    const int savedOutput = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    bool failed = false;
    viewer.OpenStartupFile(file);
    // Movies that could not be read are skipped with a warning; a named file must load.
    failed = ReportErrors(host.m_dialogs, reported) && !file.empty();
    for (size_t i = 0; i < commandLine.state.size() && !failed; ++i) {
        CCommandLine::ApplyState(commandLine.state[i], viewer);
        failed = ReportErrors(host.m_dialogs, reported);
    }
    std::fflush(stdout);
    dup2(savedOutput, STDOUT_FILENO);
    close(savedOutput);
    if (failed) return 1;

    for (const CCommandLine::Option& output : commandLine.outputs) {
        bool done = true;
        if (output.name == "info") {
            std::fputs(InfoJson(viewer).c_str(), stdout);
            std::fflush(stdout);
        } else if (output.name == "snapshot") {
            done = viewer.SaveSnapshot(output.text);
        } else if (output.name == "save-plane") {
            if (viewer.m_volume.m_sizeX == 0) {
                std::fprintf(stderr, "orvanta: --save-plane needs a volume\n");
                return 2;
            }
            done = viewer.SavePlane(static_cast<int>(output.numbers[0]), output.text);
        } else if (output.name == "export-avi") {
            done = viewer.ExportMovie(output.text);
        } else if (output.name == "export-obj") {
            done = viewer.SaveGeometry(output.text);
        }
        if (ReportErrors(host.m_dialogs, reported) || !done) return 1;
    }
    return 0;
}
