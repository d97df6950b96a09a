#include "CheckingView.h"

#include "FuzzInput.h"
#include "HeadlessHost.h"
#include "Viewer.h"

void CCheckingView::SetSliceTexture(int, int height, int width, const uint8_t* pixels) {
    if (pixels == nullptr) return;
    FuzzCheck(height > 0 && width > 0, "a texture with pixels but no size");
    Consume(pixels, static_cast<size_t>(height) * static_cast<size_t>(width));
}

void CCheckingView::SetLabelTexture(int, int height, int width, const uint8_t* rgba) {
    if (rgba == nullptr) return;
    FuzzCheck(height > 0 && width > 0, "a label texture with pixels but no size");
    Consume(rgba, static_cast<size_t>(height) * static_cast<size_t>(width) * 4);
}

std::function<std::string(int32_t, int32_t, int32_t)> ViewerSizeCheck() {
    static CCheckingView view;
    static CHeadlessHost host;
    static CViewer viewer(view, host);
    return [](int32_t x, int32_t y, int32_t z) { return viewer.TextureRefusal(x, y, z); };
}
