#pragma once
// Times carried by RTCP reports.
//
// This system's senders put a wall-clock reading in the SR timestamp: seconds
// since 1970 and nanoseconds. RFC 3550 peers put NTP time: seconds since 1900
// and a binary fraction of a second. The seconds word tells them apart: NTP
// seconds are past 2,208,988,800 (1970 in NTP time) for any current date.
//
// The LSR a receiver echoes is the middle 32 bits of the SR timestamp: the low
// 16 bits of the seconds and the high 16 bits of the second word, the same
// "compact" form as ZQMRTPClock::CompactWallClock when the SR was ours.
#include <cstdint>

namespace zqm {

constexpr uint32_t kNtpSecondsAt1970 = 2208988800u;

// Milliseconds of an SR timestamp: seconds x 1000 (wrapping in 32 bits, as
// the lip-sync arithmetic expects) plus the sub-second part in ms.
uint64_t SenderReportWallClockMs(uint32_t seconds, uint32_t secondWord);

// Round-trip time in ms from a receiver report: now and LSR in compact form
// (seconds modulo 65536 and nanoseconds >> 16), DLSR in 1/65536 s. 0 when
// LSR is 0 or when the figures give a negative time.
uint32_t RoundTripTimeMs(uint32_t compactNow, uint32_t lsr, uint32_t dlsr);

}  // namespace zqm
