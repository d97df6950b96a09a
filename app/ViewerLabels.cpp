// Label images: loading them, their overlay on the planes, the surface
// meshes made from them, and saving the meshes as an .obj file.

#include <algorithm>
#include <cmath>
#include <new>

#include "LabelFile.h"
#include "LabelSurface.h"
#include "LabelPalette.h"
#include "PathUtils.h"
#include "TextFormat.h"
#include "Viewer.h"
#include "VolumeFormat.h"

namespace {

std::string GridText(int x, int y, int z, int frames) {
    return FormatText("%i x %i x %i voxels with %i frame%s", x, y, z, frames, frames == 1 ? "" : "s");
}

}  // namespace

void CViewer::GridSize(int size[3]) const {
    const bool volume = m_volume.m_sizeX > 0;
    size[0] = volume ? m_volume.m_sizeX : m_labels.SizeX();
    size[1] = volume ? m_volume.m_sizeY : m_labels.SizeY();
    size[2] = volume ? m_volume.m_sizeZ : m_labels.SizeZ();
}

int CViewer::LabelFrame() const {
    if (m_labels.Frames() <= 1) return 0;
    const int frame = m_lockedFrame != -1 ? m_lockedFrame : m_t;
    return std::clamp(frame, 0, m_labels.Frames() - 1);
}

void CViewer::UploadLabelOverlay() {
    if (m_labels.Empty()) {
        if (m_labelOverlayUploaded)
            for (int plane = 0; plane < 3; ++plane) m_view.SetLabelTexture(plane, 0, 0, nullptr);
        m_labelOverlayUploaded = false;
        return;
    }
    const int index[3] = {m_x, m_y, m_z};
    for (int plane = 0; plane < 3; ++plane) {
        CSliceImage slice = m_labels.GetSlice(plane, index[plane], LabelFrame(), true);
        const std::vector<uint8_t> rgba = CLabelPalette::Colourise(slice, m_labels.Values());
        m_view.SetLabelTexture(plane, slice.m_height, slice.m_width, rgba.empty() ? nullptr : rgba.data());
        FreeSliceImage(slice);
    }
    m_labelOverlayUploaded = true;
}

std::vector<CMeshObject> CViewer::LabelMeshes(const CLabelImage& labels, int frames) {
    const double pixelSize[3] = {m_pixelSizeX, m_pixelSizeY, m_pixelSizeZ};
    std::vector<CLabelSurface::Job> jobs;
    for (int frame = 0; frame < labels.Frames(); ++frame) {
        const CLabelGrid grid{labels.FrameVoxels(frame), labels.SizeX(), labels.SizeY(), labels.SizeZ(),
                              {pixelSize[0], pixelSize[1], pixelSize[2]}};
        for (size_t index = 1; index < labels.Values().size(); ++index)
            if (labels.VoxelCount(frame, static_cast<int>(index)) > 0)
                jobs.push_back({grid, static_cast<uint8_t>(index),
                                FormatText("label%lld-%02d", static_cast<long long>(labels.Values()[index]), frame)});
    }
    std::vector<CMeshObject> meshes =
        CLabelSurface::ExtractAll(jobs, [this](double fraction) { m_host.LoadProgress(0.5 + 0.5 * fraction); });
    // One frame of labels serves every frame of the volume: its surfaces are
    // repeated under each frame's name.
    if (labels.Frames() == 1 && frames > 1) {
        const size_t single = meshes.size();
        meshes.reserve(single * static_cast<size_t>(frames));
        for (int frame = 1; frame < frames; ++frame)
            for (size_t i = 0; i < single; ++i) {
                CMeshObject copy = meshes[i];
                copy.m_name = FormatText("%s-%02d", meshes[i].BaseName().c_str(), frame);
                meshes.push_back(std::move(copy));
            }
    }
    return meshes;
}

bool CViewer::ShowLabels(CLabelImage&& labels, const std::string& path) {
    const bool volume = m_volume.m_sizeX > 0;
    if (volume && (labels.SizeX() != m_volume.m_sizeX || labels.SizeY() != m_volume.m_sizeY ||
                   labels.SizeZ() != m_volume.m_sizeZ || (labels.Frames() != 1 && labels.Frames() != m_volume.m_frames))) {
        m_host.Dialogs().ShowMessage(
            "Error",
            "The label image " + path + " does not fit the volume: it has " +
                GridText(labels.SizeX(), labels.SizeY(), labels.SizeZ(), labels.Frames()) + ", the volume " +
                GridText(m_volume.m_sizeX, m_volume.m_sizeY, m_volume.m_sizeZ, m_volume.m_frames) +
                ". A label image needs the volume's size and one frame or as many as the volume.",
            CDialogService::Icon::kError);
        return false;
    }
    if (!volume && !(labels.m_pixelSize[0] > 0 && labels.m_pixelSize[1] > 0 && labels.m_pixelSize[2] > 0)) {
        m_host.Dialogs().ShowMessage("Error",
                                     "The label image " + path +
                                         " gives no pixel sizes, and there is no volume to take them from.",
                                     CDialogService::Icon::kError);
        return false;
    }

    int before[3];
    GridSize(before);
    const double savedPixelSize[3] = {m_pixelSizeX, m_pixelSizeY, m_pixelSizeZ};
    if (!volume) {
        // The labels make the grid, with their own voxel size.
        m_pixelSizeX = labels.m_pixelSize[0];
        m_pixelSizeY = labels.m_pixelSize[1];
        m_pixelSizeZ = labels.m_pixelSize[2];
    }
    std::vector<CMeshObject> meshes;
    const int frames = volume ? m_volume.m_frames : labels.Frames();
    std::string failure;
    try {
        meshes = LabelMeshes(labels, frames);
    } catch (const std::bad_alloc&) {
        failure = "Not enough memory for the surfaces of " + path + ".";
    } catch (const std::exception& e) {
        // The surface module could not be loaded.
        failure = "The surfaces of " + path + " cannot be made: " + e.what() + ".";
    }
    if (!failure.empty()) {
        m_pixelSizeX = savedPixelSize[0];
        m_pixelSizeY = savedPixelSize[1];
        m_pixelSizeZ = savedPixelSize[2];
        m_host.Dialogs().ShowMessage("Error", failure, CDialogService::Icon::kError);
        return false;
    }

    ReplaceLabelMeshes(std::move(meshes), frames);
    m_labels = std::move(labels);
    m_labelPath = path;
    int after[3];
    GridSize(after);
    // The position stays, unless the labels brought a grid of their own.
    if (!std::equal(before, before + 3, after)) {
        m_x = after[0] / 2;
        m_y = after[1] / 2;
        m_z = after[2] / 2;
        for (int plane = 0; plane < 3; ++plane) m_view.m_showPlane[plane] = true;
        m_showX = m_showY = m_showZ = true;
    }
    if (m_fileTitle.empty()) m_fileTitle = FileNameOfPath(path);
    RefreshView();
    return true;
}

void CViewer::LoadLabelFile(const std::string& path) {
    m_host.SetWaitCursor(true);
    m_host.LoadProgress(0.0);
    CLabelImage labels;
    std::string error;
    bool read = false;
    try {
        read = ReadLabelFile(path, labels, error, [this](double fraction) { m_host.LoadProgress(0.5 * fraction); });
    } catch (const std::bad_alloc&) {
        error = "not enough memory";
    }
    if (read) ShowLabels(std::move(labels), path);
    m_host.LoadProgress(1.0);
    m_host.SetWaitCursor(false);
    if (!read)
        m_host.Dialogs().ShowMessage("Error", "Cannot load the label image " + path + ":\n" + error,
                                     CDialogService::Icon::kError);
}

void CViewer::FitLabelsToVolume() {
    if (m_labels.Empty()) return;
    const bool volume = m_volume.m_sizeX > 0;
    if (volume && (m_labels.SizeX() != m_volume.m_sizeX || m_labels.SizeY() != m_volume.m_sizeY ||
                   m_labels.SizeZ() != m_volume.m_sizeZ ||
                   (m_labels.Frames() != 1 && m_labels.Frames() != m_volume.m_frames))) {
        ReplaceLabelMeshes({}, 0);
        m_labels.Clear();
        m_labelPath.clear();
        return;
    }
    // Surfaces lie in millimetres: a new voxel size or frame count needs new ones.
    const int frames = volume ? m_volume.m_frames : m_labels.Frames();
    if (m_labelMeshPixelSize[0] == m_pixelSizeX && m_labelMeshPixelSize[1] == m_pixelSizeY &&
        m_labelMeshPixelSize[2] == m_pixelSizeZ && m_labelMeshFrames == frames)
        return;
    std::vector<CMeshObject> meshes;
    try {
        meshes = LabelMeshes(m_labels, frames);
    } catch (const std::bad_alloc&) {
        m_host.Dialogs().ShowMessage("Error", "Not enough memory for the surfaces of " + m_labelPath + ".",
                                     CDialogService::Icon::kError);
        return;
    } catch (const std::exception& e) {
        m_host.Dialogs().ShowMessage("Error", "The surfaces of " + m_labelPath + " cannot be made: " + e.what() + ".",
                                     CDialogService::Icon::kError);
        return;
    }
    ReplaceLabelMeshes(std::move(meshes), frames);
}

void CViewer::ReplaceLabelMeshes(std::vector<CMeshObject>&& meshes, int frames) {
    m_view.m_meshes.Truncate(m_view.m_meshes.ObjectCount() - m_labelMeshCount);
    m_labelMeshCount = static_cast<int>(meshes.size());
    m_view.m_meshes.AddObjects(std::move(meshes));
    m_labelMeshPixelSize[0] = m_pixelSizeX;
    m_labelMeshPixelSize[1] = m_pixelSizeY;
    m_labelMeshPixelSize[2] = m_pixelSizeZ;
    m_labelMeshFrames = frames;
}

void CViewer::OnLoadLabels() {
    const std::string path = m_host.Dialogs().AskOpenFileName(
        {"Label images (" + ExtensionGlobs(EVolumeFormat::kNifti) + ")", "", ""});
    if (!path.empty()) LoadLabelFile(path);
}

void CViewer::OnLabelOverlay() {
    m_view.m_showLabels = !m_view.m_showLabels;
    m_view.Repaint();
}

void CViewer::StepLabelOpacity(double delta) {
    // Kept on tenths, so that ten steps reach exactly 0 or 1.
    m_view.m_labelOpacity = std::clamp(std::round((m_view.m_labelOpacity + delta) * 10.0) / 10.0, 0.0, 1.0);
    m_view.Repaint();
}

void CViewer::OnSaveGeometry() {
    const std::string& named = m_volume.m_fileInfo.m_path.empty() ? m_labelPath : m_volume.m_fileInfo.m_path;
    const std::string base = PathWithoutVolumeExtension(named);
    const std::string path = m_host.Dialogs().AskSaveFileName(
        {std::string("OBJ files (*") + kMeshFileExtension + ")", kMeshFileExtension + 1,
         base.empty() ? "" : base + "_geometry" + kMeshFileExtension});
    if (!path.empty()) SaveGeometry(path);
}

bool CViewer::SaveGeometry(const std::string& path) {
    std::string error;
    if (m_view.m_meshes.SaveObj(path, error)) return true;
    m_host.Dialogs().ShowMessage("Error", "Cannot write the meshes to " + path + ": " + error,
                                 CDialogService::Icon::kError);
    return false;
}
