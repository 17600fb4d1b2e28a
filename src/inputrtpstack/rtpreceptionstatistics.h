#pragma once
// Reception statistics of a remote source, as RFC 3550 computes them: the
// sequence-number bookkeeping of appendix A.1, the loss figures of a
// receiver report (A.3) and the interarrival jitter (A.8). Plain arithmetic
// on the counters, apart from sockets and threads; the stack applies it to
// its source records.
#include <atomic>
#include <cstdint>

namespace zqm {

struct ReceptionCounters;

// What this process received of a remote source so far.
struct ReceivedFigures {
    uint32_t received = 0;       // packets counted, duplicates and late ones included
    uint32_t expected = 0;       // extended highest sequence number - base + 1 (0 before the first packet)
    uint32_t payloadOctets = 0;  // payload of every packet counted
    // expected - received: negative when duplicates came.
    int32_t Lost() const;
};

// The counters as other threads may read them. The receiving thread counts
// under its stack lock; the statistics read under the source-list locks
// while it goes on. Expected and received share one word, so that a reader
// never sees a packet counted in one and not yet in the other (a lost figure
// of -1 on a clean stream). A copy is a snapshot.
class PublishedReception {
public:
    PublishedReception() = default;
    PublishedReception(const PublishedReception& other) { *this = other; }
    PublishedReception& operator=(const PublishedReception& other);

    void Publish(const ReceptionCounters& counters);
    void AddPayloadOctets(uint32_t octets) { m_payloadOctets.fetch_add(octets, std::memory_order_relaxed); }
    ReceivedFigures Read() const;

private:
    std::atomic<uint64_t> m_expectedAndReceived{0};
    std::atomic<uint32_t> m_payloadOctets{0};
};

// A.1's per-source state. `cycles` counts wraps of the 16-bit number.
struct ReceptionCounters {
    bool started = false;     // a first packet set the base
    uint16_t maxSeq = 0;      // highest sequence number seen
    uint16_t cycles = 0;
    uint16_t baseSeq = 0;     // first sequence number counted
    uint32_t badSeq = 0;      // after a jump: the number that confirms it (65537: none)
    uint32_t received = 0;    // packets counted, duplicates and late ones included
    uint32_t expectedPrior = 0;
    uint32_t receivedPrior = 0;
    // Refreshed by UpdateSequence after every packet it counts.
    PublishedReception published;
};

enum class SequenceUpdate : uint8_t {
    Counted,    // in sequence, a small gap, late or duplicate: counted
    Restarted,  // second packet after a jump: the statistics start again from it
    Jump,       // a jump not yet confirmed: not counted
};

// A.1's update_seq for one packet, without probation: the first packet of a
// source counts and sets the base, whatever its number. A move of up to
// 3,000 ahead is in sequence (a wrap adds a cycle); up to 100 behind is a
// late or duplicate packet; anything else is a jump, taken as the sender's
// restart when the next packet follows it. Publishes what it counted.
SequenceUpdate UpdateSequence(ReceptionCounters& counters, uint16_t seq);

// cycles x 65536 + max seq.
inline uint32_t ExtendedHighestSeq(const ReceptionCounters& counters)
{
    return (static_cast<uint32_t>(counters.cycles) << 16) | counters.maxSeq;
}

// A.3: what one report interval adds up to.
struct ReceptionLoss {
    uint32_t extendedMax = 0;       // cycles x 65536 + max seq
    uint32_t expected = 0;          // extendedMax - base seq + 1
    int64_t expectedInterval = 0;   // since the previous report
    int64_t receivedInterval = 0;
    int64_t lostInterval = 0;
    uint8_t fractionLostPercent = 0;
    uint8_t fractionLost = 0;       // 1/256 units
    int32_t cumulativeLost = 0;     // expected - received, within the signed 24-bit range
};

ReceptionLoss ComputeReceptionLoss(const ReceptionCounters& counters);

// Expected - received so far, within the signed 24-bit range: what the
// statistics show between reports.
int32_t CumulativeLost(const ReceptionCounters& counters);

// Starts the next report interval from the figures just reported.
inline void CloseReportInterval(ReceptionCounters& counters, const ReceptionLoss& loss)
{
    counters.expectedPrior = loss.expected;
    counters.receivedPrior = counters.received;
}

// The report block's loss word: fraction lost in the top 8 bits, the
// cumulative count as a signed 24-bit value below.
inline uint32_t LostWord(uint8_t fractionLost, int32_t cumulativeLost)
{
    return (static_cast<uint32_t>(fractionLost) << 24) | (static_cast<uint32_t>(cumulativeLost) & 0xFFFFFFu);
}

// A.8 state: the estimate in RTP units of `clockRateHz`, and the relative
// transit time of the previous packet.
struct JitterEstimate {
    float jitterUnits = 0.0f;
    uint32_t lastTransit = 0;
    uint32_t clockRateHz = 0;  // 0 before the first packet
};

// Arrival time in RTP units of `clockRateHz`, from monotonic microseconds
// (modulo 2^32, as timestamps are).
uint32_t ArrivalUnits(uint64_t arrivalMicroseconds, uint32_t clockRateHz);

// A.8 for one arrival: D is the change of transit time, J += (|D| - J) / 16,
// the step rounded to a float before it is added. A packet whose clock rate
// differs from the previous one's (another payload type of the source)
// starts the estimate again: its transit is not comparable.
void UpdateInterarrivalJitter(JitterEstimate& estimate, uint64_t arrivalMicroseconds, uint32_t rtpTimestamp,
                              uint32_t clockRateHz);

// The jitter field of a report block: the estimate truncated toward zero.
uint32_t JitterReportUnits(float jitterUnits);

// The estimate in milliseconds, for the statistics.
float JitterMs(const JitterEstimate& estimate);

}  // namespace zqm
