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

}  // namespace
}  // namespace outputtest
