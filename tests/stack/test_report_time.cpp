// Times carried by RTCP reports: SR wall clock in ms, round-trip time.
#include <gtest/gtest.h>

#include "zqmrtpclock.h"
#include "zqmrtpreporttime.h"

namespace {

uint32_t Compact(uint32_t seconds, uint32_t nanoseconds)
{
    return ZQMRTPClock::CompactWallClock(ZQMWallClock{seconds, nanoseconds});
}

TEST(ReportTime, SenderReportWallClockReadsNanosecondsFromThisSystemsSenders)
{
    EXPECT_EQ(zqm::SenderReportWallClockMs(1, 500000000), 1500u);
    EXPECT_EQ(zqm::SenderReportWallClockMs(0, 999999900), 999u);
    // seconds x 1000 wraps in 32 bits, as the lip-sync arithmetic expects
    EXPECT_EQ(zqm::SenderReportWallClockMs(1700000000u, 0), static_cast<uint32_t>(1700000000u * 1000u));
    // A fraction beyond 10^9 is an NTP peer's binary fraction.
    const uint64_t ntpMs = static_cast<uint32_t>(3900000000u * 1000u);
    EXPECT_EQ(zqm::SenderReportWallClockMs(3900000000u, 0x80000000u), ntpMs + 500u);
    EXPECT_EQ(zqm::SenderReportWallClockMs(3900000000u, 0xFFFFFFFFu), ntpMs + 999u);
}

TEST(ReportTime, RoundTripIsNowMinusLsrMinusDlsr)
{
    const uint32_t lsr = Compact(1000, 250000000);
    const uint32_t now = Compact(1000, 262000000);
    EXPECT_EQ(zqm::RoundTripTimeMs(lsr, 0, 0), 0u);
    EXPECT_NEAR(zqm::RoundTripTimeMs(now, lsr, 0), 12u, 1u);
    // 5 ms held by the receiver (5/1000 * 65536 = 327.68 units)
    EXPECT_NEAR(zqm::RoundTripTimeMs(now, lsr, 328), 7u, 1u);
    // held longer than the time passed: clocks apart, not a negative delay
    EXPECT_EQ(zqm::RoundTripTimeMs(now, lsr, 65536), 0u);
    EXPECT_EQ(zqm::RoundTripTimeMs(lsr, lsr, 0), 0u) << "a report that comes straight back";
    EXPECT_NEAR(zqm::RoundTripTimeMs(Compact(65536, 20000000), Compact(65535, 990000000), 0), 30u, 1u)
        << "across the wrap of the compact seconds";
}

}  // namespace
