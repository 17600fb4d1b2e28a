#include "zqcclock.h"

#include <atomic>
#include <chrono>

namespace {

std::atomic<bool> g_manual{false};
std::atomic<uint32_t> g_manualMs{0};

uint32_t SteadyMs()
{
    using namespace std::chrono;
    return static_cast<uint32_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

uint64_t SteadyMicroseconds()
{
    using namespace std::chrono;
    return static_cast<uint64_t>(duration_cast<microseconds>(steady_clock::now().time_since_epoch()).count());
}

}  // namespace

uint64_t ZQCClock::GetMicroseconds()
{
    return g_manual.load(std::memory_order_acquire) ? uint64_t{g_manualMs.load(std::memory_order_acquire)} * 1000u
                                                    : SteadyMicroseconds();
}

uint64_t ZQCClock::MicrosecondsAtWallClock(uint64_t wallClockMicroseconds)
{
    using namespace std::chrono;
    if (IsManualTime()) {
        // Manual time moves only when told: a datagram's real age (a busy
        // machine's scheduling delay) has no place on it.
        return GetMicroseconds();
    }
    const auto wallNow =
        static_cast<uint64_t>(duration_cast<microseconds>(system_clock::now().time_since_epoch()).count());
    const uint64_t age = wallNow > wallClockMicroseconds ? wallNow - wallClockMicroseconds : 0;
    const uint64_t now = GetMicroseconds();
    return now > age ? now - age : 0;
}

uint32_t ZQCClock::GetTickCount()
{
    return g_manual.load(std::memory_order_acquire) ? g_manualMs.load(std::memory_order_acquire)
                                                    : SteadyMs();
}

void ZQCClock::UseManualTime(bool on, uint32_t startMs)
{
    g_manualMs.store(startMs, std::memory_order_release);
    g_manual.store(on, std::memory_order_release);
}

bool ZQCClock::IsManualTime() { return g_manual.load(std::memory_order_acquire); }

void ZQCClock::AdvanceManualTime(uint32_t ms) { g_manualMs.fetch_add(ms, std::memory_order_acq_rel); }

void ZQCClock::SetManualTime(uint32_t ms) { g_manualMs.store(ms, std::memory_order_release); }

void ZQCRealTimeClock::Install() { m_installed = true; }

uint32_t ZQCRealTimeClock::GetTime() const { return ZQCClock::GetTickCount(); }
