// Flush, start and the RTCP listening thread of the sending stack. A change
// of SSRC on a collision, with its goodbye: the identity fault test and the
// tshark capture.
#include <string>

#include "output_fixture.h"
#include "rtcp/rtcpreceiverreport.h"
#include "zqfnotify.h"
#include "zqmrtpsocket.h"

namespace outputtest {
namespace {

constexpr const char* kStartFailed = "<--RTPStack-->OnStart failure error throwed while starting output rtpStack.";

TEST_F(OutputStackTest, EndOfFlushAsksUpstreamForHeaderRoomAndPayloadSupportAndMakesTheRtcpThread)
{
    ASSERT_TRUE(module->OnEndFlush());
    const std::vector<ZQFNotifyInfo> notes = upstream.Notifications();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].code, NOTIFY_INSERT_HEADER);
    EXPECT_EQ(notes[0].param, 12);
    EXPECT_EQ(notes[0].sender, module.get());
    EXPECT_EQ(notes[1].code, NOTIFY_SUPPORT_PAYLOAD);
    EXPECT_EQ(notes[1].param, 1);
    EXPECT_TRUE(logs.Texts(kPath).empty());
    EXPECT_EQ(module->GetThreadCount(), 1);

    // With nobody upstream each request is logged; without RTCP no thread.
    ZQMRTPStackModule alone(ZQMID_RTPOut, "Output RTP stack");
    alone.SetRTCPEnabled(0);
    ASSERT_TRUE(alone.OnEndFlush());
    EXPECT_EQ(logs.Count(kPath, 1,
                         "<--RTPStack-->OnEndFlush failure in output rtp stack: reverse notify insert header not catch."),
              1);
    EXPECT_EQ(logs.Count(kPath, 1, "ZQMOutputRTPStack notify message NOTIFY_SUPPORT_PAYLOAD not catched.)"), 1);
    EXPECT_EQ(alone.GetThreadCount(), 0);
}

TEST_F(OutputStackTest, StartingTwiceFailsAndLeavesTheStackCleanedUp)
{
    Start();
    EXPECT_NE(zqm::FindSharedRTPSocket(std::stoi(rtcpPort)), nullptr);
    EXPECT_FALSE(module->OnStart());
    EXPECT_EQ(logs.Count(kPath, 2, kStartFailed), 1);
    EXPECT_EQ(zqm::FindSharedRTPSocket(std::stoi(rtcpPort)), nullptr);
    EXPECT_EQ(module->GetThreadCount(), 0);
}

TEST_F(OutputStackTest, UnusableRemoteAddressFailsTheStart)
{
    module->SetRemoteRTPAddress("");
    ASSERT_TRUE(module->OnEndFlush());
    EXPECT_FALSE(module->OnStart());
    EXPECT_EQ(logs.Count(kPath, 2, "ZQMOutputRTPStack: can't resolve  network address"), 1);
    EXPECT_EQ(logs.Count(kPath, 2, kStartFailed), 1);
}

// The listening thread, fed from a loopback peer, goes on after short
// datagrams.
TEST_F(OutputStackTest, ShortRtcpDatagramsAreLoggedAndTheNextReportIsHeard)
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
