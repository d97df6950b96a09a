#pragma once

#include "SliceImage.h"

// Something that serves the three orthogonal planes of a 4-D image.
// Planes: 0 = YZ plane at x = index, 1 = XZ plane at y = index, 2 = XY plane at z = index.
class CSliceSource {
public:
    virtual ~CSliceSource() = default;
    virtual CSliceImage GetSlice(int plane, int index, int frame, bool powerOfTwo) const = 0;
};
