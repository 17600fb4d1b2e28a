#pragma once
// What the stack-level tests share: stacks on loopback addresses with ports
// picked at run time, a wait for what has no event to wait on, and the
// end-of-test checks: pools full, no descriptor left open, no thread left.
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <initializer_list>
#include <string>
#include <thread>

#include "log_capture.h"
#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "process_probes.h"
#include "rtp_datagram.h"
#include "stack_network.h"
#include "udp_peer.h"
#include "zqmpacketfaultthrottle.h"
#include "zqcapturesink.h"
#include "zqfallocator.h"
#include "zqfgraph.h"
#include "zqfpin.h"
#include "zqstocksource.h"

namespace testsupport {

// Polls an observable condition with a generous deadline.
template <class Condition>
bool WaitUntil(Condition condition, int timeoutMs = kWaitMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

// Counts the descriptors and threads at the start, to find at the end that
// nothing was left open or running; the test's log lines are captured (those
// of `logPath` only, when given) and kept off standard error.
class LeakCheckedTest : public ::testing::Test {
protected:
    explicit LeakCheckedTest(const std::string& logPath = "") : logs(logPath) {}

    void SetUp() override
    {
        // A sanitizer runtime starts its helper thread with the first thread
        // the process makes: let that happen before counting. A joined
        // thread's task can stay listed in /proc for a moment after the join
        // returned: wait until it is gone.
        pid_t started = 0;
        std::thread([&started] { started = gettid(); }).join();
        WaitUntil([started] { return access(("/proc/self/task/" + std::to_string(started)).c_str(), F_OK) != 0; });
        m_descriptors = OpenDescriptors();
        m_threads = RunningThreads();
        zqm::PacketFaultThrottle::Reset();  // each test sees the first line of a fault
    }

    static void ExpectPoolFull(const ZQFAllocator* pool, const char* owner)
    {
        EXPECT_TRUE(pool == nullptr || pool->IsFull())
            << owner << ": " << (pool ? pool->GetCount() - pool->GetFreeCount() : 0) << " samples missing from the pool";
    }

    static void ExpectPoolsFull(const ZQFGraph& graph)
    {
        for (ZQFModule* module : graph.GetModules()) {
            for (int pin = 0; pin < module->GetOutputPinCount(); ++pin) {
                ExpectPoolFull(module->GetOutputPin(pin)->GetAllocator(), module->GetName());
            }
        }
    }

    // What the test body made is gone by now.
    void TearDown() override
    {
        EXPECT_EQ(OpenDescriptors(), m_descriptors) << "descriptors left open";
        EXPECT_EQ(RunningThreads(), m_threads) << "threads left running";
    }

    LogCapture logs;

private:
    int m_descriptors = 0;
    int m_threads = 0;
};

// A stock source paced at one frame of 8 bytes a millisecond.
inline ZQStockSourceConfig PacedSource(int packetTimeMs)
{
    ZQStockSourceConfig config;
    config.packetTimeMs = packetTimeMs;
    config.frameBytes = 8 * packetTimeMs;
    return config;
}

// Stock source -> RTP out (127.0.0.1) ~~> RTP in (127.0.0.2) -> capture sink,
// with RTCP both ways, in one graph.
struct LoopbackPair {
    explicit LoopbackPair(const ZQStockSourceConfig& config = PacedSource(5))
    {
        source = new ZQStockSource(config);
        rtpOut = new ZQMRTPStackModule(ZQMID_RTPOut, "Output RTP stack");
        rtpIn = new ZQMRTPStackModule(ZQMID_RTPIn, "Input RTP stack");
        sink = new ZQCaptureSink();
        sink->SetKeepLimit(1000);
        for (ZQIModule* module : std::initializer_list<ZQIModule*>{source, rtpOut, rtpIn, sink}) {
            graph.AddModule(module);
        }
        EXPECT_TRUE(SetNetwork(rtpOut, "127.0.0.1", "0", outRtcp, "127.0.0.2", inRtp, inRtcp));
        EXPECT_TRUE(SetNetwork(rtpIn, "127.0.0.2", inRtp, inRtcp, "127.0.0.1", "0", outRtcp));
        connected = graph.Connect(source, 0, rtpOut, 0) && graph.Connect(rtpIn, 0, sink, 0);
    }

    // Waits until `more` packets beyond those seen so far reached the sink.
    bool WaitForMore(uint64_t more = 1) const { return sink->WaitForPackets(sink->GetPacketCount() + more, kWaitMs); }

    ZQFGraph graph;
    ZQStockSource* source = nullptr;
    ZQMRTPStackModule* rtpOut = nullptr;
    ZQMRTPStackModule* rtpIn = nullptr;
    ZQCaptureSink* sink = nullptr;
    const std::string inRtp = FreePort("127.0.0.2");
    const std::string inRtcp = FreePort("127.0.0.2");
    const std::string outRtcp = FreePort("127.0.0.1");
    bool connected = false;
};

// "RTP in" on 127.0.0.2 feeding `downstream` in a graph, and a peer on
// 127.0.0.1 that sends to it.
struct ReceiveChain {
    explicit ReceiveChain(ZQFModule* downstream)
    {
        rtpIn = new ZQMRTPStackModule(ZQMID_RTPIn, "Input RTP stack");
        graph.AddModule(rtpIn);
        graph.AddModule(downstream);
        EXPECT_TRUE(SetNetwork(rtpIn, "127.0.0.2", rtp, FreePort("127.0.0.2"), "127.0.0.1", "0", peer.PortText()));
        connected = graph.Connect(rtpIn, 0, downstream, 0);
    }

    bool Send(uint16_t seq, uint32_t ssrc) { return peer.SendTo("127.0.0.2", rtp, Packet(seq, ssrc)); }

    UdpPeer peer;
    ZQFGraph graph;
    ZQMRTPStackModule* rtpIn = nullptr;
    const std::string rtp = FreePort("127.0.0.2");
    bool connected = false;
};

}  // namespace testsupport
