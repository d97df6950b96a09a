// Loading .tvi files and serving planes.
//
// A .tvi load is timed against plain read() of the same file in the same run
// (warm page cache all), once reading the codes from the file's own pages
// (what the viewer does) and once copying them into a buffer (what every
// file that does not hold its codes as they are costs). The memory the load
// takes of the process's own (RssAnon: not the page cache) is compared with
// the 64 MiB a load from the file's pages may take. Planes are timed as the
// view asks for them, also while a window is dragged.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "ProcessMemory.h"
#include "BenchClock.h"
#include "TempFolder.h"
#include "TimeVolume.h"
#include "TviSource.h"
#include "VolumeLoader.h"
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

    // Each round loads the file both ways, side by side, and reads it once;
    // the best of the rounds counts. The memory is what the loaded volume
    // holds of the process's own, measured while it lives.
    struct Load {
        double seconds = 1e30;
        double anonMiB = 0;
    };
    auto load = [&](CVolumeLoader::EKeep keep, Load& best) {
        malloc_trim(0);
        const long anonBefore = StatusKiB("RssAnon");
        CTviSource source;
        std::string error;
        const auto start = Clock::now();
        std::unique_ptr<CLoadedCodes> loaded;
        if (source.Open(path, error)) loaded = CVolumeLoader::Load(source, 0.98, {}, error, keep);
        const double seconds = SecondsSince(start);
        if (!loaded) state.SkipWithError(("load failed: " + error).c_str());
        best.anonMiB = std::max(best.anonMiB, (StatusKiB("RssAnon") - anonBefore) / 1024.0);
        best.seconds = std::min(best.seconds, seconds);
        return seconds;
    };
    Load mapped, copied;
    double read = 1e30;
    for (auto _ : state) {
        read = std::min(read, PlainReadSeconds(path));
        load(CVolumeLoader::EKeep::kBuffer, copied);
        state.SetIterationTime(load(CVolumeLoader::EKeep::kLent, mapped));
    }
    state.counters["load_s"] = mapped.seconds;
    state.counters["read_s"] = read;
    state.counters["ratio_to_read"] = mapped.seconds / read;
    state.counters["file_GB/s"] = fileBytes / mapped.seconds / 1e9;
    state.counters["anon_MiB"] = mapped.anonMiB;
    state.counters["anon_limit_MiB"] = 64;
    state.counters["copied_load_s"] = copied.seconds;
    state.counters["copied_anon_MiB"] = copied.anonMiB;
    state.counters["copied_anon_limit_MiB"] = 2 * volumeMiB + 64;
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
    if (volume.SizeX() == 0 && !volume.LoadFile(MakeFile(512, 512, 128, 1), 0.98))
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

// One step of dragging a window: the table made anew for a window in the
// file's units, then the three planes of the view gathered through it. Timed
// against copying the bytes of the same three planes with memcpy and against
// gathering them through the table as it is, in the same run; the best of the
// rounds counts for each. A drag may take 5 ms.
void BM_WindowDrag(benchmark::State& state) {
    static CTimeVolume volume;
    if (volume.SizeX() == 0 && !volume.LoadFile(MakeFile(512, 512, 64, 1), 0.98)) {
        state.SkipWithError("load failed");
        return;
    }
    const int index[3] = {volume.SizeX() / 2, volume.SizeY() / 2, volume.SizeZ() / 2};
    size_t planeBytes = 0;
    for (int plane = 0; plane < 3; ++plane) {
        CSliceImage image = volume.GetSlice(plane, index[plane], 0, true);
        planeBytes += static_cast<size_t>(image.ByteCount());
        FreeSliceImage(image);
    }
    std::vector<uint8_t> from(planeBytes, 1), to(planeBytes);
    const CDisplayWindow start = volume.Window();
    auto gatherPlanes = [&] {
        for (int plane = 0; plane < 3; ++plane) {
            CSliceImage image = volume.GetSlice(plane, index[plane], 0, true);
            benchmark::DoNotOptimize(image.m_data);
            FreeSliceImage(image);
        }
    };
    double drag = 1e30, copy = 1e30, gather = 1e30;
    int step = 0;
    for (auto _ : state) {
        auto copied = Clock::now();
        std::memcpy(to.data(), from.data(), planeBytes);
        benchmark::DoNotOptimize(to.data());
        copy = std::min(copy, SecondsSince(copied));

        const auto gathered = Clock::now();
        gatherPlanes();
        gather = std::min(gather, SecondsSince(gathered));

        const auto dragged = Clock::now();
        ++step;
        if (!volume.SetWindow({start.center + step % 50, start.width * (1.0 + (step % 7) * 0.1)}))
            state.SkipWithError("window refused");
        gatherPlanes();
        const double seconds = SecondsSince(dragged);
        drag = std::min(drag, seconds);
        state.SetIterationTime(seconds);
    }
    volume.ResetWindow();
    state.counters["drag_ms"] = drag * 1e3;
    state.counters["memcpy_ms"] = copy * 1e3;
    state.counters["ratio_to_memcpy"] = drag / copy;
    state.counters["gather_ms"] = gather * 1e3;
    state.counters["ratio_to_gather"] = drag / gather;
    state.counters["drag_limit_ms"] = 5;
}
BENCHMARK(BM_WindowDrag)->Iterations(200)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
