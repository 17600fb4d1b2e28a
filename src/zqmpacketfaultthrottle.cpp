#include "zqmpacketfaultthrottle.h"

#include <array>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <limits>

namespace zqm {

namespace {

constexpr size_t kKinds = static_cast<size_t>(PacketFault::Count);
constexpr int64_t kNeverWritten = std::numeric_limits<int64_t>::min() / 2;

// Counted kinds: faults since the last line, modulo kEvery. Timed kinds:
// faults left out since the last line.
std::array<std::atomic<uint32_t>, kKinds> g_faultCounters{};
// Timed kinds: steady-clock ms of the last line.
struct LastLines {
    LastLines()
    {
        for (std::atomic<int64_t>& time : ms) {
            time.store(kNeverWritten);
        }
    }
    std::array<std::atomic<int64_t>, kKinds> ms;
};
LastLines g_lastLine;

size_t IndexOf(PacketFault fault) { return static_cast<size_t>(fault); }

bool IsTimed(PacketFault fault) { return fault >= PacketFault::SrtpAuthentication; }

int64_t NowMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool TakeCountedTurn(PacketFault fault)
{
    std::atomic<uint32_t>& counter = g_faultCounters[IndexOf(fault)];
    uint32_t seen = counter.load(std::memory_order_relaxed);
    while (!counter.compare_exchange_weak(seen, (seen + 1) % PacketFaultThrottle::kEvery, std::memory_order_relaxed)) {
    }
    return seen == 0;
}

bool TakeTimedTurn(PacketFault fault, uint32_t* skipped)
{
    std::atomic<int64_t>& lastLine = g_lastLine.ms[IndexOf(fault)];
    std::atomic<uint32_t>& leftOut = g_faultCounters[IndexOf(fault)];
    const int64_t now = NowMs();
    int64_t last = lastLine.load(std::memory_order_relaxed);
    if (now - last < PacketFaultThrottle::kOncePerMs || !lastLine.compare_exchange_strong(last, now)) {
        leftOut.fetch_add(1, std::memory_order_relaxed);
        return false;
    }
    const uint32_t count = leftOut.exchange(0, std::memory_order_relaxed);
    if (skipped != nullptr) {
        *skipped = count;
    }
    return true;
}

}  // namespace

bool PacketFaultThrottle::TakeTurn(PacketFault fault) { return TakeTurn(fault, nullptr); }

bool PacketFaultThrottle::TakeTurn(PacketFault fault, uint32_t* skipped)
{
    return IsTimed(fault) ? TakeTimedTurn(fault, skipped) : TakeCountedTurn(fault);
}

bool PacketFaultThrottle::IsDue(PacketFault fault)
{
    if (IsTimed(fault)) {
        return NowMs() - g_lastLine.ms[IndexOf(fault)].load(std::memory_order_relaxed) >= kOncePerMs;
    }
    return g_faultCounters[IndexOf(fault)].load(std::memory_order_relaxed) == 0;
}

void PacketFaultThrottle::Reset()
{
    for (size_t kind = 0; kind < kKinds; ++kind) {
        g_faultCounters[kind].store(0, std::memory_order_relaxed);
        g_lastLine.ms[kind].store(kNeverWritten, std::memory_order_relaxed);
    }
}

}  // namespace zqm
