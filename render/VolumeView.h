#pragma once

#include "OpenGLWnd.h"

// The slice scene in a window: the three textured planes of the volume in
// their millimetre box, the meshes of the current frame, axes and outlines.
// The main frame writes its scene state directly, uploads the planes and
// asks for a repaint.
class CVolumeView : public COpenGLWnd {
    Q_OBJECT

public:
    explicit CVolumeView(QWidget* parent = nullptr);
    ~CVolumeView() override;

    void SetSliceTexture(int plane, int height, int width, const uint8_t* pixels) override;
    void SetLabelTexture(int plane, int height, int width, const uint8_t* rgba) override;
    void ToggleBackfaceCulling() override;
    // Up and Down arrows change the opacity of the YZ and XZ planes.
    virtual void OnViewKeyDown(int key);

    GLuint Texture(int plane) const { return m_renderer.Texture(plane); }

protected:
    void RenderScene() override;
    void InitGLState() override;
    void keyPressEvent(QKeyEvent* event) override;
    // The wheel moves the z slice, which is the main frame's business.
    void wheelEvent(QWheelEvent* event) override;
};
