// Loading .tvi files and serving planes.
//
// LoadTvi is timed against a load that keeps no values and against plain
// read() of the same file in the same run (warm page cache all), and its peak
// resident memory is compared with the size of the 8-bit volume it produces.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ProcessMemory.h"
#include "BenchClock.h"
#include "TempFolder.h"
#include "TimeVolume.h"
#include "TviWriter.h"

namespace {

std::string MakeFile(int x, int y, int z, int t) {
    const std::string path = BenchFolder().File(std::to_string(x) + "x" + std::to_string(y) + "x" +
                                                std::to_string(z) + "x" + std::to_string(t) + ".tvi");
    if (!std::ifstream(path).good()) WriteLargeTviFile(path, x, y, z, t);
    return path;
}

// Reads the whole file with read() into one reused buffer.
double PlainReadSeconds(const std::string& path) {
    static std::vector<char> buffer(size_t{8} << 20);
    const auto start = Clock::now();
    const int fd = open(path.c_str(), O_RDONLY);
    while (read(fd, buffer.data(), buffer.size()) > 0) {
    }
    close(fd);
    return SecondsSince(start);
}

void BM_LoadTvi(benchmark::State& state) {
    const int x = static_cast<int>(state.range(0)), y = static_cast<int>(state.range(1));
    const int z = static_cast<int>(state.range(2)), t = static_cast<int>(state.range(3));
    const std::string path = MakeFile(x, y, z, t);
    const double fileBytes = 1108.0 + 2.0 * x * y * z * t;
    const double volumeMiB = static_cast<double>(x) * y * z * t / (1 << 20);
    // Let the new file reach the disk first, so writing it back does not
    // slow the timed reads, then warm the page cache.
    sync();
    PlainReadSeconds(path);

    // Memory the allocator keeps after one load is reused by the next, so the
    // peak is measured against the resident size before the first load.
    malloc_trim(0);
    const long baseline = StatusKiB("VmRSS");
    // Each round loads the file once keeping every sample's value and once
    // without, side by side, and reads it once; the best of the rounds counts.
    struct Load {
        double seconds = 1e30;
        double peakMiB = 0;
    };
    auto load = [&](bool keepValues, Load& best) {
        auto volume = std::make_unique<CTimeVolume>();
        volume->m_keepValues = keepValues;
        ResetPeakResident();
        const auto start = Clock::now();
        if (!volume->LoadTvi(path, 0.98)) state.SkipWithError("load failed");
        const double seconds = SecondsSince(start);
        best.peakMiB = std::max(best.peakMiB, (StatusKiB("VmHWM") - baseline) / 1024.0);
        best.seconds = std::min(best.seconds, seconds);
        return seconds;
    };
    Load kept, without;
    double read = 1e30;
    for (auto _ : state) {
        read = std::min(read, PlainReadSeconds(path));
        load(false, without);
        state.SetIterationTime(load(true, kept));
    }
    state.counters["load_s"] = kept.seconds;
    state.counters["load_without_values_s"] = without.seconds;
    state.counters["ratio_to_without"] = kept.seconds / without.seconds;
    state.counters["target_ratio"] = 1.3;
    state.counters["read_s"] = read;
    state.counters["ratio_to_read"] = kept.seconds / read;
    state.counters["file_GB/s"] = fileBytes / kept.seconds / 1e9;
    state.counters["peak_MiB"] = kept.peakMiB;
    state.counters["peak_without_values_MiB"] = without.peakMiB;
    state.counters["limit_MiB"] = 3.1 * volumeMiB + 64;
}
BENCHMARK(BM_LoadTvi)
    ->Args({256, 256, 64, 30})
    ->Args({512, 512, 64, 32})  // a 1 GiB file
    ->Iterations(3)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);
// Small files: up to kFewSamples samples (16384) a load counts only the values
// present; above, it counts into tables of every value.
BENCHMARK(BM_LoadTvi)
    ->Args({16, 16, 4, 2})
    ->Args({32, 32, 4, 4})
    ->Args({32, 32, 4, 5})
    ->Args({64, 64, 8, 4})
    ->Iterations(300)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);

void BM_GetSliceThreePlanes(benchmark::State& state) {
    static CTimeVolume volume;
    if (volume.m_sizeX == 0 && !volume.LoadTvi(MakeFile(512, 512, 128, 1), 0.98))
        state.SkipWithError("load failed");
    for (auto _ : state) {
        for (int plane = 0; plane < 3; ++plane) {
            CSliceImage image = volume.GetSlice(plane, 200, 0, true);
            benchmark::DoNotOptimize(image.m_data);
            FreeSliceImage(image);
        }
    }
}
BENCHMARK(BM_GetSliceThreePlanes)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
