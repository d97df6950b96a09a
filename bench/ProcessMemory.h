#pragma once

#include <fstream>
#include <string>

// Resident-memory figures of this process, from /proc/self/status, in KiB:
// "VmRSS" now, "VmHWM" the peak since the last ResetPeakResident; -1 when absent.
inline long StatusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line))
        if (line.rfind(prefix, 0) == 0) return std::stol(line.substr(prefix.size()));
    return -1;
}

// Starts a new peak-resident-memory measurement.
inline void ResetPeakResident() {
    std::ofstream("/proc/self/clear_refs") << "5";
}
