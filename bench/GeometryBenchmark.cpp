// Reading .obj files and the per-frame queries the view makes while drawing.
//
// LoadObj is timed on a generated file of 40 tube meshes (one per frame) of
// 25,000 triangles each, written the way the demo generator writes them, and
// its speed is given in MB/s of file read.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <string>

#include "MeshSet.h"
#include "TempFolder.h"

namespace {

constexpr int kObjects = 40;
constexpr int kContourPoints = 50;
constexpr int kContours = 251;  // 250 bands of 2 * 50 triangles: 25,000 per object

TempFolder& BenchFolder() {
    static TempFolder folder;
    return folder;
}

// Writes the benchmark file once; returns its path.
std::string MeshFile() {
    static std::string path;
    if (!path.empty()) return path;
    path = BenchFolder().File("tubes.obj");
    std::FILE* file = std::fopen(path.c_str(), "w");
    if (file == nullptr) return path;
    long firstVertex = 1;
    for (int t = 0; t < kObjects; ++t) {
        std::fprintf(file, "g tube-%02d\n", t);
        for (int z = 0; z < kContours; ++z)
            for (int i = 0; i < kContourPoints; ++i) {
                const double angle = 2.0 * M_PI * i / kContourPoints,
                             radius = 20.0 + 5.0 * std::sin(z * 0.05 + t);
                std::fprintf(file, "v %.4f %.4f %.4f\n", 96.0 + radius * std::cos(angle),
                             128.0 + radius * std::sin(angle), z * 0.25);
            }
        for (int z = 0; z + 1 < kContours; ++z)
            for (int i = 0; i < kContourPoints; ++i) {
                const long a = firstVertex + z * kContourPoints + i;
                const long b = firstVertex + z * kContourPoints + (i + 1) % kContourPoints;
                std::fprintf(file, "f %ld %ld %ld\nf %ld %ld %ld\n", a, b, b + kContourPoints, a,
                             b + kContourPoints, a + kContourPoints);
            }
        firstVertex += static_cast<long>(kContours) * kContourPoints;
    }
    std::fclose(file);
    return path;
}

void BM_LoadObj(benchmark::State& state) {
    const std::string path = MeshFile();
    const double fileBytes = static_cast<double>(std::filesystem::file_size(path));
    double total = 0;
    size_t triangles = 0;
    for (auto _ : state) {
        CMeshSet set;
        const auto start = std::chrono::steady_clock::now();
        if (!set.LoadObj(path)) state.SkipWithError("load failed");
        const double seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(seconds);
        total += seconds;
        triangles = 0;
        for (const CMeshObject& object : set.Objects()) triangles += object.m_triangles.size();
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["file_MB"] = fileBytes / 1e6;
    state.counters["triangles"] = static_cast<double>(triangles);
    state.counters["load_s"] = total / n;
    state.counters["MB/s"] = fileBytes * n / total / 1e6;
}
BENCHMARK(BM_LoadObj)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

// What the view asks for each frame it draws.
void BM_FrameQueries(benchmark::State& state) {
    static CMeshSet set;
    if (set.ObjectCount() == 0 && !set.LoadObj(MeshFile())) state.SkipWithError("load failed");
    int frame = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(set.LastFrame());
        benchmark::DoNotOptimize(set.ObjectsOfFrame(frame));
        frame = (frame + 1) % kObjects;
    }
}
BENCHMARK(BM_FrameQueries);

}  // namespace

BENCHMARK_MAIN();
