#pragma once

#include <cstdint>
#include <functional>
#include <string>

// Runs work that may bring the whole process down, such as a third-party
// decoder given a damaged file, in a child process, so that the program
// survives it and can name the file.
//
// Items [first, end) are worked through in order by one child at a time. The
// child's answer for each item (any bytes) is handed to `receive` in the
// calling process as it arrives. When the child dies during an item, `failed`
// hears which one, and a new child carries on with the next. Memory the child
// should fill for the caller must be shared (mmap MAP_SHARED) before the call.
// The child's standard error is silenced, so a library that reports its own
// breakdown does not write into the program's output.
class CIsolatedRun {
public:
    using Work = std::function<std::string(int64_t item)>;
    using Receive = std::function<void(int64_t item, const std::string& answer)>;
    using Failed = std::function<void(int64_t item)>;

    // False, with `error` set, only when no child process can be started.
    static bool Run(int64_t first, int64_t end, const Work& work, const Receive& receive, const Failed& failed,
                    std::string& error);
};
