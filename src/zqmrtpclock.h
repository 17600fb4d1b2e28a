#pragma once
// Millisecond clock with a movable origin, the per-source time base of the
// RTP code, and the wall-clock reading that RTCP sender reports carry.
#include <cstdint>

#include "zqcclock.h"
#include "zqcmutex.h"

// NTP time: seconds since 1900-01-01 00:00 UTC (modulo 2^32, so the count
// wraps in 2036) and the part of a second in units of 1/2^32 s. The two
// words of an RTCP sender report.
struct ZQMWallClock {
    uint32_t ntpSeconds;
    uint32_t fraction;
};

class ZQMRTPClock {
public:
    static constexpr int kLockTimeoutMs = 5000;

    // The lock time-out is a parameter only so that tests need not wait 5 s.
    explicit ZQMRTPClock(int lockTimeoutMs = kLockTimeoutMs);
    virtual ~ZQMRTPClock();
    ZQMRTPClock(const ZQMRTPClock&) = delete;
    ZQMRTPClock& operator=(const ZQMRTPClock&) = delete;

    // Milliseconds since the origin, modulo 2^32; 0 when the lock cannot be had.
    uint32_t GetElapsed();
    // The elapsed time in RTP units of the media type, modulo 2^32.
    uint32_t GetRTPTimestamp(int32_t mediaType);
    // RTP units of the media type back to milliseconds; 0 for the other
    // class (whose timestamps are not converted back).
    static uint32_t ToMilliseconds(uint32_t rtpTimestamp, int32_t mediaType);
    // The RTP timestamp `elapsedMicroseconds` after `rtpTimestamp`, at the
    // clock rate of the media type (zqm::RtpClockRateHz), modulo 2^32;
    // rounded down.
    static uint32_t MediaTimeAfter(uint32_t rtpTimestamp, uint64_t elapsedMicroseconds, int32_t mediaType);
    // Moves the origin so that GetElapsed answers `ms` now.
    bool Resynchronise(uint32_t ms);

    // The real-time clock (the system time, millisecond resolution) as NTP
    // time.
    static ZQMWallClock GetWallClock();
    // The middle 32 bits of the NTP time, (ntpSeconds << 16) | (fraction >>
    // 16): seconds modulo 65536 and 1/65536 s. A receiver echoes this form of
    // our sender report as its LSR, so that the round trip is one subtraction.
    static uint32_t CompactWallClock(const ZQMWallClock& wallClock);
    static uint32_t GetCompactWallClock() { return CompactWallClock(GetWallClock()); }

private:
    ZQCRealTimeClock m_realTimeClock;
    uint32_t m_origin = 0;  // guarded by m_lock
    ZQCMutex m_lock;
    int m_lockTimeoutMs;
};
