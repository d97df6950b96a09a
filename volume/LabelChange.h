#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class CLabelImage;

// One undoable step of label editing: the voxels an edit changed, each with
// the label value it had and the one it got, and the label values the edit
// added to the image. Values rather than indices are kept, since adding a
// label renumbers the indices above it. Holds nothing of the voxels the edit
// left alone, so a small stroke makes a small record.
class CLabelChange {
public:
    bool Empty() const { return m_offsets.empty() && m_addedValues.empty(); }
    // How many voxel writes the record holds (a voxel changed twice in a
    // merged stroke counts twice).
    int64_t VoxelCount() const { return static_cast<int64_t>(m_offsets.size()); }
    // The frames whose voxels it changed, ascending: the ones whose surfaces
    // and curves need making anew after it is done, undone or redone.
    const std::vector<int>& Frames() const { return m_frames; }
    // The label values whose voxels it changed, ascending, background
    // included: the labels whose surfaces need making anew.
    std::vector<int64_t> Values() const;
    // The label values it added to the image, ascending.
    const std::vector<int64_t>& AddedValues() const { return m_addedValues; }
    // The memory it takes, in bytes, for bounding an undo stack.
    size_t Bytes() const;

    // Appends `later`, an edit made on the image right after this one, so
    // that both undo as one step (the dabs of one brush stroke). False,
    // nothing changed, when the two were made on images of other sizes.
    bool Merge(CLabelChange&& later);

    // Takes the image back to before the edit, or forward to after it. Each
    // expects the image as the edit left it (as it was before it): when a
    // voxel holds another label, the image was edited since, and the record
    // is refused with `error` saying so, the image left as it was.
    bool Undo(CLabelImage& image, std::string& error) const;
    bool Redo(CLabelImage& image, std::string& error) const;

    // Building a record (the editor's part). `frameVoxels` and `frames` are
    // the image's, to refuse replaying it on another.
    void Start(int64_t frameVoxels, int frames);
    void Add(int frame, int64_t voxel, uint16_t before, uint16_t after) {
        const uint32_t high = static_cast<uint32_t>(voxel >> 32);
        if (m_runs.empty() || m_runs.back().frame != frame || m_runs.back().after != after ||
            m_runs.back().high != high)
            AddRun(frame, high, after);
        m_offsets.push_back(static_cast<uint32_t>(voxel));
        m_before.push_back(before);
    }
    void AddValue(int64_t value);
    // Room for `entries` more voxel writes, and back to the room used.
    void Reserve(size_t entries);
    void ShrinkToFit();

private:
    // Entries [first, next run's first) wrote label value `after` into voxels
    // of `frame` whose index is high * 2^32 + the entry's offset. An edit
    // writes one value a frame at a time, so a run holds most of its voxels
    // and an entry takes 6 bytes.
    struct CRun {
        size_t first;
        int frame;
        uint32_t high;
        uint16_t after;
    };
    static constexpr size_t kNone = SIZE_MAX;

    void AddRun(int frame, uint32_t high, uint16_t after);
    bool SizesFit(const CLabelImage& image, std::string& error) const;
    // Writes entries [first, last) forwards, each voxel from its label
    // before to the one after, or (undo) backwards from after to before.
    // Stops at the first entry whose voxel does not hold the label it should
    // and returns it, kNone when all were written.
    size_t Write(CLabelImage& image, size_t first, size_t last, bool undo) const;
    bool Step(CLabelImage& image, const CRun& run, size_t entry, bool undo) const;

    int64_t m_frameVoxels = 0;
    int m_imageFrames = 0;
    std::vector<CRun> m_runs;
    std::vector<uint32_t> m_offsets;
    std::vector<uint16_t> m_before;
    std::vector<int64_t> m_addedValues;
    std::vector<int> m_frames;
};
