// Scanning DICOM folders and loading a series.
//
// The scan of a folder of many small images is given in files per second.
// The load of an uncompressed series (scan, sort, decode, window) is timed
// against `cat` of the same files in the same run, both with a warm page cache.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "DicomFolder.h"
#include "DicomSource.h"
#include "DicomWriter.h"
#include "BenchClock.h"
#include "TempFolder.h"
#include "TimeVolume.h"

namespace {

// A folder of `slices` x `frames` images of columns x rows, int16, written once.
std::string MakeSeries(const std::string& name, int columns, int rows, int slices, int frames) {
    const std::string folder = BenchFolder().File(name);
    if (std::filesystem::exists(folder)) return folder;
    std::filesystem::create_directories(folder);
    DicomImageFields fields;
    fields.rows = rows;
    fields.columns = columns;
    fields.pixels = DicomImageFields::Pixels::kInt16;
    fields.orientation = std::array<double, 6>{1, 0, 0, 0, 1, 0};
    fields.pixelSpacing = std::array<double, 2>{1.4, 1.4};
    fields.values.resize(static_cast<size_t>(columns) * rows);
    uint32_t noise = 12345;
    for (int z = 0; z < slices; ++z)
        for (int t = 0; t < frames; ++t) {
            for (size_t i = 0; i < fields.values.size(); ++i) {
                noise = noise * 1664525u + 1013904223u;
                fields.values[i] = static_cast<double>((i % 700) + z * 10 + t * 5 + (noise >> 26));
            }
            fields.position = std::array<double, 3>{0.0, 0.0, 8.0 * z};
            fields.triggerTime = 35.0 * t;
            fields.instanceNumber = z * frames + t + 1;
            WriteDicomImage(folder + "/IM" + std::to_string(z * frames + t), fields);
        }
    sync();
    return folder;
}

double CatSeconds(const std::string& folder) {
    const auto start = Clock::now();
    const int status = std::system(("cat '" + folder + "'/* > /dev/null").c_str());
    (void)status;
    return SecondsSince(start);
}

void BM_ScanFolder(benchmark::State& state) {
    const int files = static_cast<int>(state.range(0));
    const std::string folder = MakeSeries("scan" + std::to_string(files), 32, 32, 50, files / 50);
    CDicomFolder warm;
    std::string error;
    warm.Scan(folder, error);
    for (auto _ : state) {
        CDicomFolder scan;
        const auto start = Clock::now();
        if (!scan.Scan(folder, error) || scan.m_series.size() != 1) state.SkipWithError("scan failed");
        state.SetIterationTime(SecondsSince(start));
    }
    state.counters["files_per_s"] = benchmark::Counter(static_cast<double>(files) * static_cast<double>(state.iterations()),
                                                       benchmark::Counter::kIsRate);
    state.counters["target_files_per_s"] = 2000;
}
BENCHMARK(BM_ScanFolder)->Arg(5000)->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_LoadSeries(benchmark::State& state) {
    const int size = static_cast<int>(state.range(0)), slices = static_cast<int>(state.range(1));
    const int frames = static_cast<int>(state.range(2));
    const std::string folder = MakeSeries("load" + std::to_string(size), size, size, slices, frames);
    CatSeconds(folder);
    double catTotal = 0, loadTotal = 0, scanTotal = 0;
    for (auto _ : state) {
        catTotal += CatSeconds(folder);
        auto volume = std::make_unique<CTimeVolume>();
        const auto start = Clock::now();
        CDicomFolder scan;
        std::string error;
        CDicomSeriesLayout layout;
        if (!scan.Scan(folder, error) || scan.m_series.empty() || !scan.m_series[0].Layout(layout, error)) {
            state.SkipWithError("scan failed");
            break;
        }
        scanTotal += SecondsSince(start);
        CDicomSource source(layout);
        if (!volume->Load(source, 0.98)) state.SkipWithError("load failed");
        const double seconds = SecondsSince(start);
        loadTotal += seconds;
        state.SetIterationTime(seconds);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["load_s"] = loadTotal / n;
    state.counters["scan_s"] = scanTotal / n;
    state.counters["cat_s"] = catTotal / n;
    state.counters["ratio_to_cat"] = loadTotal / catTotal;
    state.counters["target_ratio"] = 1.5;
}
BENCHMARK(BM_LoadSeries)->Args({256, 12, 25})->Iterations(3)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
