#include "OpenGLWnd.h"

#include <QMessageBox>
#include <QMouseEvent>
#include <QSurfaceFormat>
#include <QTimer>
#include <algorithm>
#include <cmath>

COpenGLWnd::COpenGLWnd(QWidget* parent) : QOpenGLWidget(parent) {
    setFormat(RequestedFormat());
    setFocusPolicy(Qt::StrongFocus);
    // Moves without a button held tell what lies under the mouse.
    setMouseTracking(true);
    setMinimumSize(1, 1);
    resize(500, 500);
}

COpenGLWnd::~COpenGLWnd() {
    // Textures and lists belong to this widget's context, which must be
    // current to delete them.
    WithContext([this] { m_renderer.ReleaseResources(); });
}

QSurfaceFormat COpenGLWnd::RequestedFormat() {
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(8);
    format.setDepthBufferSize(24);
    return format;
}

QSize COpenGLWnd::DeviceSize() const {
    // Rounded as QOpenGLWidget sizes its framebuffer.
    return size() * devicePixelRatio();
}

QSize COpenGLWnd::LogicalSizeFor(QSize device, qreal ratio) {
    if (ratio <= 0) ratio = 1;
    auto side = [ratio](int pixels) {
        const int nearest = std::max(1, qRound(pixels / ratio));
        // Of the nearest logical sizes, one whose rounding gives the pixels exactly.
        for (int candidate : {nearest, nearest - 1, nearest + 1})
            if (candidate >= 1 && qRound(candidate * ratio) == pixels) return candidate;
        return nearest;
    };
    return QSize(side(device.width()), side(device.height()));
}

void COpenGLWnd::initializeGL() {
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    m_maxTextureSize = size;
    InitGLState();
}

void COpenGLWnd::InitGLState() {
    glClearColor(0, 0, 0, 0);
    glEnable(GL_DEPTH_TEST);
}

void COpenGLWnd::resizeGL(int, int) {
    const QSize device = DeviceSize();
    m_renderer.Resize(*this, device.width(), device.height());
}

void COpenGLWnd::paintGL() {
    RenderScene();
    // A modal box shown from inside painting would paint again beneath it:
    // the message waits until the frame is done.
    if (m_frameError != 0 && !m_errorReported) {
        m_errorReported = true;
        const QString text = QString("An OpenGl error occured (code==%1).\n\nAll subsequent errors will be supressed.")
                                 .arg(m_frameError);
        QTimer::singleShot(0, this, [this, text] { ShowErrorMessage(text); });
    }
    m_frameError = 0;
}

void COpenGLWnd::RenderNow() {
    if (WithContext([this] {
            RenderScene();
            glFlush();
        }))
        update();
}

void COpenGLWnd::RenderScene() { m_frameError = m_renderer.BeginFrame(*this); }

void COpenGLWnd::ShowErrorMessage(const QString& text) {
    QMessageBox::warning(this, "Error", text, QMessageBox::Ok);
}

void COpenGLWnd::SetClearColor(double red, double green, double blue) {
    WithContext([&] { m_renderer.SetClearColor(red, green, blue); });
}

void COpenGLWnd::SetBrightnessContrast(double brightness, double contrast) {
    WithContext([&] { m_renderer.SetBrightnessContrast(brightness, contrast); });
}

std::array<int, 2> COpenGLWnd::ViewSize() const {
    const double ratio = devicePixelRatioF();
    return {static_cast<int>(std::lround(width() * ratio)), static_cast<int>(std::lround(height() * ratio))};
}

bool COpenGLWnd::ReadFrameBuffer(int& width, int& height, std::vector<uint8_t>& pixels) {
    const QSize device = DeviceSize();
    width = device.width();
    height = device.height();
    if (width <= 0 || height <= 0) return false;
    // The widget draws into its own framebuffer, which keeps the last frame.
    return WithContext([&] { pixels = m_renderer.ReadFrameBuffer(width, height); });
}

void COpenGLWnd::mousePressEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    if (event->button() == Qt::LeftButton && !m_leftTurns) {
        m_leftToTool = true;
        emit HoverEnded();
        emit LeftPressed(at.x(), at.y(), width(), height());
        return;
    }
    if (event->button() == Qt::LeftButton) BeginDrag(kRotating, at.x(), at.y());
    if (event->button() == Qt::RightButton) BeginDrag(kDollying, at.x(), at.y());
}

void COpenGLWnd::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && !m_leftTurns) {
        const QPoint at = event->position().toPoint();
        // Its release still comes, and goes to the tool.
        m_leftToTool = true;
        emit LeftDoubleClicked(at.x(), at.y(), width(), height());
        return;
    }
    QOpenGLWidget::mouseDoubleClickEvent(event);
}

void COpenGLWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_leftToTool) {
        m_leftToTool = false;
        emit LeftReleased();
        return;
    }
    if (event->button() == Qt::LeftButton || event->button() == Qt::RightButton) EndDrag();
}

void COpenGLWnd::mouseMoveEvent(QMouseEvent* event) {
    const QPoint at = event->position().toPoint();
    const Qt::KeyboardModifiers modifiers = event->modifiers();
    if (m_leftToTool) {
        emit LeftDragged(at.x(), at.y(), width(), height());
    } else if (DragTo(at.x(), at.y(), modifiers & Qt::ControlModifier, modifiers & Qt::ShiftModifier)) {
        update();
        emit HoverEnded();
    } else if (event->buttons() == Qt::NoButton) {
        emit Hovered(event->position().x(), event->position().y(), width(), height());
    }
    QOpenGLWidget::mouseMoveEvent(event);
}

void COpenGLWnd::leaveEvent(QEvent* event) {
    emit HoverEnded();
    QOpenGLWidget::leaveEvent(event);
}
