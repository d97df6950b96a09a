#include "Viewer.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "MeshSet.h"
#include "PathUtils.h"
#include "TextFormat.h"

namespace {

// Truncation toward zero that stays defined for any double: values a file
// may carry (NaN, 1e300) give 0 or the nearest int instead of undefined behaviour.
int TruncToInt(double value) {
    if (std::isnan(value)) return 0;
    if (value >= std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (value <= std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return static_cast<int>(value);
}

// Rounding to the nearest integer, halves away from zero, for the title.
long RoundHalfAway(double value) { return std::isfinite(value) ? std::lround(value) : 0; }

}  // namespace

CViewer::CViewer(CViewModel& view, CViewerHost& host) : m_view(view), m_host(host) {
    m_view.m_distance = 800.0;
    CopySwitchesToView();
}

void CViewer::CopySwitchesToView() {
    m_view.m_showBoundingBox = m_boundingBox;
    m_view.m_showAxes = m_axes;
    m_view.m_clipGeometry = m_clipGeometry;
    m_view.m_drawGeometry = m_drawGeometry;
}

int CViewer::LastFrameIndex() const { return std::max(m_volume.m_frames - 1, m_view.m_meshes.LastFrame()); }

int CViewer::DisplayFrame() const {
    if (m_lockedFrame != -1) return m_lockedFrame;
    return std::min(m_t, m_volume.m_frames - 1);
}

void CViewer::RefreshView() {
    const int frame = DisplayFrame();
    const CTimeVolume& v = m_volume;
    if (v.m_sizeX > 0) {
        m_view.m_slicePos[0] = (m_x + 0.5) / v.m_sizeX;
        m_view.m_slicePos[1] = (m_y + 0.5) / v.m_sizeY;
        m_view.m_slicePos[2] = (m_z + 0.5) / v.m_sizeZ;
        m_view.m_extent[0] = v.m_sizeX * m_pixelSizeX;
        m_view.m_extent[1] = v.m_sizeY * m_pixelSizeY;
        m_view.m_extent[2] = v.m_sizeZ * m_pixelSizeZ;
        for (int axis = 0; axis < 3; ++axis)
            m_view.m_target[static_cast<size_t>(axis)] = m_view.m_extent[axis] / 2.0;
        const int index[3] = {m_x, m_y, m_z};
        for (int plane = 0; plane < 3; ++plane) {
            CSliceImage slice = m_volume.GetSlice(plane, index[plane], frame, true);
            m_view.SetSliceTexture(plane, slice.m_height, slice.m_width, slice.m_data);
            FreeSliceImage(slice);
        }
    }
    m_view.m_meshFrame = m_t;
    if (m_whiteBackground)
        m_view.SetClearColor(1, 1, 1);
    else
        m_view.SetClearColor(0, 0, 0);
    m_view.Repaint();
    UpdateTitle();
}

std::string CViewer::TitleText() const {
    if (m_positionInfo) {
        constexpr double kDegrees = 57.29577951308232;
        return FormatText("%s%s%s - (x,y,z,t)=[%i %i %i %02i] - (az,el,d)=[%li %li %li]", m_baseTitle.c_str(),
                          m_fileTitle.empty() ? "" : " - ", m_fileTitle.c_str(), m_x, m_y, m_z, m_t,
                          RoundHalfAway(m_view.m_azimuth * kDegrees) + 90,
                          RoundHalfAway(m_view.m_elevation * kDegrees), RoundHalfAway(m_view.m_distance));
    }
    std::string title = m_baseTitle;
    if (!m_fileTitle.empty()) title += " - " + m_fileTitle;
    if (!m_geometryPath.empty()) title += " / " + FileNameOfPath(m_geometryPath);
    if (m_view.m_selectedObject != -1) {
        const std::vector<int> objects = m_view.m_meshes.ObjectsOfFrame(m_t);
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
    m_baseTitle = m_host.Title();
    if (fileName.empty()) {
        LoadAviDirectory();
        return;
    }
    const std::string extension = PathExtension(fileName);
    if (OpensAsDicom(fileName)) {
        LoadDicom(fileName);
    } else if (extension == "tvi") {
        LoadTviFile(fileName);
    } else if (extension == "obj") {
        LoadGeometryFile(fileName);
    } else {
        m_host.Dialogs().ShowMessage("Error", "Only .tvi files and .obj can be loaded.",
                                     CDialogService::Icon::kNone);
    }
}

void CViewer::LoadTviFile(const std::string& path) {
    m_host.SetWaitCursor(true);
    m_host.SetTitle(m_baseTitle + " - Loading volume...");
    m_volume.Clear();
    m_tviPath = path;
    m_dicomPath.clear();
    m_volumeFormat = "tvi";
    m_fileTitle = FileNameOfPath(path);
    m_host.LoadProgress(0.0);
    const bool loaded =
        m_volume.LoadTvi(m_tviPath, m_saturation, [this](double fraction) { m_host.LoadProgress(fraction); });
    m_host.LoadProgress(1.0);
    m_t = 0;
    m_x = m_volume.m_sizeX / 2;
    m_y = m_volume.m_sizeY / 2;
    m_z = m_volume.m_sizeZ / 2;
    if (m_volume.m_pixelSizeX > 0) {
        m_pixelSizeX = m_volume.m_pixelSizeX;
        m_pixelSizeY = m_volume.m_pixelSizeY;
        m_pixelSizeZ = m_volume.m_pixelSizeZ;
        m_frameTimeMs = TruncToInt(m_volume.m_frameTime);
    }
    const std::string meshes = PathWithoutExtension(path) + ".obj";
    if (FileExists(meshes)) LoadGeometryFile(meshes);
    RefreshView();
    m_host.SetWaitCursor(false);
    // An unreadable file shows as an empty volume; say why, or it would look
    // like an empty file.
    if (!loaded)
        m_host.Dialogs().ShowMessage("Error", "Cannot load the time volume " + path + ":\n" + m_volume.LastError(),
                                     CDialogService::Icon::kError);
}

void CViewer::LoadGeometryFile(const std::string& path) {
    m_host.SetWaitCursor(true);
    CMeshSet loaded;
    if (!loaded.LoadObj(path)) {
        m_host.SetWaitCursor(false);
        // The meshes on screen stay, and so does the name the title gives them.
        m_host.Dialogs().ShowMessage("Error", "Cannot load the meshes from " + path + ".",
                                     CDialogService::Icon::kError);
        return;
    }
    m_geometryPath = path;
    m_view.m_meshes = std::move(loaded);

    const Vec3d c = m_view.m_meshes.Centroid();
    const int ix = TruncToInt(TruncToInt(c.x + 0.5) / m_pixelSizeX);
    const int iy = TruncToInt(TruncToInt(c.y + 0.5) / m_pixelSizeY);
    const int iz = TruncToInt(TruncToInt(c.z + 0.5) / m_pixelSizeZ);
    // The x index runs against the mesh x axis (the YZ plane lies at the mirrored x).
    m_x = static_cast<int>(std::clamp<long long>(static_cast<long long>(m_volume.m_sizeX) - ix,
                                                 std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
    m_y = iy;
    m_z = iz;

    if (m_volume.m_sizeX == 0) {
        // Without a volume the meshes make the scene: a box twice their centroid.
        m_fileTitle = FileNameOfPath(path);
        m_view.m_extent[0] = 2 * c.x;
        m_view.m_extent[1] = 2 * c.y;
        m_view.m_extent[2] = 2 * c.z;
        m_view.m_target = {c.x, c.y, c.z};
        for (int plane = 0; plane < 3; ++plane) {
            m_view.m_slicePos[plane] = 0.5;
            m_view.m_showPlane[plane] = false;
        }
        m_showX = m_showY = m_showZ = false;
    }
    RefreshView();
    m_host.SetWaitCursor(false);
}

void CViewer::OnDropFiles(const std::vector<std::string>& paths) {
    if (paths.size() != 1) return;
    const std::string& path = paths[0];
    const std::string extension = PathExtension(path);
    if (OpensAsDicom(path)) {
        LoadDicom(path);
    } else if (extension == "tvi") {
        LoadTviFile(path);
    } else if (extension == "obj") {
        LoadGeometryFile(path);
    } else {
        m_host.Dialogs().ShowMessage("Error", "Only .tvi files and .obj can be drag'n'dropped.",
                                     CDialogService::Icon::kNone);
    }
}

void CViewer::LoadAviDirectory(const std::string& folder) {
    m_host.SetWaitCursor(true);
    m_host.SetTitle(m_baseTitle + " - Loading volume...");
    m_volume.Clear();
    m_fileTitle.clear();
    m_host.LoadProgress(0.0);
    const std::vector<CSkippedMovie> skipped =
        m_volume.LoadAviDirectory(folder, [this](double fraction) { m_host.LoadProgress(fraction); });
    m_host.LoadProgress(1.0);
    m_host.SetTitle(m_baseTitle);
    if (m_volume.m_sizeX >= 1) {
        m_t = 0;
        m_x = m_volume.m_sizeX / 2;
        m_y = m_volume.m_sizeY / 2;
        m_z = m_volume.m_sizeZ / 2;
    }
    RefreshView();
    m_host.SetWaitCursor(false);
    if (!skipped.empty()) {
        std::string text = "These movies were skipped:";
        for (const CSkippedMovie& movie : skipped) text += "\n" + movie.path + ": " + movie.reason;
        m_host.Dialogs().ShowMessage("Error", text, CDialogService::Icon::kError);
    }
}
