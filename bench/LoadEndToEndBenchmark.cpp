// What a user waits for: `orvanta --info BIG.tvi` from process start to exit,
// on a generated 1 GiB file (512 x 512 x 64 slices x 32 frames), against
// `cat BIG.tvi > /dev/null` of the same file in the same run. Both with the
// file in the page cache (warm) and with it evicted before every run (cold).
// Each figure is the best of several runs; the ratio is what to read, since
// this machine is shared and its absolute speed varies.
//
// Also: the load's peak memory against the 8-bit volume (which the kept
// 16-bit codes triple), `--info` with no
// file against `--help`, the window's time to its first picture of the file,
// a movie export of the big file against the load plus what the same
// frames cost on a tiny volume, and its NIfTI export against `cat` of the
// file written.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "ProgramRun.h"
#include "TempFolder.h"
#include "TviWriter.h"

namespace {

constexpr int kX = 512, kY = 512, kZ = 64, kT = 32;

// Drops the file's pages from the page cache; needs no privileges.
void Evict(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

void Warm(const std::string& path) { Run({"/bin/cat", path}); }

TempFolder& Folder() {
    static TempFolder folder;
    return folder;
}

std::string MakeVolume(int x, int y, int z, int t, const std::string& name) {
    const std::string path = Folder().File(name);
    if (!std::ifstream(path).good()) {
        WriteLargeTviFile(path, x, y, z, t);
        sync();
    }
    return path;
}

std::string BigFile() { return MakeVolume(kX, kY, kZ, kT, "big.tvi"); }

void LoadAgainstCat(benchmark::State& state, bool cold) {
    const std::string path = BigFile();
    auto before = [&] {
        if (cold)
            Evict(path);
        else
            Warm(path);
    };
    for (auto _ : state) {
        const RunResult cat = Best({"/bin/cat", path}, 3, before);
        const RunResult load = Best({ORVANTA_EXE, "--info", path}, 3, before);
        if (!load.ok) state.SkipWithError("orvanta --info failed");
        state.SetIterationTime(load.seconds);
        const double volumeMiB = double{kX} * kY * kZ * kT / (1 << 20);
        state.counters["orvanta_s"] = load.seconds;
        state.counters["cat_s"] = cat.seconds;
        state.counters["orvanta_cpu_s"] = load.cpuSeconds;
        state.counters["cat_cpu_s"] = cat.cpuSeconds;
        state.counters["ratio_to_cat"] = load.seconds / cat.seconds;
        state.counters["target_ratio"] = cold ? 1.4 : 3.0;
        state.counters["peak_MiB"] = load.peakMiB;
        // The voxels and every sample's 16-bit code, kept for the values.
        state.counters["limit_MiB"] = 3.1 * volumeMiB + 64;
    }
}

void BM_InfoWarm(benchmark::State& state) { LoadAgainstCat(state, false); }
BENCHMARK(BM_InfoWarm)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_InfoCold(benchmark::State& state) { LoadAgainstCat(state, true); }
BENCHMARK(BM_InfoCold)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

void BM_InfoWithoutFile(benchmark::State& state) {
    auto nothing = [] {};
    for (auto _ : state) {
        const RunResult help = Best({ORVANTA_EXE, "--help"}, 10, nothing);
        const RunResult info = Best({ORVANTA_EXE, "--info"}, 10, nothing);
        state.SetIterationTime(info.seconds);
        state.counters["info_ms"] = info.seconds * 1e3;
        state.counters["help_ms"] = help.seconds * 1e3;
        state.counters["over_help_ms"] = (info.seconds - help.seconds) * 1e3;
        state.counters["target_over_ms"] = 20;
        state.counters["info_peak_MiB"] = info.peakMiB;
    }
}
BENCHMARK(BM_InfoWithoutFile)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The window's start on the big file: from process start to the first picture
// of the file on the screen (the window closes at once with --quit), against
// the headless load of the same file. Needs a display (xvfb-run will do).
void BM_WindowFirstPicture(benchmark::State& state) {
    if (std::getenv("DISPLAY") == nullptr) {
        state.SkipWithError("no display: run under xvfb-run");
        return;
    }
    const std::string path = BigFile();
    auto warm = [&] { Warm(path); };
    for (auto _ : state) {
        const RunResult load = Best({ORVANTA_EXE, "--info", path}, 3, warm);
        const RunResult window = Best({ORVANTA_EXE, "--quit", path}, 3, warm);
        if (!window.ok) state.SkipWithError("the window did not show the file");
        state.SetIterationTime(window.seconds);
        state.counters["first_picture_s"] = window.seconds;
        state.counters["headless_load_s"] = load.seconds;
        state.counters["ratio_to_headless"] = window.seconds / load.seconds;
    }
}
BENCHMARK(BM_WindowFirstPicture)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The export's cost beyond the load should be what the frames cost anyway:
// the same number of frames from a tiny volume.
void BM_ExportBigFile(benchmark::State& state) {
    const std::string big = BigFile();
    const std::string tiny = MakeVolume(64, 64, 4, kT, "tiny.tvi");
    const std::string movie = Folder().File("out.avi");
    auto warm = [&] { Warm(big); };
    for (auto _ : state) {
        const RunResult load = Best({ORVANTA_EXE, "--info", big}, 3, warm);
        const RunResult exportBig = Best({ORVANTA_EXE, big, "--export-avi", movie}, 3, warm);
        const RunResult exportTiny = Best({ORVANTA_EXE, tiny, "--export-avi", movie}, 3, warm);
        const RunResult tinyLoad = Best({ORVANTA_EXE, "--info", tiny}, 3, warm);
        if (!exportBig.ok || !exportTiny.ok) state.SkipWithError("export failed");
        state.SetIterationTime(exportBig.seconds);
        const double frames = exportTiny.seconds - tinyLoad.seconds;
        state.counters["export_s"] = exportBig.seconds;
        state.counters["load_s"] = load.seconds;
        state.counters["frames_s"] = frames;
        state.counters["ratio_to_load+frames"] = exportBig.seconds / (load.seconds + frames);
    }
}
BENCHMARK(BM_ExportBigFile)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

// The NIfTI export beyond the load against `cat` of the file it writes (1 GiB
// of uint16 values), all warm.
void BM_ExportNifti(benchmark::State& state) {
    const std::string big = BigFile();
    const std::string nifti = Folder().File("big.nii");
    auto warm = [&] { Warm(big); };
    for (auto _ : state) {
        const RunResult load = Best({ORVANTA_EXE, "--info", big}, 3, warm);
        // A new file each time: replacing the last one would add freeing its pages.
        const RunResult exported = Best({ORVANTA_EXE, big, "--export-nifti", nifti}, 3, [&] {
            std::remove(nifti.c_str());
            warm();
        });
        if (!exported.ok) state.SkipWithError("export failed");
        const RunResult cat = Best({"/bin/cat", nifti}, 3, [] {});
        const double exportSeconds = exported.seconds - load.seconds;
        state.SetIterationTime(exported.seconds);
        state.counters["export_s"] = exportSeconds;
        state.counters["load_s"] = load.seconds;
        state.counters["cat_output_s"] = cat.seconds;
        state.counters["ratio_to_cat"] = exportSeconds / cat.seconds;
        state.counters["target_ratio"] = 1.5;
    }
}
BENCHMARK(BM_ExportNifti)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
