#include "LabelChange.h"

#include <algorithm>
#include <iterator>

#include "LabelImage.h"

size_t CLabelChange::Bytes() const {
    return sizeof(*this) + m_positions.capacity() * sizeof(int64_t) +
           (m_before.capacity() + m_after.capacity()) * sizeof(uint16_t) +
           m_addedValues.capacity() * sizeof(int64_t) + m_frames.capacity() * sizeof(int);
}

void CLabelChange::Start(int64_t frameVoxels, int frames) {
    *this = CLabelChange();
    m_frameVoxels = frameVoxels;
    m_imageFrames = frames;
}

void CLabelChange::Reserve(size_t entries) {
    m_positions.reserve(m_positions.size() + entries);
    m_before.reserve(m_before.size() + entries);
    m_after.reserve(m_after.size() + entries);
}

void CLabelChange::ShrinkToFit() {
    m_positions.shrink_to_fit();
    m_before.shrink_to_fit();
    m_after.shrink_to_fit();
}

void CLabelChange::AddFrame(int frame) {
    const auto at = std::lower_bound(m_frames.begin(), m_frames.end(), frame);
    if (at == m_frames.end() || *at != frame) m_frames.insert(at, frame);
}

void CLabelChange::AddValue(int64_t value) {
    const auto at = std::lower_bound(m_addedValues.begin(), m_addedValues.end(), value);
    if (at == m_addedValues.end() || *at != value) m_addedValues.insert(at, value);
}

bool CLabelChange::Merge(CLabelChange&& later) {
    if (later.Empty()) return true;
    if (Empty()) {
        *this = std::move(later);
        return true;
    }
    if (later.m_frameVoxels != m_frameVoxels || later.m_imageFrames != m_imageFrames) return false;
    m_positions.insert(m_positions.end(), later.m_positions.begin(), later.m_positions.end());
    m_before.insert(m_before.end(), later.m_before.begin(), later.m_before.end());
    m_after.insert(m_after.end(), later.m_after.begin(), later.m_after.end());
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

bool CLabelChange::Step(CLabelImage& image, size_t entry, bool undo) const {
    const int64_t position = m_positions[entry];
    const int frame = static_cast<int>(position / m_frameVoxels);
    const int64_t voxel = position % m_frameVoxels;
    const int64_t from = undo ? m_after[entry] : m_before[entry];
    const int to = image.IndexOf(undo ? m_before[entry] : m_after[entry]);
    if (to < 0 || image.Values()[image.FrameVoxels(frame)[voxel]] != from) return false;
    return image.SetVoxel(frame, voxel, to);
}

bool CLabelChange::Undo(CLabelImage& image, std::string& error) const {
    if (!SizesFit(image, error)) return false;
    for (size_t entry = m_positions.size(); entry-- > 0;) {
        if (Step(image, entry, true)) continue;
        for (size_t done = entry + 1; done < m_positions.size(); ++done) Step(image, done, false);
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
    for (size_t entry = 0; entry < m_positions.size(); ++entry) {
        if (Step(image, entry, false)) continue;
        for (size_t done = entry; done-- > 0;) Step(image, done, true);
        forget();
        error = "the label image changed since the edit was undone, so it cannot be redone";
        return false;
    }
    return true;
}
