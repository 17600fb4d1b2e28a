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

// Descriptors that are sockets (their link reads "socket:[inode]").
inline int OpenSockets()
{
    int sockets = 0;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        sockets += std::filesystem::read_symlink(entry.path(), error).string().rfind("socket:", 0) == 0;
    }
    return sockets;
}
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
