// What the process itself costs: CPU time used and resident memory, for fault tests and
// benchmarks that watch a window working.
#pragma once

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <string>

inline std::chrono::nanoseconds ProcessCpuTime() {
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return std::chrono::seconds(t.tv_sec) + std::chrono::nanoseconds(t.tv_nsec);
}

// Resident set in bytes; Field "VmHWM:" gives the peak instead.
inline long long ResidentBytes(const char* Field = "VmRSS:") {
    std::ifstream status("/proc/self/status");
    const std::string field(Field);
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(field, 0) == 0) {
            return std::atoll(line.c_str() + field.size()) * 1024;
        }
    }
    return 0;
}
