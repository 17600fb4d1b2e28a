// Sender reports: their bytes, what they count, and when none can go.
#include "output_fixture.h"
#include "zqwin32.h"

namespace outputtest {
namespace {

constexpr int32_t kH264 = 0x10004;

TEST_F(OutputStackTest, ReportedCountsAreTheSumsSentSinceTheLastCleanup)
{
    Start();
    for (size_t bytes : {100, 200, 300}) {
        Frame frame;
        frame.payload = Bytes(bytes, 1);
        ASSERT_TRUE(Send(frame));
    }
    const Bytes first = NextSenderReport();
    EXPECT_EQ(Word(first, 20), 4u);
    EXPECT_EQ(Word(first, 24), 760u);

    Stop();
    Start();
    Frame small;
    small.payload = Bytes(50, 2);
    ASSERT_TRUE(Send(small));
    const Bytes second = NextSenderReport();
    EXPECT_EQ(Word(second, 20), 2u);
    EXPECT_EQ(Word(second, 24), 210u);
}

TEST_F(OutputStackTest, WithoutRemoteRtcpAddressTheFirstSampleOpensTheSocketAndReportsAreRefused)
{
    module->SetRemoteRTCPAddress(kLocalAddress);
    Start();
    ASSERT_TRUE(Send());
    ZQCClock::AdvanceManualTime(5000);
    ASSERT_TRUE(Send());
    ZQCClock::AdvanceManualTime(4999);
    ASSERT_TRUE(Send());
    EXPECT_EQ(logs.Count(kPath, 0, "ZQMOutputRTPStack::OnProcessMediaSample >> Creation out rtcp socket"), 1);
    EXPECT_EQ(logs.Count(kPath, 0, "Invalid remote addr"), 1);
    ZQCClock::AdvanceManualTime(1);
    ASSERT_TRUE(Send());
    EXPECT_EQ(logs.Count(kPath, 0, "Invalid remote addr"), 2);
    EXPECT_EQ(module->GetThreadCount(), 1);
    ZQFThreadInfo info;
    ASSERT_TRUE(module->GetThreadInfo(0, &info));
    EXPECT_FALSE(info.running);
}

// The SR's NTP time and RTP timestamp are of one instant: the last packet's
// timestamp moved on, at its payload's clock rate, by the time since it left.
// The SDES with the CNAME follows it.
TEST_F(OutputStackTest, SenderReportCarriesNtpTimeAndTheMediaTimeOfTheSameInstant)
{
    ASSERT_TRUE(module->EnableMediaType(kH264));
    module->SetCNAME("sender@loopback");
    const SYSTEMTIME quarterPast = {2026, 3, 0, 15, 9, 30, 0, 250};
    zqwin32::SetSystemTimeOverride(&quarterPast);
    Start();
    Frame first;
    first.timestamp = 16000;
    ASSERT_TRUE(Send(first));
    ZQCClock::AdvanceManualTime(250);
    ASSERT_TRUE(stack->SendSenderReport(false));
    Bytes golden = {0x80, 200,  0x00, 0x06, 0,    0,    0,    0,     // SSRC: written below
                    0xED, 0x60, 0xFA, 0x98, 0x40, 0x00, 0x00, 0x00,  // 2026-03-15 09:30:00.250
                    0x00, 0x00, 0x46, 0x50,                          // 16000 + 250 ms x 8 = 18000
                    0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0xA0,  // 1 packet, 160 octets
                    0x81, 202,  0x00, 0x06, 0,    0,    0,    0,     // SDES: SSRC written below
                    1,    15,   's',  'e',  'n',  'd',  'e',  'r',  '@', 'l', 'o', 'o', 'p', 'b', 'a', 'c', 'k', 0, 0, 0};
    BigEndian::Write32(golden.data() + 4, Ssrc());
    BigEndian::Write32(golden.data() + 32, Ssrc());
    EXPECT_EQ(rtcpPeer.Receive(), golden);

    struct Case {
        const char* what;
        int mainType;
        int32_t subType;
        uint32_t timestamp;  // all about 2000 ms of media time: no report falls due by itself
        uint32_t laterMs;
        uint32_t reported;
    };
    // Each class's rate: the clock's tests; here the report follows the last
    // packet's payload from one to the next.
    const Case cases[] = {
        {"video at 90 kHz, from a timestamp between two ms", 2, kH264, 180007, 100, 180007 + 9000},
        {"G.711 4 s later", 1, kAudioPCMA, 16000, 4000, 16000 + 32000},
    };
    for (const Case& c : cases) {
        Frame frame;
        frame.mainType = c.mainType;
        frame.subType = c.subType;
        frame.timestamp = c.timestamp;
        ASSERT_TRUE(Send(frame)) << c.what;
        ZQCClock::AdvanceManualTime(c.laterMs);
        ASSERT_TRUE(stack->SendSenderReport(false));
        EXPECT_EQ(Word(rtcpPeer.Receive(), 16), c.reported) << c.what;
    }
    zqwin32::SetSystemTimeOverride(nullptr);
}

}  // namespace
}  // namespace outputtest
