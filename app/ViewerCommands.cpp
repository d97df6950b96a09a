// The display and geometry commands: switches, brightness and contrast,
// camera presets and the mesh commands.

#include "TextFormat.h"
#include "Viewer.h"

void CViewer::CopyPlaneSwitchesToView() {
    m_view.m_showPlane[0] = m_showX;
    m_view.m_showPlane[1] = m_showY;
    m_view.m_showPlane[2] = m_showZ;
    RefreshView();
}

void CViewer::OnShowXPlane() {
    m_showX = !m_showX;
    CopyPlaneSwitchesToView();
}

void CViewer::OnShowYPlane() {
    m_showY = !m_showY;
    CopyPlaneSwitchesToView();
}

void CViewer::OnShowZPlane() {
    m_showZ = !m_showZ;
    CopyPlaneSwitchesToView();
}

void CViewer::ChangeBrightnessContrast(double& value, double delta) {
    // The bounds apply to the stored sums: ten steps up from 0.5 overshoot 1.0
    // slightly and store exactly 1.0, ten steps down leave a tiny positive value.
    value += delta;
    if (value > 1.0) value = 1.0;
    if (value < 0.0) value = 0.0;
    m_view.SetBrightnessContrast(m_brightness, m_contrast);
    RefreshView();
}

void CViewer::OnIncreaseContrast() { ChangeBrightnessContrast(m_contrast, 0.05); }
void CViewer::OnDecreaseContrast() { ChangeBrightnessContrast(m_contrast, -0.05); }
void CViewer::OnIncreaseBrightness() { ChangeBrightnessContrast(m_brightness, 0.05); }
void CViewer::OnDecreaseBrightness() { ChangeBrightnessContrast(m_brightness, -0.05); }

void CViewer::OnResetBrightnessContrast() {
    m_brightness = m_contrast = 0.5;
    m_view.SetBrightnessContrast(m_brightness, m_contrast);
    RefreshView();
}

void CViewer::OnBilinearFiltering() {
    m_bilinear = !m_bilinear;
    m_view.m_bilinear = m_bilinear;
    RefreshView();
}

void CViewer::OnWhiteBackground() {
    m_whiteBackground = !m_whiteBackground;
    RefreshView();
}

void CViewer::OnPositionInfo() {
    m_positionInfo = !m_positionInfo;
    RefreshView();
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
    m_drawGeometry = !m_drawGeometry;
    CopySwitchesToView();
    RefreshView();
}

void CViewer::OnClipGeometry() {
    m_clipGeometry = !m_clipGeometry;
    CopySwitchesToView();
    RefreshView();
}

void CViewer::OnBoundingBox() {
    m_boundingBox = !m_boundingBox;
    CopySwitchesToView();
    RefreshView();
}

void CViewer::OnAxes() {
    m_axes = !m_axes;
    CopySwitchesToView();
    RefreshView();
}

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

void CViewer::OnShowXY() { m_view.ShowCameraPreset(COrbitCamera::kShowXY); }
void CViewer::OnShowXZ() { m_view.ShowCameraPreset(COrbitCamera::kShowXZ); }
void CViewer::OnShowYZ() { m_view.ShowCameraPreset(COrbitCamera::kShowYZ); }
void CViewer::OnShow3DRef() { m_view.ShowCameraPreset(COrbitCamera::kShow3DRef); }

std::string CViewer::GeometryInformation() const {
    std::string text;
    const CMeshSet& meshes = m_view.m_meshes;
    for (int i = 0; i < meshes.ObjectCount(); ++i) {
        const CMeshObject& object = meshes.Object(i);
        CMeshObject centred = object;
        const Vec3d c = object.Centroid();
        centred.Translate({-c.x, -c.y, -c.z});
        text += FormatText("Obj #%02i:  Basename=%s\t Frame=%02i\t vertices=%i\t triangles=%i\t size = %.2f    \n", i,
                           object.BaseName().c_str(), object.FrameNumber(),
                           static_cast<int>(object.m_vertices.size()), static_cast<int>(object.m_triangles.size()),
                           centred.CentroidSize());
    }
    return text;
}

void CViewer::OnGeometryInformation() {
    // Meshes made only from labels have no .obj file to name.
    const std::string& source = m_geometryPath.empty() ? m_labelPath : m_geometryPath;
    m_host.Dialogs().ShowMessage(source + ": Geometry information", GeometryInformation(),
                                 CDialogService::Icon::kInformation);
}
