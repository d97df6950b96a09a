// One step of a window drag as the viewer takes it on a 512 x 512 x 64
// volume: the new code-to-grey table, the three planes gathered through it
// and handed to the view as textures (offscreen, on the software renderer),
// in grey and through a colour map. Each figure is the best of its rounds,
// also as a ratio to handing the same planes over again without a new window.

#include <GL/gl.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <chrono>

#include "OffscreenViewer.h"
#include "TempFolder.h"
#include "TviWriter.h"

namespace {

double Seconds(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void BM_WindowDragShown(benchmark::State& state) {
    TempFolder folder;
    const std::string path = folder.File("drag.tvi");
    WriteLargeTviFile(path, 512, 512, 64, 1);
    OffscreenViewer shown;
    if (!shown.Open(state, path)) return;
    CViewer& viewer = shown.viewer;
    if (viewer.Volume().SizeX() != 512) {
        state.SkipWithError("load failed");
        return;
    }
    viewer.SetColourMap(state.range(0) != 0 ? EColourMap::kViridis : EColourMap::kGrey);
    const CDisplayWindow start = viewer.Volume().Window();
    double drag = 1e30, again = 1e30;
    int step = 0;
    for (auto _ : state) {
        auto begun = std::chrono::steady_clock::now();
        viewer.RefreshView();
        glFinish();
        again = std::min(again, Seconds(begun));

        ++step;
        begun = std::chrono::steady_clock::now();
        if (!viewer.SetWindow(CDisplayWindow{start.center + step % 50, start.width * (1.0 + (step % 7) * 0.1)}))
            state.SkipWithError("window refused");
        glFinish();
        const double seconds = Seconds(begun);
        drag = std::min(drag, seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["drag_ms"] = drag * 1e3;
    state.counters["same_planes_again_ms"] = again * 1e3;
    state.counters["ratio_to_same_planes"] = drag / again;
    state.counters["drag_limit_ms"] = 5;
}
BENCHMARK(BM_WindowDragShown)->Arg(0)->Arg(1)->ArgName("colour_map")->Iterations(50)->UseManualTime()->Unit(
    benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
