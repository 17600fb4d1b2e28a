#pragma once
// Times carried by RTCP reports.
//
// Our sender reports carry NTP time (ZQMRTPClock::GetWallClock): seconds
// since 1900 and a binary fraction of a second, as every RFC 3550 peer
// does. Older senders of this system put seconds since 1970 and
// nanoseconds there; the seconds word tells the forms apart, since NTP
// seconds are past 2,208,988,800 (1970 in NTP time) for any current date.
//
// The LSR a receiver echoes is the middle 32 bits of the SR timestamp: the
// low 16 bits of the seconds and the high 16 bits of the second word, the
// "compact" form of ZQMRTPClock::CompactWallClock when the SR was ours.
#include <cstdint>
#include <optional>

namespace zqm {

constexpr uint32_t kNtpSecondsAt1970 = 2208988800u;

// Milliseconds of an SR timestamp: seconds x 1000 (wrapping in 32 bits, as
// the lip-sync arithmetic expects) plus the sub-second part in ms.
uint64_t SenderReportWallClockMs(uint32_t seconds, uint32_t secondWord);

// Round-trip time in ms, rounded to the nearest, from a receiver report
// about one of our sender reports: now and LSR in compact NTP form (1/65536
// s, modulo 65536 s), DLSR in 1/65536 s. 0 when LSR is 0 (the receiver has
// had no sender report yet). Nothing (a refused report) when the figures
// cannot come from a real round trip: an LSR later than now, or a DLSR
// longer than the time since the report it echoes (beyond the 1 ms our
// wall clock cannot see: within it the round trip is 0).
std::optional<uint32_t> RoundTripTimeMs(uint32_t compactNow, uint32_t lsr, uint32_t dlsr);

// The monotonic clock in 1/65536 s, modulo 2^32 (wraps every 18 hours): the
// unit of DLSR, so that the delay a receiver reports is wall-clock time
// whatever the media clocks do.
uint32_t MonotonicReportUnits();

// A sender report as its receiver keeps it: the LSR to echo and when the
// report arrived (MonotonicReportUnits). Packed into one 64-bit word so that
// the pair is stored and read in one step, never torn.
struct SenderReportReception {
    uint32_t lsr = 0;
    uint32_t arrivalUnits = 0;
};

inline uint64_t PackSenderReportReception(const SenderReportReception& reception)
{
    return (static_cast<uint64_t>(reception.lsr) << 32) | reception.arrivalUnits;
}

inline SenderReportReception UnpackSenderReportReception(uint64_t packed)
{
    return {static_cast<uint32_t>(packed >> 32), static_cast<uint32_t>(packed)};
}

// DLSR in 1/65536 s: 0 while no sender report was received (LSR 0), else
// the time since its arrival.
inline uint32_t DelaySinceLastSenderReport(const SenderReportReception& reception, uint32_t nowUnits)
{
    return reception.lsr == 0 ? 0 : nowUnits - reception.arrivalUnits;
}

}  // namespace zqm
