#pragma once

#include <QOpenGLWidget>
#include <QString>

#include <cstdint>
#include <vector>

#include "SceneRenderer.h"
#include "ViewInterface.h"

// The drawing surface: a widget with its own OpenGL compatibility context
// that turns mouse drags into the orbiting camera (left drag turns, right
// drag dollies) and draws through a CSceneRenderer. The camera and scene
// state are the CViewInterface base, so the main frame sets m_distance, m_target
// and the angles directly.
class COpenGLWnd : public QOpenGLWidget, public CViewInterface {
    Q_OBJECT

public:
    explicit COpenGLWnd(QWidget* parent = nullptr);
    ~COpenGLWnd() override;

    // The surface format every view asks for: double-buffered RGBA with a
    // depth buffer, OpenGL compatibility profile.
    static QSurfaceFormat RequestedFormat();

    // The drawing area in device pixels: what the widget's framebuffer, and
    // so every read-back, holds.
    QSize DeviceSize() const;
    // The logical size whose device size at `ratio` is `device`, or the
    // nearest one where the ratio allows none (1.5 and an odd number).
    static QSize LogicalSizeFor(QSize device, qreal ratio);

    void SetClearColor(double red, double green, double blue) override;
    void SetBrightnessContrast(double brightness, double contrast) override;
    // False when the view has no context or no area.
    bool ReadFrameBuffer(int& width, int& height, std::vector<uint8_t>& pixels) override;
    std::array<int, 2> ViewSize() const override;
    int MaxTextureSize() const override { return m_maxTextureSize; }
    void Repaint() override { update(); }
    // Draws into the widget's framebuffer at once, then schedules the paint
    // that shows it.
    void RenderNow() override;

    // True once an OpenGL error has been reported; later ones are not.
    bool m_errorReported = false;

    // Whether a left drag turns the camera (the default) or is told through
    // LeftPressed, LeftDragged and LeftReleased to whoever serves the tool
    // that took the button.
    void SetLeftButtonTurns(bool turns) { m_leftTurns = turns; }

signals:
    // The mouse rests at (x, y) of the width x height view, no button held;
    // HoverEnded when it leaves the view or a drag begins.
    void Hovered(double x, double y, int width, int height);
    void HoverEnded();
    // The left button, while it does not turn the camera: pressed at, moved
    // to (x, y) of the width x height view, and released.
    void LeftPressed(int x, int y, int width, int height);
    void LeftDragged(int x, int y, int width, int height);
    void LeftReleased();
    // A double click of the left button while it does not turn the camera
    // (after the press and release of its first click).
    void LeftDoubleClicked(int x, int y, int width, int height);

protected:
    // Draws one frame; the base sets the frame up (error check, clear, camera).
    virtual void RenderScene();
    // Called once with the new context current.
    virtual void InitGLState();
    // Shows the one-time OpenGL error message; a test can catch it here.
    virtual void ShowErrorMessage(const QString& text);

    void initializeGL() override;
    void resizeGL(int width, int height) override;
    void paintGL() override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;

    CSceneRenderer m_renderer;
    bool m_leftTurns = true;
    // A left drag is told to the tool from its press to its release.
    bool m_leftToTool = false;

    // Runs `work` with this view's context current, as every OpenGL call from
    // outside painting needs; nothing happens before the context exists.
    template <typename Work>
    bool WithContext(Work work) {
        if (context() == nullptr) return false;
        makeCurrent();
        work();
        doneCurrent();
        return true;
    }

private:
    GLenum m_frameError = 0;
    int m_maxTextureSize = 0;
};
