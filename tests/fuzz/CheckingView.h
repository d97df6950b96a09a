#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ViewInterface.h"

// A view without OpenGL for fuzz targets that drive the viewer: it checks
// what it is handed and draws nothing.
class CCheckingView : public CViewInterface {
public:
    void SetSliceTexture(int plane, int height, int width, const uint8_t* pixels) override;
    void SetLabelTexture(int plane, int height, int width, const uint8_t* rgba) override;
    void SetClearColor(double, double, double) override {}
    void SetBrightnessContrast(double, double) override {}
    void ToggleBackfaceCulling() override { m_backfaceCulling = !m_backfaceCulling; }
    void Repaint() override {}
    void RenderNow() override {}
    bool ReadFrameBuffer(int&, int&, std::vector<uint8_t>&) override { return false; }
};

// The check the viewer sets on every volume it loads (CTimeVolume::m_sizeCheck),
// from a viewer that shows on this view: grids whose planes no texture holds
// are refused before a sample is read.
std::function<std::string(int32_t, int32_t, int32_t)> ViewerSizeCheck();
