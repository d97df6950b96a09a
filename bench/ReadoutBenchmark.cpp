// The readout under the mouse: one hover over a 512 x 512 x 64 volume (the
// ray cast through the pixel, the voxel it hits, its value and position as
// text), against the 1 ms an update may take. Positions sweep the whole view,
// so planes are hit, missed and hit end-on; the best of several sweeps counts.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <set>
#include <string>

#include "BenchClock.h"
#include "HeadlessHost.h"
#include "OffscreenView.h"
#include "TempFolder.h"
#include "TviWriter.h"
#include "Viewer.h"

namespace {

// Counts the different texts shown, to tell that the sweep met voxels.
class CCountingHost : public CHeadlessHost {
public:
    void ShowReadout(const std::string& text) override { m_texts.insert(text); }
    std::set<std::string> m_texts;
};

void BM_Readout(benchmark::State& state) {
    constexpr int kWidth = 640, kHeight = 480, kSteps = 64;
    const std::string path = BenchFolder().File("readout-512x512x64.tvi");
    if (!WriteLargeTviFile(path, 512, 512, 64, 1)) state.SkipWithError("cannot write the volume");
    COffscreenView view;
    if (!view.Create(kWidth, kHeight)) {
        state.SkipWithError(view.ErrorText().c_str());
        return;
    }
    CCountingHost host;
    CViewer viewer(view, host);
    viewer.LoadVolume(path);
    if (viewer.Volume().SizeX() != 512) state.SkipWithError("load failed");
    double best = 1e30;
    for (auto _ : state) {
        const auto start = Clock::now();
        for (int row = 0; row < kSteps; ++row)
            for (int column = 0; column < kSteps; ++column)
                viewer.OnHover((column + 0.5) * kWidth / kSteps, (row + 0.5) * kHeight / kSteps, kWidth, kHeight);
        const double seconds = SecondsSince(start) / (kSteps * kSteps);
        best = std::min(best, seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["update_us"] = best * 1e6;
    state.counters["fraction_of_1ms_target"] = best / 1e-3;
    state.counters["different_readouts"] = static_cast<double>(host.m_texts.size());
}
BENCHMARK(BM_Readout)->Iterations(5)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
