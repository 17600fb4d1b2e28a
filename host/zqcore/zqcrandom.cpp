#include "zqcrandom.h"

#include <sys/random.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <random>

namespace {

// Without getrandom (a kernel older than 3.17, a seccomp filter), a
// generator seeded from the device and the clock: still apart between
// processes, unlike a seed of the time in seconds.
// One generator for the process, behind a lock: draws are rare (an SSRC, a
// first sequence number), and a thread-local one would put its 5 KB of state
// into the thread-local storage of every thread of the process.
uint32_t FallbackDraw()
{
    static std::mutex mutex;
    static std::mt19937 generator = [] {
        std::random_device device;
        const auto now = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        std::seed_seq seed{device(), device(), static_cast<unsigned>(now), static_cast<unsigned>(now >> 32)};
        return std::mt19937(seed);
    }();
    std::lock_guard lock(mutex);
    return static_cast<uint32_t>(generator());
}

}  // namespace

uint32_t ZQCRandom::Draw32()
{
    uint32_t value = 0;
    for (;;) {
        const ssize_t got = getrandom(&value, sizeof value, 0);
        if (got == static_cast<ssize_t>(sizeof value)) {
            return value;
        }
        if (got < 0 && errno != EINTR) {
            return FallbackDraw();
        }
    }
}

bool ZQCRandom::FillSecret(uint8_t* bytes, size_t size)
{
    size_t filled = 0;
    while (filled < size) {
        const ssize_t got = getrandom(bytes + filled, size - filled, 0);
        if (got < 0 && errno != EINTR) {
            return false;
        }
        filled += got > 0 ? static_cast<size_t>(got) : 0;
    }
    return true;
}
