#include "TimeVolume.h"

#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <limits>
#include <memory>
#include <new>
#include <optional>
#include <stdexcept>
#include <thread>

#include "HistogramCounter.h"
#include "IntensityWindow.h"
#include "MovieFolderSource.h"
#include "ParallelRanges.h"
#include "PlaneGather.h"
#include "VoxelBuffer.h"

namespace {

void FreeSlices(std::vector<std::vector<CSliceImage>>& slices) {
    for (auto& frames : slices)
        for (auto& slice : frames) FreeSliceImage(slice);
    slices.clear();
}

// Prefaults a voxel block on a thread of the lowest priority for as long as it lives.
class BackgroundPrefault {
public:
    explicit BackgroundPrefault(const CVoxelBuffer& voxels)
        : m_thread([this, &voxels] {
              setpriority(PRIO_PROCESS, static_cast<id_t>(gettid()), 19);
              voxels.Prefault(m_stop);
          }) {}
    ~BackgroundPrefault() {
        m_stop = true;
        m_thread.join();
    }
    BackgroundPrefault(const BackgroundPrefault&) = delete;
    BackgroundPrefault& operator=(const BackgroundPrefault&) = delete;

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

// Runs work(part, first, count, scratch) over every block of `total` items,
// on `threads` threads. The threads claim runs of blocks in order, so that
// together they walk a file front to back: the kernel sees a sequential read
// and reads ahead of it on its own, which keeps the disk busier than asking
// for runs ahead did (that made a cold load up to twice as slow). Each run is
// handed to done(first, end) when finished; runs are long so that releasing a
// source's memory (a system call that may flush other cores' address caches)
// stays rare. `progress` hears the fraction done, from the calling thread only.
template <typename Work, typename Done>
void ForEachRun(int64_t total, int threads, const CTimeVolume::Progress& progress, Work work, Done done) {
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
void ForEachBlock(const CSampleSource& source, int threads, const CTimeVolume::Progress& progress, Work work) {
    ForEachRun(source.SampleCount(), threads, progress, work,
               [&source](int64_t first, int64_t end) { source.Release(first, end); });
}

// Hands place(at, n, to) each run of samples [first, first + count) (in file
// order) that lies in one image, with `to`, the index of the run's first
// sample in the volume's own order (slice-major, frames within slices, as the
// voxels and the kept codes lie).
template <typename Place>
void ForEachPlacedRun(const CSampleSource& source, int64_t first, int64_t count, Place place) {
    const int64_t imageSamples = int64_t{source.m_sizeX} * source.m_sizeY;
    for (int64_t at = first, end = first + count; at < end;) {
        const int64_t image = at / imageSamples;
        const int64_t offset = at - image * imageSamples;
        const int64_t n = std::min(end - at, imageSamples - offset);
        int32_t z = 0, t = 0;
        source.ImagePlace(image, z, t);
        if (z < 0 || z >= source.m_sizeZ || t < 0 || t >= source.m_frames)
            throw std::logic_error("image " + std::to_string(image) + " has no place in the volume");
        place(at, n, (int64_t{z} * source.m_frames + t) * imageSamples + offset);
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

// Every kept code through `table` into its voxel: both lie in volume order.
void ConvertKept(const uint16_t* kept, const CVoxelBuffer& voxels, const IntensityTable& table, int threads,
                 const CTimeVolume::Progress& progress) {
    ForEachRun(voxels.Size(), threads, progress,
               [&](int, int64_t first, int64_t count, uint16_t*) {
                   ConvertSamples(kept + first, voxels.Data() + first, static_cast<size_t>(count), table);
               },
               [](int64_t, int64_t) {});
}

// Writes the 8-bit values of samples [first, first + count), whose codes
// codes(at, n) hands out, where their images lie in the volume.
template <typename Codes>
void ConvertIntoPlace(const CSampleSource& source, const CVoxelBuffer& voxels, const IntensityTable& table,
                      int64_t first, int64_t count, Codes codes) {
    ForEachPlacedRun(source, first, count, [&](int64_t at, int64_t n, int64_t to) {
        ConvertSamples(codes(at, n), voxels.Data() + to, static_cast<size_t>(n), table);
    });
}

// MapCodes takes a count of every code and fills a sample for every code. A
// small load borrows this thread's pair of tables, whose counts it clears
// again after use, rather than allocating and clearing 640 KiB each time.
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

// The counts of the codes `present` pooled by the sample each stands for, in
// ascending order of sample.
std::vector<SampleCount> CountsBySample(const std::vector<SampleCount>& present,
                                        const std::vector<uint16_t>& sampleOf) {
    std::vector<SampleCount> bySample(present.size());
    for (size_t i = 0; i < present.size(); ++i) bySample[i] = {sampleOf[i], present[i].count};
    std::sort(bySample.begin(), bySample.end(),
              [](const SampleCount& a, const SampleCount& b) { return a.sample < b.sample; });
    std::vector<SampleCount> pooled;
    for (const SampleCount& bin : bySample) {
        if (pooled.empty() || pooled.back().sample != bin.sample) pooled.push_back({bin.sample, 0});
        pooled.back().count += bin.count;
    }
    return pooled;
}

// A load of at most kFewSamples samples: their codes are read once, and only
// the codes present are counted, mapped and given an 8-bit value, so the work
// follows the file's size rather than the 65,536 possible codes.
uint16_t ConvertFewSamples(CSampleSource& source, double saturation, uint16_t* kept, uint8_t* present,
                           const CVoxelBuffer& voxels,
                           const CTimeVolume::Progress& countProgress,
                           const CTimeVolume::Progress& convertProgress) {
    static_assert(kFewSamples <= CSampleSource::kMaxBlock, "a few samples come in one block");
    const int64_t total = source.SampleCount();
    // Without a place to keep them, the codes stay here for the load's length.
    std::vector<uint16_t> own(kept == nullptr ? static_cast<size_t>(total) : 0);
    if (kept == nullptr) kept = own.data();
    std::vector<uint16_t> scratch(ImagesInVolumeOrder(source) ? 0 : static_cast<size_t>(total));
    KeepCodes(source, 0, total, source.Codes(0, total, scratch.empty() ? kept : scratch.data()), kept);
    source.Release(0, total);
    if (countProgress) countProgress(1.0);

    const std::vector<SampleCount> counts = CountDistinct(std::vector<uint16_t>(kept, kept + total));
    const std::vector<uint16_t> sampleOf = SamplesOfCodes(source, counts);
    const uint16_t level = source.CodesAreSamples()
                               ? SaturationLevelOfCounts(counts, saturation)
                               : SaturationLevelOfCounts(CountsBySample(counts, sampleOf), saturation);
    if (present != nullptr)
        for (const SampleCount& code : counts) present[code.sample] = 1;

    // Only the entries of codes present are ever looked up.
    auto table = std::make_unique_for_overwrite<IntensityTable>();
    for (size_t i = 0; i < counts.size(); ++i)
        (*table)[counts[i].sample] = EightBitValue(sampleOf[i], level);
    ConvertSamples(kept, voxels.Data(), static_cast<size_t>(total), *table);
    if (convertProgress) convertProgress(1.0);
    return level;
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

}  // namespace

CTimeVolume::CTimeVolume() = default;

CTimeVolume::~CTimeVolume() { FreeSlices(m_slices); }

void CTimeVolume::Clear() {
    FreeSlices(m_slices);
    m_buffers.clear();
    m_sliceValues.clear();
    m_codeBuffers.clear();
    m_valueTables.clear();
    m_codesPresent.clear();
    m_frames = m_sizeX = m_sizeY = m_sizeZ = 0;
    m_fileInfo = CVolumeFileInfo();
}

void CTimeVolume::UpdateSizes() {
    m_sizeZ = static_cast<int32_t>(m_slices.size());
    if (m_slices.empty() || m_slices[0].empty()) {
        m_frames = m_sizeX = m_sizeY = m_sizeZ = 0;
        return;
    }
    m_frames = static_cast<int32_t>(m_slices.back().size());
    m_sizeX = m_slices[0][0].m_width;
    m_sizeY = m_slices[0][0].m_height;
}

bool CTimeVolume::LoadTvi(const std::string& path, double saturation, const Progress& progress) {
    return LoadFile(path, saturation, progress, {}, EVolumeFormat::kTvi);
}

bool CTimeVolume::LoadFile(const std::string& path, double saturation, const Progress& progress,
                           COpenRequest request, EVolumeFormat format) {
    const CVolumeFormat* row = format != EVolumeFormat::kNone ? &VolumeFormatRow(format) : VolumeFormatOfPath(path);
    const double openShare = row != nullptr ? row->openShare : 0.0;
    if (progress && !request.progress)
        request.progress = [&progress, openShare](double fraction) { progress(openShare * fraction); };
    COpenResult opened = OpenVolume(path, request, format);
    if (!opened.source) {
        m_lastErrorSubject = opened.subject;
        m_lastError = opened.reason;
        return false;
    }
    CSampleSource& source = *opened.source;
    const Progress loadProgress = [&progress, openShare](double fraction) {
        if (progress) progress(openShare + (1.0 - openShare) * fraction);
    };
    if (!Load(source, saturation, loadProgress)) {
        m_lastErrorSubject =
            !source.m_subject.empty() ? source.m_subject : VolumeFormatRow(opened.format).noun + (" " + path);
        return false;
    }
    m_fileInfo = CVolumeFileInfo();
    m_fileInfo.m_format = opened.format;
    m_fileInfo.m_title = ShortNameOfPath(path);
    m_fileInfo.m_calibration = source.m_calibration;
    m_fileInfo.m_transform = source.m_transform;
    source.Describe(m_fileInfo);
    return true;
}

std::string CTimeVolume::LastFailure() const {
    return m_lastErrorSubject.empty() ? m_lastError : "Cannot load " + m_lastErrorSubject + ":\n" + m_lastError;
}

void CTimeVolume::Swap(CTimeVolume& other) noexcept {
    std::swap(m_frames, other.m_frames);
    std::swap(m_sizeX, other.m_sizeX);
    std::swap(m_sizeY, other.m_sizeY);
    std::swap(m_sizeZ, other.m_sizeZ);
    m_slices.swap(other.m_slices);
    std::swap(m_pixelSizeX, other.m_pixelSizeX);
    std::swap(m_pixelSizeY, other.m_pixelSizeY);
    std::swap(m_pixelSizeZ, other.m_pixelSizeZ);
    std::swap(m_frameTime, other.m_frameTime);
    std::swap(m_saturationLevel, other.m_saturationLevel);
    std::swap(m_fileInfo, other.m_fileInfo);
    m_lastError.swap(other.m_lastError);
    m_lastErrorSubject.swap(other.m_lastErrorSubject);
    m_buffers.swap(other.m_buffers);
    m_sliceValues.swap(other.m_sliceValues);
    m_codeBuffers.swap(other.m_codeBuffers);
    m_valueTables.swap(other.m_valueTables);
    m_codesPresent.swap(other.m_codesPresent);
}

bool CTimeVolume::Load(CSampleSource& source, double saturation, const Progress& progress) {
    const int64_t total = source.SampleCount();
    if (m_sizeCheck && total > 0) {
        std::string refusal = m_sizeCheck(source.m_sizeX, source.m_sizeY, source.m_sizeZ);
        if (!refusal.empty()) {
            m_lastError = std::move(refusal);
            return false;
        }
    }
    uint16_t level = 0;
    std::vector<std::vector<CSliceImage>> loaded;
    std::vector<std::vector<CSliceValues>> loadedValues;
    std::unique_ptr<CVoxelBuffer> buffer;
    std::unique_ptr<CVoxelBuffer> codeBuffer;
    std::unique_ptr<double[]> valueOfCode;
    std::unique_ptr<uint8_t[]> codePresent;
    if (total > 0) {
        try {
            // Progress is spread over the preparation and the two passes by their weight.
            const double prepareWeight = source.PrepareWeight();
            const double allWeight = prepareWeight + 2.0;
            auto stage = [&progress, allWeight](double start, double weight) {
                return [&progress, start, weight, allWeight](double fraction) {
                    if (progress) progress((start + weight * fraction) / allWeight);
                };
            };
            if (!source.Prepare(stage(0.0, prepareWeight), m_lastError)) return false;

            buffer = std::make_unique<CVoxelBuffer>(total);
            // The codes stay, so that every voxel's value can be told; grey
            // levels are their own values and need none.
            uint16_t* kept = nullptr;
            if (m_keepValues && !source.CodesAreGrey()) {
                if (total > std::numeric_limits<int64_t>::max() / 2) throw std::bad_alloc();
                codeBuffer = std::make_unique<CVoxelBuffer>(2 * total);
                // Fresh pages from the kernel, aligned for any type and never read as bytes.
                kept = reinterpret_cast<uint16_t*>(codeBuffer->Data());
                codePresent = std::make_unique<uint8_t[]>(size_t{65536});
            }
            level = ConvertSource(source, saturation, kept, codePresent.get(), *buffer, stage(prepareWeight, 1.0),
                                  stage(prepareWeight + 1.0, 1.0));
            if (kept != nullptr) {
                // Asked only now: a source knows what its codes stand for once they were all counted.
                valueOfCode = std::make_unique_for_overwrite<double[]>(size_t{65536});
                for (size_t code = 0; code < 65536; ++code)
                    valueOfCode[code] = source.ValueOfCode(static_cast<uint16_t>(code));
            }

            const int64_t imageSamples = int64_t{source.m_sizeX} * source.m_sizeY;
            loaded.resize(static_cast<size_t>(source.m_sizeZ));
            loadedValues.resize(static_cast<size_t>(source.m_sizeZ));
            for (int32_t z = 0; z < source.m_sizeZ; ++z) {
                auto& frames = loaded[static_cast<size_t>(z)];
                auto& values = loadedValues[static_cast<size_t>(z)];
                frames.resize(static_cast<size_t>(source.m_frames));
                values.resize(static_cast<size_t>(source.m_frames));
                for (int32_t t = 0; t < source.m_frames; ++t) {
                    const int64_t at = (int64_t{z} * source.m_frames + t) * imageSamples;
                    CSliceImage& slice = frames[static_cast<size_t>(t)];
                    slice.m_width = source.m_sizeX;
                    slice.m_height = source.m_sizeY;
                    slice.m_bytesPerPixel = 1;
                    slice.m_data = buffer->Data() + at;
                    if (kept != nullptr)
                        values[static_cast<size_t>(t)] = {kept + at, valueOfCode.get(), codePresent.get()};
                    else if (source.CodesAreGrey())
                        values[static_cast<size_t>(t)] = {nullptr, GreyLevelValues(), GreyLevelsPresent()};
                }
            }
        } catch (const std::bad_alloc&) {
            m_lastError = "not enough memory for a volume of " + std::to_string(total) + " voxels";
            return false;
        } catch (const std::exception& error) {
            m_lastError = error.what();
            return false;
        }
    }

    const CVolumeCalibration& calibration = source.m_calibration;
    if (calibration.m_pixelSizeX) m_pixelSizeX = *calibration.m_pixelSizeX;
    if (calibration.m_pixelSizeY) m_pixelSizeY = *calibration.m_pixelSizeY;
    if (calibration.m_pixelSizeZ) m_pixelSizeZ = *calibration.m_pixelSizeZ;
    if (calibration.m_frameTime) m_frameTime = *calibration.m_frameTime;
    m_saturationLevel = level;
    for (auto& frames : loaded) m_slices.push_back(std::move(frames));
    for (auto& values : loadedValues) m_sliceValues.push_back(std::move(values));
    if (buffer) m_buffers.push_back(std::move(buffer));
    if (codeBuffer) m_codeBuffers.push_back(std::move(codeBuffer));
    if (valueOfCode) m_valueTables.push_back(std::move(valueOfCode));
    if (codePresent) m_codesPresent.push_back(std::move(codePresent));
    UpdateSizes();
    m_lastError.clear();
    return true;
}

uint16_t CTimeVolume::ConvertSource(CSampleSource& source, double saturation, uint16_t* kept, uint8_t* present,
                                    const CVoxelBuffer& voxels, const Progress& countProgress,
                                    const Progress& convertProgress) {
    const int64_t total = source.SampleCount();
    const int threads = WorthwhileThreads(2 * total);
    if (source.CodesAreGrey()) {
        // Grey levels are shown as they are: no counting, no window.
        IntensityTable grey;
        for (size_t code = 0; code < grey.size(); ++code) grey[code] = static_cast<uint8_t>(std::min<size_t>(code, 255));
        if (countProgress) countProgress(1.0);
        ConvertImages(source, grey, threads, voxels, convertProgress);
        return 0;
    }
    if (total <= static_cast<int64_t>(kFewSamples))
        return ConvertFewSamples(source, saturation, kept, present, voxels, countProgress, convertProgress);

    // Pass 1: the histogram of every code, one counter per thread, and every
    // code kept in its place in the volume; a file in the volume's order is
    // read straight into that place. Meanwhile a thread of low priority has
    // the kernel clear the pages the voxels will take: while the counting
    // waits for the disk that costs nothing, and otherwise the counting
    // threads come first.
    const bool inOrder = ImagesInVolumeOrder(source);
    std::vector<CHistogramCounter> counters(static_cast<size_t>(threads));
    {
        // Below some megabytes the pages come as fast as a thread starts.
        constexpr int64_t kWorthPrefaulting = int64_t{32} << 20;
        std::optional<BackgroundPrefault> prefault;
        if (voxels.Size() >= kWorthPrefaulting) prefault.emplace(voxels);
        ForEachBlock(source, threads, countProgress, [&](int part, int64_t first, int64_t count, uint16_t* scratch) {
            const uint16_t* codes = source.Codes(first, count, inOrder && kept ? kept + first : scratch);
            counters[static_cast<size_t>(part)].Add(codes, static_cast<size_t>(count));
            if (kept != nullptr) KeepCodes(source, first, count, codes, kept);
        });
    }
    auto histogram = std::make_unique<IntensityHistogram>();
    for (CHistogramCounter& counter : counters) counter.AddTo(*histogram);
    if (present != nullptr)
        for (size_t code = 0; code < histogram->size(); ++code) present[code] = (*histogram)[code] > 0;

    // Codes that are not yet samples have their counts moved to the samples they stand for.
    std::unique_ptr<SampleOfCode> sampleOfCode;
    if (!source.CodesAreSamples()) {
        sampleOfCode = std::make_unique<SampleOfCode>();
        source.MapCodes(*histogram, *sampleOfCode);
        auto samples = std::make_unique<IntensityHistogram>();
        samples->fill(0);
        for (size_t code = 0; code < histogram->size(); ++code) (*samples)[(*sampleOfCode)[code]] += (*histogram)[code];
        histogram = std::move(samples);
    }
    const uint16_t level = SaturationLevelOfHistogram(*histogram, saturation);
    IntensityTable table = MakeIntensityTable(level);
    if (sampleOfCode) {
        const IntensityTable ofSample = table;
        for (size_t code = 0; code < table.size(); ++code) table[code] = ofSample[(*sampleOfCode)[code]];
    }

    // Pass 2 reads the kept codes where there are, else the file again.
    if (kept != nullptr)
        ConvertKept(kept, voxels, table, threads, convertProgress);
    else
        ConvertImages(source, table, threads, voxels, convertProgress);
    return level;
}

void CTimeVolume::ConvertImages(const CSampleSource& source, const IntensityTable& table, int threads,
                                const CVoxelBuffer& voxels, const Progress& progress) {
    // Every block to 8 bits, into the place its image has in the volume.
    ForEachBlock(source, threads, progress, [&](int, int64_t first, int64_t count, uint16_t* scratch) {
        ConvertIntoPlace(source, voxels, table, first, count,
                         [&](int64_t at, int64_t n) { return source.Codes(at, n, scratch); });
    });
}

std::vector<CSkippedMovie> CTimeVolume::LoadAviDirectory(const std::string& prefix, const Progress& progress) {
    CMovieFolderSource source;
    source.Open(prefix, progress);
    Load(source, 1.0);
    return source.Skipped();
}

uint8_t CTimeVolume::Voxel(int x, int y, int z, int frame) const {
    const CSliceImage& slice = m_slices[static_cast<size_t>(z)][static_cast<size_t>(frame)];
    // A slice that does not have the volume's size (movies that disagree)
    // reads as black rather than outside its buffer.
    if (x >= slice.m_width || y >= slice.m_height) return 0;
    return slice.m_data[(static_cast<int64_t>(y) * slice.m_width + x) * slice.m_bytesPerPixel];
}

std::optional<double> CTimeVolume::Value(int i, int j, int k, int t) const {
    if (k < 0 || k >= static_cast<int>(m_slices.size()) || t < 0) return std::nullopt;
    const auto& frames = m_slices[static_cast<size_t>(k)];
    if (t >= static_cast<int>(frames.size())) return std::nullopt;
    const CSliceImage& slice = frames[static_cast<size_t>(t)];
    if (i < 0 || j < 0 || i >= slice.m_width || j >= slice.m_height) return std::nullopt;
    const int64_t at = int64_t{j} * slice.m_width + i;
    const CSliceValues& values = SliceValues(k, t);
    if (values.valueOfCode == nullptr) return std::nullopt;
    if (values.codes == nullptr) return values.valueOfCode[slice.m_data[at * slice.m_bytesPerPixel]];
    return values.valueOfCode[values.codes[at]];
}

CSliceImage CTimeVolume::GetSlice(int plane, int index, int frame, bool powerOfTwo) const {
    const int extents[3] = {m_sizeX, m_sizeY, m_sizeZ};
    if (plane < 0 || plane > 2 || index < 0 || index >= extents[plane] || frame < 0 || frame >= m_frames)
        return CSliceImage();
    for (const auto& frames : m_slices)
        if (frame >= static_cast<int>(frames.size())) return CSliceImage();

    if (plane == 2) {
        CSliceImage borrowed = m_slices[static_cast<size_t>(index)][static_cast<size_t>(frame)];
        borrowed.m_ownsData = false;
        return borrowed;
    }

    return GatherUprightPlane(plane, index, m_sizeX, m_sizeY, m_sizeZ, powerOfTwo,
                              [&](int x, int y, int z) { return Voxel(x, y, z, frame); });
}
