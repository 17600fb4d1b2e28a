// Sender reports: what they count, and when none can go (their bytes: the
// send graph).
#include "output_fixture.h"

namespace outputtest {
namespace {

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

}  // namespace
}  // namespace outputtest
