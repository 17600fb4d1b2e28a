#include "zqmpacketfaultthrottle.h"

#include <array>
#include <atomic>
#include <cstddef>

namespace zqm {

namespace {

std::array<std::atomic<uint32_t>, static_cast<size_t>(PacketFault::Count)> g_faultCounters{};

std::atomic<uint32_t>& CounterOf(PacketFault fault) { return g_faultCounters[static_cast<size_t>(fault)]; }

}  // namespace

bool PacketFaultThrottle::TakeTurn(PacketFault fault)
{
    std::atomic<uint32_t>& counter = CounterOf(fault);
    uint32_t seen = counter.load(std::memory_order_relaxed);
    while (!counter.compare_exchange_weak(seen, (seen + 1) % kEvery, std::memory_order_relaxed)) {
    }
    return seen == 0;
}

bool PacketFaultThrottle::IsDue(PacketFault fault) { return CounterOf(fault).load(std::memory_order_relaxed) == 0; }

void PacketFaultThrottle::Reset()
{
    for (std::atomic<uint32_t>& counter : g_faultCounters) {
        counter.store(0, std::memory_order_relaxed);
    }
}

}  // namespace zqm
