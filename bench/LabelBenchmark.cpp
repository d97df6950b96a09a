// Meshing label images: every label of every frame through CLabelSurface,
// as a label load does.
//
// Two cases: the demo's heart (192 x 192 x 12, 20 frames, ring and pool;
// target 1 s) and a larger image (256 x 256 x 16, 30 frames, 4 labels;
// target 5 s). Each prints its time, that time as a share of its target, and
// as a multiple of one plain pass over the voxels (the baseline, measured in
// the same run), with the triangles made.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <numeric>
#include <string>
#include <vector>

#include "LabelSurface.h"

namespace {

struct LabelCase {
    int x, y, z, frames, labels;
    double pixelSize[3];
    double targetSeconds;
};

const LabelCase kDemo = {192, 192, 12, 20, 2, {1.3671875, 1.3671875, 6.0}, 1.0};
const LabelCase kLarge = {256, 256, 16, 30, 4, {1.25, 1.25, 5.0}, 5.0};

// Nested beating shells round the middle of the grid, one label each (the
// innermost the pool), shrinking towards the bottom slices like a ventricle.
std::vector<uint8_t> MakeLabels(const LabelCase& c) {
    std::vector<uint8_t> voxels(static_cast<size_t>(c.x) * c.y * c.z * c.frames, 0);
    size_t i = 0;
    for (int t = 0; t < c.frames; ++t) {
        const double beat = 1.0 - 0.2 * 0.5 * (1.0 - std::cos(2.0 * M_PI * t / c.frames));
        for (int z = 0; z < c.z; ++z) {
            const double taper = std::sqrt(1.0 - std::pow((c.z - 0.5 - z) / (c.z + 1.0), 2));
            for (int y = 0; y < c.y; ++y)
                for (int x = 0; x < c.x; ++x, ++i) {
                    const double d = std::hypot(x - c.x * 0.55, y - c.y * 0.45) / (c.x / 192.0);
                    const double r = 12.0 * beat * taper;
                    for (int label = c.labels; label >= 1; --label)
                        if (d < r + 7.0 * (c.labels - label)) voxels[i] = static_cast<uint8_t>(label);
                }
        }
    }
    return voxels;
}

void BM_MeshLabels(benchmark::State& state, const LabelCase& c) {
    const std::vector<uint8_t> voxels = MakeLabels(c);
    const size_t frameVoxels = static_cast<size_t>(c.x) * c.y * c.z;
    std::vector<CLabelSurface::Job> jobs;
    for (int t = 0; t < c.frames; ++t)
        for (int label = 1; label <= c.labels; ++label)
            jobs.push_back({{voxels.data() + t * frameVoxels, c.x, c.y, c.z, {c.pixelSize[0], c.pixelSize[1], c.pixelSize[2]}},
                            static_cast<uint8_t>(label), "label" + std::to_string(label) + "-" + std::to_string(t)});
    double meshing = 0, scanning = 0;
    size_t triangles = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        const uint64_t sum = std::accumulate(voxels.begin(), voxels.end(), uint64_t{0});
        benchmark::DoNotOptimize(sum);
        scanning += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();

        start = std::chrono::steady_clock::now();
        const std::vector<CMeshObject> meshes = CLabelSurface::ExtractAll(jobs);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        meshing += seconds;
        triangles = 0;
        for (const CMeshObject& mesh : meshes) triangles += mesh.m_triangles.size();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["mesh_s"] = meshing / n;
    state.counters["share_of_target"] = meshing / n / c.targetSeconds;
    state.counters["x_voxel_pass"] = meshing / scanning;
    state.counters["objects"] = static_cast<double>(jobs.size());
    state.counters["triangles"] = static_cast<double>(triangles);
}

}  // namespace

BENCHMARK_CAPTURE(BM_MeshLabels, demo_192x192x12x20_2_labels, kDemo)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK_CAPTURE(BM_MeshLabels, large_256x256x16x30_4_labels, kLarge)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(2);

BENCHMARK_MAIN();
