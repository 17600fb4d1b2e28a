// Faults that only shared I/O has: one service thread serves many stacks,
// so a stack whose downstream holds every sample must cost only its own
// stream, and stacks starting and stopping must never leave the service a
// stack that is gone.
#include <atomic>
#include <memory>
#include <thread>

#include "loopback_fixture.h"
#include "recording_sink.h"
#include "zqfallocator.h"

namespace faults {
namespace {

using namespace testsupport;
using SharedIOFaultTest = LeakCheckedTest;

constexpr uint32_t kSsrcA = 0x0A0A0A0A;
constexpr uint32_t kSsrcB = 0x0B0B0B0B;

// A receiving chain forced onto the service, whatever the run's mode.
struct SharedChain : ReceiveChain {
    explicit SharedChain(ZQFModule* downstream) : ReceiveChain(downstream) { rtpIn->SetSharedIO(1); }
};

uint32_t PoolEmptyDrops(ZQMRTPStackModule* rtpIn)
{
    uint32_t drops = 0;
    EXPECT_TRUE(rtpIn->GetPoolEmptyDrops(&drops));
    return drops;
}

TEST_F(SharedIOFaultTest, StackWhoseDownstreamHoldsEverySampleDropsOnlyItsOwnDatagrams)
{
    auto* hoarder = new RecordingSink(100000);  // keeps every sample it gets
    auto* sink = new ZQCaptureSink();
    SharedChain hoarding(hoarder);
    SharedChain flowing(sink);
    ASSERT_TRUE(hoarding.connected && flowing.connected);
    ASSERT_TRUE(hoarding.graph.Start());
    ASSERT_TRUE(flowing.graph.Start());

    const ZQFAllocator* pool = hoarding.rtpIn->GetOutputPin(0)->GetAllocator();
    ASSERT_NE(pool, nullptr);
    const int poolSize = pool->GetCount();
    for (uint16_t seq = 1; seq <= 400; ++seq) {
        ASSERT_TRUE(hoarding.Send(seq, kSsrcA));
        ASSERT_TRUE(flowing.Send(seq, kSsrcB));
        ASSERT_TRUE(sink->WaitForPackets(seq, kWaitMs)) << "the other stream stalled at " << seq;
    }
    const uint32_t drops = 400u - static_cast<uint32_t>(poolSize);
    EXPECT_TRUE(WaitUntil([&] { return PoolEmptyDrops(hoarding.rtpIn) == drops; })) << PoolEmptyDrops(hoarding.rtpIn);
    EXPECT_EQ(PoolEmptyDrops(flowing.rtpIn), 0u);
    EXPECT_EQ(logs.CountContaining("No free sample in the pool: datagram dropped"), static_cast<int>(1 + (drops - 1) / 50))
        << "one line, then every fiftieth drop";

    hoarding.graph.Stop();
    flowing.graph.Stop();
    hoarder->ReleaseKept();
    ExpectPoolsFull(hoarding.graph);
    ExpectPoolsFull(flowing.graph);
}

// Under ThreadSanitizer this is the check that a stack leaves the service
// before anything the service reads is freed.
TEST_F(SharedIOFaultTest, TwoHundredStacksStartAndStopWhileOthersReceive)
{
    constexpr int kReceivers = 3;
    std::vector<std::unique_ptr<SharedChain>> receivers;
    std::vector<ZQCaptureSink*> sinks;
    for (int i = 0; i < kReceivers; ++i) {
        sinks.push_back(new ZQCaptureSink());
        receivers.push_back(std::make_unique<SharedChain>(sinks.back()));
        ASSERT_TRUE(receivers.back()->connected);
        ASSERT_TRUE(receivers.back()->graph.Start());
    }
    std::atomic<bool> sending{true};
    std::thread traffic([&] {
        for (uint16_t seq = 1; sending.load(); ++seq) {
            for (auto& receiver : receivers) {
                receiver->Send(seq, kSsrcA);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(1));  // pacing, not waiting
        }
    });
    for (int cycle = 0; cycle < 200 && !HasFailure(); ++cycle) {
        SharedChain passing(new ZQCaptureSink());
        ASSERT_TRUE(passing.connected);
        ASSERT_TRUE(passing.graph.Start()) << cycle;
        passing.Send(1, kSsrcB);
        passing.graph.Stop();
    }
    const uint64_t before = sinks[0]->GetPacketCount();
    EXPECT_TRUE(sinks[0]->WaitForPackets(before + 10, kWaitMs)) << "the receivers stopped receiving";
    sending = false;
    traffic.join();
    for (auto& receiver : receivers) {
        receiver->graph.Stop();
        ExpectPoolsFull(receiver->graph);
    }
}

}  // namespace
}  // namespace faults
