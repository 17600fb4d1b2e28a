// The sending stack's RTCP listening thread, fed from a loopback peer.
#include "output_fixture.h"
#include "rtcp/rtcpreceiverreport.h"

namespace outputtest {
namespace {

using RtcpListeningTest = OutputStackTest;

TEST_F(RtcpListeningTest, ShortDatagramsAreLoggedAndTheNextReportIsHeard)
{
    Start();
    ASSERT_TRUE(Send());
    rtcp::ReceiverReport rr;
    rr.senderSsrc = 0x0BADBEEF;
    rr.block.sourceSsrc = Ssrc();
    Bytes report(rtcp::ReceiverReport::kBytes);
    rr.Create(report.data(), report.size());
    for (const Bytes& datagram : {Bytes{0x80, 201, 0, 0}, Bytes{0x80, 201, 0, 0, 0}, report}) {
        rtcpPeer.SendTo(kLocalAddress, rtcpPort, datagram);
    }
    // Datagrams are handled in order: once the report is, so are the others.
    uint32_t rrCount = 0;
    ASSERT_TRUE(WaitUntil([&] {
        module->GetStatistics(Ssrc(), true, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &rrCount,
                              nullptr);
        return rrCount == 1;
    }));
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
