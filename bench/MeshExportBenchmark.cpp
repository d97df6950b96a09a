// Writing the demo's meshes (its .obj tubes and the label surfaces of every
// frame) with --export-mesh --all-frames in each format, against the
// --export-obj of the same meshes timed in the same iterations: the counter
// ratio_to_export_obj is the time of the format over that of the .obj file.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "BenchClock.h"
#include "HeadlessHost.h"
#include "OffscreenView.h"
#include "Viewer.h"
#include "ViewerExports.h"

namespace {

// The demo with its labels, loaded once for every benchmark.
struct Demo {
    COffscreenView view;
    CHeadlessHost host;
    std::unique_ptr<CViewer> viewer;
    std::string error;

    Demo() {
        const std::string folder = BenchFolder().Path().string();
        if (std::system((std::string(ORVANTA_MAKE_DEMO) + " '" + folder + "' > /dev/null").c_str()) != 0) {
            error = "cannot make the demo data";
            return;
        }
        if (!view.Create(64, 48)) {
            error = view.ErrorText();
            return;
        }
        viewer = std::make_unique<CViewer>(view, host);
        viewer->OpenStartupFile(BenchFolder().File("heart.tvi"));
        viewer->LoadLabelFile(BenchFolder().File("heart-labels.nii.gz"));
        if (viewer->View().m_meshes.ObjectCount() == 0) error = "the demo has no meshes";
    }
};

Demo& TheDemo() {
    static Demo demo;
    return demo;
}

void BM_ExportMeshesAllFrames(benchmark::State& state, const char* extension) {
    Demo& demo = TheDemo();
    if (!demo.error.empty()) {
        state.SkipWithError(demo.error.c_str());
        return;
    }
    CViewerExports exports(*demo.viewer);
    exports.SetAllMeshFrames(true);
    double obj = 0, format = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        if (!exports.SaveGeometry(BenchFolder().File("baseline.obj")))
            state.SkipWithError("--export-obj failed");
        obj += SecondsSince(start);
        start = Clock::now();
        if (!exports.ExportMeshes(BenchFolder().File(std::string("frames") + extension)))
            state.SkipWithError("--export-mesh failed");
        const double seconds = SecondsSince(start);
        format += seconds;
        state.SetIterationTime(seconds);
    }
    state.counters["ratio_to_export_obj"] = format / obj;
    state.counters["objects"] = demo.viewer->View().m_meshes.ObjectCount();
}

BENCHMARK_CAPTURE(BM_ExportMeshesAllFrames, obj, ".obj")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportMeshesAllFrames, stl, ".stl")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportMeshesAllFrames, ply, ".ply")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportMeshesAllFrames, vtp, ".vtp")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_ExportMeshesAllFrames, gii, ".gii")
    ->UseManualTime()
    ->Iterations(10)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
