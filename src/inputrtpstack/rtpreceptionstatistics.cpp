#include "inputrtpstack/rtpreceptionstatistics.h"

#include <cmath>
#include <cstdlib>

namespace zqm {

namespace {

constexpr double kJitterGain = 1.0 / 16.0;
constexpr double kDlsrUnitsPerMs = 65.536;

// The difference of two wrapping 32-bit counters, as the signed step it was.
int64_t CounterStep(uint32_t now, uint32_t prior) { return static_cast<int32_t>(now - prior); }

}  // namespace

float UpdateInterarrivalJitter(float jitterUnits, uint32_t& lastTransit, uint32_t arrivalUnits, uint32_t rtpTimestamp)
{
    const uint32_t transit = arrivalUnits - rtpTimestamp;
    const int64_t d = static_cast<int32_t>(transit - lastTransit);
    lastTransit = transit;
    const float step = static_cast<float>((static_cast<double>(std::llabs(d)) - jitterUnits) * kJitterGain);
    return jitterUnits + step;
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

ReceptionLoss ComputeReceptionLoss(const ReceptionCounters& counters)
{
    ReceptionLoss loss;
    loss.extendedMax = (static_cast<uint32_t>(counters.cycles) << 16) + counters.maxSeq;
    loss.expected = loss.extendedMax - counters.baseSeq + 1;
    loss.expectedInterval = CounterStep(loss.expected, counters.expectedPrior);
    loss.receivedInterval = CounterStep(counters.received, counters.receivedPrior);
    loss.lostInterval = loss.expectedInterval - loss.receivedInterval;
    if (loss.expectedInterval != 0 && loss.lostInterval > 0) {
        loss.fractionLostPercent = static_cast<uint8_t>(loss.lostInterval * 100 / loss.expectedInterval);
        loss.fractionLost = static_cast<uint8_t>(loss.lostInterval * 256 / loss.expectedInterval);
    }
    const int64_t cumulative = CounterStep(loss.expected, counters.received);
    loss.cumulativeLost = cumulative > 0 ? static_cast<uint32_t>(cumulative) : 0;
    return loss;
}

uint32_t DelaySinceLastSenderReport(uint32_t lsr, uint32_t nowMs, uint32_t arrivalMs)
{
    if (lsr == 0) {
        return 0;
    }
    const uint32_t elapsedMs = nowMs - arrivalMs;
    return static_cast<uint32_t>(static_cast<uint64_t>(elapsedMs * kDlsrUnitsPerMs));
}

}  // namespace zqm
