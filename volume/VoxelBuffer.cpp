#include "VoxelBuffer.h"

#include <sys/mman.h>

#include <new>

CVoxelBuffer::CVoxelBuffer(int64_t bytes) : m_size(bytes) {
    if (bytes <= 0) return;
    if (static_cast<uint64_t>(bytes) > SIZE_MAX / 2) throw std::bad_alloc();
    m_mappedSize = static_cast<size_t>(bytes);
    void* block = mmap(nullptr, m_mappedSize, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (block == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    // Only a hint: where transparent huge pages are off, nothing changes.
    madvise(block, m_mappedSize, MADV_HUGEPAGE);
#endif
    m_data = static_cast<uint8_t*>(block);
}

CVoxelBuffer::~CVoxelBuffer() {
    if (m_data != nullptr) munmap(m_data, m_mappedSize);
}
