// When sender reports fall due and what clock rate their RTP timestamp has,
// whatever the payload: timers read after the send, telephone events and
// T.140 on their own clock, FEC packets that change nothing.
#include <cstdlib>

#include "output_fixture.h"
#include "zqmrtpsource.h"

namespace outputtest {
namespace {

constexpr int32_t kT140 = 0x100003;
constexpr int32_t kTelephoneEvent = 0x40019;
constexpr int32_t kFec = 0x800001;
constexpr int kFecMainType = 7;
constexpr uint32_t kFirstTimestamp = 16000;

Frame MediaFrame(int mainType, int32_t subType, uint32_t timestamp)
{
    Frame frame;
    frame.mainType = mainType;
    frame.subType = subType;
    frame.timestamp = timestamp;
    return frame;
}

// A packet of the FEC module: its own header, with a timestamp that means
// nothing at the media's clock rate.
Frame FecFrame()
{
    Frame frame = MediaFrame(kFecMainType, kFec, 0x7FFFFFFF);
    frame.header = {0x80, 0x00, 0x12, 0x34, 0x7F, 0xFF, 0xFF, 0xFF, 0, 0, 0, 0};
    return frame;
}

// Every clock class reports after 5 s of its own media time, and the report
// carries the timestamp of that instant in its own units.
TEST_F(OutputStackTest, EveryClockClassReportsAfterFiveSecondsOfItsMediaTime)
{
    struct Case {
        const char* what;
        int mainType;
        int32_t subType;
        uint32_t unitsPerSecond;
    };
    const Case cases[] = {
        {"G.711 at 8 kHz", 1, kAudioPCMA, 8000},
        {"telephone events alone, at 8 kHz", 1, kTelephoneEvent, 8000},
        {"T.140 at 1 kHz", 3, kT140, 1000},
    };
    ASSERT_TRUE(module->EnableMediaType(kTelephoneEvent));
    ASSERT_TRUE(module->EnableMediaType(kT140));
    for (const Case& c : cases) {
        Start();
        ASSERT_TRUE(Send(MediaFrame(c.mainType, c.subType, kFirstTimestamp))) << c.what;
        ZQCClock::AdvanceManualTime(4999);
        ASSERT_TRUE(Send(MediaFrame(c.mainType, c.subType, kFirstTimestamp + c.unitsPerSecond * 4999 / 1000)));
        ZQCClock::AdvanceManualTime(1);
        const uint32_t dueTimestamp = kFirstTimestamp + c.unitsPerSecond * 5;
        ASSERT_TRUE(Send(MediaFrame(c.mainType, c.subType, dueTimestamp))) << c.what;
        for (int packet = 0; packet < 3; ++packet) {
            EXPECT_FALSE(rtpPeer.Receive().empty()) << c.what;
        }
        const Bytes report = rtcpPeer.Receive(0);
        ASSERT_GE(report.size(), 28u) << c.what << ": no report after 5 s";
        EXPECT_EQ(report[1], 200) << c.what;
        EXPECT_EQ(Word(report, 16), dueTimestamp) << c.what;
        EXPECT_TRUE(rtcpPeer.Receive(0).empty()) << c.what << ": a report came early";
        Stop();
    }
}

// The simulated delay happens between the header and the send: a packet
// 4.9 s of media after the first that leaves more than 0.1 s late is past
// the 5 s. The delay is real time: the test's own clock stays out of it.
TEST_F(OutputStackTest, ReportTimerReadsTheClockAfterTheSimulatedDelay)
{
    ZQCClock::UseManualTime(false);
    constexpr uint32_t kMaxJitterMs = 400;
    constexpr uint32_t kShortOfDueMs = 100;
    // A seed whose first draw delays the packet by at least 0.2 s.
    auto delayOfSeed = [&](unsigned seed) {
        std::srand(seed);
        return zqm::SimulatedDelayMs(zqm::RandomDraw(), kMaxJitterMs);
    };
    unsigned seed = 1;
    while (delayOfSeed(seed) < 2 * kShortOfDueMs) {
        ++seed;
    }
    Start();
    ASSERT_TRUE(Send(MediaFrame(1, kAudioPCMA, kFirstTimestamp)));
    ASSERT_TRUE(module->SetGenerateJitter(Ssrc(), true, true));
    ASSERT_TRUE(module->SetMaxJitter(Ssrc(), true, kMaxJitterMs));
    std::srand(seed);
    ASSERT_TRUE(Send(MediaFrame(1, kAudioPCMA, kFirstTimestamp + 8 * (5000 - kShortOfDueMs))));
    EXPECT_GE(rtcpPeer.Receive(0).size(), 28u) << "the report timer read the time before the delay";
}

TEST_F(OutputStackTest, FecPacketsChangeNeitherTheReportUnitsNorItsTimer)
{
    ASSERT_TRUE(module->EnableMediaType(kFec));
    Start();
    ASSERT_TRUE(Send(MediaFrame(1, kAudioPCMA, kFirstTimestamp)));
    ZQCClock::AdvanceManualTime(100);
    ASSERT_TRUE(Send(FecFrame()));
    ZQCClock::AdvanceManualTime(150);
    ASSERT_TRUE(stack->SendSenderReport(false));
    EXPECT_EQ(Word(rtcpPeer.Receive(), 16), kFirstTimestamp + 250 * 8) << "8 kHz units from the last media packet";

    // An FEC packet's timestamp does not move the media clock: 5 s after
    // the first media packet, the next FEC packet brings the report.
    ZQCClock::AdvanceManualTime(5000 - 250);
    ASSERT_TRUE(Send(FecFrame()));
    const Bytes report = rtcpPeer.Receive(0);
    ASSERT_GE(report.size(), 28u);
    EXPECT_EQ(Word(report, 16), kFirstTimestamp + 5000 * 8);
}

}  // namespace
}  // namespace outputtest
