#pragma once
// What the process holds right now, read from /proc: open descriptors,
// running threads, resident memory. The tests' leak checks and the soak run
// both read these.
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace testsupport {

inline int CountEntries(const char* folder)
{
    const std::filesystem::directory_iterator entries(folder);
    return static_cast<int>(std::distance(begin(entries), end(entries)));
}

inline int OpenDescriptors() { return CountEntries("/proc/self/fd"); }
inline int RunningThreads() { return CountEntries("/proc/self/task"); }

// -1 when /proc says nothing.
inline long ResidentKiB()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::atol(line.c_str() + 6);
        }
    }
    return -1;
}

}  // namespace testsupport
