#include "VolumeLoader.h"

#include <sys/mman.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <limits>
#include <new>
#include <stdexcept>

#include "HistogramCounter.h"
#include "IntensityWindow.h"
#include "ParallelRanges.h"

namespace {

// Runs work(part, first, count, scratch) over every block of `total` items,
// on `threads` threads. The threads claim runs of blocks in order, so that
// together they walk a file front to back: the kernel sees a sequential read
// and reads ahead of it on its own, which keeps the disk busier than asking
// for runs ahead did (that made a cold load up to twice as slow). Each run is
// handed to done(first, end) when finished; runs are long so that releasing a
// source's memory (a system call that may flush other cores' address caches)
// stays rare. `progress` hears the fraction done, from the calling thread only.
template <typename Work, typename Done>
void ForEachRun(int64_t total, int threads, const CVolumeLoader::Progress& progress, Work work, Done done) {
    constexpr int64_t kBlock = CSampleSource::kMaxBlock;
    constexpr int64_t kRun = 8 * kBlock;
    std::atomic<int64_t> next{0};
    ParallelRanges(threads, threads, [&](int part, int64_t, int64_t) {
        std::unique_ptr<uint16_t[]> scratch(new uint16_t[kBlock]);
        for (;;) {
            const int64_t run = next.fetch_add(kRun, std::memory_order_relaxed);
            if (run >= total) break;
            const int64_t runEnd = std::min(total, run + kRun);
            for (int64_t first = run; first < runEnd; first += kBlock)
                work(part, first, std::min(kBlock, runEnd - first), scratch.get());
            done(run, runEnd);
            if (part == 0 && progress)
                progress(static_cast<double>(std::min(total, next.load(std::memory_order_relaxed))) /
                         static_cast<double>(total));
        }
    });
    if (progress) progress(1.0);
}

// ForEachRun over the source's samples in file order, releasing each run.
template <typename Work>
void ForEachBlock(const CSampleSource& source, int threads, const CVolumeLoader::Progress& progress,
                  Work work) {
    ForEachRun(source.SampleCount(), threads, progress, work,
               [&source](int64_t first, int64_t end) { source.Release(first, end); });
}

// The index in the volume's own order (slice-major, frames within slices)
// of the source's image `image` (file order).
int64_t PlaceOfImage(const CSampleSource& source, int64_t image) {
    int32_t z = 0, t = 0;
    source.ImagePlace(image, z, t);
    if (z < 0 || z >= source.m_sizeZ || t < 0 || t >= source.m_frames)
        throw std::logic_error("image " + std::to_string(image) + " has no place in the volume");
    return int64_t{z} * source.m_frames + t;
}

// Hands place(at, n, to) each run of samples [first, first + count) (in file
// order) that lies in one image, with `to`, the index of the run's first
// sample in the volume's own order (slice-major, frames within slices).
template <typename Place>
void ForEachPlacedRun(const CSampleSource& source, int64_t first, int64_t count, Place place) {
    const int64_t imageSamples = int64_t{source.m_sizeX} * source.m_sizeY;
    for (int64_t at = first, end = first + count; at < end;) {
        const int64_t image = at / imageSamples;
        const int64_t offset = at - image * imageSamples;
        const int64_t n = std::min(end - at, imageSamples - offset);
        place(at, n, PlaceOfImage(source, image) * imageSamples + offset);
        at += n;
    }
}

// True when the file holds its images in the volume's own order, so that a
// sample's place is its index in the file.
bool ImagesInVolumeOrder(const CSampleSource& source) {
    const int64_t images = int64_t{source.m_sizeZ} * source.m_frames;
    for (int64_t image = 0; image < images; ++image) {
        int32_t z = 0, t = 0;
        source.ImagePlace(image, z, t);
        if (int64_t{z} * source.m_frames + t != image) return false;
    }
    return true;
}

// Copies codes[0, count) of samples [first, first + count) to their places in `kept`.
void KeepCodes(const CSampleSource& source, int64_t first, int64_t count, const uint16_t* codes,
               uint16_t* kept) {
    ForEachPlacedRun(source, first, count, [&](int64_t at, int64_t n, int64_t to) {
        const uint16_t* from = codes + (at - first);
        if (from != kept + to) std::copy_n(from, n, kept + to);
    });
}

// MapCodes takes a count of every code and fills a sample for every code. A
// load borrows this thread's pair of tables, whose counts it clears again
// after use, rather than allocating and clearing 640 KiB each time.
struct CodeTables {
    IntensityHistogram counts{};
    SampleOfCode samples{};
};

// The sample each of the codes `present` (ascending, with their counts) stands for.
std::vector<uint16_t> SamplesOfCodes(CSampleSource& source, const std::vector<SampleCount>& present) {
    std::vector<uint16_t> samples;
    samples.reserve(present.size());
    if (source.CodesAreSamples()) {
        for (const SampleCount& code : present) samples.push_back(code.sample);
        return samples;
    }
    static thread_local std::unique_ptr<CodeTables> tables;
    if (!tables) tables = std::make_unique<CodeTables>();
    IntensityHistogram& counts = tables->counts;
    for (const SampleCount& code : present) counts[code.sample] = code.count;
    auto clear = [&] {
        for (const SampleCount& code : present) counts[code.sample] = 0;
    };
    try {
        source.MapCodes(counts, tables->samples);
    } catch (...) {
        clear();
        throw;
    }
    clear();
    for (const SampleCount& code : present) samples.push_back(tables->samples[code.sample]);
    return samples;
}

// The codes that occur in `codes` (any order), ascending, with their counts:
// sorted when they are few, else counted into one histogram per thread.
std::vector<SampleCount> CountCodes(int64_t total, int threads, const CVolumeLoader::Progress& progress,
                                    const std::function<const uint16_t*(int64_t, int64_t, uint16_t*)>& codes,
                                    const std::function<void(int64_t, int64_t)>& done) {
    if (total <= static_cast<int64_t>(kFewSamples)) {
        static_assert(kFewSamples <= CSampleSource::kMaxBlock, "a few samples come in one block");
        std::vector<uint16_t> scratch(static_cast<size_t>(total));
        // The codes are sorted in a copy of their own: those handed out may be kept.
        const uint16_t* few = codes(0, total, scratch.data());
        if (few != scratch.data()) std::copy_n(few, total, scratch.data());
        done(0, total);
        if (progress) progress(1.0);
        return CountDistinct(std::move(scratch));
    }
    std::vector<CHistogramCounter> counters(static_cast<size_t>(threads));
    ForEachRun(
        total, threads, progress,
        [&](int part, int64_t first, int64_t count, uint16_t* scratch) {
            counters[static_cast<size_t>(part)].Add(codes(first, count, scratch), static_cast<size_t>(count));
        },
        done);
    auto histogram = std::make_unique<IntensityHistogram>();
    for (CHistogramCounter& counter : counters) counter.AddTo(*histogram);
    std::vector<SampleCount> present;
    for (size_t code = 0; code < histogram->size(); ++code)
        if ((*histogram)[code] > 0) present.push_back({static_cast<uint16_t>(code), (*histogram)[code]});
    return present;
}

// Grey levels stand for themselves.
const double* GreyLevelValues() {
    static const std::array<double, 256> values = [] {
        std::array<double, 256> levels{};
        for (size_t level = 0; level < levels.size(); ++level) levels[level] = static_cast<double>(level);
        return levels;
    }();
    return values.data();
}

// Any grey level may occur.
const uint8_t* GreyLevelsPresent() {
    static const std::array<uint8_t, 256> present = [] {
        std::array<uint8_t, 256> all{};
        all.fill(1);
        return all;
    }();
    return present.data();
}

// Z x T slice records, z-major, each pointing at its image in `data`, which
// holds the images in the volume's order.
template <typename T>
std::vector<CSliceValues> SlicesInVolumeOrder(const CSampleSource& source, const T* data) {
    const int64_t imageSamples = int64_t{source.m_sizeX} * source.m_sizeY;
    std::vector<CSliceValues> slices(static_cast<size_t>(source.m_sizeZ) *
                                     static_cast<size_t>(source.m_frames));
    for (size_t i = 0; i < slices.size(); ++i) {
        CSliceValues& slice = slices[i];
        slice.width = source.m_sizeX;
        slice.height = source.m_sizeY;
        if constexpr (std::is_same_v<T, uint8_t>)
            slice.grey = data + static_cast<int64_t>(i) * imageSamples;
        else
            slice.codes = data + static_cast<int64_t>(i) * imageSamples;
    }
    return slices;
}

std::unique_ptr<CLoadedCodes> LoadGrey(const CSampleSource& source, int threads,
                                       const CVolumeLoader::Progress& progress) {
    const int64_t total = source.SampleCount();
    auto buffer = std::make_unique<CVoxelBuffer>(total);
    const CVoxelBuffer& voxels = *buffer;
    // Each thread counts the levels it wrote, for the windows made from the
    // series' values (its range, its percentiles).
    std::vector<std::array<uint64_t, 256>> levelCounts(static_cast<size_t>(std::max(threads, 1)));
    ForEachBlock(source, threads, progress, [&](int part, int64_t first, int64_t count, uint16_t* scratch) {
        std::array<uint64_t, 256>& counts = levelCounts[static_cast<size_t>(part)];
        ForEachPlacedRun(source, first, count, [&](int64_t at, int64_t n, int64_t to) {
            const uint16_t* codes = source.Codes(at, n, scratch);
            uint8_t* out = voxels.Data() + to;
            for (int64_t i = 0; i < n; ++i) {
                out[i] = static_cast<uint8_t>(std::min<uint16_t>(codes[i], 255));
                ++counts[out[i]];
            }
        });
    });
    std::vector<SampleCount> levels;
    for (size_t level = 0; level < 256; ++level) {
        uint64_t count = 0;
        for (const auto& counts : levelCounts) count += counts[level];
        if (count != 0) levels.push_back({static_cast<uint16_t>(level), count});
    }
    std::vector<CSliceValues> slices = SlicesInVolumeOrder(source, voxels.Data());
    for (CSliceValues& slice : slices) {
        slice.valueOfCode = GreyLevelValues();
        slice.codePresent = GreyLevelsPresent();
    }
    return std::make_unique<CLoadedCodes>(source.m_sizeZ, source.m_frames, std::move(slices), nullptr, nullptr,
                                          std::move(buffer), nullptr, nullptr, CDisplayMapping::Grey(levels));
}

}  // namespace

std::unique_ptr<CLoadedCodes> CVolumeLoader::Load(CSampleSource& source, double saturation,
                                                  const Progress& progress, std::string& error, EKeep keep) {
    const int64_t total = source.SampleCount();
    // Progress is spread over the preparation and the pass by their weight.
    const double prepareWeight = source.PrepareWeight();
    const double allWeight = prepareWeight + 1.0;
    auto stage = [&progress, allWeight](double start, double weight) {
        return [&progress, start, weight, allWeight](double fraction) {
            if (progress) progress((start + weight * fraction) / allWeight);
        };
    };
    if (!source.Prepare(stage(0.0, prepareWeight), error)) return nullptr;
    const Progress countProgress = stage(prepareWeight, 1.0);
    const int threads = WorthwhileThreads(2 * total);
    if (source.CodesAreGrey()) return LoadGrey(source, threads, countProgress);

    // What the source lends (a file's own pages only where a guard against
    // its shrinking could be had); else one buffer, filled in the volume's
    // order while counting (a file in that order straight into place).
    std::optional<CSampleSource::CLentCodes> lent;
    if (keep == EKeep::kLent) {
        lent = source.LendCodes();
        if (lent && lent->file && !lent->file->Guarded()) lent.reset();
    }
    std::unique_ptr<CVoxelBuffer> buffer;
    std::vector<CSliceValues> slices;
    std::vector<SampleCount> present;
    if (lent) {
        const uint16_t* fileCodes = lent->codes;
        if (lent->file) lent->file->Advise(MADV_SEQUENTIAL);
        present = CountCodes(
            total, threads, countProgress,
            [fileCodes](int64_t first, int64_t, uint16_t*) { return fileCodes + first; },
            [](int64_t, int64_t) {});
        if (lent->file) lent->file->Advise(MADV_NORMAL);
        const int64_t imageSamples = int64_t{source.m_sizeX} * source.m_sizeY;
        slices.resize(static_cast<size_t>(source.m_sizeZ) * static_cast<size_t>(source.m_frames));
        for (int64_t image = 0; image < int64_t{source.m_sizeZ} * source.m_frames; ++image) {
            CSliceValues& slice = slices[static_cast<size_t>(PlaceOfImage(source, image))];
            slice.width = source.m_sizeX;
            slice.height = source.m_sizeY;
            slice.codes = fileCodes + image * imageSamples;
        }
    } else {
        if (total > std::numeric_limits<int64_t>::max() / 2) throw std::bad_alloc();
        buffer = std::make_unique<CVoxelBuffer>(2 * total);
        // Fresh pages from the kernel, aligned for any type and never read as bytes.
        auto* kept = reinterpret_cast<uint16_t*>(buffer->Data());
        const bool inOrder = ImagesInVolumeOrder(source);
        present = CountCodes(
            total, threads, countProgress,
            [&](int64_t first, int64_t count, uint16_t* scratch) {
                const uint16_t* codes = source.Codes(first, count, inOrder ? kept + first : scratch);
                KeepCodes(source, first, count, codes, kept);
                return codes;
            },
            [&source](int64_t first, int64_t end) { source.Release(first, end); });
        slices = SlicesInVolumeOrder(source, static_cast<const uint16_t*>(kept));
    }

    // Asked only now: a source knows what its codes stand for once they were
    // all counted, and may know their values only once it mapped them to
    // samples. Only the codes present are ever looked up.
    const std::vector<uint16_t> samples = SamplesOfCodes(source, present);
    auto valueOfCode = std::make_unique<double[]>(size_t{65536});
    auto codePresent = std::make_unique<uint8_t[]>(size_t{65536});
    std::vector<double> valuesPresent;
    valuesPresent.reserve(present.size());
    for (const SampleCount& code : present) {
        codePresent[code.sample] = 1;
        valueOfCode[code.sample] = source.ValueOfCode(code.sample);
        valuesPresent.push_back(valueOfCode[code.sample]);
    }
    CDisplayMapping display(present, samples, valuesPresent);
    display.SetSaturation(saturation);
    return std::make_unique<CLoadedCodes>(source.m_sizeZ, source.m_frames, std::move(slices),
                                          lent ? std::move(lent->owner) : nullptr,
                                          lent ? std::move(lent->file) : nullptr, std::move(buffer), std::move(valueOfCode),
                                          std::move(codePresent), std::move(display));
}
