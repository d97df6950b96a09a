#include "TimeVolume.h"

#include <algorithm>
#include <memory>
#include <new>

#include "IntensityWindow.h"
#include "ParallelRanges.h"
#include "TviFile.h"
#include "TviSampleMap.h"

namespace {

// Samples walked between two page releases: small enough to keep the mapped
// file's resident share low, large enough that releasing costs nothing.
constexpr int64_t kChunkSamples = int64_t{4} << 20;

void FreeSlices(std::vector<std::vector<CSliceImage>>& slices) {
    for (auto& frames : slices)
        for (auto& slice : frames) FreeSliceImage(slice);
    slices.clear();
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

bool CTimeVolume::LoadTvi(const std::string& path, double saturation) {
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
            // Pass 1: the histogram of every sample, one partial histogram per thread.
            std::vector<std::unique_ptr<IntensityHistogram>> partial(static_cast<size_t>(threads));
            for (auto& histogram : partial) histogram = std::make_unique<IntensityHistogram>();
            ParallelRanges(total, threads, [&](int part, int64_t begin, int64_t end) {
                IntensityHistogram& histogram = *partial[static_cast<size_t>(part)];
                for (int64_t at = begin; at < end; at += kChunkSamples) {
                    const int64_t n = std::min(kChunkSamples, end - at);
                    AddToHistogram(histogram, samples + at, static_cast<size_t>(n));
                    map.Release(at, at + n);
                }
            });
            for (size_t i = 1; i < partial.size(); ++i)
                for (size_t v = 0; v < partial[0]->size(); ++v) (*partial[0])[v] += (*partial[i])[v];
            level = SaturationLevelOfHistogram(*partial[0], saturation);
            const IntensityTable table = MakeIntensityTable(level);

            // Pass 2: every (z, t) image through the table into its own slice.
            loaded.resize(static_cast<size_t>(file.m_sizeZ));
            for (auto& frames : loaded) {
                frames.reserve(static_cast<size_t>(file.m_frames));
                for (int32_t t = 0; t < file.m_frames; ++t)
                    frames.push_back(MakeOwnedSliceImage(file.m_sizeX, file.m_sizeY, 1));
            }
            const int64_t frames = file.m_frames;
            ParallelRanges(total, threads, [&](int, int64_t begin, int64_t end) {
                for (int64_t at = begin; at < end;) {
                    const int64_t image = at / imageSamples;
                    const int64_t offset = at - image * imageSamples;
                    const int64_t n = std::min({kChunkSamples, end - at, imageSamples - offset});
                    CSliceImage& slice = loaded[static_cast<size_t>(image / frames)][static_cast<size_t>(image % frames)];
                    ConvertSamples(samples + at, slice.m_data + offset, static_cast<size_t>(n), table);
                    map.Release(at, at + n);
                    at += n;
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

    // Data rows run against y and the YZ plane looks from the far side of x,
    // so both gathered planes read mirrored rows and columns.
    CSliceImage image;
    if (plane == 1) {
        image = MakeOwnedSliceImage(m_sizeX, m_sizeZ, 1);
        const int row = m_sizeY - 1 - index;
        for (int r = 0; r < m_sizeZ; ++r)
            for (int c = 0; c < m_sizeX; ++c)
                image.m_data[static_cast<int64_t>(r) * m_sizeX + c] = Voxel(c, row, r, frame);
    } else {
        image = MakeOwnedSliceImage(m_sizeY, m_sizeZ, 1);
        const int column = m_sizeX - 1 - index;
        for (int r = 0; r < m_sizeZ; ++r)
            for (int c = 0; c < m_sizeY; ++c)
                image.m_data[static_cast<int64_t>(r) * m_sizeY + c] = Voxel(column, m_sizeY - 1 - c, r, frame);
    }
    if (powerOfTwo) {
        CSliceImage resampled = ResampleToPowerOfTwo(image);
        FreeSliceImage(image);
        return resampled;
    }
    return image;
}
