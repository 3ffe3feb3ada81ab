// The process's peak resident size so far, as the kernel reports it (VmHWM), in KiB; -1 if unknown.
#ifndef CORVANE_BENCH_PEAK_RESIDENT_H
#define CORVANE_BENCH_PEAK_RESIDENT_H

#include <cstdlib>
#include <fstream>
#include <string>

namespace bench {

inline long peakResidentKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmHWM:", 0) == 0) return std::strtol(line.c_str() + 6, nullptr, 10);
    }
    return -1;
}

}  // namespace bench

#endif
