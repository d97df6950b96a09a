// Exporting the demo data (20 frames) as a movie at 640 x 480 on the
// software renderer, with the time split into drawing, reading back and
// writing.

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <string>

#include "OffscreenViewer.h"
#include "TempFolder.h"
#include "ViewerExports.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_ExportDemo(benchmark::State& state) {
    TempFolder folder;
    if (std::system((std::string(ORVANTA_MAKE_DEMO) + " " + folder.Path().string() + " > /dev/null").c_str()) != 0) {
        state.SkipWithError("cannot make the demo data");
        return;
    }
    OffscreenViewer shown;
    if (!shown.Open(state, folder.File("heart.tvi"))) return;
    CViewer& viewer = shown.viewer;
    COffscreenView& view = shown.view;
    const int frames = static_cast<int>(CViewerExports(viewer).MovieFrames().size());

    double total = 0, drawing = 0, reading = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        if (!CViewerExports(viewer).ExportMovie(folder.File("heart.avi"))) state.SkipWithError("export failed");
        total += Seconds(start);
        // The same frames drawn, then read back, without writing.
        std::vector<uint8_t> pixels;
        int width = 0, height = 0;
        for (int t = 0; t < frames; ++t) {
            viewer.Navigation().SetFrame(t);
            start = std::chrono::steady_clock::now();
            viewer.RefreshView();
            view.RenderNow();
            glFinish();  // the software renderer draws when asked to finish
            drawing += Seconds(start);
            start = std::chrono::steady_clock::now();
            view.ReadFrameBuffer(width, height, pixels);
            reading += Seconds(start);
        }
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["frames_per_s"] = frames * n / total;
    state.counters["drawing_share"] = drawing / total;
    state.counters["readback_share"] = reading / total;
    state.counters["writing_share"] = 1.0 - (drawing + reading) / total;
}
BENCHMARK(BM_ExportDemo)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
