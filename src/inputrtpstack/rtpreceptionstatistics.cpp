#include "inputrtpstack/rtpreceptionstatistics.h"

#include <algorithm>
#include <cstdlib>
#include <limits>

#include "inputrtpstack/rtpsequencenumbers.h"

namespace zqm {

namespace {

constexpr int kMaxDropout = 3000;
constexpr int kMaxMisorder = 100;
constexpr uint32_t kSeqModulo = 65536;
constexpr uint32_t kNoBadSeq = kSeqModulo + 1;
constexpr int32_t kMaxCumulativeLost = 0x7FFFFF;
constexpr int32_t kMinCumulativeLost = -0x800000;
constexpr double kJitterGain = 1.0 / 16.0;

// The difference of two wrapping 32-bit counters, as the signed step it was.
int64_t CounterStep(uint32_t now, uint32_t prior) { return static_cast<int32_t>(now - prior); }

void StartSequence(ReceptionCounters& counters, uint16_t seq)
{
    counters.started = true;
    counters.baseSeq = seq;
    counters.maxSeq = seq;
    counters.badSeq = kNoBadSeq;
    counters.cycles = 0;
    counters.received = 0;
    counters.expectedPrior = 0;
    counters.receivedPrior = 0;
}

}  // namespace

SequenceUpdate UpdateSequence(ReceptionCounters& counters, uint16_t seq)
{
    SequenceUpdate update = SequenceUpdate::Counted;
    const uint16_t ahead = static_cast<uint16_t>(seq - counters.maxSeq);
    if (!counters.started) {
        StartSequence(counters, seq);
    } else if (ahead < kMaxDropout) {
        if (seq < counters.maxSeq) {
            ++counters.cycles;
        }
        counters.maxSeq = seq;
    } else if (ahead <= kSeqModulo - kMaxMisorder) {
        if (seq != counters.badSeq) {
            counters.badSeq = NextSeq(seq);
            return SequenceUpdate::Jump;
        }
        StartSequence(counters, seq);
        update = SequenceUpdate::Restarted;
    }
    // Otherwise late or duplicate: counted, nothing moves.
    ++counters.received;
    counters.published.Publish(counters);
    return update;
}

int32_t ReceivedFigures::Lost() const
{
    using Limits = std::numeric_limits<int32_t>;
    const int64_t lost = static_cast<int64_t>(expected) - received;
    return static_cast<int32_t>(std::clamp<int64_t>(lost, Limits::min(), Limits::max()));
}

PublishedReception& PublishedReception::operator=(const PublishedReception& other)
{
    m_expectedAndReceived.store(other.m_expectedAndReceived.load(std::memory_order_relaxed), std::memory_order_relaxed);
    m_payloadOctets.store(other.m_payloadOctets.load(std::memory_order_relaxed), std::memory_order_relaxed);
    return *this;
}

void PublishedReception::Publish(const ReceptionCounters& counters)
{
    const uint32_t expected = counters.started ? ExtendedHighestSeq(counters) - counters.baseSeq + 1 : 0;
    m_expectedAndReceived.store(static_cast<uint64_t>(expected) << 32 | counters.received,
                                std::memory_order_relaxed);
}

ReceivedFigures PublishedReception::Read() const
{
    const uint64_t word = m_expectedAndReceived.load(std::memory_order_relaxed);
    ReceivedFigures figures;
    figures.expected = static_cast<uint32_t>(word >> 32);
    figures.received = static_cast<uint32_t>(word);
    figures.payloadOctets = m_payloadOctets.load(std::memory_order_relaxed);
    return figures;
}

ReceptionLoss ComputeReceptionLoss(const ReceptionCounters& counters)
{
    ReceptionLoss loss;
    loss.extendedMax = ExtendedHighestSeq(counters);
    loss.expected = loss.extendedMax - counters.baseSeq + 1;
    loss.expectedInterval = CounterStep(loss.expected, counters.expectedPrior);
    loss.receivedInterval = CounterStep(counters.received, counters.receivedPrior);
    loss.lostInterval = loss.expectedInterval - loss.receivedInterval;
    if (loss.expectedInterval > 0 && loss.lostInterval > 0) {
        loss.fractionLostPercent = static_cast<uint8_t>(loss.lostInterval * 100 / loss.expectedInterval);
        loss.fractionLost = static_cast<uint8_t>((loss.lostInterval << 8) / loss.expectedInterval);
    }
    loss.cumulativeLost = CumulativeLost(counters);
    return loss;
}

int32_t CumulativeLost(const ReceptionCounters& counters)
{
    const uint32_t expected = ExtendedHighestSeq(counters) - counters.baseSeq + 1;
    const int64_t cumulative = static_cast<int64_t>(expected) - counters.received;
    return static_cast<int32_t>(std::clamp<int64_t>(cumulative, kMinCumulativeLost, kMaxCumulativeLost));
}

uint32_t ArrivalUnits(uint64_t arrivalMicroseconds, uint32_t clockRateHz)
{
    // Split to stay exact in 64 bits: whole seconds, then the rest.
    const uint64_t seconds = arrivalMicroseconds / 1000000u;
    const uint64_t rest = arrivalMicroseconds % 1000000u;
    return static_cast<uint32_t>(seconds * clockRateHz + rest * clockRateHz / 1000000u);
}

void UpdateInterarrivalJitter(JitterEstimate& estimate, uint64_t arrivalMicroseconds, uint32_t rtpTimestamp,
                              uint32_t clockRateHz)
{
    const uint32_t transit = ArrivalUnits(arrivalMicroseconds, clockRateHz) - rtpTimestamp;
    if (clockRateHz != estimate.clockRateHz) {
        estimate = {0.0f, transit, clockRateHz};
        return;
    }
    const int64_t d = static_cast<int32_t>(transit - estimate.lastTransit);
    estimate.lastTransit = transit;
    const float step = static_cast<float>((static_cast<double>(std::llabs(d)) - estimate.jitterUnits) * kJitterGain);
    estimate.jitterUnits += step;
}

uint32_t JitterReportUnits(float jitterUnits)
{
    if (!(jitterUnits >= 0.0f)) {  // negative or NaN
        return 0;
    }
    if (jitterUnits >= 4294967295.0f) {
        return UINT32_MAX;
    }
    return static_cast<uint32_t>(jitterUnits);
}

float JitterMs(const JitterEstimate& estimate)
{
    if (estimate.clockRateHz == 0) {
        return 0.0f;
    }
    return static_cast<float>(estimate.jitterUnits * 1000.0 / estimate.clockRateHz);
}

}  // namespace zqm
