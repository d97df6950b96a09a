#include "OffscreenView.h"

COffscreenView::~COffscreenView() {
    if (MakeCurrent()) m_renderer.ReleaseResources();
}

bool COffscreenView::Create(int width, int height) {
    if (!m_context.Create(width, height)) return false;
    GLint size = 0;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &size);
    m_maxTextureSize = size;
    m_renderer.InitGLState();
    m_renderer.Resize(*this, width, height);
    m_created = true;
    return true;
}

void COffscreenView::SetSliceTexture(int plane, int height, int width, const uint8_t* pixels) {
    if (!MakeCurrent()) return;
    m_renderer.SetSliceTexture(*this, plane, height, width, pixels);
    m_stale = true;
}

void COffscreenView::SetLabelTexture(int plane, int height, int width, const uint8_t* rgba) {
    if (!MakeCurrent()) return;
    m_renderer.SetLabelTexture(*this, plane, height, width, rgba);
    m_stale = true;
}

void COffscreenView::SetClearColor(double red, double green, double blue) {
    if (!MakeCurrent()) return;
    m_renderer.SetClearColor(red, green, blue);
    m_stale = true;
}

void COffscreenView::SetBrightnessContrast(double brightness, double contrast) {
    if (!MakeCurrent()) return;
    m_renderer.SetBrightnessContrast(brightness, contrast);
}

void COffscreenView::ToggleBackfaceCulling() {
    if (MakeCurrent()) m_renderer.SetBackfaceCulling(!m_backfaceCulling);
    m_backfaceCulling = !m_backfaceCulling;
    m_stale = true;
}

unsigned COffscreenView::Render() {
    if (!MakeCurrent()) return 0;
    // The projection follows the camera's near and far planes, as a resize does.
    m_renderer.Resize(*this, m_context.Width(), m_context.Height());
    const unsigned error = m_renderer.RenderFrame(*this, *this);
    m_stale = false;
    return error;
}

bool COffscreenView::ReadFrameBuffer(int& width, int& height, std::vector<uint8_t>& pixels) {
    if (m_stale) Render();
    if (!MakeCurrent()) return false;
    width = m_context.Width();
    height = m_context.Height();
    pixels = m_renderer.ReadFrameBuffer(width, height);
    return true;
}
