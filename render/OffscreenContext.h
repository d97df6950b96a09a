#pragma once

#include <string>

// An OpenGL compatibility context with a colour and depth framebuffer of a
// fixed size, made without any display: EGL on Mesa's surfaceless platform.
// Tests and headless runs draw into it exactly as the window draws on screen.
class COffscreenContext {
public:
    COffscreenContext() = default;
    ~COffscreenContext();
    COffscreenContext(const COffscreenContext&) = delete;
    COffscreenContext& operator=(const COffscreenContext&) = delete;

    // Creates the context and a width x height framebuffer and makes both
    // current. False, with ErrorText saying why, when no context can be had.
    bool Create(int width, int height);

    // Makes the context and its framebuffer current on this thread.
    bool MakeCurrent();

    // Replaces the framebuffer by one of the new size (context current).
    bool Resize(int width, int height);

    int Width() const { return m_width; }
    int Height() const { return m_height; }
    const std::string& ErrorText() const { return m_errorText; }

private:
    bool MakeFramebuffer();
    void DeleteFramebuffer();

    void* m_display = nullptr;
    void* m_context = nullptr;
    unsigned m_framebuffer = 0;
    unsigned m_colourBuffer = 0;
    unsigned m_depthBuffer = 0;
    int m_width = 0;
    int m_height = 0;
    std::string m_errorText;
};
