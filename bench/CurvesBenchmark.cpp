// The speed of the Curves panel's quantities, each against a baseline timed
// in the same run:
// - label and mesh volumes of a 256 x 256 x 16 x 30 label image with 4
//   labels against the load they add to (reading the labels into the image
//   and making every surface): added_ms should stay under 50;
// - moving the frame line and drawing the chart again (what a frame change
//   costs the panel) against rebuilding its curves: frame_change_ms under 2;
// - --export-csv on the demo against --info on the demo: ratio_to_info at
//   most 1.2.

#include <benchmark/benchmark.h>

#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <cmath>
#include <cstdlib>
#include <numbers>
#include <string>
#include <vector>

#include "BeatingLabels.h"
#include "BenchClock.h"
#include "Curves.h"
#include "CurvesChart.h"
#include "CurvesExport.h"
#include "LabelImage.h"
#include "LabelSurface.h"
#include "MeshSet.h"
#include "TextFormat.h"

namespace {

using namespace BeatingLabelsGrid;

void BM_VolumesAtLoad(benchmark::State& state) {
    const std::vector<uint8_t> values = BeatingLabels();
    // The load the volumes add to: the label image and its surfaces.
    Clock::time_point start = Clock::now();
    CLabelImage labels;
    std::string error;
    if (!labels.Assign(values.data(), kX, kY, kZ, kT, error)) {
        state.SkipWithError(error.c_str());
        return;
    }
    const double pixelSize[3] = {1.25, 1.25, 8.0};
    std::vector<CLabelSurface::Job> jobs;
    for (int t = 0; t < kT; ++t)
        for (int label = 1; label <= kLabels; ++label)
            jobs.push_back({{labels.FrameVoxels(t), kX, kY, kZ, {pixelSize[0], pixelSize[1], pixelSize[2]}},
                            static_cast<uint8_t>(label),
                            FormatText("label%d-%02d", label, t)});
    CMeshSet meshes;
    meshes.AddObjects(CLabelSurface::ExtractAll(jobs));
    const double load = SecondsSince(start);

    double added = 0;
    size_t closed = 0;
    for (auto _ : state) {
        start = Clock::now();
        CCurves curves;
        curves.Compute(labels, pixelSize, meshes, kT, 40);
        const double seconds = SecondsSince(start);
        added += seconds;
        closed = curves.MeshLines().size();
        state.SetIterationTime(seconds);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["added_ms"] = added / iterations * 1e3;
    state.counters["load_ms"] = load * 1e3;
    state.counters["ratio_to_load"] = added / iterations / load;
    state.counters["closed_mesh_lines"] = static_cast<double>(closed);
    size_t triangles = 0;
    for (const CMeshObject& object : meshes.Objects()) triangles += object.m_triangles.size();
    state.counters["triangles"] = static_cast<double>(triangles);
}
BENCHMARK(BM_VolumesAtLoad)->UseManualTime()->Iterations(10)->Unit(benchmark::kMillisecond);

void BM_PanelFrameChange(benchmark::State& state) {
    CCurvesExport::EnsureApplication();
    // The label lines of the image above: 4 lines of 30 frames.
    CMeshSet noMeshes;
    CLabelImage labels;
    std::string error;
    const std::vector<uint8_t> values = BeatingLabels();
    labels.Assign(values.data(), kX, kY, kZ, kT, error);
    const double pixelSize[3] = {1.25, 1.25, 8.0};
    CCurves curves;
    curves.Compute(labels, pixelSize, noMeshes, kT, 40);

    QGraphicsScene scene;
    auto* chart = new CCurvesChart;
    scene.addItem(chart);
    chart->setGeometry(0, 0, 640, 480);
    QImage image(640, 480, QImage::Format_RGB32);
    const auto draw = [&] {
        QPainter painter(&image);
        scene.render(&painter);
    };
    double rebuild = 0, change = 0;
    int frame = 0;
    for (auto _ : state) {
        Clock::time_point start = Clock::now();
        chart->SetCurves(curves);
        draw();
        rebuild += SecondsSince(start);
        start = Clock::now();
        chart->SetFrame(frame = (frame + 1) % kT);
        draw();
        const double seconds = SecondsSince(start);
        change += seconds;
        state.SetIterationTime(seconds);
    }
    const double iterations = static_cast<double>(state.iterations());
    state.counters["frame_change_ms"] = change / iterations * 1e3;
    state.counters["rebuild_ms"] = rebuild / iterations * 1e3;
    state.counters["ratio_to_rebuild"] = change / rebuild;
}
BENCHMARK(BM_PanelFrameChange)->UseManualTime()->Iterations(50)->Unit(benchmark::kMillisecond);

// Seconds one run of the program takes; negative when it fails.
double TimeRun(const std::string& arguments) {
    const Clock::time_point start = Clock::now();
    const std::string command = "cd '" + BenchFolder().Path().string() +
                                "' && env -u DISPLAY '" ORVANTA_EXE "' " + arguments + " > /dev/null";
    if (std::system(command.c_str()) != 0) return -1;
    return SecondsSince(start);
}

void BM_ExportCsvAgainstInfo(benchmark::State& state) {
    static const bool made = std::system((std::string("'" ORVANTA_MAKE_DEMO "' '") +
                                          BenchFolder().Path().string() + "' > /dev/null")
                                             .c_str()) == 0;
    if (!made) {
        state.SkipWithError("cannot make the demo data");
        return;
    }
    const std::string demo = "--labels heart-labels.nii.gz heart.tvi";
    double info = 0, csv = 0;
    for (auto _ : state) {
        const double infoSeconds = TimeRun("--info " + demo);
        const double csvSeconds = TimeRun("--export-csv curves.csv " + demo);
        if (infoSeconds < 0 || csvSeconds < 0) {
            state.SkipWithError("orvanta failed on the demo");
            return;
        }
        info += infoSeconds;
        csv += csvSeconds;
        state.SetIterationTime(csvSeconds);
    }
    state.counters["info_ms"] = info / static_cast<double>(state.iterations()) * 1e3;
    state.counters["ratio_to_info"] = csv / info;
}
BENCHMARK(BM_ExportCsvAgainstInfo)->UseManualTime()->Iterations(5)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
