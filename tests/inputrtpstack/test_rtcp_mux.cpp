// RTCP multiplexed on the RTP ports, both stacks in one graph on manual time
// so that the report timers run when the test says:
//
//   ZQStockSource -> RTP out (127.0.0.1) ~~ RTP and SR ~~> RTP in (127.0.0.2) -> capture sink
//                             RTP port <~~ RR ~~ RTP port
//
// Reports go both ways (SRTCP too) and no RTCP socket is opened. A receiver
// that does not multiplex takes the sender's reports on its RTP port for what
// they are: counted, dropped, never media.
#include "input_stack_fixture.h"
#include "manual_time.h"
#include "zqmpacketfaultthrottle.h"
#include "zqmrtpsocket.h"

namespace inputtest {
namespace {

constexpr uint32_t kReportPeriodMs = 5000;
constexpr int64_t kFrames = 400;  // 2 s of 5 ms frames
constexpr const char* kKeyOut = "dGVzdCBrZXk6IHRoaXJ0eSBieXRlcyBleGFjdCEh";
constexpr const char* kKeyIn = "YW5vdGhlciBrZXksIHRoaXJ0eSBieXRlcyBsb25n";

// The loopback pair; the receiver reports to where the RTP comes from (the
// sender's port-0 socket, connected to it).
struct MuxPair : LoopbackPair {
    MuxPair(bool receiverMux, bool srtp) : LoopbackPair(Frames())
    {
        source->SetKeepFrames(true);
        EXPECT_TRUE(rtpOut->SetRTCPMux(1));
        EXPECT_TRUE(rtpIn->SetRTCPMux(receiverMux ? 1 : 0));
        if (srtp) {
            EXPECT_TRUE(rtpOut->SetSRTP("AES_CM_128_HMAC_SHA1_80", kKeyOut, kKeyIn, nullptr));
            EXPECT_TRUE(rtpIn->SetSRTP("AES_CM_128_HMAC_SHA1_80", kKeyIn, kKeyOut, nullptr));
        }
        EXPECT_TRUE(rtpOut->GetSourceIdentifier(0, ssrc));
    }
    static ZQStockSourceConfig Frames()
    {
        ZQStockSourceConfig config = PacedSource(5);
        config.maxFrames = kFrames;
        return config;
    }

    // Packets the sender counted (local), or those of the last SR the
    // receiver heard (remote); RRs heard about the stream.
    std::pair<uint32_t, uint32_t> PacketsAndReports(bool local) const
    {
        uint32_t packets = 0, reports = 0;
        (local ? rtpOut : rtpIn)
            ->GetStatistics(ssrc, local, nullptr, nullptr, &packets, nullptr, nullptr, nullptr, nullptr, &reports,
                            nullptr);
        return {packets, reports};
    }
    uint32_t EchoedLsr() const
    {
        zqm::SourceListsLock lock;
        const ZQMRTPSource* local = zqm::FindListedSource(ssrc, true);
        return local != nullptr ? local->m_lsr.load() : 0;
    }
    uint32_t RTCPOnRTPPort() const
    {
        uint32_t compounds = UINT32_MAX;
        EXPECT_TRUE(rtpIn->GetRTCPOnRTPPort(&compounds));
        return compounds;
    }

    // Every frame came out once, as produced: nothing else was taken for media.
    void ExpectEveryFrameDeliveredIntact() const
    {
        ASSERT_TRUE(source->WaitFinished(60000));
        ASSERT_TRUE(sink->WaitForPackets(kFrames, kWaitMs));
        const std::vector<Bytes> frames = source->GetProducedFrames();
        const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
        ASSERT_EQ(packets.size(), frames.size());
        for (size_t i = 0; i < packets.size(); ++i) {
            EXPECT_EQ(packets[i].payload, frames[i]) << "frame " << i;
        }
    }

    uint32_t ssrc = 0;
};

class RtcpMux : public LeakCheckedTest {
protected:
    void SetUp() override
    {
        LeakCheckedTest::SetUp();
        zqm::PacketFaultThrottle::Reset();
    }

    // One report period: the sender's next packet brings an SR, the
    // receiver's next datagram an RR; the one after echoes the SR it read.
    void ExpectReportsBothWaysAndNoRTCPSocket(bool srtp)
    {
        MuxPair pair(true, srtp);
        ASSERT_TRUE(pair.connected);
        const int socketsBefore = OpenSockets();
        ASSERT_TRUE(pair.graph.Start());
        ASSERT_TRUE(pair.sink->WaitForPackets(20, kWaitMs));
        ZQCClock::AdvanceManualTime(kReportPeriodMs);
        EXPECT_TRUE(WaitUntil([&] { return pair.PacketsAndReports(false).first > 0; })) << "no SR at the receiver";
        EXPECT_TRUE(WaitUntil([&] { return pair.PacketsAndReports(true).second > 0; })) << "no RR at the sender";
        ZQCClock::AdvanceManualTime(kReportPeriodMs);
        EXPECT_TRUE(WaitUntil([&] { return pair.EchoedLsr() != 0; })) << "no RR echoed the SR";
        EXPECT_EQ(OpenSockets(), socketsBefore + 2) << "one RTP socket per stack, nothing for RTCP";
        pair.ExpectEveryFrameDeliveredIntact();
        EXPECT_EQ(pair.RTCPOnRTPPort(), 0u);
        uint32_t refused[4] = {0, 0, 0, 0};
        for (ZQMRTPStackModule* module : {pair.rtpOut, pair.rtpIn}) {
            EXPECT_EQ(module->GetSRTPStatistics(&refused[0], &refused[1], &refused[2], &refused[3]), srtp);
            EXPECT_THAT(refused, ::testing::Each(0u)) << module->GetName();
        }
        ExpectCleanEnd(pair);
    }

    void ExpectCleanEnd(MuxPair& pair)
    {
        pair.graph.Stop();
        ExpectPoolsFull(pair.graph);
        EXPECT_EQ(logs.CountContaining("Collision detected"), 0);
        EXPECT_THAT(logs.UnexpectedErrors({"Success to bind socket", "SetRecvBufferSize["}), ::testing::IsEmpty());
    }

    ManualTime manualTime{100000};
};

TEST_F(RtcpMux, ReportsGoBothWaysOnTheRTPPortsAndNoRTCPSocketOpens) { ExpectReportsBothWaysAndNoRTCPSocket(false); }

TEST_F(RtcpMux, SrtcpTakesTheSameWay) { ExpectReportsBothWaysAndNoRTCPSocket(true); }

TEST_F(RtcpMux, AReceiverThatDoesNotMultiplexCountsTheRTCPOnItsRTPPortAndDeliversOnlyMedia)
{
    MuxPair pair(false, false);
    ASSERT_TRUE(pair.connected);
    ASSERT_TRUE(pair.graph.Start());
    ASSERT_TRUE(pair.sink->WaitForPackets(20, kWaitMs));
    ZQCClock::AdvanceManualTime(kReportPeriodMs);
    EXPECT_TRUE(WaitUntil([&] { return pair.RTCPOnRTPPort() > 0; }));
    pair.ExpectEveryFrameDeliveredIntact();
    EXPECT_EQ(pair.PacketsAndReports(false).first, 0u) << "the SR was not processed either";
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
    const SenderPorts sender = BindConsecutivePorts();
    ASSERT_TRUE(sender.rtcp);
    ASSERT_TRUE(sender.rtp->SendTo("127.0.0.2", rtpPort, Packet(1)));
    ASSERT_TRUE(sender.rtp->SendTo("127.0.0.2", rtpPort, Packet(2)));
    ASSERT_TRUE(sink->WaitForPackets(2, kWaitMs));
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
    ASSERT_TRUE(sender.rtp->SendTo("127.0.0.2", rtpPort, Packet(3)));
    ASSERT_TRUE(sink->WaitForPackets(3, kWaitMs));
    EXPECT_THAT(Delivered(), ElementsAre(1, 2, 3));
}

}  // namespace
}  // namespace inputtest
