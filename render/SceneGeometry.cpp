#include "SceneGeometry.h"

#include <cmath>

PixelTransferValues BrightnessContrastTransfer(double brightness, double contrast) {
    if (brightness == 0.5 && contrast == 0.5) return {1.0, 0.0};
    const double scale = std::tan(contrast * 1.5707963267948966);
    const double bias = (1.0 - scale) / 2.0 + (2.0 * brightness - 1.0) * ((1.0 - scale) / 2.0 + 1.0);
    return {scale, bias};
}

std::array<double, 3> PlaneLocalToBox(int plane, double position, double u, double v) {
    switch (plane) {
        case 0: return {1.0 - position, u, 1.0 - v};
        case 1: return {u, position, 1.0 - v};
        default: return {u, v, position};
    }
}

std::array<std::array<double, 4>, 2> ClipSlab(int plane, const double extent[3], const double slicePos[3]) {
    const double h = kClipSlabHalfWidth;
    switch (plane) {
        case 0: {
            const double x0 = extent[0] * (1.0 - slicePos[0]);
            return {{{1, 0, 0, h - x0}, {-1, 0, 0, x0 + h}}};
        }
        case 1: {
            const double y0 = extent[1] * slicePos[1];
            return {{{0, 1, 0, h - y0}, {0, -1, 0, y0 + h}}};
        }
        default: {
            const double z0 = extent[2] * slicePos[2];
            return {{{0, 0, -1, z0 + h}, {0, 0, 1, h - z0}}};
        }
    }
}
