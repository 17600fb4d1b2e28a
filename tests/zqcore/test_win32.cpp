// The KERNEL32 stand-in: file time arithmetic (debugger output is read by the
// stack module's tests). The overridden system time is read through the RTP wall clock (tests/core).
#include <gtest/gtest.h>

#include <cstdint>

#include "zqwin32.h"

namespace {

// 1970-01-01 00:00:00 UTC in 100 ns units since 1601-01-01.
constexpr int64_t kUnixEpochUnits = 0x019DB1DED53E8000LL;

SYSTEMTIME Date(int year, int month, int day, int hour = 0, int minute = 0, int second = 0, int ms = 0)
{
    return SYSTEMTIME{static_cast<WORD>(year), static_cast<WORD>(month), 0, static_cast<WORD>(day),
                      static_cast<WORD>(hour), static_cast<WORD>(minute), static_cast<WORD>(second),
                      static_cast<WORD>(ms)};
}

TEST(SystemTimeToFileTime, LeapYearsFollowTheGregorianRules)
{
    // 2000 is a leap year (divisible by 400), 1900 and 2100 are not.
    const std::pair<SYSTEMTIME, int64_t> unixMs[] = {
        {Date(1601, 1, 1), -kUnixEpochUnits / 10'000},  {Date(1970, 1, 1), 0},
        {Date(2000, 1, 1), 946684800'000},              {Date(2000, 2, 29), 951782400'000},
        {Date(2000, 3, 1), 951868800'000},              {Date(1900, 3, 1), -2203891200'000},
        {Date(2100, 3, 1), 4107542400'000},             {Date(2024, 12, 31, 23, 59, 59, 999), 1735689599'999}};
    for (const auto& [date, ms] : unixMs) {
        SCOPED_TRACE(date.wYear);
        FILETIME f{};
        ASSERT_TRUE(SystemTimeToFileTime(&date, &f));
        EXPECT_EQ((static_cast<int64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime, kUnixEpochUnits + ms * 10'000);
    }
}

}  // namespace
