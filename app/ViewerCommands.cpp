// The display and geometry commands: switches, brightness and contrast,
// camera presets and the mesh commands.

#include <algorithm>
#include <cmath>

#include "TextFormat.h"
#include "Viewer.h"

void CViewer::ToggleAndRefresh(bool& value) {
    value = !value;
    RefreshView();
}

void CViewer::OnShowXPlane() {
    ToggleAndRefresh(m_state.m_showX);
}
void CViewer::OnShowYPlane() {
    ToggleAndRefresh(m_state.m_showY);
}
void CViewer::OnShowZPlane() {
    ToggleAndRefresh(m_state.m_showZ);
}

void CViewer::ChangeBrightnessContrast(double& value, double delta) {
    // The bounds apply to the stored sums: ten steps up from 0.5 overshoot 1.0
    // slightly and store exactly 1.0, ten steps down leave a tiny positive value.
    value += delta;
    if (value > 1.0) value = 1.0;
    if (value < 0.0) value = 0.0;
    m_view.SetBrightnessContrast(m_state.m_brightness, m_state.m_contrast);
    RefreshView();
}

void CViewer::OnIncreaseContrast() {
    ChangeBrightnessContrast(m_state.m_contrast, 0.05);
}
void CViewer::OnDecreaseContrast() {
    ChangeBrightnessContrast(m_state.m_contrast, -0.05);
}
void CViewer::OnIncreaseBrightness() {
    ChangeBrightnessContrast(m_state.m_brightness, 0.05);
}
void CViewer::OnDecreaseBrightness() {
    ChangeBrightnessContrast(m_state.m_brightness, -0.05);
}

void CViewer::OnResetBrightnessContrast() {
    m_state.m_brightness = m_state.m_contrast = 0.5;
    m_view.SetBrightnessContrast(m_state.m_brightness, m_state.m_contrast);
    RefreshView();
}

void CViewer::OnBilinearFiltering() {
    ToggleAndRefresh(m_state.m_bilinear);
}

void CViewer::OnWhiteBackground() {
    ToggleAndRefresh(m_state.m_whiteBackground);
}

void CViewer::OnPositionInfo() {
    ToggleAndRefresh(m_state.m_positionInfo);
}

void CViewer::OnColourCoding() {
    m_view.m_colourCoding = !m_view.m_colourCoding;
    m_view.Repaint();
}

void CViewer::OnAlternateTexturing() {
    m_view.m_alternateTexturing = !m_view.m_alternateTexturing;
    m_view.m_textureTarget = m_view.m_alternateTexturing ? CSceneState::kTextureRectangle : GL_TEXTURE_2D;
    RefreshView();
}

void CViewer::OnDrawGeometry() {
    ToggleAndRefresh(m_state.m_drawGeometry);
}

void CViewer::OnClipGeometry() {
    ToggleAndRefresh(m_state.m_clipGeometry);
}

void CViewer::OnBoundingBox() {
    ToggleAndRefresh(m_state.m_boundingBox);
}

void CViewer::OnAxes() {
    ToggleAndRefresh(m_state.m_axes);
}

void CViewer::OnOrientationLabels() { ToggleAndRefresh(m_state.m_showOrientation); }

void CViewer::OnToggleObjects() {
    m_view.CycleSelectedObject();
    RefreshView();
}

void CViewer::OnWireframe() {
    m_view.m_wireframe = !m_view.m_wireframe;
    m_view.Repaint();
}

void CViewer::OnBackfaceCulling() {
    m_view.ToggleBackfaceCulling();
    m_view.Repaint();
}

void CViewer::OnZCapGeometry() {
    m_view.m_meshes.ZCapAll();
    RefreshView();
}

void CViewer::OnPointsOnly() {
    m_view.m_pointsOnly = !m_view.m_pointsOnly;
    RefreshView();
}

void CViewer::OnShowXY() {
    m_view.ShowCameraPreset(COrbitCamera::kShowXY);
}
void CViewer::OnShowXZ() {
    m_view.ShowCameraPreset(COrbitCamera::kShowXZ);
}
void CViewer::OnShowYZ() {
    m_view.ShowCameraPreset(COrbitCamera::kShowYZ);
}
void CViewer::OnShow3DRef() {
    m_view.ShowCameraPreset(COrbitCamera::kShow3DRef);
}

std::string CViewer::GeometryInformation() const {
    std::string text;
    const CMeshSet& meshes = m_view.m_meshes;
    for (int i = 0; i < meshes.ObjectCount(); ++i) {
        const CMeshObject& object = meshes.Object(i);
        CMeshObject centred = object;
        const Vec3d c = object.Centroid();
        centred.Translate({-c.x, -c.y, -c.z});
        text += FormatText(
            "Obj #%02i:  Basename=%s\t Frame=%02i\t vertices=%i\t triangles=%i\t size = %.2f    \n", i,
            object.BaseName().c_str(), object.FrameNumber(), static_cast<int>(object.m_vertices.size()),
            static_cast<int>(object.m_triangles.size()), centred.CentroidSize());
    }
    return text;
}

void CViewer::OnGeometryInformation() {
    // Meshes made only from labels have no .obj file to name.
    const std::string& source = m_state.m_geometryPath.empty() ? m_labels.Path() : m_state.m_geometryPath;
    m_host.Dialogs().ShowMessage(source + ": Geometry information", GeometryInformation(),
                                 CDialogService::Icon::kInformation);
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
