#pragma once

#include <cstdint>

// For a child process that reads what may bring it down (a third-party
// reader given a damaged file): whatever the parent arranged for its own
// crashes (a crash reporter, a sanitizer's or fuzzer's last words) is reset,
// no core file is left, and the address space may grow by `memory` bytes
// beyond what the child inherited, so that a file announcing gigabytes fails
// in the child, soon, instead of pressing the whole machine for memory (or
// tripping a fuzzer's memory limit in the child's name).
void DieOfOwnFaults(uint64_t memory);
