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

TEST(WallClock, SecondsAndNanosecondsSince1970)
{
    const SYSTEMTIME oneAndAHalf = {1970, 1, 4, 1, 0, 0, 1, 500};
    zqwin32::SetSystemTimeOverride(&oneAndAHalf);
    const ZQMWallClock wall = ZQMRTPClock::GetWallClock();
    EXPECT_EQ(wall.seconds, 1u);
    EXPECT_EQ(wall.nanoseconds, 500000000u);
    EXPECT_EQ(ZQMRTPClock::GetCompactWallClock(), 0x00011DCDu);

    const SYSTEMTIME leapDay = {2024, 2, 4, 29, 12, 34, 56, 789};
    zqwin32::SetSystemTimeOverride(&leapDay);
    EXPECT_EQ(ZQMRTPClock::GetWallClock().seconds, 1709210096u);
    EXPECT_EQ(ZQMRTPClock::GetWallClock().nanoseconds, 789000000u);
    const SYSTEMTIME past32Bits = {2106, 2, 0, 7, 6, 28, 17, 0};  // 2^32 + 1 s
    zqwin32::SetSystemTimeOverride(&past32Bits);
    EXPECT_EQ(ZQMRTPClock::GetWallClock().seconds, 1u);
    zqwin32::SetSystemTimeOverride(nullptr);
}
