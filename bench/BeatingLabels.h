#pragma once

#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

// The label image the curve and editing benchmarks time: 256 x 256 x 16
// voxels over 30 frames, with 4 labels.
namespace BeatingLabelsGrid {

constexpr int kX = 256, kY = 256, kZ = 16, kT = 30, kLabels = 4;

// Four nested shells that swell and shrink over the beat, the inner ones
// more; x fastest, then y, z and frames.
inline std::vector<uint8_t> BeatingLabels() {
    std::vector<uint8_t> values(static_cast<size_t>(kX) * kY * kZ * kT);
    size_t i = 0;
    for (int t = 0; t < kT; ++t) {
        const double beat = 1.0 + 0.25 * std::cos(2.0 * std::numbers::pi * t / kT);
        for (int z = 0; z < kZ; ++z)
            for (int y = 0; y < kY; ++y)
                for (int x = 0; x < kX; ++x, ++i) {
                    const double dx = (x - 128) / 100.0, dy = (y - 128) / 100.0, dz = (z - 8) / 7.0;
                    const double r = std::sqrt(dx * dx + dy * dy + dz * dz);
                    int label = 0;
                    for (int shell = kLabels; shell >= 1; --shell)
                        if (r < 0.25 * shell * (shell == 1 ? beat : 1.0 + (beat - 1.0) / shell))
                            label = shell;
                    values[i] = static_cast<uint8_t>(label);
                }
    }
    return values;
}

}  // namespace BeatingLabelsGrid
