#pragma once

#include <chrono>

#include "TempFolder.h"

// What the benchmarks share: a clock for timing by hand and one temporary
// folder for the files they generate, removed when the program ends.

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

inline TempFolder& BenchFolder() {
    static TempFolder folder;
    return folder;
}
