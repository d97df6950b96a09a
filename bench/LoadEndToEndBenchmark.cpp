// What a user waits for: `orvanta --info BIG.tvi` from process start to exit,
// on a generated 1 GiB file (512 x 512 x 64 slices x 32 frames), against
// `cat BIG.tvi > /dev/null` of the same file in the same run. Both with the
// file in the page cache (warm) and with it evicted before every run (cold).
// Each figure is the best of several runs; the ratio is what to read, since
// this machine is shared and its absolute speed varies.
//
// Also: the memory the process takes of its own (RssAnon, sampled while it
// runs: the page cache the file's pages are read from is not the process's)
// above what `--info` with no file takes, for the .tvi, a 16-bit NIfTI file
// (both read from the file's own pages: 64 MiB at most) and an 8-bit one (its
// codes are copied: 2 bytes a voxel + 64 MiB at most); `--info` with no
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
#include "NiftiWriter.h"
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
        state.counters["target_ratio"] = cold ? 1.3 : 1.5;
        state.counters["peak_MiB"] = load.peakMiB;
        state.counters["volume_MiB"] = volumeMiB;
    }
}

// The largest RssAnon of `orvanta --info FILE` above that of `--info` alone.
double AnonAboveNoFile(const std::string& path) {
    double file = 0, none = 0;
    for (int i = 0; i < 3; ++i) {
        file = std::max(file, Run({ORVANTA_EXE, "--info", path}, true).anonMiB);
        none = std::max(none, Run({ORVANTA_EXE, "--info"}, true).anonMiB);
    }
    return file - none;
}

void BM_InfoOwnMemory(benchmark::State& state) {
    const std::string tvi = BigFile();
    // NIfTI files of 256 x 256 x 64 x 30 voxels: 16-bit ones hold their codes as they are, 8-bit ones not.
    const std::string nifti16 = Folder().File("big16.nii");
    const std::string nifti8 = Folder().File("big8.nii");
    const int64_t voxels = int64_t{256} * 256 * 64 * 30;
    if (!std::ifstream(nifti16).good() || !std::ifstream(nifti8).good()) {
        NiftiContents c;
        c.SetSizes(4, 256, 256, 64, 30);
        std::vector<int16_t> values(static_cast<size_t>(voxels));
        for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<int16_t>((i * 7919) % 4000 - 1000);
        c.datatype = 4;  // int16
        c.SetValues(values);
        WriteNiftiFile(nifti16, c);
        std::vector<uint8_t> bytes(values.size());
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(values[i]);
        c.datatype = 2;  // uint8
        c.SetValues(bytes);
        WriteNiftiFile(nifti8, c);
        sync();
    }
    for (auto _ : state) {
        const double tviAnon = AnonAboveNoFile(tvi);
        const double nifti16Anon = AnonAboveNoFile(nifti16);
        const double nifti8Anon = AnonAboveNoFile(nifti8);
        state.SetIterationTime(1.0);
        state.counters["tvi_anon_MiB"] = tviAnon;
        state.counters["nifti16_anon_MiB"] = nifti16Anon;
        state.counters["file_pages_limit_MiB"] = 64;
        state.counters["nifti8_anon_MiB"] = nifti8Anon;
        state.counters["nifti8_limit_MiB"] = 2.0 * static_cast<double>(voxels) / (1 << 20) + 64;
    }
}
BENCHMARK(BM_InfoOwnMemory)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);

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
