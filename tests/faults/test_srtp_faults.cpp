// SRTP through the stacks, against a peer of the test that holds the keys:
// what "RTP out" puts on the wire, and what "RTP in" takes from an attacker
// who reaches its ports during a protected stream (forged packets with the
// stream's SSRC, replays, a new SSRC, a forged BYE). None of it reaches
// downstream, replaces the source or changes sequencing; the counters say
// what was refused.
#include <random>

#include "loopback_fixture.h"
#include "srtp/srtpkeys.h"
#include "srtp/srtpsession.h"

namespace faults {
namespace {

using namespace testsupport;
using zqm::srtp::Direction;
using zqm::srtp::Session;
using zqm::srtp::Verdict;

// Master key and salt: 30 bytes for the AES-CM suites, 28 for GCM.
constexpr const char* kKey = "dGVzdCBrZXk6IHRoaXJ0eSBieXRlcyBleGFjdCEh";
constexpr const char* kOtherKey = "YW5vdGhlciBrZXksIHRoaXJ0eSBieXRlcyBsb25n";
constexpr const char* kGcmKey = "Z2NtIHRlc3Qga2V5LCAyOCBieXRlcyBsb25nIQ==";
constexpr const char* kDefaultSuite = "AES_CM_128_HMAC_SHA1_80";
constexpr size_t kHeaderBytes = 12;
constexpr uint32_t kStreamSsrc = 0x5EC0DE01;

struct SrtpCounts {
    uint32_t rtpAuthentication = 0;
    uint32_t rtpReplays = 0;
    uint32_t rtcpAuthentication = 0;
    uint32_t rtcpReplays = 0;
};

SrtpCounts CountsOf(ZQMRTPStackModule* module)
{
    SrtpCounts counts;
    EXPECT_TRUE(module->GetSRTPStatistics(&counts.rtpAuthentication, &counts.rtpReplays, &counts.rtcpAuthentication,
                                          &counts.rtcpReplays));
    return counts;
}

// The test's end of the stream: a session under `key` for one direction.
void StartPeer(Session& session, const char* suiteName, const char* key, Direction direction)
{
    const zqm::srtp::Suite* suite = zqm::srtp::FindSuite(suiteName);
    std::string why;
    const auto master = zqm::srtp::ParseMasterKey(*suite, key, &why);
    ASSERT_TRUE(master && session.Start(*suite, *master, direction, &why)) << why;
}

Bytes Protected(Session& session, Bytes packet, bool rtcp)
{
    const int length = static_cast<int>(packet.size());
    packet.resize(packet.size() + zqm::srtp::kMaxTrailerBytes);
    const int capacity = static_cast<int>(packet.size());
    const int protectedLength =
        rtcp ? session.ProtectRtcp(packet.data(), length, capacity) : session.ProtectRtp(packet.data(), length, capacity);
    EXPECT_GT(protectedLength, 0);
    packet.resize(static_cast<size_t>(std::max(protectedLength, 0)));
    return packet;
}

using SrtpStackTest = LeakCheckedTest;

struct SuiteCase {
    const char* suite;
    const char* key;
};

// Test names carry the suite, not the bytes of the case.
void PrintTo(const SuiteCase& suiteCase, std::ostream* out) { *out << suiteCase.suite; }

class SrtpSendingStackTest : public SrtpStackTest, public ::testing::WithParamInterface<SuiteCase> {};

// Every frame leaves encrypted behind a clear header and decrypts to the
// plain packet at the peer; reports from the peer count only when
// authentic and new.
TEST_P(SrtpSendingStackTest, ProtectsEveryPacketAndTakesOnlyAuthenticReports)
{
    constexpr int kFrames = 40;
    UdpPeer rtpPeer;
    UdpPeer rtcpPeer;
    ZQStockSourceConfig config;
    config.content = ZQStockSourceConfig::Content::Chirp;
    config.paced = false;
    config.maxFrames = kFrames;
    ZQFGraph graph;
    auto* source = new ZQStockSource(config);
    source->SetKeepFrames(true);
    auto* rtpOut = new ZQMRTPStackModule(ZQMID_RTPOut, "Output RTP stack");
    graph.AddModule(source);
    graph.AddModule(rtpOut);
    const std::string rtcpPort = FreePort("127.0.0.2");
    ASSERT_TRUE(SetNetwork(rtpOut, "127.0.0.2", "0", rtcpPort, "127.0.0.1", rtpPeer.PortText(), rtcpPeer.PortText()));
    ASSERT_TRUE(rtpOut->SetSRTP(GetParam().suite, GetParam().key, GetParam().key, nullptr));
    ASSERT_TRUE(graph.Connect(source, 0, rtpOut, 0));
    ASSERT_TRUE(graph.Start());
    ASSERT_TRUE(source->WaitFinished(kWaitMs));

    Session peer;
    StartPeer(peer, GetParam().suite, GetParam().key, Direction::Receive);
    const int tagBytes = zqm::srtp::FindSuite(GetParam().suite)->rtpTrailerBytes;
    const std::vector<Bytes> frames = source->GetProducedFrames();
    ASSERT_EQ(frames.size(), static_cast<size_t>(kFrames));
    uint32_t ssrc = 0;
    for (int k = 0; k < kFrames; ++k) {
        Bytes packet = rtpPeer.Receive();
        ASSERT_EQ(packet.size(), kHeaderBytes + frames[k].size() + tagBytes) << k;
        const Bytes onTheWire(packet.begin() + kHeaderBytes, packet.end() - tagBytes);
        int length = static_cast<int>(packet.size());
        ASSERT_EQ(peer.UnprotectRtp(packet.data(), &length), Verdict::Ok) << k;
        EXPECT_EQ(Bytes(packet.begin() + kHeaderBytes, packet.begin() + length), frames[k]) << k;
        EXPECT_NE(onTheWire, frames[k]) << k << ": payload in the clear";
        ssrc = Word(packet, 8);
    }

    // A receiver report about the stream, protected as the peer would.
    Session peerSender;
    StartPeer(peerSender, GetParam().suite, GetParam().key, Direction::Send);
    const Bytes report = Words({0x81C90007, 0x0BADCAFE, ssrc, 0, 0, 0, 0, 0});
    const Bytes protectedReport = Protected(peerSender, report, true);
    const auto reportsReceived = [&] {
        uint32_t reports = 0;
        rtpOut->GetStatistics(ssrc, true, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &reports,
                              nullptr);
        return reports;
    };
    const auto countsReach = [&](uint32_t SrtpCounts::*counter, uint32_t value) {
        return WaitUntil([&] { return CountsOf(rtpOut).*counter == value; });
    };
    UdpPeer attacker("127.0.0.4");
    ASSERT_TRUE(attacker.SendTo("127.0.0.2", rtcpPort, report));  // in the clear
    ASSERT_TRUE(countsReach(&SrtpCounts::rtcpAuthentication, 1));
    ASSERT_TRUE(rtcpPeer.SendTo("127.0.0.2", rtcpPort, protectedReport));
    ASSERT_TRUE(WaitUntil([&] { return reportsReceived() == 1; }));
    ASSERT_TRUE(attacker.SendTo("127.0.0.2", rtcpPort, protectedReport));  // the same again
    ASSERT_TRUE(countsReach(&SrtpCounts::rtcpReplays, 1));
    graph.Stop();
    EXPECT_EQ(reportsReceived(), 1u);
    EXPECT_EQ(CountsOf(rtpOut).rtcpAuthentication, 1u);
}

INSTANTIATE_TEST_SUITE_P(Suites, SrtpSendingStackTest,
                         ::testing::Values(SuiteCase{"AES_CM_128_HMAC_SHA1_80", kKey},
                                           SuiteCase{"AES_CM_128_HMAC_SHA1_32", kKey},
                                           SuiteCase{"AEAD_AES_128_GCM", kGcmKey}),
                         [](const auto& info) { return std::to_string(info.index); });

using SrtpReceivingStackTest = SrtpStackTest;

// Sends `datagrams` from a socket of the attacker, never more than a burst
// ahead of what the stack has counted, so that none is lost to a full
// socket buffer and every count is exact.
void Inject(ZQMRTPStackModule* rtpIn, const std::string& port, const std::vector<Bytes>& datagrams,
            uint32_t SrtpCounts::*counter)
{
    constexpr uint32_t kBurst = 50;
    UdpPeer attacker("127.0.0.4");
    const uint32_t before = CountsOf(rtpIn).*counter;
    uint32_t sent = 0;
    for (const Bytes& datagram : datagrams) {
        ASSERT_TRUE(attacker.SendTo("127.0.0.2", port, datagram));
        if (++sent % kBurst == 0) {
            ASSERT_TRUE(WaitUntil([&] { return CountsOf(rtpIn).*counter >= before + sent - kBurst; }));
        }
    }
    ASSERT_TRUE(WaitUntil([&] { return CountsOf(rtpIn).*counter == before + sent; }))
        << CountsOf(rtpIn).*counter - before << " of " << sent << " counted";
}

std::vector<Bytes> Forgeries(uint32_t ssrc, uint16_t firstSeq, int count, unsigned seed)
{
    std::mt19937 random(seed);
    std::vector<Bytes> forged;
    for (int i = 0; i < count; ++i) {
        RtpPacket packet;
        packet.seq = static_cast<uint16_t>(firstSeq + i);
        packet.ssrc = ssrc;
        packet.timestamp = random();
        packet.payload.resize(18 + random() % 200);
        for (uint8_t& byte : packet.payload) {
            byte = static_cast<uint8_t>(random());
        }
        forged.push_back(packet.Encode());
    }
    return forged;
}

TEST_F(SrtpReceivingStackTest, AuthenticStreamArrivesWholeThroughForgeriesReplaysNewSsrcsAndForgedByes)
{
    constexpr uint16_t kGenuine = 400;
    auto* sink = new ZQCaptureSink();
    ReceiveChain chain(sink);
    const std::string rtcpPort = chain.rtpIn->GetLocalRTCPPort();
    ASSERT_TRUE(chain.rtpIn->SetSRTP(kDefaultSuite, kKey, kKey, nullptr));
    ASSERT_TRUE(chain.connected);
    ASSERT_TRUE(chain.graph.Start());

    Session stream;
    StartPeer(stream, kDefaultSuite, kKey, Direction::Send);
    std::vector<Bytes> wire;
    const auto sendGenuine = [&](uint16_t from, uint16_t to) {
        for (uint16_t seq = from; seq <= to; ++seq) {
            wire.push_back(Protected(stream, Packet(seq, kStreamSsrc), false));
            ASSERT_TRUE(chain.peer.SendTo("127.0.0.2", chain.rtp, wire.back()));
            ASSERT_TRUE(sink->WaitForPackets(seq, kWaitMs)) << seq;
        }
    };
    sendGenuine(1, kGenuine / 2);
    Inject(chain.rtpIn, chain.rtp, Forgeries(kStreamSsrc, kGenuine / 2 + 1, 10000, 7), &SrtpCounts::rtpAuthentication);
    Inject(chain.rtpIn, chain.rtp, Forgeries(kStreamSsrc ^ 0x5A5A5A5A, 1, 300, 8), &SrtpCounts::rtpAuthentication);
    Inject(chain.rtpIn, chain.rtp, wire, &SrtpCounts::rtpReplays);
    // A BYE for the stream in the clear, and one dressed as SRTCP.
    const Bytes bye = Words({0x81CB0001, kStreamSsrc});
    Bytes dressedBye = Words({0x81CB0001, kStreamSsrc, 0x80000007, 0x01020304, 0x05060708, 0x090A0000});
    dressedBye.resize(dressedBye.size() - 2);
    Inject(chain.rtpIn, rtcpPort, {bye, dressedBye}, &SrtpCounts::rtcpAuthentication);
    sendGenuine(kGenuine / 2 + 1, kGenuine);

    // The stack's own report goes out protected, about the stream.
    ASSERT_TRUE(chain.rtpIn->SendFIR());
    Bytes report = chain.peer.Receive();
    Session reports;
    StartPeer(reports, kDefaultSuite, kKey, Direction::Receive);
    int reportLength = static_cast<int>(report.size());
    ASSERT_EQ(reports.UnprotectRtcp(report.data(), &reportLength), Verdict::Ok);
    EXPECT_EQ(report[1], 201) << "a receiver report first";
    EXPECT_EQ(Word(report, 8), kStreamSsrc);
    chain.graph.Stop();

    const SrtpCounts counts = CountsOf(chain.rtpIn);
    EXPECT_EQ(counts.rtpAuthentication, 10300u);
    EXPECT_EQ(counts.rtpReplays, kGenuine / 2u);
    EXPECT_EQ(counts.rtcpAuthentication, 2u);
    const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
    ASSERT_EQ(packets.size(), kGenuine);
    for (uint16_t k = 0; k < kGenuine; ++k) {
        ASSERT_EQ(packets[k].ssrc, kStreamSsrc) << k;
        ASSERT_EQ(packets[k].sequenceNumber, k + 1) << k;
        const Bytes plain = Packet(static_cast<uint16_t>(k + 1), kStreamSsrc);
        ASSERT_EQ(packets[k].payload, Bytes(plain.begin() + kHeaderBytes, plain.end())) << k;
    }
    EXPECT_EQ(logs.CountContaining("New ssrc"), 1);
    EXPECT_EQ(logs.CountContaining("RemoveSource called"), 0);
    // Lines at most once a second per kind: the attack lasts a few seconds.
    EXPECT_GE(logs.CountContaining("SRTP packet failed authentication"), 1);
    EXPECT_LE(logs.CountContaining("SRTP packet failed authentication"), 30);
    EXPECT_EQ(logs.CountContaining("SRTCP packet failed authentication"), 1);
    ExpectPoolsFull(chain.graph);
}

TEST_F(SrtpReceivingStackTest, WrongKeyDeliversNothingAndSaysWhyOnceASecond)
{
    LoopbackPair pair(PacedSource(2));
    ASSERT_TRUE(pair.rtpOut->SetSRTP(kDefaultSuite, kKey, kKey, nullptr));
    ASSERT_TRUE(pair.rtpIn->SetSRTP(kDefaultSuite, kKey, kOtherKey, nullptr));
    ASSERT_TRUE(pair.connected);
    ASSERT_TRUE(pair.graph.Start());
    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(WaitUntil([&] { return CountsOf(pair.rtpIn).rtpAuthentication >= 300; }));
    pair.graph.Stop();
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - started);

    EXPECT_EQ(pair.sink->GetPacketCount(), 0u);
    EXPECT_EQ(CountsOf(pair.rtpIn).rtpReplays, 0u);
    const int lines = logs.CountContaining("SRTP packet failed authentication");
    EXPECT_GE(lines, 1);
    EXPECT_LE(lines, seconds.count() + 1);
    EXPECT_EQ(logs.CountContaining("New ssrc"), 0) << "no source from packets that fail";
    ExpectPoolsFull(pair.graph);
}

}  // namespace
}  // namespace faults
