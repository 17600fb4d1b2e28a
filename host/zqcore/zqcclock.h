#pragma once
#include <cstdint>

#include "zqcexport.h"

// Millisecond clocks of the host. Both read one monotonic time base, which a
// test may replace by a manual clock that only moves when told to.
class ZQ_API ZQCClock {
public:
    // Monotonic milliseconds, 32-bit, wrapping.
    static uint32_t GetTickCount();
    // Monotonic microseconds, 64-bit: for arithmetic finer than a millisecond
    // (interarrival jitter, report delays). Manual time reads as its
    // milliseconds x 1000.
    static uint64_t GetMicroseconds();
    // A past instant given on the wall clock (microseconds since 1970, as
    // the kernel stamps received datagrams), moved onto GetMicroseconds'
    // time line: now less its age. A wall-clock step only matters when it
    // falls within that age. On manual time: now.
    static uint64_t MicrosecondsAtWallClock(uint64_t wallClockMicroseconds);

    // Test support: while manual time is on, every clock of the process
    // (GetTickCount, ZQCRealTimeClock::GetTime, the win32 GetTickCount) reads
    // the manual value instead of the system's monotonic clock.
    static void UseManualTime(bool on, uint32_t startMs = 0);
    static bool IsManualTime();
    static void AdvanceManualTime(uint32_t ms);
    static void SetManualTime(uint32_t ms);
};

// A clock installed once and then read in milliseconds (32-bit, wrapping).
class ZQ_API ZQCRealTimeClock {
public:
    void Install();
    uint32_t GetTime() const;

private:
    bool m_installed = false;
};
