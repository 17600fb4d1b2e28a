// Both stacks over IPv6 loopback, in one graph, on manual time:
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
#include "zqmrtpsocket.h"

namespace inputtest {
namespace {

constexpr const char* kLoopback = "::1";
constexpr const char* kAnyAddress = "::";
constexpr const char* kNoSuchZone = "fe80::1%no-such-if";

class IPv6Loopback : public StreamPairTest {};

TEST_F(IPv6Loopback, MediaArrivesAndReportsGoBothWaysWithTheirStatistics)
{
    StreamPair pair(kAnyAddress, kLoopback, kLoopback);
    ASSERT_TRUE(pair.Started());
    pair.ExchangeReports();
    pair.ExpectWholeStreamDelivered();
    ExpectCleanEnd(pair);
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
    const struct {
        int role;
        const char* local;
        const char* remote;
        std::string line;
    } refused[] = {
        {kSender, "127.0.0.1", kLoopback,
         "<--RTPSocket-->RemoteIPAddress [::1] is an IPv6 address but LocalIPAddress [127.0.0.1] is IPv4: both must "
         "be of one family."},
        {kReceiver, kLoopback, "127.0.0.1",
         "<--RTPSocket-->RemoteIPAddress [127.0.0.1] is an IPv4 address but LocalIPAddress [::1] is IPv6: both must "
         "be of one family."},
        {kSender, kLoopback, "::1::2", "ZQMOutputRTPStack: can't resolve ::1::2 network address"},
        {kReceiver, "::1::2", kLoopback, "<--RTPSocket-->Failed to create socket on address ::1::2"},
        {kSender, kLoopback, kNoSuchZone, "ZQMOutputRTPStack: can't resolve fe80::1%no-such-if network address"},
        {kReceiver, kNoSuchZone, kLoopback, "<--RTPSocket-->Failed to create socket on address fe80::1%no-such-if"},
    };
    for (const auto& c : refused) {
        EXPECT_FALSE(StartsAlone(c.role, c.local, c.remote)) << c.line;
        EXPECT_EQ(logs.CountText(c.line, ZQF_LOG_ERROR), 1) << c.line;
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
