#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Runs work that may bring the whole process down, such as a third-party
// decoder given a damaged file, in child processes, so that the program
// survives it and can name the file.
//
// Items [first, end) are split into `parts` contiguous ranges, each worked
// through in order by one child at a time; the children of the parts run at
// once. The child's answer for each item (any bytes) is handed to `receive`
// in the calling process as it arrives. When a child dies during an item,
// `failed` hears which one, and a new child carries on with the next. Memory
// the child should fill for the caller must be shared (mmap MAP_SHARED)
// before the call. The child's standard error is silenced, so a library that
// reports its own breakdown does not write into the program's output.
//
// Every child is started, and `receive` and `failed` are called, on the
// calling thread: a child forked while another thread of the caller's holds
// a lock (the memory allocator's, under AddressSanitizer) would wait for it
// for ever.
//
// A child dies of its own faults: the crash handlers the parent installed (a
// crash reporter, a sanitizer's or fuzzer's last words) are reset in it, it
// leaves no core file, and its address space may grow only by what the
// caller allows, so a damaged file that announces gigabytes fails alone, and
// soon, instead of pressing the whole machine for memory.
class CIsolatedRun {
public:
    using Work = std::function<std::string(int64_t item)>;
    using Receive = std::function<void(int64_t item, const std::string& answer)>;
    using Failed = std::function<void(int64_t item)>;

    // The most a child may take: room for the largest image the viewer shows
    // (16384 x 16384 at 16 bits) three times over, as the file's bytes, the
    // decoded values and their copy.
    static constexpr int64_t kChildMemory = int64_t{2} << 30;

    struct Options {
        // How far a child's address space may grow beyond what it inherited;
        // at most kChildMemory.
        int64_t childMemory = kChildMemory;
        // The work runs here, in this process and in the same order, with the
        // same answers and failures (an exception out of `work` fails its
        // item): for work that cannot bring the process down, such as a
        // stand-in for a third-party decoder in tests.
        bool inProcess = false;
    };

    // False, with `error` set, only when a child process cannot be started.
    static bool Run(int64_t first, int64_t end, int parts, const Work& work, const Receive& receive,
                    const Failed& failed, std::string& error, const Options& options);
};
