#include "VolumeView.h"

#include <QApplication>
#include <QKeyEvent>
#include <QWheelEvent>

CVolumeView::CVolumeView(QWidget* parent) : COpenGLWnd(parent) {}

CVolumeView::~CVolumeView() = default;

void CVolumeView::InitGLState() { m_renderer.InitGLState(); }

void CVolumeView::RenderScene() {
    COpenGLWnd::RenderScene();
    m_renderer.DrawScene(*this);
}

void CVolumeView::SetSliceTexture(int plane, int height, int width, const uint8_t* pixels) {
    WithContext([&] { m_renderer.SetSliceTexture(*this, plane, height, width, pixels); });
}

void CVolumeView::SetLabelTexture(int plane, int height, int width, const uint8_t* rgba) {
    WithContext([&] { m_renderer.SetLabelTexture(*this, plane, height, width, rgba); });
}

void CVolumeView::ToggleBackfaceCulling() {
    WithContext([this] { m_renderer.SetBackfaceCulling(!m_backfaceCulling); });
    m_backfaceCulling = !m_backfaceCulling;
    update();
}

void CVolumeView::OnViewKeyDown(int key) {
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
        StepPlaneAlpha(key == Qt::Key_Up);
        update();
    }
}

void CVolumeView::keyPressEvent(QKeyEvent* event) {
    OnViewKeyDown(event->key());
    COpenGLWnd::keyPressEvent(event);
}

void CVolumeView::wheelEvent(QWheelEvent* event) {
    if (parentWidget() != nullptr)
        QApplication::sendEvent(parentWidget(), event);
    else
        event->ignore();
}
