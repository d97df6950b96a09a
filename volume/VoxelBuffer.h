#pragma once

#include <cstddef>
#include <cstdint>

// One block of memory that holds the 8-bit voxels of a whole loaded volume.
// Slices handed out point into it, so a volume of many small slices costs one
// allocation instead of one per slice. The block comes straight from the
// kernel: it is not touched before the load writes it, and it asks for huge
// pages where the system has them, which makes the first write cheaper.
class CVoxelBuffer {
public:
    // Throws std::bad_alloc when the memory cannot be had.
    explicit CVoxelBuffer(int64_t bytes);
    ~CVoxelBuffer();
    CVoxelBuffer(const CVoxelBuffer&) = delete;
    CVoxelBuffer& operator=(const CVoxelBuffer&) = delete;

    uint8_t* Data() const { return m_data; }
    int64_t Size() const { return m_size; }

private:
    uint8_t* m_data = nullptr;
    int64_t m_size = 0;
    size_t m_mappedSize = 0;
};
