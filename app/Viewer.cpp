#include "Viewer.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "LabelEditing.h"
#include "LabelFile.h"
#include "MeasurementEditing.h"
#include "MeasurementMarks.h"
#include "MeshSet.h"
#include "PathUtils.h"
#include "PatientFrame.h"
#include "SaturatingCast.h"
#include "SceneGeometry.h"
#include "TextFormat.h"
#include "VolumeFormat.h"
#include "VolumeGrid.h"
#include "Workspace.h"

namespace {

// Rounding to the nearest integer, halves away from zero, for the title.
long RoundHalfAway(double value) {
    return std::isfinite(value) ? std::lround(value) : 0;
}

}  // namespace

CViewer::CViewer(CViewInterface& view, CViewerHost& host)
    : m_view(view),
      m_host(host),
      m_labels(m_state, m_volume, view, host),
      m_navigation(m_state, m_volume, view.m_meshes, host, m_notices) {
    m_view.m_distance = 800.0;
    DeriveScene();
    // The viewer's own view follows first, so that the panels told after it
    // read a view already up to date.
    m_notices.Subscribe([this](unsigned changes) { Follow(changes); });
    m_editing = std::make_unique<CLabelEditing>(*this);
    m_measurementEditing = std::make_unique<CMeasurementEditing>(*this);
}

CViewer::~CViewer() = default;

void CViewer::Follow(unsigned changes) {
    if ((changes & ~(kChangeCamera | kChangeMeasurements)) != 0) {
        RefreshView();
    } else {
        // Measurements are drawn over the planes: nothing to upload again.
        if ((changes & kChangeMeasurements) != 0) {
            DeriveScene();
            m_view.Repaint();
        }
        UpdateTitle();
    }
    // The readout names the voxel, its frame and time, its patient position and value.
    if ((changes & (kChangeVolume | kChangePosition | kChangeFrame | kChangeCalibration)) != 0)
        m_host.ShowReadout(ReadoutText(m_hoverVoxel ? *m_hoverVoxel : FileVoxel()));
}

void CViewer::DeriveScene() {
    m_view.m_showBoundingBox = m_state.m_boundingBox;
    m_view.m_showAxes = m_state.m_axes;
    m_view.m_clipGeometry = m_state.m_clipGeometry;
    m_view.m_drawGeometry = m_state.m_drawGeometry;
    m_view.m_bilinear = m_state.m_bilinear;
    m_view.m_showPlane[0] = m_state.m_showX;
    m_view.m_showPlane[1] = m_state.m_showY;
    m_view.m_showPlane[2] = m_state.m_showZ;
    m_view.m_meshFrame = m_state.m_t;
    m_view.m_showDirectionLetters = m_state.m_showOrientation;
    m_view.m_measureMarks = CMeasurementMarks::Of(*this);
    // Yellow reads on black and on grey; on white, dark blue does.
    const double letters[2][3] = {{1.0, 1.0, 0.0}, {0.0, 0.0, 0.5}};
    std::copy(letters[m_state.m_whiteBackground], letters[m_state.m_whiteBackground] + 3, m_view.m_letterColour);
    if (m_volume.SizeX() > 0) {
        const CDisplayWindow window = m_volume.Window();
        m_view.m_colourBarLow = window.center - window.width / 2;
        m_view.m_colourBarHigh = window.center + window.width / 2;
    }
    const std::optional<CAffine> transform = PatientTransform();
    for (int axis = 0; axis < 3; ++axis) {
        std::string* ends = m_view.m_directionLetters[axis];
        ends[0].clear();
        ends[1].clear();
        if (!transform || m_volume.SizeX() == 0) continue;
        // The millimetre frame's x runs along the file's columns, its y
        // against the rows (the first row lies at the top), its z along the slices.
        CAffine::Vector direction = transform->Step(axis);
        if (axis == 1)
            for (double& component : direction) component = -component;
        ends[1] = CAffine::DirectionLetters(direction);
        for (double& component : direction) component = -component;
        ends[0] = CAffine::DirectionLetters(direction);
    }
}

std::string CViewer::TextureRefusal(int sizeX, int sizeY, int sizeZ) const {
    if (sizeX <= 0 || sizeY <= 0 || sizeZ <= 0) return "";
    const int held = m_view.MaxTextureSize();
    const int limit = held > 0 ? std::min(held, kMaxTextureSide) : kMaxTextureSide;
    const std::pair<const char*, int> sides[] = {{"X", sizeX}, {"Y", sizeY}, {"Z", sizeZ}};
    for (const auto& [name, size] : sides) {
        // The gathered planes are resampled to PowerOfTwoTextureSize, which
        // is never below the side itself, so this covers the XY plane too.
        const int texture = PowerOfTwoTextureSize(size);
        if (texture == 0 || texture > limit)
            return FormatText(
                "The slices are too large to show: %s = %d, and the textures here hold at most %d "
                "pixels a side.",
                name, size, limit);
    }
    return "";
}

std::optional<CAffine> CViewer::PatientTransform() const {
    const std::optional<CAffine>& file = m_volume.FileInfo().m_transform;
    if (!file) return std::nullopt;
    const double now[3] = {m_state.m_pixelSizeX, m_state.m_pixelSizeY, m_state.m_pixelSizeZ};
    double length[3];
    for (int axis = 0; axis < 3; ++axis) {
        const CAffine::Vector step = file->Step(axis);
        length[axis] = std::sqrt(step[0] * step[0] + step[1] * step[1] + step[2] * step[2]) * now[axis] /
                       m_transformPixelSize[axis];
    }
    return file->WithStepLengths(length[0], length[1], length[2]);
}

std::optional<CAffine> CViewer::SceneToPatient() const {
    const std::optional<CAffine> transform = PatientTransform();
    if (!transform || m_volume.SizeY() == 0) return std::nullopt;
    return CPatientFrame(Grid(), *transform).SceneToPatient();
}

CVolumeGrid CViewer::Grid() const {
    return CVolumeGrid({m_volume.SizeX(), m_volume.SizeY(), m_volume.SizeZ()},
                       {m_state.m_pixelSizeX, m_state.m_pixelSizeY, m_state.m_pixelSizeZ});
}

std::array<int, 3> CViewer::FileVoxel() const {
    return Grid().OtherNumbering({m_state.m_x, m_state.m_y, m_state.m_z});
}

std::optional<CAffine::Vector> CViewer::WorldPosition() const {
    const std::optional<CAffine> transform = PatientTransform();
    if (!transform || m_volume.SizeX() == 0) return std::nullopt;
    const std::array<int, 3> voxel = FileVoxel();
    return transform->Apply({double(voxel[0]), double(voxel[1]), double(voxel[2])});
}

std::optional<double> CViewer::ValueAt(const std::array<int, 3>& voxel) const {
    return m_volume.Value(voxel[0], voxel[1], voxel[2], m_navigation.DisplayFrame());
}

std::string CViewer::ReadoutText(const std::array<int, 3>& voxel) const {
    if (m_volume.SizeX() == 0) return "";
    const int frame = m_navigation.DisplayFrame();
    const std::vector<double>& times = m_volume.FileInfo().m_frameTimes;
    // A frame may lie outside the volume's (the meshes' own, a locked one).
    const double ms = frame >= 0 && frame < static_cast<int>(times.size()) ? times[static_cast<size_t>(frame)]
                                                                           : double(frame) * m_state.m_frameTimeMs;
    std::string text = FormatText("voxel %d, %d, %d   frame %d, %g ms", voxel[0], voxel[1], voxel[2], frame, ms);
    if (const std::optional<CAffine> transform = PatientTransform()) {
        const CAffine::Vector p = transform->Apply({double(voxel[0]), double(voxel[1]), double(voxel[2])});
        text += FormatText("   RAS %.1f, %.1f, %.1f mm", p[0], p[1], p[2]);
    }
    if (const std::optional<double> value = ValueAt(voxel)) {
        // Whole numbers as they are (int32 data has more digits than %g shows).
        const bool whole = std::abs(*value) < 1e15 && *value == std::floor(*value);
        text += whole ? FormatText("   value %.0f", *value) : FormatText("   value %.6g", *value);
    }
    return text;
}

void CViewer::OnHover(double x, double y, int width, int height) {
    m_hoverVoxel.reset();
    if (m_volume.SizeX() > 0 && width > 0) {
        if (const std::optional<CPlaneHit> hit = PickPlane(m_view, m_view, width, height, x, y)) {
            // The planes lie through voxel centres; the other two axes are
            // cut into voxels of the pixel sizes.
            m_hoverVoxel = Grid().VoxelCellOfScene(hit->point);
        }
    }
    m_host.ShowReadout(ReadoutText(m_hoverVoxel ? *m_hoverVoxel : FileVoxel()));
}

void CViewer::SetVoxel(const std::array<int, 3>& voxel) {
    const std::array<int, 3> position = Grid().OtherNumbering(voxel);
    m_navigation.SetPosition(position[0], position[1], position[2]);
}

void CViewer::SetBrightnessContrast(double brightness, double contrast) {
    m_state.m_brightness = brightness;
    m_state.m_contrast = contrast;
    m_view.SetBrightnessContrast(brightness, contrast);
    m_notices.Announce(kChangeDisplay);
}

bool CViewer::SetWindow(const std::optional<CDisplayWindow>& window) {
    if (m_volume.SizeX() == 0) return false;
    if (!window)
        m_volume.ResetWindow();
    else if (!m_volume.SetWindow(*window))
        return false;
    m_notices.Announce(kChangeDisplay);
    return true;
}

void CViewer::SetColourMap(EColourMap map) {
    m_view.m_colourMap = map;
    m_view.m_showColourBar = map != EColourMap::kGrey;
    m_notices.Announce(kChangeDisplay);
}

void CViewer::StepBrightnessContrast(bool contrast, double delta) {
    // The bounds apply to the stored sums: ten steps up from 0.5 overshoot 1.0
    // slightly and store exactly 1.0, ten steps down leave a tiny positive value.
    double& value = contrast ? m_state.m_contrast : m_state.m_brightness;
    value += delta;
    if (value > 1.0) value = 1.0;
    if (value < 0.0) value = 0.0;
    SetBrightnessContrast(m_state.m_brightness, m_state.m_contrast);
}

void CViewer::StepLabelOpacity(double delta) {
    // Kept on tenths, so that ten steps reach exactly 0 or 1.
    m_view.m_labelOpacity = std::clamp(std::round((m_view.m_labelOpacity + delta) * 10.0) / 10.0, 0.0, 1.0);
    m_notices.Announce(kChangeDisplay);
}

void CViewer::SetSwitch(bool CViewerState::* flag, bool on) {
    m_state.*flag = on;
    m_notices.Announce(kChangeDisplay);
}

void CViewer::SetViewSwitch(bool CSceneState::* flag, bool on) {
    m_view.*flag = on;
    m_notices.Announce(kChangeDisplay);
}

void CViewer::SetMeshExportChoice(bool allFrames, bool patientSpace) {
    m_state.m_allMeshFrames = allFrames;
    m_state.m_meshesInPatientSpace = patientSpace;
}

void CViewer::SetLoadSettings(double saturation, const std::string& seriesChoice) {
    m_state.m_saturation = saturation;
    m_state.m_seriesChoice = seriesChoice;
}

void CViewer::RefreshView() {
    DeriveScene();
    const int frame = m_navigation.DisplayFrame();
    int size[3];
    m_labels.GridSize(size);
    // Planes that no texture can hold are not made: the view shows none.
    const bool refused = size[0] > 0 && !TextureRefusal(size[0], size[1], size[2]).empty();
    if (refused) {
        for (int plane = 0; plane < 3; ++plane) m_view.SetSliceTexture(plane, 0, 0, nullptr);
    } else if (size[0] > 0) {
        const int index[3] = {m_state.m_x, m_state.m_y, m_state.m_z};
        const double pixelSize[3] = {m_state.m_pixelSizeX, m_state.m_pixelSizeY, m_state.m_pixelSizeZ};
        const CVolumeGrid grid({size[0], size[1], size[2]}, {pixelSize[0], pixelSize[1], pixelSize[2]});
        for (int axis = 0; axis < 3; ++axis) {
            m_view.m_slicePos[axis] = grid.PlaneFraction(axis, index[axis]);
            m_view.m_extent[axis] = size[axis] * pixelSize[axis];
            m_view.m_target[static_cast<size_t>(axis)] = m_view.m_extent[axis] / 2.0;
        }
    }
    if (m_volume.SizeX() > 0 && !refused) {
        const int index[3] = {m_state.m_x, m_state.m_y, m_state.m_z};
        for (int plane = 0; plane < 3; ++plane) {
            CSliceImage slice = m_volume.GetSlice(plane, index[plane], frame, true);
            m_view.SetSliceTexture(plane, slice.m_height, slice.m_width, slice.m_data);
            FreeSliceImage(slice);
        }
    }
    if (!refused) m_labels.UploadOverlay();
    if (m_state.m_whiteBackground)
        m_view.SetClearColor(1, 1, 1);
    else
        m_view.SetClearColor(0, 0, 0);
    m_view.Repaint();
    UpdateTitle();
    TellIfFileChanged();
}

void CViewer::TellIfFileChanged() {
    // The volume reads its samples from the file's own pages: once the file
    // changes, what is shown may no longer be what it holds. Said once a load.
    if (m_state.m_toldFileChanged || !m_volume.FileChanged()) return;
    m_state.m_toldFileChanged = true;
    m_host.Dialogs().ShowMessage("Error",
                                 "The file " + m_state.m_volumePath +
                                     " changed on disk while it was shown: the picture and values may no "
                                     "longer be what it holds, and what it lost reads as 0. Open it again "
                                     "to see it as it is now.",
                                 CDialogService::Icon::kError);
}

std::string CViewer::TitleText() const {
    // A "*" leads while label edits are not saved.
    const char* unsaved = m_editing != nullptr && m_editing->Unsaved() ? "*" : "";
    const CViewerState& s = m_state;
    if (s.m_positionInfo) {
        constexpr double kDegrees = 57.29577951308232;
        return FormatText("%s%s%s%s - (x,y,z,t)=[%i %i %i %02i] - (az,el,d)=[%li %li %li]", unsaved,
                          s.m_baseTitle.c_str(), s.m_fileTitle.empty() ? "" : " - ", s.m_fileTitle.c_str(),
                          s.m_x, s.m_y, s.m_z, s.m_t, RoundHalfAway(m_view.m_azimuth * kDegrees) + 90,
                          RoundHalfAway(m_view.m_elevation * kDegrees), RoundHalfAway(m_view.m_distance));
    }
    std::string title = unsaved + s.m_baseTitle;
    if (!s.m_fileTitle.empty()) title += " - " + s.m_fileTitle;
    if (!s.m_geometryPath.empty()) title += " / " + FileNameOfPath(s.m_geometryPath);
    if (m_view.m_selectedObject != -1) {
        const std::vector<int> objects = m_view.m_meshes.ObjectsOfFrame(s.m_t);
        const int selected = m_view.m_selectedObject;
        if (selected >= 0 && selected < static_cast<int>(objects.size()))
            title += " [" + m_view.m_meshes.Object(objects[static_cast<size_t>(selected)]).m_name + "]";
    }
    return title;
}

void CViewer::UpdateTitle() {
    const std::string title = TitleText();
    if (title != m_host.Title()) m_host.SetTitle(title);
}

void CViewer::OpenStartupFile(const std::string& fileName) {
    m_state.m_baseTitle = m_host.Title();
    if (fileName.empty()) {
        // The movies of the current folder, when there are any.
        LoadVolume("", "", EVolumeFormat::kMovieFolder);
        return;
    }
    if (!OpenFile(fileName))
        m_host.Dialogs().ShowMessage(
            "Error",
            "Only " + OpenableKindsText() + " and " + MeshExtensionsText() + " meshes can be loaded.",
            CDialogService::Icon::kNone);
}

CViewer::EFileKind CViewer::FileKindOf(const std::string& path) {
    if (IsMeshFileName(path)) return EFileKind::kMeshes;
    if (CWorkspace::IsWorkspaceName(path)) return EFileKind::kWorkspace;
    if (VolumeFormatOfPath(path) != nullptr) return EFileKind::kVolume;
    return EFileKind::kNone;
}

bool CViewer::OpenFile(const std::string& path) {
    switch (FileKindOf(path)) {
        case EFileKind::kVolume:
            LoadVolumeFile(path);
            return true;
        case EFileKind::kMeshes:
            LoadGeometryFile(path);
            if (m_state.m_geometryPath == path) m_host.NoteRecentFile(path);
            return true;
        case EFileKind::kWorkspace:
            CWorkspace::OpenFile(path, *this);
            return true;
        case EFileKind::kNone:
            break;
    }
    return false;
}

void CViewer::LoadVolume(const std::string& path, const std::string& choice, EVolumeFormat format) {
    // Label edits not saved are kept, saved or let go first: the labels may
    // not fit the new volume.
    if (!m_editing->MayDiscard()) return;
    m_host.SetWaitCursor(true);
    m_host.SetTitle(m_state.m_baseTitle + " - Loading volume...");
    m_host.LoadProgress(0.0);
    // The file is loaded aside and replaces the shown volume only once it
    // loaded, so a file that fails leaves everything as it was.
    CTimeVolume loaded;
    loaded.KeepCalibration(m_volume);
    // A volume that could not be shown is refused before its samples are read.
    loaded.SetSizeCheck([this](int32_t x, int32_t y, int32_t z) { return TextureRefusal(x, y, z); });
    const CTimeVolume::Progress progress = [this](double fraction) { m_host.LoadProgress(fraction); };
    bool ok = false;
    std::string failure;
    if (m_startupPreload && m_volume.SizeX() == 0 && format == EVolumeFormat::kNone &&
        m_startupPreload->IsFor(path, m_state.m_saturation)) {
        ok = m_startupPreload->Finish(loaded, progress);
        failure = loaded.LastFailure();
        // The view's texture limit was not known when that load began.
        if (const std::string refusal = TextureRefusal(loaded.SizeX(), loaded.SizeY(), loaded.SizeZ());
            ok && !refusal.empty()) {
            ok = false;
            failure = FailedToOpen(loaded.FileInfo().m_format, path, refusal).Message();
        }
    } else {
        COpenRequest request;
        request.choice = choice.empty() ? m_state.m_seriesChoice : choice;
        request.ask = [this](const CChoiceTable& table) { return m_host.Dialogs().AskChoice(table); };
        ok = loaded.LoadFile(path, m_state.m_saturation, progress, request, format);
        failure = loaded.LastFailure();
    }
    m_startupPreload.reset();
    m_host.LoadProgress(1.0);
    if (!ok) {
        UpdateTitle();
        m_host.SetWaitCursor(false);
        m_host.Dialogs().ShowMessage("Error", failure, CDialogService::Icon::kError);
        return;
    }
    AdoptVolume(loaded, path);
    m_host.SetWaitCursor(false);
}

void CViewer::AdoptVolume(CTimeVolume& loaded, const std::string& path) {
    const CVolumeFileInfo& file = m_volume.FileInfo();
    const CVolumeFormat* format = nullptr;
    {
        // The companion meshes' load is part of this one notice.
        const CViewerNotices::CBatch batch(m_notices);
        m_volume.Swap(loaded);
        loaded.Clear();
        // Measurements lie on the voxels of the volume they were placed on.
        m_measurements.Clear();
        format = &VolumeFormatRow(file.m_format);
        m_state.m_volumePath = path;
        m_state.m_fileTitle = file.m_title;
        m_state.m_toldFileChanged = false;
        m_state.m_t = 0;
        m_state.m_x = m_volume.SizeX() / 2;
        m_state.m_y = m_volume.SizeY() / 2;
        m_state.m_z = m_volume.SizeZ() / 2;
        AdoptCalibration();
        m_transformPixelSize[0] = m_state.m_pixelSizeX;
        m_transformPixelSize[1] = m_state.m_pixelSizeY;
        m_transformPixelSize[2] = m_state.m_pixelSizeZ;
        // Labels that no longer fit go, and the rest get surfaces at the new voxel size.
        m_labels.FitToVolume();
        ShowAsItsKindIs();
        m_notices.Announce(kChangeVolume | kChangePosition | kChangeFrame | kChangeCalibration | kChangeLabels |
                           kChangeMeshes);
        if (format->companionMeshes) {
            const std::string meshes = PathWithoutVolumeExtension(path) + kMeshFileExtension;
            if (FileExists(meshes)) LoadGeometryFile(meshes);
        }
    }
    if (!path.empty()) m_host.NoteRecentFile(path);
    if (!file.m_notes.empty()) {
        std::string caption = format->noun;
        if (caption.rfind("the ", 0) == 0) caption.erase(0, 4);
        caption[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(caption[0])));
        std::string text;
        for (const std::string& note : file.m_notes) text += (text.empty() ? "" : "\n") + note;
        m_host.Dialogs().ShowMessage(caption, text, CDialogService::Icon::kInformation);
    }
    for (const std::string& warning : file.m_warnings)
        m_host.Dialogs().ShowMessage("Error", warning, CDialogService::Icon::kError);
}

void CViewer::ShowAsItsKindIs() {
    // Phase and velocity images are signed about 0: a diverging map with 0
    // in its white middle, over a window as wide either side as the largest
    // value. Every other load starts grey, through its own load default.
    m_view.m_colourMap = EColourMap::kGrey;
    if (const std::string& kind = m_volume.FileInfo().m_imageKind; kind == "phase" || kind == "velocity") {
        if (const std::optional<CDisplayWindow> full = m_volume.PresetWindow(EWindowPreset::kFullRange)) {
            const double low = full->center - full->width / 2, high = full->center + full->width / 2;
            const double most = std::max(std::abs(low), std::abs(high));
            if (most > 0 && m_volume.SetWindow({0.0, 2 * most})) m_view.m_colourMap = EColourMap::kDiverging;
        }
    }
    m_view.m_showColourBar = m_view.m_colourMap != EColourMap::kGrey;
}

void CViewer::AdoptCalibration() {
    const CVolumeCalibration& c = m_volume.FileInfo().m_calibration;
    CViewerState& s = m_state;
    if (!c.m_pixelSizeX && !c.m_pixelSizeY && !c.m_pixelSizeZ && !c.m_frameTime) {
        // A file without calibration brings the values the volume kept from
        // an earlier file again.
        if (m_volume.PixelSizeX() > 0) {
            s.m_pixelSizeX = m_volume.PixelSizeX();
            s.m_pixelSizeY = m_volume.PixelSizeY();
            s.m_pixelSizeZ = m_volume.PixelSizeZ();
            s.m_frameTimeMs = TruncToInt(m_volume.FrameTime());
        }
        return;
    }
    // Otherwise each value is set on its own, and only where the file gives
    // a usable one; the rest stay as they are.
    if (c.m_pixelSizeX && *c.m_pixelSizeX > 0) s.m_pixelSizeX = *c.m_pixelSizeX;
    if (c.m_pixelSizeY && *c.m_pixelSizeY > 0) s.m_pixelSizeY = *c.m_pixelSizeY;
    if (c.m_pixelSizeZ && *c.m_pixelSizeZ > 0) s.m_pixelSizeZ = *c.m_pixelSizeZ;
    if (c.m_frameTime) s.m_frameTimeMs = TruncToInt(*c.m_frameTime);
}

void CViewer::LoadGeometryFile(const std::string& path) {
    m_host.SetWaitCursor(true);
    CMeshSet loaded;
    std::string error;
    if (!loaded.Load(path, error)) {
        m_host.SetWaitCursor(false);
        // The meshes on screen stay, and so does the name the title gives them.
        m_host.Dialogs().ShowMessage("Error", "Cannot load the meshes from " + path + ": " + error + ".",
                                     CDialogService::Icon::kError);
        return;
    }
    m_state.m_geometryPath = path;
    // The label meshes, the last of the set, stay with the new file's meshes.
    std::vector<CMeshObject> labelMeshes(m_view.m_meshes.Objects().end() - m_labels.MeshCount(),
                                         m_view.m_meshes.Objects().end());
    loaded.AddObjects(std::move(labelMeshes));
    m_view.m_meshes = std::move(loaded);

    const Vec3d c = m_view.m_meshes.Centroid();
    const CVolumeGrid::Index at = Grid().PositionNearScene({c.x, c.y, c.z});
    m_state.m_x = at[0];
    m_state.m_y = at[1];
    m_state.m_z = at[2];

    if (m_volume.SizeX() == 0 && m_labels.Empty()) {
        // Without a volume the meshes make the scene: a box twice their centroid.
        m_state.m_fileTitle = FileNameOfPath(path);
        m_view.m_extent[0] = 2 * c.x;
        m_view.m_extent[1] = 2 * c.y;
        m_view.m_extent[2] = 2 * c.z;
        m_view.m_target = {c.x, c.y, c.z};
        for (int plane = 0; plane < 3; ++plane) m_view.m_slicePos[plane] = 0.5;
        m_state.m_showX = m_state.m_showY = m_state.m_showZ = false;
    }
    m_notices.Announce(kChangeMeshes | kChangePosition);
    m_host.SetWaitCursor(false);
}

void CViewer::LoadLabelFile(const std::string& path) {
    if (!m_editing->MayDiscard(false)) return;
    CLabelLayer::CGridChange change;
    if (m_labels.Load(path, change)) AdoptLabelGrid(change);
}

bool CViewer::ShowLabels(CLabelImage&& labels, const std::string& path) {
    if (!m_editing->MayDiscard(false)) return false;
    CLabelLayer::CGridChange change;
    if (!m_labels.Show(std::move(labels), path, change)) return false;
    AdoptLabelGrid(change);
    return true;
}

void CViewer::AdoptLabelGrid(const CLabelLayer::CGridChange& change) {
    unsigned changes = kChangeLabels | kChangeMeshes;
    if (change.pixelSize) {
        m_state.m_pixelSizeX = (*change.pixelSize)[0];
        m_state.m_pixelSizeY = (*change.pixelSize)[1];
        m_state.m_pixelSizeZ = (*change.pixelSize)[2];
        changes |= kChangeCalibration;
    }
    if (change.centre) {
        m_state.m_x = (*change.centre)[0];
        m_state.m_y = (*change.centre)[1];
        m_state.m_z = (*change.centre)[2];
        m_state.m_showX = m_state.m_showY = m_state.m_showZ = true;
        changes |= kChangePosition | kChangeDisplay;
    }
    if (!change.fileTitle.empty()) m_state.m_fileTitle = change.fileTitle;
    m_notices.Announce(changes);
}

void CViewer::OnDropFiles(const std::vector<std::string>& paths, bool asLabels) {
    if (paths.size() != 1) return;
    const std::string& path = paths[0];
    if (asLabels) {
        if (IsLabelFileName(path))
            LoadLabelFile(path);
        else
            m_host.Dialogs().ShowMessage(
                "Error",
                "Only " + ExtensionsText(EVolumeFormat::kNifti) + " files can be dropped as label images.",
                CDialogService::Icon::kNone);
        return;
    }
    if (!OpenFile(path))
        m_host.Dialogs().ShowMessage(
            "Error",
            "Only " + OpenableKindsText() + " and " + MeshExtensionsText() + " meshes can be drag'n'dropped.",
            CDialogService::Icon::kNone);
}
