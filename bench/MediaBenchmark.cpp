// Writing and reading AVI movies of 640 x 480 frames.
//
// Writing is timed against writing the same number of bytes with plain
// write() in the same run (both into the page cache); reading is timed front
// to back for an uncompressed movie and an MJPEG one.

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "MovieTools.h"
#include "TempFolder.h"
#include "VekMovie.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWidth = 640;
constexpr int kHeight = 480;
constexpr int kFrames = 200;
constexpr double kFrameBytes = 4.0 * kWidth * kHeight;

double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

TempFolder& BenchFolder() {
    static TempFolder folder;
    return folder;
}

// The frames written: a few distinct pictures in turn.
const std::vector<std::vector<uint8_t>>& Frames() {
    static const std::vector<std::vector<uint8_t>> frames = [] {
        std::vector<std::vector<uint8_t>> made;
        for (int i = 0; i < 4; ++i) made.push_back(PatternFrame(kWidth, kHeight, i));
        return made;
    }();
    return frames;
}

double WriteMovieSeconds(const std::string& path) {
    const auto start = Clock::now();
    CVekMovie movie(25);
    movie.Open(path.c_str(), CVekMovie::kOpenCreate | CVekMovie::kOpenWrite);
    for (int i = 0; i < kFrames; ++i) {
        std::vector<uint8_t>& pixels = const_cast<std::vector<uint8_t>&>(Frames()[i % Frames().size()]);
        const CVisRGBAByteImage image(CVisShape(0, 0, kWidth, kHeight), pixels.data());
        movie.WriteFrame(image, -1);
    }
    movie.Close();
    return SecondsSince(start);
}

double PlainWriteSeconds(const std::string& path) {
    const auto start = Clock::now();
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    for (int i = 0; i < kFrames; ++i) {
        const std::vector<uint8_t>& pixels = Frames()[i % Frames().size()];
        if (write(fd, pixels.data(), pixels.size()) != static_cast<ssize_t>(pixels.size())) break;
    }
    close(fd);
    return SecondsSince(start);
}

void BM_WriteMovie(benchmark::State& state) {
    const std::string moviePath = BenchFolder().File("write.avi");
    const std::string plainPath = BenchFolder().File("write.raw");
    double movieSeconds = 0, plainSeconds = 0;
    for (auto _ : state) {
        const double movie = WriteMovieSeconds(moviePath);
        const double plain = PlainWriteSeconds(plainPath);
        state.SetIterationTime(movie);
        movieSeconds += movie;
        plainSeconds += plain;
        std::remove(moviePath.c_str());
        std::remove(plainPath.c_str());
    }
    const double runs = static_cast<double>(state.iterations());
    state.counters["fps"] = kFrames * runs / movieSeconds;
    state.counters["MB/s"] = kFrames * kFrameBytes * runs / movieSeconds / 1e6;
    state.counters["plain_MB/s"] = kFrames * kFrameBytes * runs / plainSeconds / 1e6;
    state.counters["ratio_to_write"] = movieSeconds / plainSeconds;
}
BENCHMARK(BM_WriteMovie)->UseManualTime()->Unit(benchmark::kMillisecond)->MinTime(2.0);

const std::string& UncompressedMovie() {
    static const std::string path = [] {
        const std::string made = BenchFolder().File("read.avi");
        WriteMovieSeconds(made);
        return made;
    }();
    return path;
}

const std::string& MjpegMovie() {
    static const std::string path = [] {
        const std::string made = BenchFolder().File("read_mjpeg.avi");
        std::vector<uint8_t> raw;
        for (int i = 0; i < kFrames; ++i) {
            const std::vector<uint8_t>& frame = Frames()[i % Frames().size()];
            raw.insert(raw.end(), frame.begin(), frame.end());
        }
        EncodeWithFfmpeg(raw, kWidth, kHeight, "bgra", "-c:v mjpeg -q:v 3", made);
        return made;
    }();
    return path;
}

void ReadFrontToBack(benchmark::State& state, const std::string& path) {
    uint32_t frames = 0;
    for (auto _ : state) {
        CVekMovie movie(4);
        movie.Open(path.c_str(), CVekMovie::kOpenRead);
        CVisRGBAByteImage image;
        for (uint32_t i = 0; i < movie.FrameCount(); ++i) movie.ReadFrame(image, -1);
        frames += movie.FrameCount();
        benchmark::DoNotOptimize(image.PbFirstPixelInRow(0));
    }
    state.counters["fps"] = benchmark::Counter(frames, benchmark::Counter::kIsRate);
}

void BM_ReadUncompressed(benchmark::State& state) { ReadFrontToBack(state, UncompressedMovie()); }
BENCHMARK(BM_ReadUncompressed)->Unit(benchmark::kMillisecond);

void BM_ReadMjpeg(benchmark::State& state) { ReadFrontToBack(state, MjpegMovie()); }
BENCHMARK(BM_ReadMjpeg)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
