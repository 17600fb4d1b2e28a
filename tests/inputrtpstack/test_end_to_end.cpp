// End to end over loopback, in real time: a stock source feeds an "RTP out"
// module that drops a tenth of its packets on purpose; an "RTP in" module
// receives what is left and reports the loss back by RTCP.
//
//   ZQStockSource -> RTP out (127.0.0.1) ~~ UDP ~~> RTP in (127.0.0.2) -> capture sink
//                              <~~ RTCP receiver reports ~~
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "input_stack_fixture.h"
#include "zqfgraph.h"
#include "zqstocksource.h"

namespace inputtest {
namespace {

constexpr int kFrames = 575;  // 11.5 s of 20 ms frames: two report periods and a half
constexpr int kFrameUnits = 160;
constexpr uint32_t kLossPercent = 10;

struct RemoteFigures {
    uint32_t baseSeq = 0;
    uint32_t extendedHighestSeq = 0;
    uint32_t cumulativeLost = 0;
    uint32_t fractionLostPercent = 0;
};

// The receiver's figures as of its last report, read from its source record.
RemoteFigures ReceiverFigures(uint32_t ssrc)
{
    zqm::SourceListsLock lock;
    RemoteFigures figures;
    const ZQMRTPSource* source = zqm::FindListedSource(ssrc, false);
    if (source != nullptr) {
        figures.baseSeq = source->m_baseSeq;
        figures.extendedHighestSeq = source->m_extendedHighestSeq.load();
        figures.cumulativeLost = source->m_cumulativeLost.load();
        figures.fractionLostPercent = source->m_fractionLost.load();
    }
    return figures;
}

TEST(EndToEnd, LossOnTheWayIsMeasuredByTheReceiverAndReportedToTheSender)
{
    const int descriptors = CountOpenDescriptors();
    LogWaiter logs;  // keeps the stacks' lines off standard error
    {
        ZQStockSourceConfig config;
        config.content = ZQStockSourceConfig::Content::Chirp;
        config.maxFrames = kFrames;
        config.frameBytes = 160;
        config.packetTimeMs = 20;

        ZQFGraph graph;
        auto* source = new ZQStockSource(config);
        source->SetKeepFrames(true);
        auto* rtpOut = new ZQMRTPStackModule(ZQMID_RTPOut, "Output RTP stack");
        auto* rtpIn = new ZQMRTPStackModule(ZQMID_RTPIn, "Input RTP stack");
        auto* sink = new ZQCaptureSink();
        for (ZQIModule* module : std::initializer_list<ZQIModule*>{source, rtpOut, rtpIn, sink}) {
            graph.AddModule(module);
        }
        const std::string inRtp = FreePort("127.0.0.2");
        const std::string inRtcp = FreePort("127.0.0.2");
        const std::string outRtcp = FreePort("127.0.0.1");

        ASSERT_TRUE(rtpOut->EnableMediaType(kAudioPCMA));
        rtpOut->SetLocalIPAddress("127.0.0.1");
        rtpOut->SetLocalRTPPort("0");
        rtpOut->SetLocalRTCPPort(outRtcp.c_str());
        rtpOut->SetRemoteRTPAddress("127.0.0.2");
        rtpOut->SetRemoteRTPPort(inRtp.c_str());
        rtpOut->SetRemoteRTCPAddress("127.0.0.2");
        rtpOut->SetRemoteRTCPPort(inRtcp.c_str());
        uint32_t ssrc = 0;
        ASSERT_TRUE(rtpOut->GetSourceIdentifier(0, ssrc));
        ASSERT_TRUE(rtpOut->SetSimulatePacketLoss(ssrc, true, true));
        ASSERT_TRUE(rtpOut->SetPacketLossPercent(ssrc, true, kLossPercent));

        ASSERT_TRUE(rtpIn->EnableMediaType(kAudioPCMA));
        rtpIn->SetLocalIPAddress("127.0.0.2");
        rtpIn->SetLocalRTPPort(inRtp.c_str());
        rtpIn->SetLocalRTCPPort(inRtcp.c_str());
        rtpIn->SetRemoteRTPAddress("127.0.0.1");
        rtpIn->SetRemoteRTCPAddress("127.0.0.1");
        rtpIn->SetRemoteRTCPPort(outRtcp.c_str());

        ASSERT_TRUE(graph.Connect(source, 0, rtpOut, 0));
        ASSERT_TRUE(graph.Connect(rtpIn, 0, sink, 0));
        ASSERT_TRUE(graph.Start());
        ASSERT_TRUE(source->WaitFinished(60000));

        // The last report left the receiver at about 10 s; it reaches the
        // sender's listening thread through loopback.
        uint32_t rrCount = 0;
        uint32_t senderFraction = 0;
        uint32_t senderCumulative = 0;
        uint32_t roundTripMs = 0;
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        do {
            rtpOut->GetStatistics(ssrc, true, nullptr, nullptr, nullptr, nullptr, &senderFraction, &senderCumulative,
                                  nullptr, &rrCount, &roundTripMs);
            if (rrCount == 0) {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
            }
        } while (rrCount == 0 && std::chrono::steady_clock::now() < deadline);
        const RemoteFigures receiver = ReceiverFigures(ssrc);
        graph.Stop();

        // Every payload that arrived is the frame its timestamp names, in order.
        const std::vector<std::vector<uint8_t>> frames = source->GetProducedFrames();
        ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
        const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
        ASSERT_FALSE(packets.empty());
        int64_t previousFrame = -1;
        for (const ZQCapturedPacket& packet : packets) {
            ASSERT_EQ(packet.ssrc, ssrc);
            const int64_t frame = (packet.timestamp - config.firstTimestamp) / kFrameUnits;
            ASSERT_GT(frame, previousFrame);
            ASSERT_LT(frame, kFrames);
            EXPECT_EQ(packet.payload, frames[static_cast<size_t>(frame)]) << "frame " << frame;
            const int64_t firstFrame = (packets.front().timestamp - config.firstTimestamp) / kFrameUnits;
            EXPECT_EQ(static_cast<uint16_t>(packet.sequenceNumber - packets.front().sequenceNumber),
                      static_cast<uint16_t>(frame - firstFrame));
            previousFrame = frame;
        }
        const size_t dropped = frames.size() - packets.size();
        EXPECT_GT(dropped, frames.size() * 3 / 100);
        EXPECT_LT(dropped, frames.size() * 20 / 100);

        // The receiver's count: the numbers missing up to its last report.
        ASSERT_GT(receiver.extendedHighestSeq, 0u);
        uint32_t receivedUpToReport = 0;
        for (const ZQCapturedPacket& packet : packets) {
            const uint32_t extended = static_cast<uint16_t>(packet.sequenceNumber - receiver.baseSeq);
            receivedUpToReport += extended <= receiver.extendedHighestSeq - receiver.baseSeq ? 1 : 0;
        }
        EXPECT_EQ(packets.front().sequenceNumber, receiver.baseSeq);
        EXPECT_EQ(receiver.cumulativeLost, receiver.extendedHighestSeq - receiver.baseSeq + 1 - receivedUpToReport);
        EXPECT_GT(receiver.fractionLostPercent, 1u);
        EXPECT_LT(receiver.fractionLostPercent, 30u);

        // The sender heard the same through RTCP.
        EXPECT_GE(rrCount, 1u);
        EXPECT_EQ(senderCumulative, receiver.cumulativeLost);
        EXPECT_LE(senderFraction, receiver.fractionLostPercent);
        EXPECT_GE(senderFraction + 1, receiver.fractionLostPercent);
        EXPECT_EQ(source->GetLastFractionLost(), static_cast<int>(senderFraction));
        EXPECT_LT(roundTripMs, 100u);

        EXPECT_TRUE(source->GetOutputPin(0)->GetAllocator()->IsFull());
        EXPECT_TRUE(rtpIn->GetOutputPin(0)->GetAllocator()->IsFull());
    }
    EXPECT_EQ(CountOpenDescriptors(), descriptors);
}

}  // namespace
}  // namespace inputtest
