#include "TimeVolume.h"

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>

#include "HistogramCounter.h"
#include "IntensityWindow.h"
#include "ParallelRanges.h"
#include "PlaneGather.h"
#include "TviFile.h"
#include "TviSampleMap.h"
#include "VekMovie.h"

namespace {

// Samples walked between two page releases: small enough to keep the mapped
// file's resident share low, large enough that releasing costs nothing.
constexpr int64_t kChunkSamples = int64_t{4} << 20;

void FreeSlices(std::vector<std::vector<CSliceImage>>& slices) {
    for (auto& frames : slices)
        for (auto& slice : frames) FreeSliceImage(slice);
    slices.clear();
}

// The frames of a movie being read; freed unless they were moved to the volume,
// so a movie that fails halfway leaves nothing behind.
struct PendingFrames {
    std::vector<CSliceImage> frames;
    ~PendingFrames() {
        for (auto& slice : frames) FreeSliceImage(slice);
    }
};

bool EndsWithAvi(const std::string& name) {
    static const char kExtension[] = ".avi";
    const size_t length = sizeof kExtension - 1;
    if (name.size() < length) return false;
    for (size_t i = 0; i < length; ++i)
        if (std::tolower(static_cast<unsigned char>(name[name.size() - length + i])) != kExtension[i])
            return false;
    return true;
}

// prefix + name of every regular file in the folder `prefix` names whose name
// ends in .avi in any case, sorted by bytes as unsigned values (what
// std::string's ordering does). A prefix that names no folder finds nothing.
std::vector<std::string> AviPathsIn(const std::string& prefix) {
    namespace fs = std::filesystem;
    // A folder named without its closing slash still joins to its file names.
    const std::string head = prefix.empty() || prefix.back() == '/' ? prefix : prefix + '/';
    std::vector<std::string> paths;
    std::error_code error;
    fs::directory_iterator entry(prefix.empty() ? fs::path(".") : fs::path(prefix), error);
    for (; !error && entry != fs::directory_iterator(); entry.increment(error)) {
        const std::string name = entry->path().filename().string();
        std::error_code typeError;
        if (EndsWithAvi(name) && entry->is_regular_file(typeError)) paths.push_back(head + name);
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

std::string SizeText(int32_t width, int32_t height) {
    return std::to_string(width) + " x " + std::to_string(height);
}

}  // namespace

CTimeVolume::CTimeVolume() = default;

CTimeVolume::~CTimeVolume() { FreeSlices(m_slices); }

void CTimeVolume::Clear() {
    FreeSlices(m_slices);
    m_frames = m_sizeX = m_sizeY = m_sizeZ = 0;
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
    CTviFile file;
    if (file.ReadHeader(path) != 0) {
        m_lastError = file.ErrorText();
        return false;
    }

    const int64_t imageSamples = int64_t{file.m_sizeX} * file.m_sizeY;
    const int64_t total = file.SampleCount();
    uint16_t level = 0;
    std::vector<std::vector<CSliceImage>> loaded;
    if (total > 0) {
        CTviSampleMap map;
        if (!map.Open(path, total, m_lastError)) return false;
        const uint16_t* samples = map.Samples();
        const int threads = WorthwhileThreads(2 * total);
        try {
            // Pass 1: the histogram of every sample, one counter per thread.
            std::vector<CHistogramCounter> counters(static_cast<size_t>(threads));
            ParallelRanges(total, threads, [&](int part, int64_t begin, int64_t end) {
                CHistogramCounter& counter = counters[static_cast<size_t>(part)];
                for (int64_t at = begin; at < end; at += kChunkSamples) {
                    const int64_t n = std::min(kChunkSamples, end - at);
                    counter.Add(samples + at, static_cast<size_t>(n));
                    map.Release(at, at + n);
                    // The calling thread's share stands for the whole pass.
                    if (part == 0 && progress) progress(0.5 * static_cast<double>(at + n - begin) / (end - begin));
                }
            });
            auto histogram = std::make_unique<IntensityHistogram>();
            for (CHistogramCounter& counter : counters) counter.AddTo(*histogram);
            level = SaturationLevelOfHistogram(*histogram, saturation);
            const IntensityTable table = MakeIntensityTable(level);

            // Pass 2: every (z, t) image through the table into its own slice.
            loaded.resize(static_cast<size_t>(file.m_sizeZ));
            for (auto& frames : loaded) {
                frames.reserve(static_cast<size_t>(file.m_frames));
                for (int32_t t = 0; t < file.m_frames; ++t)
                    frames.push_back(MakeOwnedSliceImage(file.m_sizeX, file.m_sizeY, 1));
            }
            const int64_t frames = file.m_frames;
            ParallelRanges(total, threads, [&](int part, int64_t begin, int64_t end) {
                for (int64_t at = begin; at < end;) {
                    const int64_t image = at / imageSamples;
                    const int64_t offset = at - image * imageSamples;
                    const int64_t n = std::min({kChunkSamples, end - at, imageSamples - offset});
                    CSliceImage& slice = loaded[static_cast<size_t>(image / frames)][static_cast<size_t>(image % frames)];
                    ConvertSamples(samples + at, slice.m_data + offset, static_cast<size_t>(n), table);
                    map.Release(at, at + n);
                    at += n;
                    if (part == 0 && progress) progress(0.5 + 0.5 * static_cast<double>(at - begin) / (end - begin));
                }
            });
        } catch (const std::bad_alloc&) {
            FreeSlices(loaded);
            m_lastError = "not enough memory for a volume of " + std::to_string(total) + " voxels";
            return false;
        }
    }

    // Only a file that carries a calibration block replaces the calibration.
    if (file.m_version > 1) {
        m_pixelSizeX = file.m_pixelSizeX;
        m_pixelSizeY = file.m_pixelSizeY;
        m_pixelSizeZ = file.m_pixelSizeZ;
        m_frameTime = file.m_frameTime;
    }
    m_saturationLevel = level;
    for (auto& frames : loaded) m_slices.push_back(std::move(frames));
    UpdateSizes();
    m_lastError.clear();
    return true;
}

std::vector<CSkippedMovie> CTimeVolume::LoadAviDirectory(const std::string& prefix, const Progress& progress) {
    std::vector<CSkippedMovie> skipped;
    const std::vector<std::string> paths = AviPathsIn(prefix);
    for (size_t i = 0; i < paths.size(); ++i) {
        if (progress) progress(static_cast<double>(i) / static_cast<double>(paths.size()));
        std::optional<std::string> reason = AddAviSlice(paths[i]);
        if (reason) skipped.push_back({paths[i], std::move(*reason)});
    }
    if (progress) progress(1.0);
    return skipped;
}

std::optional<std::string> CTimeVolume::AddAviSlice(const std::string& path) {
    PendingFrames pending;
    try {
        CVekMovie movie(4);
        movie.Open(path.c_str(), CVekMovie::kOpenRead);
        const auto width = static_cast<int32_t>(movie.Width());
        const auto height = static_cast<int32_t>(movie.Height());
        if (!m_slices.empty() && (width != m_sizeX || height != m_sizeY))
            return "frame size " + SizeText(width, height) + " differs from " + SizeText(m_sizeX, m_sizeY) +
                   " of the first movie";
        // The volume keeps no more frames than its shortest movie has, so
        // frames past those it already holds would be dropped again at once.
        uint32_t count = std::min<uint32_t>(movie.FrameCount(), std::numeric_limits<int32_t>::max());
        if (!m_slices.empty()) count = std::min(count, static_cast<uint32_t>(m_frames));
        if (count == 0) return std::string("no frames");

        // In increasing order every frame is decoded once; the image keeps its memory.
        CVisRGBAByteImage image;
        for (uint32_t t = 0; t < count; ++t) {
            movie.ReadFrame(image, static_cast<int32_t>(t));
            if (image.Width() != width || image.Height() != height)
                return "frame " + std::to_string(t) + " is " + SizeText(image.Width(), image.Height()) +
                       ", not " + SizeText(width, height);
            // An empty record first, so a failing append cannot lose the buffer.
            pending.frames.emplace_back();
            CSliceImage& slice = pending.frames.back();
            slice = MakeOwnedSliceImage(width, height, 1);
            uint8_t* voxel = slice.m_data;
            for (int32_t y = 0; y < height; ++y) {
                const uint8_t* pixel = image.PbFirstPixelInRow(y);
                // Byte 0 of a pixel is its blue byte; a grey movie has its level in every channel.
                for (int32_t x = 0; x < width; ++x, pixel += 4) *voxel++ = *pixel;
            }
        }
        m_slices.push_back(std::move(pending.frames));
    } catch (const std::bad_alloc&) {
        return std::string("not enough memory");
    } catch (const std::exception& error) {
        const std::string text = error.what();
        return text.empty() ? std::string("cannot be read") : text;
    }

    const size_t frames = m_slices.back().size();
    for (auto& slices : m_slices) {
        for (size_t t = frames; t < slices.size(); ++t) FreeSliceImage(slices[t]);
        slices.resize(std::min(slices.size(), frames));
    }
    UpdateSizes();
    return std::nullopt;
}

uint8_t CTimeVolume::Voxel(int x, int y, int z, int frame) const {
    const CSliceImage& slice = m_slices[static_cast<size_t>(z)][static_cast<size_t>(frame)];
    // A slice that does not have the volume's size (movies that disagree)
    // reads as black rather than outside its buffer.
    if (x >= slice.m_width || y >= slice.m_height) return 0;
    return slice.m_data[(static_cast<int64_t>(y) * slice.m_width + x) * slice.m_bytesPerPixel];
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
