#pragma once

#include <GL/gl.h>

#include <cstdint>
#include <vector>

#include "OrbitCamera.h"
#include "SceneState.h"

// Draws the slice scene with fixed-function OpenGL on whatever context is
// current: the window's, or an offscreen one for tests and headless runs.
// It owns the OpenGL objects of the scene (the three slice textures and the
// axis arrow's display list); every call needs its context current.
class CSceneRenderer {
public:
    CSceneRenderer() = default;
    CSceneRenderer(const CSceneRenderer&) = delete;
    CSceneRenderer& operator=(const CSceneRenderer&) = delete;

    // Blending, line smoothing and depth test; the clear colour black.
    void InitGLState();
    // Viewport and perspective projection for a drawing area of width x height.
    void Resize(const COrbitCamera& camera, int width, int height);

    // Starts a frame: takes one pending OpenGL error code (returned, 0 if
    // none), clears and places the camera.
    GLenum BeginFrame(const COrbitCamera& camera);
    // Draws the planes, axes, meshes and box of `state` after BeginFrame.
    void DrawScene(const CSceneState& state);
    // BeginFrame and DrawScene.
    GLenum RenderFrame(const COrbitCamera& camera, const CSceneState& state);

    // Replaces plane `plane`'s texture by an 8-bit grey image of width x
    // height bytes, rows packed, first row first. Brightness and contrast
    // apply to the upload, then the state's colour map.
    void SetSliceTexture(const CSceneState& state, int plane, int height, int width, const uint8_t* pixels);
    // Replaces plane `plane`'s label overlay by an RGBA image of the plane's
    // own size (alpha 0 where no label lies); no pixels or no size removes it.
    // Sampled nearest-neighbour, so label borders stay crisp.
    void SetLabelTexture(const CSceneState& state, int plane, int height, int width, const uint8_t* rgba);
    void SetClearColor(double red, double green, double blue);
    void SetBrightnessContrast(double brightness, double contrast);
    void SetBackfaceCulling(bool on);

    // The last frame drawn as it is on screen: width x height BGRA pixels,
    // bottom row first, alpha 255. Brightness and contrast, which only
    // concern the slice uploads, are set aside while reading.
    std::vector<uint8_t> ReadFrameBuffer(int width, int height);

    // Deletes the textures and the display list; the renderer can be used again.
    void ReleaseResources();

    GLuint Texture(int plane) const { return m_texture[plane]; }
    GLuint LabelTexture(int plane) const { return m_labelTexture[plane]; }
    int TextureWidth(int plane) const { return m_texWidth[plane]; }
    int TextureHeight(int plane) const { return m_texHeight[plane]; }

    // Moves the quad of plane `plane` (in z = 0, 0..1) to its place in the
    // unit box, the plane lying at fraction `position` along its normal.
    static void ApplyPlaneTransform(int plane, double position);

    // The pieces of DrawScene, for callers that draw one of them alone.
    void DrawSliceQuad(const CSceneState& state, int plane) const;
    void DrawGeometry(const CSceneState& state) const;

private:
    void ApplyPixelTransfer(double scale, double bias) const;
    void DrawAxes();
    void DrawPlanes(const CSceneState& state) const;
    // The plane's label overlay over its grey quad, once that is drawn.
    void DrawLabelQuad(const CSceneState& state, int plane) const;
    // The unit quad in z = 0, its texture `width` x `height` texels.
    static void DrawQuad(const CSceneState& state, int width, int height);
    void DrawMeshes(const CSceneState& state) const;
    // The direction letters at the ends of the lines through the position.
    static void DrawDirectionLetters(const CSceneState& state);
    static void DrawToolOutlines(const CSceneState& state);
    static void DrawMeasureMarks(const CSceneState& state);
    // Plain lines in the letter colour over everything: depth, textures and lighting off.
    static void BeginLinesOnTop(const CSceneState& state);

    GLuint m_texture[3] = {0, 0, 0};
    int m_texWidth[3] = {0, 0, 0};
    int m_texHeight[3] = {0, 0, 0};
    GLuint m_labelTexture[3] = {0, 0, 0};
    int m_labelWidth[3] = {0, 0, 0};
    int m_labelHeight[3] = {0, 0, 0};
    GLuint m_axisList = 0;
    double m_transferScale = 1.0;
    double m_transferBias = 0.0;
};
