#include "OffscreenContext.h"

#define EGL_EGLEXT_PROTOTYPES
#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>
#include <GL/glext.h>

namespace {

// Framebuffer objects are not part of OpenGL 1.1: fetch the entry points.
struct FramebufferFunctions {
    PFNGLGENFRAMEBUFFERSPROC genFramebuffers = nullptr;
    PFNGLDELETEFRAMEBUFFERSPROC deleteFramebuffers = nullptr;
    PFNGLBINDFRAMEBUFFERPROC bindFramebuffer = nullptr;
    PFNGLGENRENDERBUFFERSPROC genRenderbuffers = nullptr;
    PFNGLDELETERENDERBUFFERSPROC deleteRenderbuffers = nullptr;
    PFNGLBINDRENDERBUFFERPROC bindRenderbuffer = nullptr;
    PFNGLRENDERBUFFERSTORAGEPROC renderbufferStorage = nullptr;
    PFNGLFRAMEBUFFERRENDERBUFFERPROC framebufferRenderbuffer = nullptr;
    PFNGLCHECKFRAMEBUFFERSTATUSPROC checkFramebufferStatus = nullptr;

    bool Load() {
        genFramebuffers = reinterpret_cast<PFNGLGENFRAMEBUFFERSPROC>(eglGetProcAddress("glGenFramebuffers"));
        deleteFramebuffers =
            reinterpret_cast<PFNGLDELETEFRAMEBUFFERSPROC>(eglGetProcAddress("glDeleteFramebuffers"));
        bindFramebuffer = reinterpret_cast<PFNGLBINDFRAMEBUFFERPROC>(eglGetProcAddress("glBindFramebuffer"));
        genRenderbuffers = reinterpret_cast<PFNGLGENRENDERBUFFERSPROC>(eglGetProcAddress("glGenRenderbuffers"));
        deleteRenderbuffers =
            reinterpret_cast<PFNGLDELETERENDERBUFFERSPROC>(eglGetProcAddress("glDeleteRenderbuffers"));
        bindRenderbuffer = reinterpret_cast<PFNGLBINDRENDERBUFFERPROC>(eglGetProcAddress("glBindRenderbuffer"));
        renderbufferStorage =
            reinterpret_cast<PFNGLRENDERBUFFERSTORAGEPROC>(eglGetProcAddress("glRenderbufferStorage"));
        framebufferRenderbuffer =
            reinterpret_cast<PFNGLFRAMEBUFFERRENDERBUFFERPROC>(eglGetProcAddress("glFramebufferRenderbuffer"));
        checkFramebufferStatus =
            reinterpret_cast<PFNGLCHECKFRAMEBUFFERSTATUSPROC>(eglGetProcAddress("glCheckFramebufferStatus"));
        return genFramebuffers && deleteFramebuffers && bindFramebuffer && genRenderbuffers &&
               deleteRenderbuffers && bindRenderbuffer && renderbufferStorage && framebufferRenderbuffer &&
               checkFramebufferStatus;
    }
};

FramebufferFunctions& Fbo() {
    static FramebufferFunctions functions;
    return functions;
}

}  // namespace

COffscreenContext::~COffscreenContext() {
    if (m_context != nullptr) {
        MakeCurrent();
        DeleteFramebuffer();
        eglMakeCurrent(m_display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
        eglDestroyContext(m_display, m_context);
    }
    // The display is shared by every context of the process and is not terminated.
}

bool COffscreenContext::Create(int width, int height) {
    // eglGetPlatformDisplay is EGL 1.5; the EXT form is only an extension entry point.
    EGLDisplay display = eglGetPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
    if (display == EGL_NO_DISPLAY || !eglInitialize(display, nullptr, nullptr)) {
        m_errorText = "no EGL surfaceless display (Mesa's EGL is needed)";
        return false;
    }
    if (!eglBindAPI(EGL_OPENGL_API)) {
        m_errorText = "EGL cannot create desktop OpenGL contexts";
        return false;
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_COMPATIBILITY_PROFILE_BIT, EGL_NONE};
    EGLContext context = eglCreateContext(display, EGL_NO_CONFIG_KHR, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        m_errorText = "cannot create an OpenGL compatibility context";
        return false;
    }
    m_display = display;
    m_context = context;
    if (!eglMakeCurrent(display, EGL_NO_SURFACE, EGL_NO_SURFACE, context)) {
        m_errorText = "cannot make the OpenGL context current";
        return false;
    }
    if (!Fbo().Load()) {
        m_errorText = "the OpenGL context has no framebuffer objects";
        return false;
    }
    m_width = width;
    m_height = height;
    return MakeFramebuffer();
}

bool COffscreenContext::MakeCurrent() {
    if (m_context == nullptr ||
        !eglMakeCurrent(static_cast<EGLDisplay>(m_display), EGL_NO_SURFACE, EGL_NO_SURFACE, m_context))
        return false;
    Fbo().bindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    return true;
}

bool COffscreenContext::Resize(int width, int height) {
    if (!MakeCurrent()) return false;
    DeleteFramebuffer();
    m_width = width;
    m_height = height;
    return MakeFramebuffer();
}

bool COffscreenContext::MakeFramebuffer() {
    FramebufferFunctions& fbo = Fbo();
    fbo.genFramebuffers(1, &m_framebuffer);
    fbo.bindFramebuffer(GL_FRAMEBUFFER, m_framebuffer);
    fbo.genRenderbuffers(1, &m_colourBuffer);
    fbo.bindRenderbuffer(GL_RENDERBUFFER, m_colourBuffer);
    fbo.renderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, m_width, m_height);
    fbo.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, m_colourBuffer);
    fbo.genRenderbuffers(1, &m_depthBuffer);
    fbo.bindRenderbuffer(GL_RENDERBUFFER, m_depthBuffer);
    fbo.renderbufferStorage(GL_RENDERBUFFER, GL_DEPTH_COMPONENT24, m_width, m_height);
    fbo.framebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_ATTACHMENT, GL_RENDERBUFFER, m_depthBuffer);
    if (fbo.checkFramebufferStatus(GL_FRAMEBUFFER) != GL_FRAMEBUFFER_COMPLETE) {
        m_errorText = "cannot make a " + std::to_string(m_width) + " x " + std::to_string(m_height) +
                      " framebuffer";
        return false;
    }
    glDrawBuffer(GL_COLOR_ATTACHMENT0);
    glReadBuffer(GL_COLOR_ATTACHMENT0);
    glViewport(0, 0, m_width, m_height);
    return true;
}

void COffscreenContext::DeleteFramebuffer() {
    FramebufferFunctions& fbo = Fbo();
    if (m_framebuffer == 0) return;
    fbo.bindFramebuffer(GL_FRAMEBUFFER, 0);
    fbo.deleteRenderbuffers(1, &m_colourBuffer);
    fbo.deleteRenderbuffers(1, &m_depthBuffer);
    fbo.deleteFramebuffers(1, &m_framebuffer);
    m_framebuffer = m_colourBuffer = m_depthBuffer = 0;
}
