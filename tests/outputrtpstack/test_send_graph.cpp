// End to end: a stock source drives an "RTP out" module in a graph; every
// frame reaches a loopback socket as one RTP datagram, and the sender report
// of the stream arrives beside it.
#include <ctime>
#include <string>

#include "output_fixture.h"
#include "zqmrtpreporttime.h"

namespace outputtest {
namespace {

constexpr int kFrames = 60;
constexpr int kPacketTimeMs = 100;    // 800 units of 8 kHz a frame
constexpr uint32_t kFirstTimestamp = 8000;  // 1000 ms of media time

using SendGraph = LeakCheckedTest;

TEST_F(SendGraph, EveryFrameLeavesAsOneDatagramAndTheSenderReportFollowsMediaTime)
{
    // The report timer follows the media timestamps; manual time keeps
    // the test's own time out of it.
    ManualTime manualTime(kStartMs);
    UdpPeer rtpPeer;
    UdpPeer rtcpPeer;
    ZQStockSourceConfig config;
    config.content = ZQStockSourceConfig::Content::Chirp;
    config.paced = false;
    config.maxFrames = kFrames;
    config.packetTimeMs = kPacketTimeMs;
    config.firstTimestamp = kFirstTimestamp;

    ZQFGraph graph;
    auto* source = new ZQStockSource(config);
    source->SetKeepFrames(true);
    auto* rtpOut = new ZQMRTPStackModule(ZQMID_RTPOut, "Output RTP stack");
    graph.AddModule(source);
    graph.AddModule(rtpOut);
    EXPECT_TRUE(SetNetwork(rtpOut, kLocalAddress, "0", FreePort(kLocalAddress), kPeerAddress, rtpPeer.PortText(),
               rtcpPeer.PortText()));
    rtpOut->SetCNAME("sender@loopback");
    ASSERT_TRUE(graph.Connect(source, 0, rtpOut, 0));
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(source->WaitFinished(10000));

    uint32_t ssrc = 0;
    ASSERT_TRUE(rtpOut->GetSourceIdentifier(0, ssrc));
    const std::vector<Bytes> frames = source->GetProducedFrames();
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
    uint16_t firstSequence = 0;
    for (int k = 0; k < kFrames; ++k) {
        const Bytes packet = rtpPeer.Receive();
        ASSERT_EQ(packet.size(), 12 + frames[k].size()) << "frame " << k;
        if (k == 0) {
            firstSequence = BigEndian::Read16(packet.data() + 2);
        }
        EXPECT_EQ(packet[0], 0x80);
        EXPECT_EQ(packet[1], (k == 0 ? 0x80 : 0) | 8) << "frame " << k;
        EXPECT_EQ(BigEndian::Read16(packet.data() + 2), static_cast<uint16_t>(firstSequence + k));
        EXPECT_EQ(Word(packet, 4), kFirstTimestamp + 800u * k);
        EXPECT_EQ(Word(packet, 8), ssrc);
        EXPECT_EQ(Bytes(packet.begin() + 12, packet.end()), frames[k]) << "frame " << k;
    }

    // Frame 0 starts the timer at 1000 ms; frame 50 is 5000 ms later.
    const Bytes report = rtcpPeer.Receive();
    const std::string cname = "sender@loopback";
    ASSERT_EQ(report.size(), 28 + 10 + cname.size() + 3);
    EXPECT_EQ(Bytes(report.begin(), report.begin() + 4), (Bytes{0x80, 200, 0, 6}));
    EXPECT_EQ(Word(report, 4), ssrc);
    // NTP seconds of the real time; the media time of frame 50, sent the
    // same (manual) instant.
    EXPECT_NEAR(static_cast<double>(Word(report, 8)),
                static_cast<double>(std::time(nullptr)) + 2208988800.0, 5.0);
    EXPECT_EQ(Word(report, 16), 6000u * 8);
    EXPECT_EQ(Word(report, 20), 51u);
    EXPECT_EQ(Word(report, 24), 51u * config.frameBytes);
    EXPECT_EQ(Bytes(report.begin() + 28, report.begin() + 32), (Bytes{0x81, 202, 0, 6}));
    EXPECT_EQ(Word(report, 32), ssrc);
    EXPECT_EQ(report[36], 1);
    EXPECT_EQ(report[37], cname.size());
    EXPECT_EQ(std::string(report.begin() + 38, report.begin() + 38 + cname.size()), cname);
    EXPECT_EQ(report.back(), 0);

    graph.Stop();
    ExpectPoolsFull(graph);
    EXPECT_EQ(source->GetFramesDelivered(), static_cast<uint64_t>(kFrames));
}

}  // namespace
}  // namespace outputtest
