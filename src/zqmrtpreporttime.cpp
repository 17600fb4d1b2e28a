#include "zqmrtpreporttime.h"

namespace zqm {

namespace {

constexpr uint64_t kMsPerCompactCycle = 65536ull * 1000ull;  // the compact form's seconds wrap

// Compact form to ms modulo 65536 s: the low 16 bits are nanoseconds >> 16.
uint64_t CompactToMs(uint32_t compact)
{
    const uint64_t seconds = compact >> 16;
    const uint64_t nanoseconds = static_cast<uint64_t>(compact & 0xFFFFu) << 16;
    return seconds * 1000u + nanoseconds / 1000000u;
}

}  // namespace

uint64_t SenderReportWallClockMs(uint32_t seconds, uint32_t secondWord)
{
    const uint32_t wholeMs = seconds * 1000u;  // 32-bit on purpose
    uint64_t subSecondMs = 0;
    if (seconds < kNtpSecondsAt1970) {
        subSecondMs = secondWord / 1000000u;  // nanoseconds
    } else {
        subSecondMs = (static_cast<uint64_t>(secondWord) * 1000u) >> 32;  // binary fraction
    }
    return static_cast<uint64_t>(wholeMs) + subSecondMs;
}

uint32_t RoundTripTimeMs(uint32_t compactNow, uint32_t lsr, uint32_t dlsr)
{
    if (lsr == 0) {
        return 0;
    }
    const uint64_t sinceReportMs = (CompactToMs(compactNow) + kMsPerCompactCycle - CompactToMs(lsr)) % kMsPerCompactCycle;
    const uint64_t heldMs = (static_cast<uint64_t>(dlsr) * 1000u) >> 16;
    if (sinceReportMs <= heldMs) {
        return 0;
    }
    const uint64_t rtt = sinceReportMs - heldMs;
    // A "round trip" of more than half the compact range is a reading from
    // before the report: clocks apart, not a delay.
    return rtt >= kMsPerCompactCycle / 2 ? 0 : static_cast<uint32_t>(rtt);
}

}  // namespace zqm
