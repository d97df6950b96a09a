#pragma once

#include <cstdint>

#include "SliceImage.h"

// Whether a volume of these sides hands out plane `plane` (0 = YZ, 1 = XZ,
// 2 = XY) resampled for a texture: the XY plane comes as stored, the upright
// ones only when a power-of-two texture holds both their sides. Volume files
// refuse longer sides; movies and NIfTI images may have them, and the viewer
// then refuses to show the volume.
inline bool PlaneHasTexture(int plane, int32_t sizeX, int32_t sizeY, int32_t sizeZ) {
    if (plane == 2) return true;
    const int32_t width = plane == 0 ? sizeY : sizeX;
    return PowerOfTwoTextureSize(width) > 0 && PowerOfTwoTextureSize(sizeZ) > 0;
}
