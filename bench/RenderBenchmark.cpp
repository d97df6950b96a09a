// One full view refresh on Mesa's software renderer: the three planes
// extracted (power-of-two resampled), uploaded, one frame drawn at 640 x 480
// and read back, as the window does on every step of playback. And one frame
// step of playback on a 512 x 512 x 64 x 32 volume: the three planes of the
// next frame gathered from the codes and uploaded (the drawing, which does not
// depend on the volume, left out).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

#include "OffscreenContext.h"
#include "SceneRenderer.h"
#include "TempFolder.h"
#include "TimeVolume.h"
#include "TviWriter.h"
#include "BenchClock.h"

namespace {

void BM_Refresh(benchmark::State& state) {
    const int x = static_cast<int>(state.range(0)), y = static_cast<int>(state.range(1));
    const int z = static_cast<int>(state.range(2));
    TempFolder folder;
    TviContents tvi;
    tvi.sizeX = x;
    tvi.sizeY = y;
    tvi.sizeZ = z;
    tvi.frames = 1;
    tvi.pixelSizeX = tvi.pixelSizeY = 1.3671875;
    tvi.pixelSizeZ = 6.0;
    tvi.Allocate();
    for (size_t i = 0; i < tvi.samples.size(); ++i) tvi.samples[i] = static_cast<uint16_t>((i * 2654435761u) >> 20);
    WriteTviFile(folder.File("v.tvi"), tvi);
    tvi.samples.clear();
    CTimeVolume volume;
    if (!volume.LoadFile(folder.File("v.tvi"), 0.98)) state.SkipWithError("load failed");

    COffscreenContext context;
    if (!context.Create(640, 480)) {
        state.SkipWithError(context.ErrorText().c_str());
        return;
    }
    CSceneRenderer renderer;
    COrbitCamera camera;
    CSceneState scene;
    camera.m_distance = 800;
    renderer.InitGLState();
    renderer.Resize(camera, 640, 480);
    scene.m_extent[0] = x * volume.PixelSizeX();
    scene.m_extent[1] = y * volume.PixelSizeY();
    scene.m_extent[2] = z * volume.PixelSizeZ();
    for (int i = 0; i < 3; ++i) camera.m_target[static_cast<size_t>(i)] = scene.m_extent[i] / 2;

    std::vector<double> times;
    int step = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        const int index[3] = {step % x, step % y, step % z};
        ++step;
        for (int plane = 0; plane < 3; ++plane) {
            scene.m_slicePos[plane] = (index[plane] + 0.5) / (plane == 0 ? x : plane == 1 ? y : z);
            CSliceImage image = volume.GetSlice(plane, index[plane], 0, true);
            renderer.SetSliceTexture(scene, plane, image.m_height, image.m_width, image.m_data);
            FreeSliceImage(image);
        }
        renderer.RenderFrame(camera, scene);
        std::vector<uint8_t> pixels = renderer.ReadFrameBuffer(640, 480);
        benchmark::DoNotOptimize(pixels.data());
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    renderer.ReleaseResources();
    std::sort(times.begin(), times.end());
    state.counters["median_ms"] = times[times.size() / 2];
    state.counters["p95_ms"] = times[std::min(times.size() - 1, times.size() * 95 / 100)];
}
BENCHMARK(BM_Refresh)->Args({256, 256, 10})->Args({512, 512, 128})->Unit(benchmark::kMillisecond)->MinTime(2.0);

void BM_FrameStep(benchmark::State& state) {
    const std::string path = BenchFolder().File("512x512x64x32.tvi");
    if (!std::ifstream(path).good()) WriteLargeTviFile(path, 512, 512, 64, 32);
    CTimeVolume volume;
    if (!volume.LoadFile(path, 0.98)) {
        state.SkipWithError("load failed");
        return;
    }
    COffscreenContext context;
    if (!context.Create(640, 480)) {
        state.SkipWithError(context.ErrorText().c_str());
        return;
    }
    CSceneRenderer renderer;
    CSceneState scene;
    renderer.InitGLState();
    const int index[3] = {200, 300, 40};
    std::vector<double> times;
    int frame = 0;
    for (auto _ : state) {
        const auto start = std::chrono::steady_clock::now();
        frame = (frame + 1) % volume.Frames();
        for (int plane = 0; plane < 3; ++plane) {
            CSliceImage image = volume.GetSlice(plane, index[plane], frame, true);
            renderer.SetSliceTexture(scene, plane, image.m_height, image.m_width, image.m_data);
            FreeSliceImage(image);
        }
        glFinish();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    renderer.ReleaseResources();
    std::sort(times.begin(), times.end());
    state.counters["median_ms"] = times[times.size() / 2];
    state.counters["p95_ms"] = times[std::min(times.size() - 1, times.size() * 95 / 100)];
    state.counters["target_ms"] = 2;
}
BENCHMARK(BM_FrameStep)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
