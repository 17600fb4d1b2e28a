#pragma once
// The benchmarks' sink: checks in its hook that packets arrive in order with
// the payload that was sent, and keeps one-way latencies in room reserved
// beforehand, so that the measured thread does nothing the bare receiver
// does not do (no allocation, no lock, no notification).
#include <atomic>
#include <cstdint>
#include <vector>

#include "zqfmodule.h"

class BenchSink : public ZQFModule {
public:
    explicit BenchSink(size_t latencyRoom = 0);

    bool OnProcessMediaSample(ZQFMediaSample* sample, int value) override;

    uint64_t GetDelivered() const { return m_delivered.load(std::memory_order_relaxed); }
    // Packets whose sequence number, or payload number, did not follow the
    // previous packet's, or whose payload was damaged.
    uint64_t GetOutOfOrder() const { return m_outOfOrder.load(std::memory_order_relaxed); }
    // One-way latencies in µs (payload stamp to hook); read after the stop.
    const std::vector<double>& GetLatenciesUs() const { return m_latencies; }

    // Before the start: the first packet keeps the delivering thread in the
    // hook until Release, so that the packets sent meanwhile queue up in
    // its socket and are then read one after another without a wait. The
    // delivering thread's CPU and allocations are taken after packet
    // `from` and after packet `to` (counted from 1).
    void HoldFirstPacket(uint64_t from, uint64_t to)
    {
        m_holdFirst = true;
        m_measuredFrom = from;
        m_measuredTo = to;
    }
    // True once the first packet is held; false after `timeoutMs` without.
    bool WaitUntilHeld(int timeoutMs) const;
    void Release() { m_released.store(true, std::memory_order_release); }
    struct HeldRun {
        uint64_t packets = 0;  // 0 until packet `to` came
        uint64_t cpuNs = 0;
        uint64_t allocations = 0;
    };
    // What the delivering thread spent between the two packets.
    HeldRun GetHeldRun() const;

private:
    void MarkHeldRun(uint64_t delivered);

    std::atomic<uint64_t> m_delivered{0};
    std::atomic<uint64_t> m_outOfOrder{0};
    bool m_first = true;
    uint16_t m_expected = 0;
    uint16_t m_expectedNumber = 0;
    std::vector<double> m_latencies;
    bool m_holdFirst = false;
    uint64_t m_measuredFrom = 0;
    uint64_t m_measuredTo = 0;
    HeldRun m_atFrom;
    HeldRun m_heldRun;  // written once, before m_heldRunDone
    std::atomic<bool> m_heldRunDone{false};
    std::atomic<bool> m_held{false};
    std::atomic<bool> m_released{false};
};
