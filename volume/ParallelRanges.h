#pragma once

#include <algorithm>
#include <cstdint>
#include <exception>
#include <thread>
#include <vector>

// Splits [0, count) into up to `parts` contiguous ranges and runs
// work(part, begin, end) on each, one thread per range after the first, which runs
// on the calling thread. Returns when all are done; the first exception thrown
// by any range is rethrown here.
template <typename Work>
void ParallelRanges(int64_t count, int parts, Work work) {
    parts = static_cast<int>(std::clamp<int64_t>(std::min<int64_t>(parts, count), 1, 64));
    std::vector<std::exception_ptr> errors(static_cast<size_t>(parts));
    auto run = [&](int part) {
        const int64_t begin = count * part / parts;
        const int64_t end = count * (part + 1) / parts;
        try {
            work(part, begin, end);
        } catch (...) {
            errors[static_cast<size_t>(part)] = std::current_exception();
        }
    };
    std::vector<std::thread> threads;
    for (int part = 1; part < parts; ++part) threads.emplace_back(run, part);
    run(0);
    for (auto& thread : threads) thread.join();
    for (auto& error : errors)
        if (error) std::rethrow_exception(error);
}

// How many threads a pass over `bytes` bytes of memory is worth.
inline int WorthwhileThreads(int64_t bytes) {
    constexpr int64_t kMinBytesPerThread = int64_t{4} << 20;
    const int cores = static_cast<int>(std::max(1u, std::thread::hardware_concurrency()));
    return static_cast<int>(std::clamp<int64_t>(bytes / kMinBytesPerThread, 1, std::min(cores, 8)));
}
