// Faults around starting and stopping: many start/stop cycles while traffic
// flows, a port held by another process, a peer that goes away and comes
// back.
#include <signal.h>
#include <sys/wait.h>

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

// A child process holds the receiver's RTP port until the pipe closes.
class PortHolder {
public:
    explicit PortHolder(const std::string& port)
    {
        int ready[2], release[2];
        if (pipe(ready) != 0 || pipe(release) != 0) {
            return;
        }
        m_child = fork();
        if (m_child == 0) {
            close(ready[0]);
            close(release[1]);
            UdpPeer holder("127.0.0.2", std::stoi(port));
            const char bound = holder.IsBound() ? 1 : 0;
            (void)!write(ready[1], &bound, 1);
            char ignored;
            (void)!read(release[0], &ignored, 1);  // returns when the parent closes its end
            _exit(0);
        }
        close(ready[1]);
        close(release[0]);
        char bound = 0;
        m_bound = read(ready[0], &bound, 1) == 1 && bound == 1;
        close(ready[0]);
        m_release = release[1];
    }
    ~PortHolder() { Release(); }

    bool IsBound() const { return m_bound; }
    void Release()
    {
        if (m_child > 0) {
            close(m_release);
            int status = 0;
            waitpid(m_child, &status, 0);
            m_child = -1;
        }
    }

private:
    pid_t m_child = -1;
    int m_release = -1;
    bool m_bound = false;
};

TEST_F(FaultTest, PortTakenByAnotherProcessFailsTheStartAndLeavesNothingBehind)
{
    LoopbackPair pair;
    ASSERT_TRUE(pair.connected);
    PortHolder holder(pair.inRtp);
    ASSERT_TRUE(holder.IsBound());
    EXPECT_FALSE(pair.graph.Start());
    pair.graph.Stop();
    ExpectPoolsFull(pair.graph);

    holder.Release();  // the port is free again: the same graph starts
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
