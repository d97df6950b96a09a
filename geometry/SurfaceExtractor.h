#pragma once

#include <cstdint>
#include <vector>

// The boundary of a voxel mask as a smoothed triangle surface: discrete
// flying edges, then a windowed sinc filter. This is VTK's work; VTK lives in
// the orvanta-surface module, which the first label image brings in.
class CSurfaceExtractor {
public:
    // dims[0] x dims[1] x dims[2] voxels, x fastest, 1 inside and 0 outside;
    // voxel (i, j, k) is centred at origin + (i, j, k) * spacing.
    struct Mask {
        const uint8_t* voxels = nullptr;
        int dims[3] = {0, 0, 0};
        double spacing[3] = {1.0, 1.0, 1.0};
        double origin[3] = {0.0, 0.0, 0.0};
    };
    struct Surface {
        std::vector<double> points;  // x, y, z of each point, smoothed
        // The same points before smoothing, in the same order; empty when
        // the filter did not keep the order.
        std::vector<double> blocky;
        std::vector<int32_t> triangles;  // three point indices each, as extracted
    };

    // The module's extractor, loading it on first use. Throws
    // std::runtime_error when it cannot be loaded.
    static const CSurfaceExtractor& Get();

    // Safe to call from several threads at once.
    virtual Surface Extract(const Mask& mask, int smoothingIterations, double passBand) const = 0;

protected:
    ~CSurfaceExtractor() = default;
};
