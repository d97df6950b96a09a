#include "HeadlessRun.h"

#include <unistd.h>

#include <cstdio>
#include <string>

#include "HeadlessHost.h"
#include "OffscreenView.h"
#include "PathUtils.h"
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
bool ReportErrors(CHeadlessDialogs& dialogs, size_t& from) {
    // Notes (what a load left out) are printed but do not fail the run.
    for (const std::string& note : dialogs.m_notes) std::fprintf(stderr, "orvanta: %s\n", note.c_str());
    dialogs.m_notes.clear();
    const bool any = dialogs.m_errors.size() > from;
    for (; from < dialogs.m_errors.size(); ++from) std::fprintf(stderr, "orvanta: %s\n", dialogs.m_errors[from].c_str());
    return any;
}

// The format of the volume and, for DICOM, the series found and the one loaded.
std::string FormatInfo(const CViewer& viewer) {
    std::string text = ", \"format\": " + JsonString(viewer.m_volumeFormat);
    if (viewer.m_volumeFormat != "dicom") return text;
    text += ", \"series\": [";
    for (size_t i = 0; i < viewer.m_seriesList.size(); ++i) text += (i ? ", " : "") + JsonString(viewer.m_seriesList[i]);
    text += "], \"series_uid\": ";
    if (viewer.m_seriesUids.size() == 1) return text + JsonString(viewer.m_seriesUids[0]);
    // The stack: the UIDs of the series it is made of.
    text += "[";
    for (size_t i = 0; i < viewer.m_seriesUids.size(); ++i) text += (i ? ", " : "") + JsonString(viewer.m_seriesUids[i]);
    return text + "]";
}

}  // namespace

std::string InfoJson(const CViewer& viewer) {
    const CTimeVolume& v = viewer.m_volume;
    const CMeshSet& meshes = viewer.m_view.m_meshes;
    size_t vertices = 0, triangles = 0;
    for (const CMeshObject& object : meshes.Objects()) {
        vertices += object.m_vertices.size();
        triangles += object.m_triangles.size();
    }
    return FormatText(
        "{\"volume\": {\"path\": %s, \"size\": [%d, %d, %d], \"frames\": %d, \"pixel_size_mm\": [%.15g, %.15g, "
        "%.15g], \"frame_time_ms\": %d, \"saturation\": %.15g, \"saturation_level\": %u}, \"meshes\": {\"path\": "
        "%s, \"objects\": %d, \"last_frame\": %d, \"vertices\": %zu, \"triangles\": %zu}, \"position\": [%d, %d, "
        "%d], \"frame\": %d, \"last_frame_index\": %d%s}\n",
        JsonString(viewer.m_tviPath).c_str(), v.m_sizeX, v.m_sizeY, v.m_sizeZ, v.m_frames, viewer.m_pixelSizeX,
        viewer.m_pixelSizeY, viewer.m_pixelSizeZ, viewer.m_frameTimeMs, viewer.m_saturation,
        static_cast<unsigned>(v.m_saturationLevel), JsonString(viewer.m_geometryPath).c_str(),
        meshes.ObjectCount(), meshes.LastFrame(), vertices, triangles, viewer.m_x, viewer.m_y, viewer.m_z,
        viewer.m_t, viewer.LastFrameIndex(), FormatInfo(viewer).c_str());
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
    const std::string extension = PathExtension(file);
    if (!file.empty() && extension != "tvi" && extension != "obj" && !CViewer::OpensAsDicom(file)) {
        std::fprintf(stderr, "orvanta: %s: only .tvi, .obj and DICOM files and folders can be loaded\n",
                     file.c_str());
        return 2;
    }
    // Standard output carries --info; the readers' diagnostics go to
    // standard error meanwhile.
    std::fflush(stdout);
    const int savedOutput = dup(STDOUT_FILENO);
    dup2(STDERR_FILENO, STDOUT_FILENO);
    bool failed = false;
    viewer.m_seriesChoice = commandLine.series;
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
        }
        if (ReportErrors(host.m_dialogs, reported) || !done) return 1;
    }
    return 0;
}
