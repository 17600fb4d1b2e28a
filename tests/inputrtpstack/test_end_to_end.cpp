// End to end over loopback in real time: a stock source feeds an "RTP out"
// module that drops a tenth of its packets on purpose; an "RTP in" module
// receives the rest and reports the loss back by RTCP.
//
//   ZQStockSource -> RTP out (127.0.0.1) ~~ RTP ~~> RTP in (127.0.0.2) -> capture sink
//                                        <~~ RTCP ~~
#include "input_stack_fixture.h"

namespace inputtest {
namespace {

constexpr int kFrames = 575;  // 11.5 s of 20 ms frames: two report periods and a half
constexpr uint32_t kFrameUnits = 160;

using EndToEnd = LeakCheckedTest;

TEST_F(EndToEnd, LossOnTheWayIsMeasuredByTheReceiverAndReportedToTheSender)
{
    ZQStockSourceConfig config;
    config.content = ZQStockSourceConfig::Content::Chirp;
    config.maxFrames = kFrames;
    LoopbackPair pair(config);
    ZQFGraph& graph = pair.graph;
    ZQStockSource* source = pair.source;
    ZQMRTPStackModule* rtpOut = pair.rtpOut;
    source->SetKeepFrames(true);
    uint32_t ssrc = 0;
    ASSERT_TRUE(rtpOut->GetSourceIdentifier(0, ssrc));
    ASSERT_TRUE(rtpOut->SetSimulatePacketLoss(ssrc, true, true));
    ASSERT_TRUE(rtpOut->SetPacketLossPercent(ssrc, true, 10));
    ASSERT_TRUE(pair.connected);
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(source->WaitFinished(60000));

    // The report of about 10 s reaches the sender's listening thread.
    uint32_t rrCount = 0, senderFraction = 0, senderCumulative = 0;
    EXPECT_TRUE(WaitUntil([&] {
        rtpOut->GetStatistics(ssrc, true, nullptr, nullptr, nullptr, nullptr, &senderFraction, &senderCumulative,
                              nullptr, &rrCount, nullptr);
        return rrCount > 0;
    }));
    // The receiver's figures at its last report; between reports its
    // statistics show the loss up to the last packet.
    uint32_t baseSeq = 0, reportedSeq = 0, fraction = 0;
    {
        zqm::SourceListsLock lock;
        const ZQMRTPSource* remote = zqm::FindListedSource(ssrc, false);
        ASSERT_NE(remote, nullptr);
        baseSeq = remote->m_reception.baseSeq;
        reportedSeq = remote->m_extendedHighestSeq.load();
        fraction = remote->m_fractionLost.load();
    }
    const auto lossShownMatchesTheSink = [&] {
        const std::vector<ZQCapturedPacket> delivered = pair.sink->GetPackets();
        const auto expected = static_cast<uint16_t>(delivered.back().sequenceNumber - baseSeq) + 1;
        zqm::SourceListsLock lock;
        const ZQMRTPSource* remote = zqm::FindListedSource(ssrc, false);
        return remote != nullptr &&
               remote->m_cumulativeLost.load() == static_cast<int32_t>(expected - delivered.size());
    };
    EXPECT_TRUE(WaitUntil(lossShownMatchesTheSink));
    graph.Stop();

    // Every payload that arrived is the frame its timestamp names, in order.
    const std::vector<Bytes> frames = source->GetProducedFrames();
    const std::vector<ZQCapturedPacket> packets = pair.sink->GetPackets();
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
    ASSERT_FALSE(packets.empty());
    const uint32_t firstFrame = packets.front().timestamp / kFrameUnits;
    uint32_t previousFrame = 0;
    uint32_t receivedUpToReport = 0;
    for (const ZQCapturedPacket& packet : packets) {
        const uint32_t frame = packet.timestamp / kFrameUnits;
        ASSERT_LT(frame, frames.size());
        ASSERT_TRUE(&packet == &packets.front() || frame > previousFrame);
        EXPECT_EQ(packet.payload, frames[frame]) << "frame " << frame;
        EXPECT_EQ(static_cast<uint16_t>(packet.sequenceNumber - baseSeq), frame - firstFrame);
        receivedUpToReport += static_cast<uint16_t>(packet.sequenceNumber - baseSeq) <= reportedSeq - baseSeq;
        previousFrame = frame;
    }
    const size_t dropped = frames.size() - packets.size();
    EXPECT_GT(dropped, frames.size() * 3 / 100);
    EXPECT_LT(dropped, frames.size() * 20 / 100);

    // The receiver counted what is missing up to its last report ...
    const uint32_t cumulative = reportedSeq - baseSeq + 1 - receivedUpToReport;
    EXPECT_GT(fraction, 1u);
    EXPECT_LT(fraction, 30u);
    // ... and the sender heard the same through RTCP (in 1/256 there).
    EXPECT_GE(rrCount, 1u);
    EXPECT_EQ(senderCumulative, cumulative);
    EXPECT_LE(senderFraction, fraction);
    EXPECT_GE(senderFraction + 1, fraction);
    EXPECT_EQ(source->GetLastFractionLost(), static_cast<int>(senderFraction));
    ExpectPoolsFull(graph);
    // Level 2 is where the stacks say what they did; nothing else may be there.
    EXPECT_THAT(logs.UnexpectedErrors({"Success to bind socket", "SetRecvBufferSize[", "CanSendPacket sz["}),
                ::testing::IsEmpty());
}

}  // namespace
}  // namespace inputtest
