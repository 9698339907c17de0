#pragma once

// Figures of this process from /proc/self/status, for the memory counters.

#include <cstdlib>
#include <fstream>
#include <string>

// A field in KiB ("VmRSS", "VmHWM"); -1 when it cannot be read.
inline long StatusKiB(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(in, line))
        if (line.rfind(prefix, 0) == 0) return std::atol(line.c_str() + prefix.size());
    return -1;
}
