// The log's sink stalls (standard error on a pipe nobody reads) while a real
// stream and a garbage flood arrive: the receiving thread must not stall
// with it.
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <random>
#include <regex>

#include "loopback_fixture.h"

namespace faults {
namespace {

using namespace testsupport;
using LogFaultTest = LeakCheckedTest;

constexpr uint32_t kSsrc = 0x10C0FFEE;

// A sink that holds the writer until opened, then keeps the texts.
class StalledLogSink {
public:
    StalledLogSink()
    {
        zqf::SetDebugLogSink([this](const char*, int, int, const char* text) {
            std::unique_lock<std::mutex> lock(m_mutex);
            m_changed.wait(lock, [this] { return m_open; });
            m_texts.emplace_back(text);
            m_changed.notify_all();
        });
    }
    ~StalledLogSink()
    {
        Open();
        zqf::SetDebugLogSink({});
    }
    void Open()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_open = true;
        m_changed.notify_all();
    }
    // Waits for a "N log lines dropped" line; N, or 0 on time-out.
    uint64_t WaitForDropReport()
    {
        static const std::regex report("([0-9]+) log lines dropped");
        uint64_t reported = 0;
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] {
            for (const std::string& text : m_texts) {
                std::smatch match;
                if (std::regex_match(text, match, report)) {
                    reported = std::stoull(match[1]);
                    return true;
                }
            }
            return false;
        });
        return reported;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_open = false;
    std::vector<std::string> m_texts;
};

Bytes Garbage(std::mt19937& random)
{
    Bytes garbage(1 + random() % 64);
    for (uint8_t& byte : garbage) {
        byte = static_cast<uint8_t>(random());
    }
    if ((garbage[0] >> 6) == 2) {
        garbage[0] ^= 0x40;  // version 1 or 3: never a source
    }
    return garbage;
}

// 1,000 packets a second for 6 s, with four datagrams of garbage beside each
// (a log line every tenth); the sink is stalled for the first 5 s.
TEST_F(LogFaultTest, StalledLogSinkLosesLogLinesButNoPacket)
{
    constexpr int kPackets = 6000;
    constexpr int kStalledPackets = 5000;
    constexpr int kGarbagePerPacket = 4;
    auto* sink = new ZQCaptureSink();
    sink->SetKeepLimit(0);
    ReceiveChain receiver(sink);
    ASSERT_TRUE(receiver.connected);
    ASSERT_TRUE(receiver.graph.Start());
    StalledLogSink logSink;
    const uint64_t droppedBefore = zqf::GetDebugLogCounts().dropped;

    UdpPeer attacker;
    std::mt19937 random(7);
    const auto start = std::chrono::steady_clock::now();
    for (int n = 0; n < kPackets; ++n) {
        std::this_thread::sleep_until(start + std::chrono::milliseconds(n));  // the stream's pace
        if (n == kStalledPackets) {
            logSink.Open();
        }
        ASSERT_TRUE(receiver.Send(static_cast<uint16_t>(n + 1), kSsrc));
        for (int g = 0; g < kGarbagePerPacket; ++g) {
            attacker.SendTo("127.0.0.2", receiver.rtp, Garbage(random));
        }
    }
    EXPECT_TRUE(sink->WaitForPackets(kPackets, kWaitMs));
    EXPECT_EQ(sink->GetPacketCount(), static_cast<uint64_t>(kPackets)) << "packets lost while the log stalled";

    const uint64_t reported = logSink.WaitForDropReport();
    EXPECT_GT(reported, 0u) << "no \"N log lines dropped\" line";
    receiver.graph.Stop();
    zqf::FlushDebugLog();
    EXPECT_GE(zqf::GetDebugLogCounts().dropped - droppedBefore, reported);
    ExpectPoolsFull(receiver.graph);
}

}  // namespace
}  // namespace faults
