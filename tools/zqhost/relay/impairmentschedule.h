#pragma once
// When each datagram leaves the relay, decided as it arrives. The fixed delay
// applies to every datagram both ways; loss, jitter, reordering and
// duplicates to forward RTP only. A seeded generator makes every run with
// the same seed and the same arrivals decide the same.
#include <cstdint>
#include <random>

struct Impairments {
    double lossPercent = 0.0;
    double reorderPercent = 0.0;
    double duplicatePercent = 0.0;
    int64_t delayUs = 0;
    int64_t jitterUs = 0;  // the most extra delay a forward RTP datagram gets
    uint64_t seed = 1;
};

struct ForwardDecision {
    bool dropped = false;
    int64_t dueUs = 0;
    bool duplicate = false;  // sent twice, the copy right after the original
};

class ImpairmentSchedule {
public:
    explicit ImpairmentSchedule(const Impairments& impairments);

    // A forward RTP datagram that arrived at `arrivedUs` (monotonic).
    ForwardDecision ForwardRtp(int64_t arrivedUs);
    // Any other datagram: forward RTCP, everything in reverse.
    int64_t Delayed(int64_t arrivedUs) const { return arrivedUs + m_impairments.delayUs; }

private:
    double Draw();  // uniform in [0, 1)

    Impairments m_impairments;
    std::mt19937_64 m_generator;
    // The due time of the last datagram that keeps its place: a later one
    // never leaves before it.
    int64_t m_lastOrderedDueUs = INT64_MIN;
};
