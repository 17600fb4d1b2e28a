#include "benchsink.h"

#include <chrono>
#include <thread>

#include "alloccount.h"
#include "bare.h"
#include "zqfformat.h"
#include "zqfmediasample.h"
#include "zqfpin.h"

namespace {

constexpr ZQFID kBenchSinkId{0x7a510c99, 0x5e0c, 0x4d11, {0x9a, 0x51, 0x00, 0x0c, 0x42, 0x65, 0x6e, 0x63}};

}  // namespace

BenchSink::BenchSink(size_t latencyRoom) : ZQFModule(kBenchSinkId, "bench sink")
{
    AddPin(new ZQFPinIn(this, "in"));
    m_latencies.reserve(latencyRoom);
}

bool BenchSink::WaitUntilHeld(int timeoutMs) const
{
    for (int waited = 0; !m_held.load(std::memory_order_acquire); ++waited) {
        if (waited == timeoutMs) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

void BenchSink::MarkHeldRun(uint64_t delivered)
{
    HeldRun now;
    now.packets = delivered;
    now.cpuNs = bare_thread_cpu_ns();
    now.allocations = bench::AllocationsOnThisThread();
    if (delivered == m_measuredFrom) {
        m_atFrom = now;
        return;
    }
    m_heldRun.packets = now.packets - m_atFrom.packets;
    m_heldRun.cpuNs = now.cpuNs - m_atFrom.cpuNs;
    m_heldRun.allocations = now.allocations - m_atFrom.allocations;
    m_heldRunDone.store(true, std::memory_order_release);
}

BenchSink::HeldRun BenchSink::GetHeldRun() const
{
    return m_heldRunDone.load(std::memory_order_acquire) ? m_heldRun : HeldRun{};
}

bool BenchSink::OnProcessMediaSample(ZQFMediaSample* sample, int)
{
    if (m_holdFirst && m_first) {
        m_held.store(true, std::memory_order_release);
        while (!m_released.load(std::memory_order_acquire)) {
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
    }
    const uint64_t now = bare_now_ns();
    int size = 0;
    const uint8_t* payload = sample->GetPayload(&size);
    const ZQFFormatBuffer* format = sample->GetFormatBuffer();
    const auto* rtp = format != nullptr && format->GetKind() == NKRMultiplexedPacketFormat::kKind
                          ? static_cast<const NKRMultiplexedPacketFormat*>(format)
                          : nullptr;
    // The sending stack numbers packets from its own start: its numbers and
    // the payloads' must each follow the previous packet's.
    const uint16_t seq = rtp != nullptr ? rtp->sequenceNumber : 0;
    const int number = bare_payload_number(payload, size);
    if (rtp == nullptr || number < 0 || (!m_first && (seq != m_expected || number != m_expectedNumber))) {
        m_outOfOrder.fetch_add(1, std::memory_order_relaxed);
    }
    m_first = false;
    m_expected = static_cast<uint16_t>(seq + 1);
    m_expectedNumber = static_cast<uint16_t>(number + 1);
    if (m_latencies.size() < m_latencies.capacity() && size >= 8) {
        m_latencies.push_back(static_cast<double>(now - bare_payload_stamp(payload)) / 1000.0);
    }
    const uint64_t delivered = m_delivered.fetch_add(1, std::memory_order_relaxed) + 1;
    if (m_holdFirst && (delivered == m_measuredFrom || delivered == m_measuredTo)) {
        MarkHeldRun(delivered);
    }
    return true;
}
