#pragma once

#include <string>

#include "OffscreenContext.h"
#include "SceneRenderer.h"
#include "ViewInterface.h"

// The view without a window: the scene drawn into an offscreen context of a
// fixed size. Headless runs and tests drive the main frame's logic with it
// exactly as the window does.
class COffscreenView : public CViewInterface {
public:
    COffscreenView() = default;
    ~COffscreenView() override;

    // Makes the context and its width x height drawing area. False (with
    // ErrorText) when no OpenGL can be had without a display.
    bool Create(int width, int height);
    const std::string& ErrorText() const { return m_context.ErrorText(); }
    int Width() const { return m_context.Width(); }
    int Height() const { return m_context.Height(); }
    // The size drawn at, or before Create the size a run that draws nothing
    // would have drawn at.
    std::array<int, 2> ViewSize() const override {
        return m_created ? std::array{Width(), Height()} : m_plannedSize;
    }
    void PlanSize(int width, int height) { m_plannedSize = {width, height}; }
    int MaxTextureSize() const override { return m_maxTextureSize; }

    void SetSliceTexture(int plane, int height, int width, const uint8_t* pixels) override;
    void SetLabelTexture(int plane, int height, int width, const uint8_t* rgba) override;
    void SetClearColor(double red, double green, double blue) override;
    void SetBrightnessContrast(double brightness, double contrast) override;
    void ToggleBackfaceCulling() override;
    // Draws on the next read-back, as a window draws on its next paint.
    void Repaint() override { m_stale = true; }
    void RenderNow() override { Render(); }
    // Draws the pending frame first, so the pixels are those of the state now.
    bool ReadFrameBuffer(int& width, int& height, std::vector<uint8_t>& pixels) override;

    // Draws a frame now; returns the OpenGL error pending before it (0 if none).
    unsigned Render();

private:
    // Makes the context current; false before Create succeeded.
    bool MakeCurrent() { return m_created && m_context.MakeCurrent(); }

    COffscreenContext m_context;
    CSceneRenderer m_renderer;
    bool m_created = false;
    int m_maxTextureSize = 0;
    bool m_stale = true;
    std::array<int, 2> m_plannedSize{0, 0};
};
