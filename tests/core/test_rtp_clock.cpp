// ZQMRTPClock on manual time, and the wall clock at fixed system times.
#include <gtest/gtest.h>

#include "zqcclock.h"
#include "zqmrtpclock.h"
#include "zqwin32.h"

namespace {

constexpr int32_t kH264 = 0x10004, kG711A = 0x40001, kTDAC24 = 0x40007, kTDAC48 = 0x4000B, kRFC2833 = 0x40019;

class RTPClockTest : public ::testing::Test {
protected:
    void SetUp() override { ZQCClock::UseManualTime(true, 0); }
    void TearDown() override { ZQCClock::UseManualTime(false); }
};

}  // namespace

TEST_F(RTPClockTest, RatesAndConversionsPerClass)
{
    ZQMRTPClock clock;
    ZQCClock::AdvanceManualTime(1000);
    EXPECT_EQ(clock.GetElapsed(), 1000u);
    EXPECT_EQ(clock.GetRTPTimestamp(kH264), 90000u);
    EXPECT_EQ(clock.GetRTPTimestamp(kG711A), 8000u);
    EXPECT_EQ(clock.GetRTPTimestamp(kTDAC48), 32000u);
    EXPECT_EQ(clock.GetRTPTimestamp(kRFC2833), 1000u);
    EXPECT_EQ(ZQMRTPClock::ToMilliseconds(90000, 0x10001), 1000u);
    EXPECT_EQ(ZQMRTPClock::ToMilliseconds(179, kH264), 1u);
    EXPECT_EQ(ZQMRTPClock::ToMilliseconds(16015, kTDAC24), 1000u);  // rounded down
    // The other class is not converted back: 0, not the timestamp.
    EXPECT_EQ(ZQMRTPClock::ToMilliseconds(1000, kRFC2833), 0u);
}

TEST_F(RTPClockTest, ResynchroniseAndWrap)
{
    ZQCClock::SetManualTime(700);
    ZQMRTPClock clock;
    EXPECT_TRUE(clock.Resynchronise(5000));
    ZQCClock::AdvanceManualTime(250);
    EXPECT_EQ(clock.GetElapsed(), 5250u);
    EXPECT_TRUE(clock.Resynchronise(10));
    EXPECT_EQ(clock.GetElapsed(), 10u);

    ZQCClock::SetManualTime(0xFFFFFFF0u);
    ASSERT_TRUE(clock.Resynchronise(0));
    ZQCClock::AdvanceManualTime(0x20);  // the time base itself wraps
    EXPECT_EQ(clock.GetElapsed(), 0x20u);
    ASSERT_TRUE(clock.Resynchronise(0x10000000u));
    EXPECT_EQ(clock.GetRTPTimestamp(kH264), 0xA0000000u);  // x 90 modulo 2^32
    EXPECT_EQ(clock.GetRTPTimestamp(kTDAC48), 0u);
}

// The system time as NTP time: seconds since 1900 (modulo 2^32) and a
// binary fraction, exact to the bit; and its middle 32 bits.
TEST(WallClock, SystemTimeAsNtpSecondsAndFraction)
{
    struct Case {
        SYSTEMTIME time;  // year, month, weekday, day, hour, minute, second, ms
        uint32_t ntpSeconds;
        uint32_t fraction;
        uint32_t compact;
    };
    const Case cases[] = {
        {{1900, 1, 1, 1, 0, 0, 0, 0}, 0u, 0u, 0u},                                   // NTP's epoch
        {{1970, 1, 4, 1, 0, 0, 1, 500}, 2208988801u, 0x80000000u, 0x7E818000u},      // 1 s into 1970
        {{2024, 2, 4, 29, 12, 34, 56, 789}, 3918198896u, 0xC9FBE76Cu, 0xF870C9FBu},  // a leap day
        {{2026, 3, 0, 15, 9, 30, 0, 250}, 3982555800u, 0x40000000u, 0xFA984000u},
        {{2036, 2, 4, 7, 6, 28, 15, 999}, 0xFFFFFFFFu, 0xFFBE76C8u, 0xFFFFFFBEu},   // the last second of era 0
        {{2036, 2, 4, 7, 6, 28, 16, 0}, 0u, 0u, 0u},                                // era 1 starts at 0
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.time.wYear);
        zqwin32::SetSystemTimeOverride(&c.time);
        const ZQMWallClock wall = ZQMRTPClock::GetWallClock();
        EXPECT_EQ(wall.ntpSeconds, c.ntpSeconds);
        EXPECT_EQ(wall.fraction, c.fraction);
        EXPECT_EQ(ZQMRTPClock::CompactWallClock(wall), c.compact);
        EXPECT_EQ(ZQMRTPClock::GetCompactWallClock(), c.compact);
    }
    zqwin32::SetSystemTimeOverride(nullptr);
}

// What a sender report says the media time is: the last packet's timestamp
// moved on at the payload's clock rate.
TEST(MediaTimeAfter, RunsAtThePayloadsClockRate)
{
    constexpr int32_t kT140 = 0x100003;
    struct Case {
        const char* what;
        int32_t mediaType;
        uint32_t timestamp;
        uint64_t elapsedMicroseconds;
        uint32_t expected;
    };
    const Case cases[] = {
        {"G.711 for 250 ms", kG711A, 16000, 250000, 16000 + 2000},
        {"telephone events at 8 kHz", kRFC2833, 0, 1000000, 8000},
        {"video for 100 ms", kH264, 3003, 100000, 3003 + 9000},
        {"T.140 at 1 kHz", kT140, 7, 1500000, 7 + 1500},
        {"no time passed", kH264, 123456, 0, 123456},
        {"part of a unit is not counted", kG711A, 10, 124, 10},
        {"past 2^32", kH264, 0xFFFFFF00u, 10000, 0xFFFFFF00u + 900u},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(ZQMRTPClock::MediaTimeAfter(c.timestamp, c.elapsedMicroseconds, c.mediaType), c.expected) << c.what;
    }
}
