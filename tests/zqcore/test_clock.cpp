// The host's millisecond clocks and their manual mode for tests.
#include <gtest/gtest.h>

#include "zqcclock.h"
#include "zqwin32.h"

namespace {

class ManualClockTest : public ::testing::Test {
protected:
    void TearDown() override { ZQCClock::UseManualTime(false); }
};

TEST_F(ManualClockTest, EveryClockReadsTheManualTime)
{
    ZQCClock::UseManualTime(true, 1000);
    ZQCRealTimeClock realTime;
    realTime.Install();
    EXPECT_TRUE(ZQCClock::IsManualTime());
    EXPECT_EQ(ZQCClock::GetTickCount(), 1000u);
    EXPECT_EQ(realTime.GetTime(), 1000u);
    EXPECT_EQ(GetTickCount(), 1000u);

    ZQCClock::AdvanceManualTime(250);
    EXPECT_EQ(ZQCClock::GetTickCount(), 1250u);
    EXPECT_EQ(realTime.GetTime(), 1250u);
    EXPECT_EQ(GetTickCount(), 1250u);
}

TEST_F(ManualClockTest, ManualTimeWrapsAt32Bits)
{
    ZQCClock::UseManualTime(true);
    ZQCClock::SetManualTime(0xFFFFFFF0u);
    ZQCClock::AdvanceManualTime(0x20);
    EXPECT_EQ(ZQCClock::GetTickCount(), 0x10u);
}

}  // namespace
