// Scanning DICOM folders and loading a series.
//
// The scan of a folder of many small images is given in files per second.
// The load of an uncompressed series (scan, sort, decode, window) is timed
// against `cat` of the same files in the same run, both with a warm page cache.
// Loads of small series as scanners write them (20 single images, one of them
// padded after its pixel data; one enhanced file of 176 frames) are timed
// against dcm2niix converting the same folder in the same run.
//
// What a user waits for on real files, with fixed costs that the loads above
// leave out (the program's start, the DICOM module's loading, the reader
// process, the exit): `orvanta --info` against `dcm2niix` of the same folder,
// both whole programs, best of 3 with the files in the page cache. The files
// are python3-nibabel's Philips Enhanced MR (176 frames of 256 x 256) and 20
// of its slices as a classic MR series of one file each, as GDCM's gdcmtar
// (libgdcm-tools) writes them.

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "BenchClock.h"
#include "DicomFolder.h"
#include "DicomSource.h"
#include "DicomWriter.h"
#include "ProgramRun.h"
#include "TempFolder.h"
#include "TestData.h"
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

// Scan, sort and load of the one series in `folder`, in seconds; negative when it fails.
double LoadSeconds(const std::string& folder) {
    const auto start = Clock::now();
    CDicomFolder scan;
    std::string error;
    CDicomSeriesLayout layout;
    if (!scan.Scan(folder, error) || scan.m_series.size() != 1 || !scan.m_series[0].Layout(layout, error))
        return -1.0;
    CDicomSource source(layout);
    auto volume = std::make_unique<CTimeVolume>();
    if (!volume->Load(source, 0.98)) return -1.0;
    return SecondsSince(start);
}

// dcm2niix's command converting `folder` into a NIfTI file in `out`, which
// it overwrites (it would otherwise add a file a run).
std::vector<std::string> Dcm2niix(const std::string& folder, const std::string& out) {
    return {"dcm2niix", "-z", "n", "-b", "n", "-w", "1", "-o", out, "-f", "out", folder};
}

// Skips `state` with a note when dcm2niix is not installed.
bool SkippedWithoutDcm2niix(benchmark::State& state) {
    if (std::system("command -v dcm2niix > /dev/null 2>&1") == 0) return false;
    state.SkipWithError("dcm2niix is not installed (Debian package dcm2niix): no ratio measured");
    return true;
}

// dcm2niix converting `folder` to a NIfTI file in a folder of its own, in seconds; negative when it fails.
double Dcm2niixSeconds(const std::string& folder) {
    const std::string out = folder + "-nifti";
    std::filesystem::create_directories(out);
    const RunResult run = Run(Dcm2niix(folder, out));
    std::filesystem::remove_all(out);
    return run.ok ? run.seconds : -1.0;
}

// 20 slices of 256 x 256, as one file each (the last with 2.5 MB of zeros
// after its pixel data, as one exporter leaves them) or as one enhanced file.
std::string MakeSmallSeries(bool enhanced) {
    const std::string folder = BenchFolder().File(enhanced ? "enhanced176" : "padded20");
    if (std::filesystem::exists(folder)) return folder;
    std::filesystem::create_directories(folder);
    DicomImageFields fields;
    fields.rows = fields.columns = 256;
    fields.pixels = DicomImageFields::Pixels::kInt16;
    fields.orientation = std::array<double, 6>{1, 0, 0, 0, 1, 0};
    fields.pixelSpacing = std::array<double, 2>{1.0, 1.0};
    const int slices = enhanced ? 176 : 20;
    std::vector<double> values(256 * 256);
    for (int z = 0; z < slices; ++z) {
        for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>((i * 7 + z * 13) % 1500);
        const std::array<double, 3> position{0.0, 0.0, 1.0 * z};
        if (enhanced) {
            DicomImageFields::Frame frame;
            frame.values = values;
            frame.position = position;
            fields.frameList.push_back(std::move(frame));
            continue;
        }
        fields.values = values;
        fields.position = position;
        fields.instanceNumber = z + 1;
        const std::string path = folder + "/IM" + std::to_string(z);
        WriteDicomImage(path, fields);
        if (z == slices - 1)
            std::ofstream(path, std::ios::binary | std::ios::app) << std::string(2500000, '\0');
    }
    if (enhanced) {
        fields.enhanced = true;
        WriteDicomImage(folder + "/enhanced.dcm", fields);
    }
    sync();
    return folder;
}

void BM_LoadAgainstDcm2niix(benchmark::State& state) {
    const bool enhanced = state.range(0) != 0;
    if (SkippedWithoutDcm2niix(state)) return;
    const std::string folder = MakeSmallSeries(enhanced);
    LoadSeconds(folder);
    Dcm2niixSeconds(folder);
    double loadTotal = 0, convertTotal = 0;
    for (auto _ : state) {
        const double converted = Dcm2niixSeconds(folder);
        const double loaded = LoadSeconds(folder);
        if (converted < 0 || loaded < 0) {
            state.SkipWithError(converted < 0 ? "dcm2niix failed" : "load failed");
            break;
        }
        convertTotal += converted;
        loadTotal += loaded;
        state.SetIterationTime(loaded);
    }
    const double n = static_cast<double>(state.iterations());
    state.counters["load_s"] = loadTotal / n;
    state.counters["dcm2niix_s"] = convertTotal / n;
    state.counters["ratio_to_dcm2niix"] = loadTotal / convertTotal;
    state.counters["target_ratio"] = enhanced ? 2.0 : 3.0;
}
// 0: 20 single images, one padded; 1: one enhanced file of 176 frames.
BENCHMARK(BM_LoadAgainstDcm2niix)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(5)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The real series: 0, 20 slices of the enhanced file as single images; 1,
// the enhanced file itself. Empty, with `why`, when a package is missing.
std::string RealSeries(bool enhanced, std::string& why) {
    const std::string folder = BenchFolder().File(enhanced ? "real-enhanced" : "real-classic20");
    if (std::filesystem::exists(folder)) return folder;
    std::filesystem::create_directories(folder);
    const std::string file = folder + "/mprage.dcm";
    if (!WriteNibabelEnhancedMr(file)) {
        why = "python3-nibabel's Philips Enhanced MR is not installed: no ratio measured";
        std::filesystem::remove_all(folder);
        return "";
    }
    if (enhanced) return folder;
    const std::vector<std::string> frames = SplitEnhancedMr(file, BenchFolder().File("real-classic176"));
    std::filesystem::remove(file);
    if (frames.size() < 100) {
        why = "gdcmtar (Debian package libgdcm-tools) cannot split the enhanced file: no ratio measured";
        std::filesystem::remove_all(folder);
        return "";
    }
    // 20 neighbouring slices from the middle, where the head is.
    for (size_t i = 78; i < 98; ++i)
        std::filesystem::rename(frames[i],
                                folder + "/" + std::filesystem::path(frames[i]).filename().string());
    sync();
    return folder;
}

void BM_ProgramAgainstDcm2niix(benchmark::State& state) {
    const bool enhanced = state.range(0) != 0;
    if (SkippedWithoutDcm2niix(state)) return;
    std::string why;
    const std::string folder = RealSeries(enhanced, why);
    if (folder.empty()) {
        state.SkipWithError(why.c_str());
        return;
    }
    const std::string out = folder + "-nifti";
    std::filesystem::create_directories(out);
    const std::vector<std::string> orvanta = {ORVANTA_EXE, "--info", folder};
    const std::vector<std::string> dcm2niix = Dcm2niix(folder, out);
    // One run of each first, so that both find the files and their libraries in the page cache.
    Run(orvanta);
    Run(dcm2niix);
    double ours = 1e30, theirs = 1e30, oursCpu = 1e30, theirsCpu = 1e30;
    bool failed = false;
    for (auto _ : state) {
        // Best of 3 each, in turns, so that a change in the machine's load falls on both.
        for (int round = 0; round < 3 && !failed; ++round) {
            const RunResult converted = Run(dcm2niix);
            const RunResult loaded = Run(orvanta);
            failed = !converted.ok || !loaded.ok;
            if (failed) state.SkipWithError(loaded.ok ? "dcm2niix failed" : "orvanta --info failed");
            theirs = std::min(theirs, converted.seconds);
            ours = std::min(ours, loaded.seconds);
            theirsCpu = std::min(theirsCpu, converted.cpuSeconds);
            oursCpu = std::min(oursCpu, loaded.cpuSeconds);
        }
        state.SetIterationTime(ours);
    }
    std::filesystem::remove_all(out);
    if (failed) return;
    state.counters["orvanta_s"] = ours;
    state.counters["dcm2niix_s"] = theirs;
    state.counters["ratio_to_dcm2niix"] = ours / theirs;
    state.counters["cpu_ratio"] = oursCpu / theirsCpu;
    state.counters["target_ratio"] = enhanced ? 1.5 : 2.0;
}
// 0: a real classic series of 20 images of 256 x 256; 1: a real enhanced file of 176 frames.
BENCHMARK(BM_ProgramAgainstDcm2niix)
    ->Arg(0)
    ->Arg(1)
    ->Iterations(1)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
