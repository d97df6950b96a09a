#include "LabelLayer.h"

#include <algorithm>
#include <new>

#include "LabelDescriptions.h"
#include "LabelFile.h"
#include "LabelPalette.h"
#include "LabelSurface.h"
#include "PathUtils.h"
#include "TextFormat.h"

namespace {

std::string GridText(int x, int y, int z, int frames) {
    return FormatText("%i x %i x %i voxels with %i frame%s", x, y, z, frames, frames == 1 ? "" : "s");
}

}  // namespace

CLabelLayer::CLabelLayer(const CViewerState& state, const CTimeVolume& volume, CViewInterface& view,
                         CViewerHost& host)
    : m_state(state), m_volume(volume), m_view(view), m_host(host) {}

void CLabelLayer::GridSize(int size[3]) const {
    const bool volume = m_volume.SizeX() > 0;
    size[0] = volume ? m_volume.SizeX() : m_labels.SizeX();
    size[1] = volume ? m_volume.SizeY() : m_labels.SizeY();
    size[2] = volume ? m_volume.SizeZ() : m_labels.SizeZ();
}

int CLabelLayer::Frame() const {
    if (m_labels.Frames() <= 1) return 0;
    const int frame = m_state.m_lockedFrame != -1 ? m_state.m_lockedFrame : m_state.m_t;
    return std::clamp(frame, 0, m_labels.Frames() - 1);
}

void CLabelLayer::UploadOverlay() {
    PublishLabelColours();
    if (m_labels.Empty()) {
        if (m_overlayUploaded)
            for (int plane = 0; plane < 3; ++plane) m_view.SetLabelTexture(plane, 0, 0, nullptr);
        m_overlayUploaded = false;
        return;
    }
    // A hidden label leaves its voxels as clear as the background's.
    std::vector<std::array<uint8_t, 4>> colours;
    for (const int64_t value : m_labels.Values()) {
        const std::array<uint8_t, 4> look = m_table.Look(value);
        colours.push_back(look[3] != 0 ? look : std::array<uint8_t, 4>{0, 0, 0, 0});
    }
    const int index[3] = {m_state.m_x, m_state.m_y, m_state.m_z};
    for (int plane = 0; plane < 3; ++plane) {
        CSliceImage slice = m_labels.GetSlice(plane, index[plane], Frame(), true);
        const std::vector<uint8_t> rgba = CLabelPalette::Colourise(slice, colours);
        m_view.SetLabelTexture(plane, slice.m_height, slice.m_width, rgba.empty() ? nullptr : rgba.data());
        FreeSliceImage(slice);
    }
    m_overlayUploaded = true;
}

CLabelLayer::PixelSize CLabelLayer::StatePixelSize() const {
    return {m_state.m_pixelSizeX, m_state.m_pixelSizeY, m_state.m_pixelSizeZ};
}

std::vector<CMeshObject> CLabelLayer::Meshes(const CLabelImage& labels, int frames, const PixelSize& pixelSize,
                                             const CSurfaceChoice* only) {
    const auto chosen = [only](const auto& list, auto item) {
        return only == nullptr || std::binary_search(list.begin(), list.end(), item);
    };
    std::vector<CLabelSurface::Job> jobs;
    for (int frame = 0; frame < labels.Frames(); ++frame) {
        if (only != nullptr && !chosen(only->frames, frame)) continue;
        const CLabelGrid grid{labels.FrameVoxels(frame),
                              labels.SizeX(),
                              labels.SizeY(),
                              labels.SizeZ(),
                              {pixelSize[0], pixelSize[1], pixelSize[2]}};
        for (size_t index = 1; index < labels.Values().size(); ++index)
            if (labels.VoxelCount(frame, static_cast<int>(index)) > 0 &&
                (only == nullptr || chosen(only->values, labels.Values()[index])))
                jobs.push_back(
                    {grid, static_cast<uint8_t>(index),
                     FormatText("label%lld-%02d", static_cast<long long>(labels.Values()[index]), frame)});
    }
    std::vector<CMeshObject> meshes = CLabelSurface::ExtractAll(
        jobs, [this](double fraction) { m_host.LoadProgress(0.5 + 0.5 * fraction); });
    // The surfaces say which label they stand for, so that the renderer and
    // the curves tell them from a mesh file's objects of the same name.
    for (size_t i = 0; i < meshes.size(); ++i) meshes[i].m_label = labels.Values()[jobs[i].label];
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

bool CLabelLayer::TryMeshes(const CLabelImage& labels, const std::string& path, int frames,
                            const PixelSize& pixelSize, std::vector<CMeshObject>& meshes,
                            const CSurfaceChoice* only) {
    std::string failure;
    try {
        meshes = Meshes(labels, frames, pixelSize, only);
        return true;
    } catch (const std::bad_alloc&) {
        failure = "Not enough memory for the surfaces of " + path + ".";
    } catch (const std::exception& e) {
        // The surface module could not be loaded.
        failure = "The surfaces of " + path + " cannot be made: " + e.what() + ".";
    }
    m_host.Dialogs().ShowMessage("Error", failure, CDialogService::Icon::kError);
    return false;
}

bool CLabelLayer::PlaceByGeometry(CLabelImage& labels, const std::string& path, bool tell) {
    const std::optional<CAffine>& grid = m_volume.FileInfo().m_transform;
    if (m_volume.SizeX() == 0 || !grid || !labels.m_transform) return true;
    const std::optional<CAffine> undo = grid->Inverse();
    const int size[3] = {m_volume.SizeX(), m_volume.SizeY(), m_volume.SizeZ()};
    if (undo && labels.PlaceOnGrid(undo->Then(*labels.m_transform), size)) {
        ++m_generation;
        // Voxels put in another order need surfaces made anew.
        if (labels.m_transform->Rows() != grid->Rows()) m_meshFrames = -1;
        labels.m_transform = grid;
        return true;
    }
    if (tell)
        m_host.Dialogs().ShowMessage(
            "Error",
            "The label image " + path + " does not lie on the volume's voxels: it has " +
                GridText(labels.SizeX(), labels.SizeY(), labels.SizeZ(), labels.Frames()) + " (orientation " +
                labels.m_transform->AxisCodes() + "), the volume " +
                GridText(m_volume.SizeX(), m_volume.SizeY(), m_volume.SizeZ(), m_volume.Frames()) +
                " (orientation " + grid->AxisCodes() +
                "). A label image can be placed on the volume when its voxels are the volume's, in any "
                "order of the axes and either direction along each.",
            CDialogService::Icon::kError);
    return false;
}

bool CLabelLayer::Show(CLabelImage&& labels, const std::string& path, CGridChange& change) {
    const bool volume = m_volume.SizeX() > 0;
    if (!PlaceByGeometry(labels, path, true)) return false;
    if (volume && (labels.SizeX() != m_volume.SizeX() || labels.SizeY() != m_volume.SizeY() ||
                   labels.SizeZ() != m_volume.SizeZ() ||
                   (labels.Frames() != 1 && labels.Frames() != m_volume.Frames()))) {
        m_host.Dialogs().ShowMessage(
            "Error",
            "The label image " + path + " does not fit the volume: it has " +
                GridText(labels.SizeX(), labels.SizeY(), labels.SizeZ(), labels.Frames()) + ", the volume " +
                GridText(m_volume.SizeX(), m_volume.SizeY(), m_volume.SizeZ(), m_volume.Frames()) +
                ". A label image needs the volume's size and one frame or as many as the volume.",
            CDialogService::Icon::kError);
        return false;
    }
    if (!volume && !(labels.m_pixelSize[0] > 0 && labels.m_pixelSize[1] > 0 && labels.m_pixelSize[2] > 0)) {
        m_host.Dialogs().ShowMessage(
            "Error",
            "The label image " + path + " gives no pixel sizes, and there is no volume to take them from.",
            CDialogService::Icon::kError);
        return false;
    }

    int before[3];
    GridSize(before);
    change = {};
    // Without a volume the labels make the grid, with their own voxel size.
    if (!volume) change.pixelSize = PixelSize{labels.m_pixelSize[0], labels.m_pixelSize[1], labels.m_pixelSize[2]};
    const PixelSize pixelSize = change.pixelSize ? *change.pixelSize : StatePixelSize();
    const int frames = volume ? m_volume.Frames() : labels.Frames();
    std::vector<CMeshObject> meshes;
    if (!TryMeshes(labels, path, frames, pixelSize, meshes)) {
        change = {};
        return false;
    }

    ReplaceMeshes(std::move(meshes), frames, pixelSize);
    m_labels = std::move(labels);
    TakeIdentity(path);
    int after[3];
    GridSize(after);
    // The position stays, unless the labels brought a grid of their own.
    if (!std::equal(before, before + 3, after)) change.centre = {after[0] / 2, after[1] / 2, after[2] / 2};
    if (m_state.m_fileTitle.empty()) change.fileTitle = FileNameOfPath(path);
    return true;
}

bool CLabelLayer::Load(const std::string& path, CGridChange& change) {
    m_host.SetWaitCursor(true);
    m_host.LoadProgress(0.0);
    CLabelImage labels;
    CLabelFileOrigin origin;
    std::string error;
    bool read = false;
    try {
        read = ReadLabelFile(path, labels, origin, error,
                             [this](double fraction) { m_host.LoadProgress(0.5 * fraction); });
    } catch (const std::bad_alloc&) {
        error = "not enough memory";
    }
    const bool shown = read && Show(std::move(labels), path, change);
    if (shown) m_origin = std::move(origin);
    m_host.LoadProgress(1.0);
    m_host.SetWaitCursor(false);
    if (!read)
        m_host.Dialogs().ShowMessage("Error", "Cannot load the label image " + path + ":\n" + error,
                                     CDialogService::Icon::kError);
    if (shown) LoadDescriptions(path);
    return shown;
}

void CLabelLayer::LoadDescriptions(const std::string& labelPath) {
    std::vector<CLabelDescription> descriptions;
    std::string refusal;
    const std::string found = FindLabelDescriptions(labelPath, &descriptions, &refusal);
    if (found.empty()) {
        // The labels are shown all the same, by number and in the palette's colours.
        const std::string why =
            "The label names and colours cannot be read, so the labels are shown by number "
            "in their usual colours:\n";
        if (!refusal.empty())
            m_host.Dialogs().ShowMessage("Warning", why + refusal, CDialogService::Icon::kWarning);
        return;
    }
    m_table.Load(descriptions);
    m_descriptionsPath = found;
    m_descriptionsOf = labelPath;
}

bool CLabelLayer::SaveDescriptions(const std::string& labelPath, std::string& error) {
    // Saved under another name, the image takes a description file of its own.
    const std::string target = !m_descriptionsPath.empty() && labelPath == m_descriptionsOf
                                   ? m_descriptionsPath
                                   : LabelDescriptionsPathFor(labelPath);
    if (!WriteLabelDescriptions(target, m_table.Descriptions(m_labels), error)) return false;
    m_descriptionsPath = target;
    m_descriptionsOf = labelPath;
    return true;
}

void CLabelLayer::PublishLabelColours() {
    m_view.m_labelColours.clear();
    if (m_labels.Empty()) return;
    for (const int64_t value : m_labels.Values())
        if (value != 0) m_view.m_labelColours[value] = m_table.Look(value);
}

void CLabelLayer::FitToVolume() {
    if (m_labels.Empty()) return;
    const bool volume = m_volume.SizeX() > 0;
    if (!PlaceByGeometry(m_labels, m_path, false) ||
        (volume && (m_labels.SizeX() != m_volume.SizeX() || m_labels.SizeY() != m_volume.SizeY() ||
                    m_labels.SizeZ() != m_volume.SizeZ() ||
                    (m_labels.Frames() != 1 && m_labels.Frames() != m_volume.Frames())))) {
        ReplaceMeshes({}, 0, StatePixelSize());
        m_labels.Clear();
        TakeIdentity("");
        return;
    }
    // Surfaces lie in millimetres: a new voxel size or frame count needs new ones.
    const int frames = volume ? m_volume.Frames() : m_labels.Frames();
    const PixelSize pixelSize = StatePixelSize();
    if (m_meshPixelSize == pixelSize && m_meshFrames == frames) return;
    std::vector<CMeshObject> meshes;
    if (TryMeshes(m_labels, m_path, frames, pixelSize, meshes)) ReplaceMeshes(std::move(meshes), frames, pixelSize);
}

void CLabelLayer::ReplaceMeshes(std::vector<CMeshObject>&& meshes, int frames, const PixelSize& pixelSize) {
    m_view.m_meshes.Truncate(m_view.m_meshes.ObjectCount() - m_meshCount);
    m_meshCount = static_cast<int>(meshes.size());
    m_view.m_meshes.AddObjects(std::move(meshes));
    m_meshPixelSize = pixelSize;
    m_meshFrames = frames;
}

void CLabelLayer::RemakeSurfaces(const std::vector<int>& frames, const std::vector<int64_t>& values) {
    if (m_labels.Empty() || frames.empty() || values.empty() || m_meshFrames <= 0) return;
    CSurfaceChoice choice{frames, values};
    std::sort(choice.frames.begin(), choice.frames.end());
    std::sort(choice.values.begin(), choice.values.end());
    std::vector<CMeshObject> made;
    if (!TryMeshes(m_labels, m_path, m_meshFrames, m_meshPixelSize, made, &choice)) return;
    // The surfaces of a single label frame stand under every frame's name.
    auto remade = [&](const CMeshObject& object) {
        return (m_labels.Frames() == 1 ||
                std::binary_search(choice.frames.begin(), choice.frames.end(), object.FrameNumber())) &&
               std::binary_search(choice.values.begin(), choice.values.end(), object.m_label);
    };
    std::vector<CMeshObject> kept = m_view.m_meshes.TakeFrom(m_view.m_meshes.ObjectCount() - m_meshCount);
    std::erase_if(kept, remade);
    for (CMeshObject& object : made) kept.push_back(std::move(object));
    // In the order a whole making gives: by frame, then by label.
    std::stable_sort(kept.begin(), kept.end(), [](const CMeshObject& a, const CMeshObject& b) {
        const int frameA = a.FrameNumber(), frameB = b.FrameNumber();
        return frameA != frameB ? frameA < frameB : a.m_label < b.m_label;
    });
    m_meshCount = static_cast<int>(kept.size());
    m_view.m_meshes.AddObjects(std::move(kept));
}

bool CLabelLayer::RepeatOverFrames(std::string& error) {
    const int frames = m_volume.Frames();
    if (m_labels.Frames() != 1 || frames <= 1) return true;
    if (!m_labels.RepeatFrame(frames)) {
        error = "not enough memory for a label image of " + std::to_string(frames) + " frames";
        return false;
    }
    // The surfaces were already repeated under every frame's name.
    m_origin.reset();
    ++m_generation;
    return true;
}

void CLabelLayer::TakeIdentity(const std::string& path) {
    m_path = path;
    m_origin.reset();
    ++m_generation;
    ++m_identity;
    // Names and colours come with a file (Load); labels shown alone start without.
    m_table.Clear();
    m_descriptionsPath.clear();
    m_descriptionsOf.clear();
}
