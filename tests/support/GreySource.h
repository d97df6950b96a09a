#pragma once

#include <algorithm>
#include <cstdint>
#include <vector>

#include "SampleSource.h"

// A source of 8-bit grey levels, loaded as a movie folder is (shown as they
// are), made up in memory: images in the volume's order (a .tvi's: x
// fastest, then y, frames within slices); every level 0 unless set.
class CGreySource : public CSampleSource {
public:
    CGreySource(int x, int y, int z, int t) {
        m_sizeX = x;
        m_sizeY = y;
        m_sizeZ = z;
        m_frames = t;
        m_levels.assign(static_cast<size_t>(SampleCount()), 0);
    }
    std::vector<uint16_t>& Levels() { return m_levels; }

    void ImagePlace(int64_t image, int32_t& z, int32_t& t) const override {
        z = static_cast<int32_t>(image / m_frames);
        t = static_cast<int32_t>(image % m_frames);
    }
    const uint16_t* Codes(int64_t first, int64_t count, uint16_t* scratch) const override {
        std::copy_n(m_levels.begin() + first, count, scratch);
        return scratch;
    }
    bool CodesAreGrey() const override { return true; }

private:
    std::vector<uint16_t> m_levels;
};
