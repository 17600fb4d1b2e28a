// Times carried by RTCP reports: SR wall clock in ms, round-trip time,
// report delays.
#include <gtest/gtest.h>

#include <optional>

#include "zqmrtpreporttime.h"

namespace {

constexpr uint32_t kUnitsPerSecond = 0x10000;  // compact NTP time and DLSR: 1/65536 s

TEST(ReportTime, SenderReportWallClockReadsBothTimestampForms)
{
    // Older senders of this system: seconds since 1970 and nanoseconds.
    EXPECT_EQ(zqm::SenderReportWallClockMs(1, 500000000), 1500u);
    EXPECT_EQ(zqm::SenderReportWallClockMs(0, 999999900), 999u);
    // seconds x 1000 wraps in 32 bits, as the lip-sync arithmetic expects
    EXPECT_EQ(zqm::SenderReportWallClockMs(1700000000u, 0), static_cast<uint32_t>(1700000000u * 1000u));
    // NTP seconds and a binary fraction: RFC 3550 peers, and our own reports.
    const uint64_t ntpMs = static_cast<uint32_t>(3900000000u * 1000u);
    EXPECT_EQ(zqm::SenderReportWallClockMs(3900000000u, 0x80000000u), ntpMs + 500u);
    EXPECT_EQ(zqm::SenderReportWallClockMs(3900000000u, 0xFFFFFFFFu), ntpMs + 999u);
}

TEST(ReportTime, RoundTripIsNowMinusLsrMinusDlsrInWholeMilliseconds)
{
    struct Case {
        const char* what;
        uint32_t now;
        uint32_t lsr;
        uint32_t dlsr;
        std::optional<uint32_t> roundTripMs;
    };
    const uint32_t lsr = 0xFA984000u;  // 2026-03-15 09:30:00.250 in compact form
    const Case cases[] = {
        {"no sender report yet", lsr, 0, 0, 0u},
        {"1 s since, held 0.5 s", lsr + kUnitsPerSecond, lsr, kUnitsPerSecond / 2, 500u},
        {"1 s since, not held", lsr + kUnitsPerSecond, lsr, 0, 1000u},
        {"rounded to the nearest ms", lsr + 3277, lsr, 0, 50u},  // 50.003 ms
        {"half a ms rounds up", lsr + 33, lsr, 0, 1u},           // 0.504 ms
        {"straight back", lsr, lsr, 0, 0u},
        {"across the wrap of the compact seconds", 0x00004000u, 0xFFFF8000u, kUnitsPerSecond / 4, 500u},
        {"held 1 ms longer than our clock saw", lsr + 1000, lsr, 1066, 0u},
        {"held longer than our clock's resolution", lsr + 1000, lsr, 1067, std::nullopt},
        {"LSR later than now", lsr, lsr + 1, 0, std::nullopt},
        {"LSR half the compact range ahead", lsr, lsr + 0x80000000u, 0, std::nullopt},
        {"DLSR of all ones", lsr + kUnitsPerSecond, lsr, 0xFFFFFFFFu, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(zqm::RoundTripTimeMs(c.now, c.lsr, c.dlsr), c.roundTripMs) << c.what;
    }
}

}  // namespace
