#include "zqmrtpreporttime.h"

#include "zqcclock.h"

namespace zqm {

namespace {

// Compact NTP times are 1/65536 s modulo 2^32 units (65536 s). A difference
// of half that range or more is taken as negative: an LSR "since" which more
// than 9 hours passed is one from the future, not a report that old.
constexpr uint32_t kHalfCompactRange = 0x80000000u;
// Our wall clock reads whole milliseconds, so the time since our report can
// come out up to 1 ms short of the truth (66 units, rounded up). A DLSR
// longer by no more than that is a round trip below our resolution: 0 ms.
constexpr uint32_t kWallClockResolutionUnits = 66;

uint32_t CompactUnitsToMs(uint32_t units)
{
    return static_cast<uint32_t>((static_cast<uint64_t>(units) * 1000u + 0x8000u) >> 16);
}

}  // namespace

uint32_t MonotonicReportUnits()
{
    // 2^16 / 10^6 units per microsecond, exact in 64 bits for 8,900 years.
    return static_cast<uint32_t>((ZQCClock::GetMicroseconds() << 16) / 1000000u);
}

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

std::optional<uint32_t> RoundTripTimeMs(uint32_t compactNow, uint32_t lsr, uint32_t dlsr)
{
    if (lsr == 0) {
        return 0u;
    }
    const uint32_t sinceReport = compactNow - lsr;  // modulo 2^32: the compact seconds wrap
    if (sinceReport >= kHalfCompactRange) {
        return std::nullopt;  // the LSR is later than now
    }
    if (dlsr > sinceReport) {
        if (dlsr - sinceReport <= kWallClockResolutionUnits) {
            return 0u;
        }
        return std::nullopt;  // held longer than the report has existed
    }
    return CompactUnitsToMs(sinceReport - dlsr);
}

}  // namespace zqm
