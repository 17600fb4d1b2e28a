// Faults around starting and stopping: many start/stop cycles while traffic
// flows, a port held by another socket, a peer that goes away and comes
// back.
#include <memory>

#include "loopback_fixture.h"

namespace faults {
namespace {

using namespace testsupport;

using FaultTest = LeakCheckedTest;

TEST_F(FaultTest, TwoHundredStartStopCyclesWhileTrafficFlows)
{
    LoopbackPair pair(PacedSource(1));
    ASSERT_TRUE(pair.connected);
    for (int cycle = 0; cycle < 200; ++cycle) {
        ASSERT_TRUE(pair.graph.Start()) << "cycle " << cycle;
        ASSERT_TRUE(pair.WaitForMore()) << "no traffic in cycle " << cycle;
        pair.graph.Stop();
        ExpectPoolsFull(pair.graph);
        if (HasFailure()) {
            break;
        }
    }
}

TEST_F(FaultTest, PortTakenByAnotherSocketFailsTheStartAndLeavesNothingBehind)
{
    LoopbackPair pair;
    ASSERT_TRUE(pair.connected);
    auto holder = std::make_unique<UdpPeer>("127.0.0.2", std::stoi(pair.inRtp));
    ASSERT_TRUE(holder->IsBound());
    EXPECT_FALSE(pair.graph.Start());
    pair.graph.Stop();
    ExpectPoolsFull(pair.graph);

    holder.reset();  // the port is free again: the same graph starts
    ASSERT_TRUE(pair.graph.Start());
    EXPECT_TRUE(pair.WaitForMore(5));
    pair.graph.Stop();
    ExpectPoolsFull(pair.graph);
}

// The sender's peer has no socket for a while: every send draws an ICMP port
// unreachable. The sender keeps sending, and the peer hears it once back.
TEST_F(FaultTest, PeerThatDisappearsAndComesBackIsServedAgain)
{
    LoopbackPair pair;
    ASSERT_TRUE(pair.connected);
    ASSERT_TRUE(pair.graph.Start());
    ASSERT_TRUE(pair.WaitForMore(5));

    // The receiver goes: its ports answer "port unreachable" now.
    pair.rtpIn->SetRunning(false);
    pair.rtpIn->OnBeginFlush();
    pair.rtpIn->OnStop();
    const uint64_t sentBefore = pair.source->GetFramesDelivered();
    EXPECT_TRUE(WaitUntil([&] { return pair.source->GetFramesDelivered() >= sentBefore + 50; }))
        << "the sender stopped taking frames";

    // A plain socket takes the receiver's address back and is served.
    UdpPeer back("127.0.0.2", std::stoi(pair.inRtp));
    ASSERT_TRUE(back.IsBound());
    EXPECT_GE(back.Receive().size(), 12u) << "the sender stopped sending";
    pair.graph.Stop();
    ExpectPoolsFull(pair.graph);
}

}  // namespace
}  // namespace faults
