// Both stacks over IPv6 loopback, in one graph, on manual time so that the
// report timers run when the test says:
//
//   ZQStockSource -> RTP out ([::]) ~~ RTP ~~> RTP in ([::1]) -> capture sink
//                                   <~~ RTCP ~~>
//
// The sending stack binds the IPv6 any address: it opens RTCP only toward
// an address other than its own, and this host's IPv6 loopback has one
// address. Everything it sends goes to ::1. Then the settings a stack must
// refuse: a remote of the other family, malformed IPv6 texts, a zone that
// names no interface.
#include "input_stack_fixture.h"
#include "manual_time.h"
#include "zqmrtpsocket.h"

namespace inputtest {
namespace {

constexpr const char* kLoopback = "::1";
constexpr const char* kAnyAddress = "::";
constexpr uint32_t kStartMs = 100000;
constexpr uint32_t kReportPeriodMs = 5000;
// 2 s of 5 ms frames: the reports need a few of them after each step of
// the clock; the rest is margin for a loaded machine.
constexpr int64_t kFrames = 400;

// A port nobody held a moment ago on `address`, of either family.
std::string FreePortOn(const char* address)
{
    ZQCSocket probe;
    const bool bound = probe.CreateSocket(ZQCSocket::kDatagram, address) == 0 &&
                       probe.Bind(ZQCSocket::kDatagram, address, "0") == 0;
    EXPECT_TRUE(bound) << address;
    return std::to_string(probe.GetBoundPort());
}

struct IPv6Pair {
    IPv6Pair()
    {
        ZQStockSourceConfig config = PacedSource(5);
        config.maxFrames = kFrames;
        source = new ZQStockSource(config);
        for (ZQIModule* module : std::initializer_list<ZQIModule*>{source, rtpOut, rtpIn, sink}) {
            graph.AddModule(module);
        }
        EXPECT_TRUE(SetNetwork(rtpOut, kAnyAddress, "0", outRtcp, kLoopback, inRtp, inRtcp));
        EXPECT_TRUE(SetNetwork(rtpIn, kLoopback, inRtp, inRtcp, kLoopback, "0", outRtcp));
        connected = graph.Connect(source, 0, rtpOut, 0) && graph.Connect(rtpIn, 0, sink, 0) &&
                    rtpOut->GetSourceIdentifier(0, ssrc);
    }

    // The sender's figures (local) or the receiver's (remote) of the stream:
    // packets sent, or those of the last sender report heard; the loss
    // reported to the sender; the receiver reports it heard.
    struct Figures {
        uint32_t packets = 0, fraction = 0, cumulative = 0, reports = 0;
    };
    Figures Of(bool local) const
    {
        Figures f;
        ZQMRTPStackModule* module = local ? rtpOut : rtpIn;
        module->GetStatistics(ssrc, local, nullptr, nullptr, &f.packets, nullptr, &f.fraction, &f.cumulative,
                              nullptr, &f.reports, nullptr);
        return f;
    }
    // The LSR the last receiver report echoed back to the sender.
    uint32_t EchoedLsr() const
    {
        zqm::SourceListsLock lock;
        const ZQMRTPSource* local = zqm::FindListedSource(ssrc, true);
        return local != nullptr ? local->m_lsr.load() : 0;
    }

    ZQFGraph graph;
    ZQStockSource* source = nullptr;
    ZQMRTPStackModule* rtpOut = new ZQMRTPStackModule(ZQMID_RTPOut, "Output RTP stack");
    ZQMRTPStackModule* rtpIn = new ZQMRTPStackModule(ZQMID_RTPIn, "Input RTP stack");
    ZQCaptureSink* sink = new ZQCaptureSink();
    const std::string inRtp = FreePortOn(kLoopback);
    const std::string inRtcp = FreePortOn(kLoopback);
    const std::string outRtcp = FreePortOn(kAnyAddress);
    uint32_t ssrc = 0;
    bool connected = false;
};

class IPv6Loopback : public LeakCheckedTest {
protected:
    ManualTime manualTime{kStartMs};
};

TEST_F(IPv6Loopback, MediaArrivesAndReportsGoBothWaysWithTheirStatistics)
{
    IPv6Pair pair;
    ASSERT_TRUE(pair.connected);
    ASSERT_TRUE(pair.graph.Start());
    ASSERT_TRUE(pair.sink->WaitForPackets(20, kWaitMs));

    // One report period: the sender's next packet brings a sender report,
    // the receiver's next datagram a receiver report; the one after that
    // echoes the sender report it read.
    ZQCClock::AdvanceManualTime(kReportPeriodMs);
    EXPECT_TRUE(WaitUntil([&] { return pair.Of(false).packets > 0; })) << "no sender report came over ::1";
    EXPECT_TRUE(WaitUntil([&] { return pair.Of(true).reports > 0; })) << "no receiver report came over ::1";
    ZQCClock::AdvanceManualTime(kReportPeriodMs);
    EXPECT_TRUE(WaitUntil([&] { return pair.EchoedLsr() != 0; }));

    // The whole stream arrived and both sides say so.
    ASSERT_TRUE(pair.source->WaitFinished(60000));
    const IPv6Pair::Figures sender = pair.Of(true);
    EXPECT_EQ(sender.packets, static_cast<uint32_t>(kFrames));
    EXPECT_EQ(sender.fraction, 0u);
    EXPECT_EQ(sender.cumulative, 0u);
    ASSERT_TRUE(pair.sink->WaitForPackets(kFrames, kWaitMs));
    uint32_t received = 0, expected = 0, lateOrDuplicate = 0;
    int32_t lost = -1;
    ASSERT_TRUE(pair.rtpIn->GetReceptionStatistics(pair.ssrc, false, &received, nullptr, &expected, &lost,
                                                   &lateOrDuplicate, nullptr));
    EXPECT_EQ(received, sender.packets);
    EXPECT_EQ(expected, sender.packets);
    EXPECT_EQ(lost, 0);
    EXPECT_EQ(lateOrDuplicate, 0u);
    pair.graph.Stop();
    ExpectPoolsFull(pair.graph);
    EXPECT_EQ(logs.CountContaining("Collision detected"), 0) << "the receiver took the sender for a stranger";
    EXPECT_THAT(logs.UnexpectedErrors({"Success to bind socket", "SetRecvBufferSize["}), ::testing::IsEmpty());
}

constexpr int kSender = 0;
constexpr int kReceiver = 1;

// A stack alone in a graph; answers whether it started and, through
// `rtcpOpen`, whether it opened its RTCP socket.
bool StartsAlone(int role, const char* local, const char* remote, bool* rtcpOpen = nullptr)
{
    ZQFGraph graph;
    auto* module = new ZQMRTPStackModule(role == kSender ? ZQMID_RTPOut : ZQMID_RTPIn, "stack");
    graph.AddModule(module);
    const std::string rtcp = FreePortOn(kLoopback);
    EXPECT_TRUE(SetNetwork(module, local, FreePortOn(kLoopback), rtcp, remote, FreePortOn(kLoopback),
                           FreePortOn(kLoopback)));
    const bool started = graph.Start();
    if (rtcpOpen != nullptr) {
        *rtcpOpen = zqm::FindSharedRTPSocket(AF_INET6, std::stoi(rtcp)) != nullptr;
    }
    graph.Stop();
    return started;
}

// A remote of the other family, a malformed IPv6 text, a zone that names no
// interface: each stack refuses to start, says why, leaves nothing open.
TEST_F(IPv6Loopback, BadAddressesStopEitherStackWithALineNamingTheSetting)
{
    ASSERT_TRUE(StartsAlone(kSender, kLoopback, kLoopback));
    ASSERT_TRUE(StartsAlone(kReceiver, kLoopback, kLoopback));
    EXPECT_FALSE(StartsAlone(kSender, "127.0.0.1", kLoopback));
    EXPECT_FALSE(StartsAlone(kReceiver, kLoopback, "127.0.0.1"));
    EXPECT_EQ(logs.CountText("<--RTPSocket-->RemoteIPAddress [::1] is an IPv6 address but LocalIPAddress "
                             "[127.0.0.1] is IPv4: both must be of one family.",
                             ZQF_LOG_ERROR),
              1);
    EXPECT_EQ(logs.CountText("<--RTPSocket-->RemoteIPAddress [127.0.0.1] is an IPv4 address but LocalIPAddress "
                             "[::1] is IPv6: both must be of one family.",
                             ZQF_LOG_ERROR),
              1);
    for (const char* bad : {"::1::2", "fe80::1%no-such-if"}) {
        EXPECT_FALSE(StartsAlone(kSender, kLoopback, bad)) << bad;
        EXPECT_EQ(logs.CountText(std::string("ZQMOutputRTPStack: can't resolve ") + bad + " network address"), 1);
        EXPECT_FALSE(StartsAlone(kReceiver, bad, kLoopback)) << bad;
        EXPECT_EQ(logs.CountText(std::string("<--RTPSocket-->Failed to create socket on address ") + bad), 1);
    }
    EXPECT_EQ(zqm::SharedRTPSocketCount(), 0u);
}

// "A remote RTCP address equal to our own" compares addresses, not their
// spelling: no RTCP toward ::1 written out in full.
TEST_F(IPv6Loopback, SenderOpensNoRtcpTowardItsOwnAddressHoweverSpelt)
{
    bool rtcpOpen = true;
    EXPECT_TRUE(StartsAlone(kSender, kLoopback, "0:0:0:0:0:0:0:1", &rtcpOpen));
    EXPECT_FALSE(rtcpOpen);
    EXPECT_TRUE(StartsAlone(kSender, kAnyAddress, kLoopback, &rtcpOpen));
    EXPECT_TRUE(rtcpOpen);
}

}  // namespace
}  // namespace inputtest
