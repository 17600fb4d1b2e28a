// RTCP multiplexed on the RTP ports, both stacks in one graph on manual time:
//
//   ZQStockSource -> RTP out (127.0.0.1) ~~ RTP and SR ~~> RTP in (127.0.0.2) -> capture sink
//                             RTP port <~~ RR ~~ RTP port
//
// Reports go both ways (SRTCP too) and no RTCP socket is opened. A receiver
// that does not multiplex takes the sender's reports on its RTP port for what
// they are: counted, dropped, never media.
#include "input_stack_fixture.h"
#include "zqmrtpsocket.h"

namespace inputtest {
namespace {

constexpr const char* kKeyOut = "dGVzdCBrZXk6IHRoaXJ0eSBieXRlcyBleGFjdCEh";
constexpr const char* kKeyIn = "YW5vdGhlciBrZXksIHRoaXJ0eSBieXRlcyBsb25n";

// The receiver reports to where the RTP comes from (the sender's port-0
// socket, connected to it).
struct MuxPair : StreamPair {
    MuxPair(bool receiverMux, bool srtp) : StreamPair("127.0.0.1", "127.0.0.1", "127.0.0.2")
    {
        EXPECT_TRUE(rtpOut->SetRTCPMux(1));
        EXPECT_TRUE(rtpIn->SetRTCPMux(receiverMux ? 1 : 0));
        if (srtp) {
            EXPECT_TRUE(rtpOut->SetSRTP("AES_CM_128_HMAC_SHA1_80", kKeyOut, kKeyIn, nullptr));
            EXPECT_TRUE(rtpIn->SetSRTP("AES_CM_128_HMAC_SHA1_80", kKeyIn, kKeyOut, nullptr));
        }
    }
    uint32_t RTCPOnRTPPort() const
    {
        uint32_t compounds = UINT32_MAX;
        EXPECT_TRUE(rtpIn->GetRTCPOnRTPPort(&compounds));
        return compounds;
    }
};

class RtcpMux : public StreamPairTest {
protected:
    void ExpectReportsBothWaysAndNoRTCPSocket(bool srtp)
    {
        MuxPair pair(true, srtp);
        const int socketsBefore = OpenSockets();
        ASSERT_TRUE(pair.Started());
        pair.ExchangeReports();
        EXPECT_EQ(OpenSockets(), socketsBefore + 2) << "one RTP socket per stack, nothing for RTCP";
        pair.ExpectWholeStreamDelivered();
        EXPECT_EQ(pair.RTCPOnRTPPort(), 0u);
        uint32_t refused[4] = {0, 0, 0, 0};
        for (ZQMRTPStackModule* module : {pair.rtpOut, pair.rtpIn}) {
            EXPECT_EQ(module->GetSRTPStatistics(&refused[0], &refused[1], &refused[2], &refused[3]), srtp);
            EXPECT_THAT(refused, ::testing::Each(0u)) << module->GetName();
        }
        ExpectCleanEnd(pair);
    }
};

TEST_F(RtcpMux, ReportsGoBothWaysOnTheRTPPortsAndNoRTCPSocketOpens) { ExpectReportsBothWaysAndNoRTCPSocket(false); }

TEST_F(RtcpMux, SrtcpTakesTheSameWay) { ExpectReportsBothWaysAndNoRTCPSocket(true); }

TEST_F(RtcpMux, AReceiverThatDoesNotMultiplexCountsTheRTCPOnItsRTPPortAndDeliversOnlyMedia)
{
    MuxPair pair(false, false);
    ASSERT_TRUE(pair.Started());
    ZQCClock::AdvanceManualTime(kReportPeriodMs);
    EXPECT_TRUE(WaitUntil([&] { return pair.RTCPOnRTPPort() > 0; }));
    pair.ExpectWholeStreamDelivered();
    EXPECT_EQ(pair.Of(false).packets, 0u) << "the SR was not processed either";
    EXPECT_EQ(logs.CountText("<--RTPStack-->[" + pair.inRtp +
                                 "] RTCP compound on the RTP port while RTCP multiplexing is off: dropped (1 so far); "
                                 "the peer multiplexes RTCP (\"RTCPMux\").",
                             ZQF_LOG_WARNING),
              1);
    EXPECT_FALSE(pair.rtpOut->GetRTCPOnRTPPort(nullptr)) << "a sending stack keeps no such count";
    ExpectCleanEnd(pair);
}

// The reports follow the traffic to the RTP origin itself, not the next
// port; the peer's RTCP is read on the RTP port, and is no media.
class MuxReceivingStack : public InputStackTest {};

TEST_F(MuxReceivingStack, ReportsGoToTheRTPOriginItselfAndItsRTCPComesInThere)
{
    UseLoopback();
    stack->SetRemoteRTPAddress("");
    ASSERT_TRUE(module->SetRTCPMux(1));
    ASSERT_TRUE(Start());
    EXPECT_EQ(zqm::FindSharedRTPSocket(std::stoi(rtcpPort)), nullptr);
    const SenderPorts sender = LearnedSender();
    ASSERT_TRUE(sender.rtcp);
    ASSERT_TRUE(stack->SendReceiverReport(false));
    const Bytes report = sender.rtp->Receive();
    ASSERT_GE(report.size(), 12u);
    EXPECT_EQ(report[1], 201) << "an RR";
    EXPECT_EQ(Word(report, 8), kSsrc);
    EXPECT_TRUE(sender.rtcp->Receive(0).empty());

    // An SR of the source, 7 packets and 9 octets.
    const Bytes senderReport = {0x80, 200, 0, 6, 0x11, 0x22, 0x33, 0x44, 0, 0, 0, 1, 0, 0, 0, 0,
                                0,    0,   0, 0, 0,    0,    0,    7,    0, 0, 0, 9};
    ASSERT_TRUE(sender.rtp->SendTo("127.0.0.2", rtpPort, senderReport));
    EXPECT_TRUE(WaitUntil([&] {
        uint32_t packets = 0;
        module->GetStatistics(kSsrc, false, nullptr, nullptr, &packets, nullptr, nullptr, nullptr, nullptr, nullptr,
                              nullptr);
        return packets == 7;
    }));
    ASSERT_TRUE(Deliver(*sender.rtp, {3}));
    EXPECT_THAT(Delivered(), ElementsAre(1, 2, 3));
}

}  // namespace
}  // namespace inputtest
