#pragma once

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <string>
#include <vector>

// Whole programs timed from their start to their exit, as a user waits for
// them: the benchmarks that set the viewer against `cat` or another tool.

extern char** environ;

struct RunResult {
    double seconds = 0;
    double cpuSeconds = 0;  // user + system: less at the mercy of other load than the wall time
    double peakMiB = 0;
    double anonMiB = 0;  // the largest RssAnon seen, when sampled
    bool ok = false;
};

// RssAnon (the process's own memory, not the page cache) of process `pid` in KiB; -1 when unknown.
inline long AnonKiB(pid_t pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("RssAnon:", 0) == 0) return std::stol(line.substr(8));
    return -1;
}

// Runs argv (argv[0] looked for on the PATH when it names no folder) with
// standard output and error sent to /dev/null. With `sampleAnon` the
// process's RssAnon is read every half millisecond until it ends (which
// costs time: such runs are not timed).
inline RunResult Run(const std::vector<std::string>& argv, bool sampleAnon = false) {
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    RunResult result;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
        int status = 0;
        rusage usage{};
        long anon = 0;
        if (sampleAnon) {
            while (wait4(pid, &status, WNOHANG, &usage) == 0) {
                anon = std::max(anon, AnonKiB(pid));
                usleep(500);
            }
        } else {
            wait4(pid, &status, 0, &usage);
        }
        result.anonMiB = static_cast<double>(anon) / 1024.0;
        result.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        result.peakMiB = static_cast<double>(usage.ru_maxrss) / 1024.0;
        result.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                            static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) * 1e-6;
        result.ok = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    }
    posix_spawn_file_actions_destroy(&actions);
    return result;
}

// Best (smallest) time and largest peak of `runs` runs, each after `before`.
template <typename Before>
RunResult Best(const std::vector<std::string>& argv, int runs, Before before) {
    RunResult best;
    best.seconds = 1e30;
    best.ok = true;
    for (int i = 0; i < runs; ++i) {
        before();
        const RunResult r = Run(argv);
        best.ok = best.ok && r.ok;
        best.seconds = std::min(best.seconds, r.seconds);
        best.cpuSeconds = i == 0 ? r.cpuSeconds : std::min(best.cpuSeconds, r.cpuSeconds);
        best.peakMiB = std::max(best.peakMiB, r.peakMiB);
    }
    return best;
}
