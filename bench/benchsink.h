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

private:
    std::atomic<uint64_t> m_delivered{0};
    std::atomic<uint64_t> m_outOfOrder{0};
    bool m_first = true;
    uint16_t m_expected = 0;
    uint16_t m_expectedNumber = 0;
    std::vector<double> m_latencies;
};
