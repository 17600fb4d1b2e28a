// The KERNEL32 stand-in: system time, file time arithmetic, debugger output.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zqwin32.h"

namespace {

// 1970-01-01 00:00:00 UTC in 100 ns units since 1601-01-01.
constexpr uint64_t kUnixEpochUnits = 0x019DB1DED53E8000ULL;
constexpr uint64_t kUnitsPerSecond = 10'000'000ULL;

SYSTEMTIME Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0)
{
    SYSTEMTIME t{};
    t.wYear = static_cast<WORD>(year);
    t.wMonth = static_cast<WORD>(month);
    t.wDay = static_cast<WORD>(day);
    t.wHour = static_cast<WORD>(hour);
    t.wMinute = static_cast<WORD>(minute);
    t.wSecond = static_cast<WORD>(second);
    t.wMilliseconds = static_cast<WORD>(ms);
    return t;
}

uint64_t Units(const SYSTEMTIME& t)
{
    FILETIME f{};
    EXPECT_TRUE(SystemTimeToFileTime(&t, &f));
    return (static_cast<uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime;
}

uint64_t UnitsOfUnixSeconds(int64_t seconds)
{
    return static_cast<uint64_t>(static_cast<int64_t>(kUnixEpochUnits) + seconds * static_cast<int64_t>(kUnitsPerSecond));
}

class SystemTimeTest : public ::testing::Test {
protected:
    void TearDown() override { zqwin32::SetSystemTimeOverride(nullptr); }
};

TEST_F(SystemTimeTest, OverriddenTimeConvertsToFileTime)
{
    const SYSTEMTIME fixed = Date(1970, 1, 1, 0, 0, 1, 500);
    zqwin32::SetSystemTimeOverride(&fixed);
    SYSTEMTIME now{};
    GetSystemTime(&now);
    EXPECT_EQ(now.wYear, 1970);
    EXPECT_EQ(now.wSecond, 1);
    EXPECT_EQ(now.wMilliseconds, 500);
    EXPECT_EQ(Units(now), kUnixEpochUnits + 15'000'000ULL);
}

TEST(SystemTimeToFileTime, FirstDayOfTheEpochs)
{
    EXPECT_EQ(Units(Date(1601, 1, 1)), 0u);
    EXPECT_EQ(Units(Date(1970, 1, 1)), kUnixEpochUnits);
    EXPECT_EQ(Units(Date(2000, 1, 1)), UnitsOfUnixSeconds(946684800));
}

TEST(SystemTimeToFileTime, LeapYearsFollowTheGregorianRules)
{
    // 2000 is a leap year (divisible by 400), 1900 and 2100 are not.
    EXPECT_EQ(Units(Date(2000, 2, 29)), UnitsOfUnixSeconds(951782400));
    EXPECT_EQ(Units(Date(2000, 3, 1)), UnitsOfUnixSeconds(951868800));
    EXPECT_EQ(Units(Date(1900, 3, 1)) - Units(Date(1900, 2, 28)), 86400 * kUnitsPerSecond);
    EXPECT_EQ(Units(Date(2100, 3, 1)), UnitsOfUnixSeconds(4107542400));
    EXPECT_EQ(Units(Date(2024, 12, 31, 23, 59, 59, 999)),
              UnitsOfUnixSeconds(1735603200 + 86399) + 999 * 10'000ULL);
}

TEST(SystemTimeToFileTime, RefusesImpossibleDates)
{
    FILETIME f{0x1234, 0x5678};
    const SYSTEMTIME bad[] = {Date(1600, 12, 31), Date(2000, 13, 1), Date(2000, 0, 1), Date(2000, 1, 0),
                              Date(2000, 1, 1, 24), Date(2000, 1, 1, 0, 60), Date(2000, 1, 1, 0, 0, 60),
                              Date(2000, 1, 1, 0, 0, 0, 1000)};
    for (const SYSTEMTIME& t : bad) {
        EXPECT_FALSE(SystemTimeToFileTime(&t, &f)) << t.wYear << "-" << t.wMonth << "-" << t.wDay;
    }
    EXPECT_EQ(f.dwLowDateTime, 0x1234u);
    EXPECT_FALSE(SystemTimeToFileTime(nullptr, &f));
}

TEST(OutputDebugStringA, ReachesTheInstalledSink)
{
    std::vector<std::string> captured;
    zqwin32::SetOutputDebugStringSink([&](const char* text) { captured.emplace_back(text); });
    OutputDebugStringA("create pin sucess\n");
    OutputDebugStringA(nullptr);
    zqwin32::SetOutputDebugStringSink(nullptr);
    ASSERT_EQ(captured.size(), 2u);
    EXPECT_EQ(captured[0], "create pin sucess\n");
    EXPECT_EQ(captured[1], "");
}

}  // namespace
