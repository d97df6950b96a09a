#pragma once

#include "OpenGLWnd.h"
#include "SceneState.h"

// The slice scene in a window: the three textured planes of the volume in
// their millimetre box, the meshes of the current frame, axes and outlines.
// Its scene state is the CSceneState base, which the main frame writes
// directly before it uploads the planes and asks for a repaint.
class CVolumeView : public COpenGLWnd, public CSceneState {
    Q_OBJECT

public:
    explicit CVolumeView(QWidget* parent = nullptr);
    ~CVolumeView() override;

    // Replaces plane `plane`'s texture (note: height before width).
    void SetSliceTexture(int plane, int height, int width, const uint8_t* pixels);
    // Switches OpenGL back-face culling and the flag the menu shows.
    void ToggleBackfaceCulling();
    void ShowCameraPreset(CameraPreset preset);
    // Up and Down arrows change the opacity of the YZ and XZ planes.
    virtual void OnViewKeyDown(int key);

    GLuint Texture(int plane) const { return m_renderer.Texture(plane); }

protected:
    void RenderScene() override;
    void InitGLState() override;
    void keyPressEvent(QKeyEvent* event) override;
};
