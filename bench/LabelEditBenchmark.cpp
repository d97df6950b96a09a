// What one label edit costs after the stroke ends, on a 256 x 256 x 16 x 30
// label image with 4 labels over a volume of that size: the edited frame's
// surfaces made again, the view refreshed and the curves the Curves panel
// shows computed again. step_ms should stay under 150. Baselines timed in
// the same run: making the surfaces of one frame (the floor of the step)
// and of every frame (what the step would cost without keeping the others).
// dab_ms is one brush dab while the stroke goes on (the overlay follows it).

#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>

#include "BeatingLabels.h"
#include "BenchClock.h"
#include "Curves.h"
#include "LabelEditing.h"
#include "LabelSurface.h"
#include "OffscreenViewer.h"
#include "TextFormat.h"
#include "TviWriter.h"

namespace {

using namespace BeatingLabelsGrid;

// The surfaces of `frames` frames of `labels`, as the label layer makes them; the seconds taken.
double SurfaceSeconds(const CLabelImage& labels, int frames, const double pixelSize[3]) {
    const Clock::time_point start = Clock::now();
    std::vector<CLabelSurface::Job> jobs;
    for (int t = 0; t < frames; ++t)
        for (int label = 1; label <= kLabels; ++label)
            jobs.push_back({{labels.FrameVoxels(t), kX, kY, kZ, {pixelSize[0], pixelSize[1], pixelSize[2]}},
                            static_cast<uint8_t>(label), FormatText("label%d-%02d", label, t)});
    const std::vector<CMeshObject> meshes = CLabelSurface::ExtractAll(jobs);
    benchmark::DoNotOptimize(meshes.data());
    return SecondsSince(start);
}

void BM_LabelEditStep(benchmark::State& state) {
    const std::string path = BenchFolder().File("edit.tvi");
    if (!WriteLargeTviFile(path, kX, kY, kZ, kT)) {
        state.SkipWithError("cannot write the volume");
        return;
    }
    OffscreenViewer shown;
    if (!shown.Open(state, path)) return;
    CViewer& viewer = shown.viewer;
    const std::vector<uint8_t> values = BeatingLabels();
    CLabelImage labels;
    std::string error;
    if (viewer.Volume().Frames() != kT || !labels.Assign(values.data(), kX, kY, kZ, kT, error) ||
        !viewer.ShowLabels(std::move(labels), "")) {
        state.SkipWithError("the volume or labels did not load");
        return;
    }
    const double pixelSize[3] = {viewer.State().m_pixelSizeX, viewer.State().m_pixelSizeY,
                                 viewer.State().m_pixelSizeZ};
    double oneFrame = 1e30, everyFrame = 1e30;
    for (int round = 0; round < 3; ++round) {
        oneFrame = std::min(oneFrame, SurfaceSeconds(viewer.Labels().Image(), 1, pixelSize));
        everyFrame = std::min(everyFrame, SurfaceSeconds(viewer.Labels().Image(), kT, pixelSize));
    }

    CLabelEditing& editing = viewer.Editing();
    editing.Settings().brushRadiusMm = 6.0;
    CCurves curves;
    double step = 1e30, dab = 1e30, curvesPart = 1e30;
    int round = 0;
    for (auto _ : state) {
        // A stroke at another place each time, in the frame shown.
        viewer.Navigation().SetFrame(round % kT);
        const std::array<int, 3> at = {100 + (round * 7) % 56, 100 + (round * 11) % 56, 8};
        // The outer shells' labels inside the inner ones: every dab changes voxels.
        editing.Settings().activeLabel = 3 + round % 2;
        ++round;
        const int before = editing.UndoStack().count();
        if (!editing.Begin()) {
            state.SkipWithError("cannot edit");
            return;
        }
        Clock::time_point start = Clock::now();
        editing.Brush(at, 2, false);
        dab = std::min(dab, SecondsSince(start));
        start = Clock::now();
        editing.End();
        const double surfaces = SecondsSince(start);
        curves.Compute(viewer);
        const double seconds = SecondsSince(start);
        curvesPart = std::min(curvesPart, seconds - surfaces);
        if (editing.UndoStack().count() != before + 1) {
            state.SkipWithError("a dab changed nothing");
            return;
        }
        step = std::min(step, seconds);
        state.SetIterationTime(seconds);
    }
    state.counters["step_ms"] = step * 1e3;
    state.counters["step_limit_ms"] = 150;
    state.counters["dab_ms"] = dab * 1e3;
    state.counters["curves_part_ms"] = curvesPart * 1e3;
    state.counters["one_frame_surfaces_ms"] = oneFrame * 1e3;
    state.counters["every_frame_surfaces_ms"] = everyFrame * 1e3;
    state.counters["ratio_to_one_frame"] = step / oneFrame;
    state.counters["ratio_to_every_frame"] = step / everyFrame;
}
BENCHMARK(BM_LabelEditStep)->UseManualTime()->Iterations(12)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
