// Faults in the traffic: a downstream module that blocks, a flood of
// garbage on both ports while a real stream flows.
#include <condition_variable>
#include <random>

#include "loopback_fixture.h"

namespace faults {
namespace {

using namespace testsupport;
using FaultTest = LeakCheckedTest;

constexpr ZQFID kBlockerId{0x0b10c4e5, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};
constexpr uint32_t kSsrcA = 0x0A0A0A0A;

// Takes every sample, but the first one holds its thread until released.
class BlockingSink : public ZQFModule {
public:
    BlockingSink() : ZQFModule(kBlockerId, "blocking sink") { AddPin(new ZQFPinIn(this, "in")); }

    bool OnProcessMediaSample(ZQFMediaSample*, int) override
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_taken;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_released; });
        return true;
    }
    bool WaitForTaken(int count)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] { return m_taken >= count; });
    }
    void Release()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_taken = 0;
    bool m_released = false;
};

TEST_F(FaultTest, DownstreamThatBlocksHoldsOnlyTheReceivingThreadAndStopsCleanly)
{
    auto* blocker = new BlockingSink();
    ReceiveChain receiver(blocker);
    ASSERT_TRUE(receiver.connected);
    ASSERT_TRUE(receiver.graph.Start());
    for (uint16_t seq = 1; seq <= 200; ++seq) {
        ASSERT_TRUE(receiver.Send(seq, kSsrcA));
    }
    ASSERT_TRUE(blocker->WaitForTaken(1));
    // The stop begins while the receiving thread is held downstream; the
    // hold ends while the stop waits for that thread.
    std::thread stopper([&] { receiver.graph.Stop(); });
    blocker->Release();
    stopper.join();
    ExpectPoolsFull(receiver.graph);
}

// 100,000 datagrams of garbage at full speed, half on the RTP port (never
// version 2, so never a source), half on the RTCP port, while the sender's
// stream goes on.
TEST_F(FaultTest, FloodOfGarbageOnBothPortsLeavesTheRealStreamFlowing)
{
    constexpr int kGarbagePerPort = 50000;
    LoopbackPair pair(PacedSource(2));
    ASSERT_TRUE(pair.connected);
    ASSERT_TRUE(pair.graph.Start());
    ASSERT_TRUE(pair.WaitForMore(5));
    const size_t linesBefore = logs.Lines().size();
    const uint64_t packetsBefore = pair.sink->GetPacketCount();

    auto flood = [&](const std::string& port, bool rtp, unsigned seed) {
        UdpPeer attacker;
        std::mt19937 random(seed);
        Bytes garbage(64);
        for (int sent = 0; sent < kGarbagePerPort; ++sent) {
            garbage.resize(1 + random() % 64);
            for (uint8_t& byte : garbage) {
                byte = static_cast<uint8_t>(random());
            }
            if (rtp && (garbage[0] >> 6) == 2) {
                garbage[0] ^= 0x40;  // version 1 or 3
            }
            attacker.SendTo("127.0.0.2", port, garbage);
        }
    };
    std::thread rtpFlood(flood, pair.inRtp, true, 1u);
    std::thread rtcpFlood(flood, pair.inRtcp, false, 2u);
    rtpFlood.join();
    rtcpFlood.join();
    EXPECT_TRUE(pair.WaitForMore(20)) << "the real stream stopped";
    const uint64_t realPackets = pair.sink->GetPacketCount() - packetsBefore;
    const size_t lines = logs.Lines().size() - linesBefore;
    pair.graph.Stop();

    EXPECT_GE(realPackets, 20u);
    // The failure lines of each kind: the first and every tenth, each
    // with at most a detail line and the receiving loop's own line.
    const int throttledFaults = 2 * kGarbagePerPort / 10;
    EXPECT_LE(lines, 3u * throttledFaults + 100) << lines << " lines for the flood";
    const int versionLines = logs.CountContaining("failure in input stack : wrong version in rtp header.");
    EXPECT_GE(versionLines, 1);
    EXPECT_LE(versionLines, kGarbagePerPort / 10 + 1);
    ExpectPoolsFull(pair.graph);
}

}  // namespace
}  // namespace faults
