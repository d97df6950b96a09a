#include "LabelChange.h"

#include <algorithm>
#include <iterator>

#include "LabelImage.h"

size_t CLabelChange::Bytes() const {
    return sizeof(*this) + m_runs.capacity() * sizeof(CRun) + m_offsets.capacity() * sizeof(uint32_t) +
           m_before.capacity() * sizeof(uint16_t) + m_addedValues.capacity() * sizeof(int64_t) +
           m_frames.capacity() * sizeof(int);
}

void CLabelChange::Start(int64_t frameVoxels, int frames) {
    *this = CLabelChange();
    m_frameVoxels = frameVoxels;
    m_imageFrames = frames;
}

void CLabelChange::AddRun(int frame, uint32_t high, uint16_t after) {
    m_runs.push_back({m_offsets.size(), frame, high, after});
    const auto at = std::lower_bound(m_frames.begin(), m_frames.end(), frame);
    if (at == m_frames.end() || *at != frame) m_frames.insert(at, frame);
}

void CLabelChange::AddValue(int64_t value) {
    const auto at = std::lower_bound(m_addedValues.begin(), m_addedValues.end(), value);
    if (at == m_addedValues.end() || *at != value) m_addedValues.insert(at, value);
}

void CLabelChange::Reserve(size_t entries) {
    m_offsets.reserve(m_offsets.size() + entries);
    m_before.reserve(m_before.size() + entries);
}

void CLabelChange::ShrinkToFit() {
    m_runs.shrink_to_fit();
    m_offsets.shrink_to_fit();
    m_before.shrink_to_fit();
}

bool CLabelChange::Merge(CLabelChange&& later) {
    if (later.Empty()) return true;
    if (Empty()) {
        *this = std::move(later);
        return true;
    }
    if (later.m_frameVoxels != m_frameVoxels || later.m_imageFrames != m_imageFrames) return false;
    for (CRun run : later.m_runs) {
        run.first += m_offsets.size();
        m_runs.push_back(run);
    }
    m_offsets.insert(m_offsets.end(), later.m_offsets.begin(), later.m_offsets.end());
    m_before.insert(m_before.end(), later.m_before.begin(), later.m_before.end());
    for (const int64_t value : later.m_addedValues) AddValue(value);
    std::vector<int> frames;
    std::set_union(m_frames.begin(), m_frames.end(), later.m_frames.begin(), later.m_frames.end(),
                   std::back_inserter(frames));
    m_frames = std::move(frames);
    later = CLabelChange();
    return true;
}

bool CLabelChange::SizesFit(const CLabelImage& image, std::string& error) const {
    if (Empty()) return true;
    if (image.FrameVoxelCount() == m_frameVoxels && image.Frames() == m_imageFrames) return true;
    error = "the label image is not the one the edit was made on";
    return false;
}

bool CLabelChange::Step(CLabelImage& image, const CRun& run, size_t entry, bool undo) const {
    const int64_t voxel = static_cast<int64_t>(uint64_t{run.high} << 32 | m_offsets[entry]);
    const int64_t from = undo ? run.after : m_before[entry];
    const int to = image.IndexOf(undo ? m_before[entry] : run.after);
    if (to < 0 || voxel >= m_frameVoxels || image.Values()[image.FrameVoxels(run.frame)[voxel]] != from)
        return false;
    return image.SetVoxel(run.frame, voxel, to);
}

size_t CLabelChange::Write(CLabelImage& image, size_t first, size_t last, bool undo) const {
    if (first >= last) return kNone;
    // The run of entry `first` (forwards) or `last - 1` (backwards).
    const size_t start = undo ? last - 1 : first;
    size_t run =
        static_cast<size_t>(std::upper_bound(m_runs.begin(), m_runs.end(), start,
                                             [](size_t entry, const CRun& r) { return entry < r.first; }) -
                            m_runs.begin()) -
        1;
    if (undo) {
        for (size_t entry = last; entry-- > first;) {
            while (m_runs[run].first > entry) --run;
            if (!Step(image, m_runs[run], entry, true)) return entry;
        }
    } else {
        for (size_t entry = first; entry < last; ++entry) {
            while (run + 1 < m_runs.size() && m_runs[run + 1].first <= entry) ++run;
            if (!Step(image, m_runs[run], entry, false)) return entry;
        }
    }
    return kNone;
}

bool CLabelChange::Undo(CLabelImage& image, std::string& error) const {
    if (!SizesFit(image, error)) return false;
    const size_t failed = Write(image, 0, m_offsets.size(), true);
    if (failed != kNone) {
        Write(image, failed + 1, m_offsets.size(), false);
        error = "the label image changed since the edit, so it cannot be undone";
        return false;
    }
    for (const int64_t value : m_addedValues) image.RemoveValue(value);
    return true;
}

bool CLabelChange::Redo(CLabelImage& image, std::string& error) const {
    if (!SizesFit(image, error)) return false;
    std::vector<int64_t> added;
    const auto forget = [&] {
        for (const int64_t value : added) image.RemoveValue(value);
    };
    for (const int64_t value : m_addedValues) {
        if (image.IndexOf(value) >= 0) continue;
        if (image.AddValue(value, error) < 0) {
            forget();
            return false;
        }
        added.push_back(value);
    }
    const size_t failed = Write(image, 0, m_offsets.size(), false);
    if (failed != kNone) {
        Write(image, 0, failed, true);
        forget();
        error = "the label image changed since the edit was undone, so it cannot be redone";
        return false;
    }
    return true;
}

std::vector<int64_t> CLabelChange::Values() const {
    // Values a voxel had or got, marked in a table of every value there is.
    std::vector<bool> seen(65536, false);
    for (const CRun& run : m_runs) seen[run.after] = true;
    for (const uint16_t before : m_before) seen[before] = true;
    std::vector<int64_t> values;
    for (size_t value = 0; value < seen.size(); ++value)
        if (seen[value]) values.push_back(static_cast<int64_t>(value));
    return values;
}
