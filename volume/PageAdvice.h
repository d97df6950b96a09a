#pragma once

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>

// Gives `advice` (MADV_WILLNEED, MADV_DONTNEED ...) for the mapped pages that
// lie wholly inside [begin, end), or (with `partial`) that hold any of its bytes.
inline void AdvisePages(const void* begin, const void* end, int advice, bool partial) {
    static const auto pageSize = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    auto first = reinterpret_cast<uintptr_t>(begin);
    auto last = reinterpret_cast<uintptr_t>(end);
    if (partial) {
        first &= ~(pageSize - 1);
        last = (last + pageSize - 1) & ~(pageSize - 1);
    } else {
        first = (first + pageSize - 1) & ~(pageSize - 1);
        last &= ~(pageSize - 1);
    }
    if (last > first) madvise(reinterpret_cast<void*>(first), last - first, advice);
}
