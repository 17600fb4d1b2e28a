// Sender reports: their bytes, when they go and what they count.
#include <ctime>

#include "output_fixture.h"

namespace outputtest {
namespace {

// With a CNAME an SDES follows the report: the send graph looks at that.
TEST_F(OutputStackTest, ReportLayoutWithoutCnameAndWithGoodbye)
{
    Start();
    ASSERT_TRUE(Send());  // 160 payload bytes; the timestamp leaves the clock alone
    const uint32_t ssrc = Ssrc();

    module->SetCNAME("");
    ASSERT_TRUE(stack->SendSenderReport(false));
    const Bytes alone = rtcpPeer.Receive();
    ASSERT_EQ(alone.size(), 28u);
    EXPECT_EQ(Word(alone, 0), 0x80C80006u);
    EXPECT_EQ(Word(alone, 4), ssrc);
    EXPECT_NEAR(static_cast<double>(Word(alone, 8)), static_cast<double>(std::time(nullptr)), 5.0);
    EXPECT_LT(Word(alone, 12), 1000000000u);  // nanoseconds
    EXPECT_EQ(Word(alone, 16), kStartMs * 8);  // G.711 counts 8 units a millisecond
    EXPECT_EQ(Word(alone, 20), 1u);
    EXPECT_EQ(Word(alone, 24), 160u);
    ASSERT_TRUE(stack->SendSenderReport(true));
    const Bytes aloneWithBye = rtcpPeer.Receive();
    ASSERT_EQ(aloneWithBye.size(), 36u);
    EXPECT_EQ(Word(aloneWithBye, 28), 0x81CB0001u);
    EXPECT_EQ(Word(aloneWithBye, 32), ssrc);
}

TEST_F(OutputStackTest, FirstReportGoesWithTheFirstSampleFiveSecondsAfterTheFirstSent)
{
    Start();
    ASSERT_TRUE(Send());
    ZQCClock::AdvanceManualTime(4999);
    ASSERT_TRUE(Send());
    ZQCClock::AdvanceManualTime(1);
    ASSERT_TRUE(Send());
    // Had the second sample sent a report, it would arrive first, counting 2.
    EXPECT_EQ(Word(rtcpPeer.Receive(), 20), 3u);

    ZQCClock::AdvanceManualTime(4999);
    ASSERT_TRUE(Send());
    EXPECT_EQ(Word(NextSenderReport(), 20), 5u);
}

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

TEST_F(OutputStackTest, WithDataDisabledNoPacketLeavesButReportsGoOnWithUnchangedCounts)
{
    Start();
    module->SetDataDisabled(1);
    ASSERT_TRUE(Send());
    const Bytes report = NextSenderReport();
    EXPECT_EQ(Word(report, 20), 0u);
    EXPECT_EQ(Word(report, 24), 0u);

    module->SetDataDisabled(0);
    Frame sentinel;
    sentinel.payload = {0xEE};
    ASSERT_TRUE(Send(sentinel));
    EXPECT_EQ(rtpPeer.Receive().size(), 13u);
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

}  // namespace
}  // namespace outputtest
