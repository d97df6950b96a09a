#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "OrbitCamera.h"
#include "SceneState.h"

// The view as the main frame sees it: the camera and the scene state it
// writes directly, and the few operations that need the view's OpenGL
// context. The window (CVolumeView) and the offscreen view (COffscreenView)
// both are one, so the frame's logic runs unchanged with or without a display.
class CViewInterface : public COrbitCamera, public CSceneState {
public:
    virtual ~CViewInterface() = default;

    // Replaces plane `plane`'s texture (note: height before width).
    virtual void SetSliceTexture(int plane, int height, int width, const uint8_t* pixels) = 0;
    // Replaces plane `plane`'s label overlay by an RGBA image; no pixels removes it.
    virtual void SetLabelTexture(int plane, int height, int width, const uint8_t* rgba) = 0;
    virtual void SetClearColor(double red, double green, double blue) = 0;
    // Brightness and contrast in 0..1 (0.5 neutral); they act on the next upload.
    virtual void SetBrightnessContrast(double brightness, double contrast) = 0;
    // Switches OpenGL back-face culling and the flag the menu shows.
    virtual void ToggleBackfaceCulling() = 0;
    // Asks for the scene to be drawn again.
    virtual void Repaint() = 0;
    // Draws the scene now, so that a read-back right after shows the current state.
    virtual void RenderNow() = 0;
    // The last frame drawn, BGRA, bottom row first; false when there is none.
    virtual bool ReadFrameBuffer(int& width, int& height, std::vector<uint8_t>& pixels) = 0;
    // The longest texture side the view's OpenGL holds (GL_MAX_TEXTURE_SIZE);
    // 0 while it has no context to ask.
    virtual int MaxTextureSize() const { return 0; }
    // The drawing's size in pixels, as a snapshot of it would have; 0 x 0
    // for a view that draws nowhere.
    virtual std::array<int, 2> ViewSize() const { return {0, 0}; }

    // Turns the camera to a preset and repaints.
    void ShowCameraPreset(CameraPreset preset) {
        ApplyPreset(preset);
        Repaint();
    }
};
