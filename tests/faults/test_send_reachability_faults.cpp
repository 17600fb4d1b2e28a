// Faults on the sending side: a receiver that starts after its sender, a
// closed RTCP port, and samples that race the stack's clean-up. The sending
// stack is driven sample by sample on manual time, so that what was sent
// before and after a receiver bound is known exactly.
#include <atomic>
#include <thread>

#include "../outputrtpstack/output_fixture.h"
#include "zqmrtpsocket.h"

namespace faults {
namespace {

using namespace outputtest;

constexpr int kFrameMs = 20;
constexpr uint32_t kUnitsPerFrame = 8 * kFrameMs;
constexpr const char* kUnreachableLine = "unreachable (ICMP error)";
constexpr const char* kReachableLine = "reachable again";

class SendFaultTest : public OutputStackTest {
protected:
    // One frame of a 20 ms stream, the clocks moved on with it.
    bool SendNextFrame()
    {
        ZQCClock::AdvanceManualTime(kFrameMs);
        Frame frame;
        frame.timestamp = m_timestamp += kUnitsPerFrame;
        return Send(frame);
    }

    uint32_t UnreachableSends()
    {
        uint32_t count = 0;
        EXPECT_TRUE(module->GetUnreachableSends(Ssrc(), true, &count));
        return count;
    }

    int LinesContaining(const char* part) { return logs.CountContaining(part); }

private:
    uint32_t m_timestamp = 0;
};

// 5 s of media before anyone listens: every sample is taken, the receiver
// hears every packet sent once it bound, and the log tells the story in two
// lines.
TEST_F(SendFaultTest, SenderStartedBeforeItsReceiverRefusesNothingAndLosesNothingAfterTheBind)
{
    constexpr int kFramesBefore = 5000 / kFrameMs;
    constexpr int kFramesAfter = 50;
    const std::string port = FreePort(kPeerAddress);
    module->SetRemoteRTPPort(port.c_str());
    Start();
    for (int frame = 0; frame < kFramesBefore; ++frame) {
        ASSERT_TRUE(SendNextFrame()) << "frame " << frame << " refused";
    }
    EXPECT_GE(UnreachableSends(), static_cast<uint32_t>(kFramesBefore - 1));

    UdpPeer receiver(kPeerAddress, std::stoi(port));
    ASSERT_TRUE(receiver.IsBound());
    for (int frame = 0; frame < kFramesAfter; ++frame) {
        ASSERT_TRUE(SendNextFrame());
    }
    uint16_t expected = 0;
    for (int frame = 0; frame < kFramesAfter; ++frame) {
        const Bytes packet = receiver.Receive(0);
        ASSERT_GE(packet.size(), 12u) << "packet " << frame << " after the bind never came";
        const uint16_t seq = BigEndian::Read16(packet.data() + 2);
        EXPECT_TRUE(frame == 0 || seq == expected) << "gap before packet " << frame;
        expected = static_cast<uint16_t>(seq + 1);
    }
    EXPECT_TRUE(receiver.Receive(0).empty());
    EXPECT_EQ(LinesContaining(kUnreachableLine), 1);
    EXPECT_EQ(LinesContaining(kReachableLine), 1);
}

// Four sender reports to a closed port: each after the first meets the
// ICMP error of the one before; all count as sent, no sample is refused.
TEST_F(SendFaultTest, ClosedRemoteRtcpPortCountsReportsUnreachableAndRefusesNothing)
{
    constexpr int kReports = 4;
    module->SetRemoteRTCPPort(FreePort(kPeerAddress).c_str());
    Start();
    for (int frame = 0; frame <= kReports * 5000 / kFrameMs; ++frame) {
        ASSERT_TRUE(SendNextFrame()) << "frame " << frame << " refused";
    }
    EXPECT_EQ(UnreachableSends(), static_cast<uint32_t>(kReports - 1));
    EXPECT_EQ(LinesContaining("RTCP peer"), 1);
    EXPECT_EQ(LinesContaining(kUnreachableLine), 1);
    EXPECT_EQ(LinesContaining(kReachableLine), 0);
}

// Start and stop 200 times while another thread delivers samples as fast as
// it can: a sample that comes after the clean-up is refused and opens
// nothing, whichever port the output RTCP socket binds.
TEST_F(SendFaultTest, SamplesRacingTheCleanUpLeaveNoSocketBehind)
{
    constexpr int kCycles = 200;
    for (const uint32_t bindToLocalPort : {0u, 1u}) {
        module->SetBindRTCPToLocalPort(bindToLocalPort);
        const int descriptors = OpenDescriptors();
        Start();
        Stop();
        EXPECT_FALSE(Send()) << "a sample after the clean-up was taken";
        EXPECT_EQ(OpenDescriptors(), descriptors) << "bind flag " << bindToLocalPort;

        std::atomic<bool> done{false};
        std::thread feeder([&] {
            while (!done.load()) {
                Send();
            }
        });
        for (int cycle = 0; cycle < kCycles && !HasFailure(); ++cycle) {
            Start();
            Stop();
            EXPECT_EQ(zqm::FindSharedRTPSocket(std::stoi(rtcpPort)), nullptr) << "cycle " << cycle;
            EXPECT_EQ(OpenDescriptors(), descriptors) << "bind flag " << bindToLocalPort << ", cycle " << cycle;
        }
        done = true;
        feeder.join();
    }
}

}  // namespace
}  // namespace faults
