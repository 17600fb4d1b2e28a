// The sending stack's RTCP listening thread, fed from a loopback peer.
#include "output_fixture.h"
#include "rtcp/rtcpreceiverreport.h"
#include "zqfnotify.h"

namespace outputtest {
namespace {

class RtcpListeningTest : public OutputStackTest {
protected:
    // A receiver report about our source answering the SR it got: 25 % lost.
    Bytes ReceiverReportFor(const Bytes& senderReport)
    {
        rtcp::ReceiverReport report;
        report.senderSsrc = 0x0BADBEEF;
        report.block.sourceSsrc = Word(senderReport, 4);
        report.block.fractionLost = 64;
        report.block.cumulativeLost = 3;
        report.block.lastSenderReport = (Word(senderReport, 8) << 16) | (Word(senderReport, 12) >> 16);
        report.block.delaySinceLastSenderReport = 1;
        Bytes bytes(rtcp::ReceiverReport::kBytes);
        report.Create(bytes.data(), bytes.size());
        return bytes;
    }

    void SendToStack(const Bytes& bytes) { rtcpPeer.SendTo(kLocalAddress, rtcpPort, bytes); }
};

TEST_F(RtcpListeningTest, ReceiverReportAboutTheSenderShowsInItsStatistics)
{
    Start();
    ASSERT_TRUE(Send());
    SendToStack(ReceiverReportFor(NextSenderReport()));
    ASSERT_TRUE(upstream.WaitForNotification(NOTIFY_FRACTION_LOST));
    EXPECT_EQ(upstream.Notifications().back().param, 25);

    uint32_t fractionLost = 0, cumulativeLost = 0, rrCount = 0, roundTripMs = 1000;
    ASSERT_TRUE(module->GetStatistics(Ssrc(), true, nullptr, nullptr, nullptr, nullptr, &fractionLost,
                                      &cumulativeLost, nullptr, &rrCount, &roundTripMs));
    EXPECT_EQ(rrCount, 1u);
    EXPECT_EQ(fractionLost, 25u);
    EXPECT_EQ(cumulativeLost, 3u);
    EXPECT_LT(roundTripMs, 50u);
}

TEST_F(RtcpListeningTest, TooShortDatagramIsLoggedAndALongerOneIsValidated)
{
    Start();
    ASSERT_TRUE(Send());
    const Bytes senderReport = NextSenderReport();
    SendToStack({0x80, 201, 0, 0});
    SendToStack({0x80, 201, 0, 0, 0});
    // Datagrams are handled in order: once this one is, so are the others.
    SendToStack(ReceiverReportFor(senderReport));
    ASSERT_TRUE(upstream.WaitForNotification(NOTIFY_FRACTION_LOST));

    EXPECT_EQ(logs.Count(kPath, 1, "<--RTPStack-->EntryPoint failed to receive on input rtcp socket."), 1);
    EXPECT_EQ(logs.Count("zqmrtpstack", 2, "<--ZQMRTPStack-->[ZQMOutputRTPStack] Wrong rtcp packet length."), 1);
}

TEST_F(RtcpListeningTest, LoopEndsByItselfWhenTheModuleStopsRunning)
{
    Start();
    ZQFThreadInfo info;
    ASSERT_TRUE(module->GetThreadInfo(0, &info));
    EXPECT_TRUE(info.running);

    module->SetRunning(false);
    // The loop looks at the module between waits of 200 ms.
    EXPECT_TRUE(WaitUntil([&] { return module->GetThreadInfo(0, &info) && !info.running; }));
    int ended = 0;
    for (const std::string& text : logs.Texts("stdafx")) {
        ended += text.rfind("** RTP_DEBUG ** << ZQMOutputRTPStack::RTCPEntryPoint", 0) == 0 ? 1 : 0;
    }
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(logs.Count(kPath, 2, "<--RTPStack-->Error throwed in ThreadFunc of output rtp stack."), 0);
}

}  // namespace
}  // namespace outputtest
