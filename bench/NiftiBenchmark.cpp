// Loading NIfTI images, each figure against a baseline measured in the same run:
// - a 1 GiB int16 .nii against the .tvi with the same number of samples;
// - a .nii.gz of 256 MiB of int16 samples against `gzip -dc FILE > /dev/null`;
// - float32 data against int16 data of the same size, for what reals cost.
// Each runs warm (files in the page cache) and cold (evicted before every
// load with posix_fadvise DONTNEED); peak resident memory is that of the load.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <nifti1.h>
#include <unistd.h>
#include <zlib.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "NiftiWriter.h"
#include "ProcessMemory.h"
#include "BenchClock.h"
#include "TempFolder.h"
#include "TimeVolume.h"
#include "TviWriter.h"

namespace {

// Smooth data with noise, as an MRI has: about 2:1 under gzip.
int Sample(int x, int y, int z, int t, uint32_t& noise) {
    noise = noise * 1664525u + 1013904223u;
    return ((x ^ y) + z * 16 + t * 8) % 2000 + static_cast<int>(noise >> 26);
}

// Writes `bytes` then the samples, image by image, as `put` turns each image
// (x fastest, then y) into stored bytes. `outer` and `inner` are the two
// image axes in file order: (z, t) for a .tvi, (t, z) for NIfTI.
void WriteImages(const std::string& path, const std::vector<uint8_t>& header, int x, int y, int outerCount,
                 int innerCount, bool tMajor,
                 const std::function<void(const std::vector<int>&, std::vector<uint8_t>&)>& put, bool gzip) {
    gzFile packed = gzip ? gzopen(path.c_str(), "wb6") : nullptr;
    std::ofstream plain;
    if (!gzip) plain.open(path, std::ios::binary);
    auto write = [&](const std::vector<uint8_t>& bytes) {
        if (gzip)
            gzwrite(packed, bytes.data(), static_cast<unsigned>(bytes.size()));
        else
            plain.write(reinterpret_cast<const char*>(bytes.data()),
                        static_cast<std::streamsize>(bytes.size()));
    };
    write(header);
    std::vector<int> image(static_cast<size_t>(x) * y);
    std::vector<uint8_t> bytes;
    uint32_t noise = 12345;
    for (int outer = 0; outer < outerCount; ++outer)
        for (int inner = 0; inner < innerCount; ++inner) {
            const int z = tMajor ? inner : outer, t = tMajor ? outer : inner;
            for (int yi = 0; yi < y; ++yi)
                for (int xi = 0; xi < x; ++xi)
                    image[static_cast<size_t>(yi) * x + xi] = Sample(xi, yi, z, t, noise);
            put(image, bytes);
            write(bytes);
        }
    if (gzip) gzclose(packed);
}

template <typename T>
void Put(const std::vector<int>& image, std::vector<uint8_t>& bytes, int offset) {
    bytes.resize(image.size() * sizeof(T));
    for (size_t i = 0; i < image.size(); ++i) {
        const T value = static_cast<T>(image[i] + offset);
        std::memcpy(&bytes[i * sizeof(T)], &value, sizeof(T));
    }
}

std::string MakeTvi(int x, int y, int z, int t) {
    const std::string path = BenchFolder().File("same.tvi");
    if (std::ifstream(path).good()) return path;
    TviContents header;
    header.sizeX = x;
    header.sizeY = y;
    header.sizeZ = z;
    header.frames = t;
    WriteImages(
        path, TviFileBytes(header), x, y, z, t, false,
        [](const std::vector<int>& image, std::vector<uint8_t>& bytes) { Put<uint16_t>(image, bytes, 0); },
        false);
    return path;
}

// Signed values (the samples less 1000), so the load maps them through the
// value rule's linear stretch: the slower of the int16 paths.
std::string MakeNifti(const std::string& name, int datatype, int x, int y, int z, int t, bool gzip) {
    const std::string path = BenchFolder().File(name);
    if (std::ifstream(path).good()) return path;
    NiftiContents header;
    header.SetSizes(4, x, y, z, t);
    header.datatype = datatype;
    WriteImages(
        path, NiftiFileBytes(header), x, y, t, z, true,
        [datatype](const std::vector<int>& image, std::vector<uint8_t>& bytes) {
            if (datatype == DT_FLOAT32)
                Put<float>(image, bytes, -1000);
            else
                Put<int16_t>(image, bytes, -1000);
        },
        gzip);
    return path;
}

void Evict(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
}

void Warm(const std::string& path) {
    static std::vector<char> buffer(size_t{8} << 20);
    const int fd = open(path.c_str(), O_RDONLY);
    while (fd >= 0 && read(fd, buffer.data(), buffer.size()) > 0) {
    }
    if (fd >= 0) close(fd);
}

struct LoadFigures {
    double seconds = 0;
    double peakMiB = 0;
};

// One load of `path` into a fresh volume, warm or evicted first.
LoadFigures TimedLoad(const std::string& path, bool cold, benchmark::State& state) {
    if (cold)
        Evict(path);
    else
        Warm(path);
    malloc_trim(0);
    const long baseline = StatusKiB("VmRSS");
    ResetPeakResident();
    auto volume = std::make_unique<CTimeVolume>();
    const auto start = Clock::now();
    if (!volume->LoadFile(path, 0.98)) state.SkipWithError(("load failed: " + volume->LastError()).c_str());
    LoadFigures figures;
    figures.seconds = SecondsSince(start);
    figures.peakMiB = static_cast<double>(StatusKiB("VmHWM") - baseline) / 1024.0;
    return figures;
}

void Report(benchmark::State& state, const char* name, double total, double baselineTotal, double peakMiB) {
    const double n = static_cast<double>(state.iterations());
    state.counters[std::string(name) + "_s"] = total / n;
    state.counters["baseline_s"] = baselineTotal / n;
    state.counters["ratio"] = total / baselineTotal;
    state.counters["peak_MiB"] = peakMiB;
}

// Two timed loads each, with the file in the page cache (cold=0) and evicted (cold=1).
void WarmAndCold(benchmark::internal::Benchmark* runs) {
    runs->ArgName("cold")->Arg(0)->Arg(1)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);
}

// 512 x 512 x 128 x 16 int16 samples: 1 GiB.
void BM_NiftiAgainstTvi(benchmark::State& state) {
    const bool cold = state.range(0) != 0;
    const std::string tvi = MakeTvi(512, 512, 128, 16);
    const std::string nii = MakeNifti("same.nii", DT_INT16, 512, 512, 128, 16, false);
    sync();
    double tviTotal = 0, niiTotal = 0, peak = 0;
    for (auto _ : state) {
        tviTotal += TimedLoad(tvi, cold, state).seconds;
        const LoadFigures figures = TimedLoad(nii, cold, state);
        niiTotal += figures.seconds;
        peak = std::max(peak, figures.peakMiB);
        state.SetIterationTime(figures.seconds);
    }
    Report(state, "nii", niiTotal, tviTotal, peak);
    state.counters["limit_MiB"] = 1.1 * 512.0 + 64;  // 1.1 x the 8-bit volume + 64 MiB
}
BENCHMARK(BM_NiftiAgainstTvi)->Apply(WarmAndCold);

// 512 x 512 x 64 x 8 int16 samples: 256 MiB, compressed.
void BM_CompressedAgainstGzip(benchmark::State& state) {
    const bool cold = state.range(0) != 0;
    const std::string gz = MakeNifti("packed.nii.gz", DT_INT16, 512, 512, 64, 8, true);
    sync();
    const std::string command = "gzip -dc '" + gz + "' > /dev/null";
    double gzipTotal = 0, loadTotal = 0, peak = 0;
    for (auto _ : state) {
        if (cold)
            Evict(gz);
        else
            Warm(gz);
        const auto start = Clock::now();
        if (std::system(command.c_str()) != 0) state.SkipWithError("gzip -dc failed");
        gzipTotal += SecondsSince(start);
        const LoadFigures figures = TimedLoad(gz, cold, state);
        loadTotal += figures.seconds;
        peak = std::max(peak, figures.peakMiB);
        state.SetIterationTime(figures.seconds);
    }
    Report(state, "nii_gz", loadTotal, gzipTotal, peak);
    state.counters["samples_MiB"] = 256;
}
BENCHMARK(BM_CompressedAgainstGzip)->Apply(WarmAndCold);

// 512 x 512 x 64 x 8 voxels as float32 against the same as int16.
void BM_FloatAgainstInt16(benchmark::State& state) {
    const std::string shorts = MakeNifti("short.nii", DT_INT16, 512, 512, 64, 8, false);
    const std::string floats = MakeNifti("float.nii", DT_FLOAT32, 512, 512, 64, 8, false);
    sync();
    double shortTotal = 0, floatTotal = 0, shortPeak = 0, floatPeak = 0;
    for (auto _ : state) {
        const LoadFigures s = TimedLoad(shorts, false, state);
        const LoadFigures f = TimedLoad(floats, false, state);
        shortTotal += s.seconds;
        floatTotal += f.seconds;
        shortPeak = std::max(shortPeak, s.peakMiB);
        floatPeak = std::max(floatPeak, f.peakMiB);
        state.SetIterationTime(f.seconds);
    }
    Report(state, "float32", floatTotal, shortTotal, floatPeak);
    state.counters["int16_peak_MiB"] = shortPeak;
}
BENCHMARK(BM_FloatAgainstInt16)->Iterations(2)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
