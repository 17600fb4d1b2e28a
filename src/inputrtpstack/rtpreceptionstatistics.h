#pragma once
// Reception statistics of a remote source, as RFC 3550 computes them:
// interarrival jitter (appendix A.8) and the loss figures of a receiver
// report (appendix A.3). Plain arithmetic on the counters; the stack applies
// the results to its source records.
#include <cstdint>

namespace zqm {

// A.8: one arrival. `arrivalUnits` is the arrival time and `rtpTimestamp`
// the packet's timestamp, both in RTP units of the media. Updates
// `lastTransit` and answers the new jitter (RTP units): the step
// (|D| - J) / 16 is rounded to a float before it is added.
float UpdateInterarrivalJitter(float jitterUnits, uint32_t& lastTransit, uint32_t arrivalUnits, uint32_t rtpTimestamp);

// The jitter field of a report block: the estimate truncated toward zero.
uint32_t JitterReportUnits(float jitterUnits);

struct ReceptionCounters {
    uint16_t cycles = 0;
    uint16_t maxSeq = 0;
    uint16_t baseSeq = 0;
    uint32_t received = 0;
    uint32_t expectedPrior = 0;
    uint32_t receivedPrior = 0;
};

// A.3: what one report interval adds up to.
struct ReceptionLoss {
    uint32_t extendedMax = 0;       // cycles x 65536 + max seq
    uint32_t expected = 0;          // extendedMax - base seq + 1
    int64_t expectedInterval = 0;   // since the previous report
    int64_t receivedInterval = 0;
    int64_t lostInterval = 0;
    uint8_t fractionLostPercent = 0;
    uint8_t fractionLost = 0;       // 1/256 units, low 8 bits of the quotient
    uint32_t cumulativeLost = 0;    // expected - received, never below 0
};

ReceptionLoss ComputeReceptionLoss(const ReceptionCounters& counters);

// The report block's loss word: fraction lost in the top 8 bits plus the
// cumulative count (a 32-bit sum).
inline uint32_t LostWord(uint8_t fractionLost, uint32_t cumulativeLost)
{
    return (static_cast<uint32_t>(fractionLost) << 24) + cumulativeLost;
}

// DLSR in 1/65536 s: 0 while no sender report was received (LSR 0), else
// the milliseconds since its arrival x 65.536, truncated.
uint32_t DelaySinceLastSenderReport(uint32_t lsr, uint32_t nowMs, uint32_t arrivalMs);

}  // namespace zqm
