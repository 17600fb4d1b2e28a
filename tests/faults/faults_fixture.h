#pragma once
// What the fault tests share: a sender and a receiver on loopback in one
// graph (a stock source feeding "RTP out" on 127.0.0.1, "RTP in" on
// 127.0.0.2 feeding a capture sink), raw UDP peers, log lines counted per
// text, and the end-of-test checks: pools full, no descriptor left open, no
// thread left running.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "zqcapturesink.h"
#include "zqfallocator.h"
#include "zqfdebuglog.h"
#include "zqfgraph.h"
#include "zqfpin.h"
#include "zqstocksource.h"

namespace faults {

using Bytes = std::vector<uint8_t>;
constexpr int32_t kAudioPCMA = 0x40001;
constexpr int kWaitMs = 10000;

inline int CountEntries(const char* folder)
{
    const std::filesystem::directory_iterator entries(folder);
    return static_cast<int>(std::distance(begin(entries), end(entries)));
}
inline int OpenDescriptors() { return CountEntries("/proc/self/fd"); }
inline int RunningThreads() { return CountEntries("/proc/self/task"); }

// Polls an observable condition with a generous deadline, for what has no
// event to wait on.
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

// A raw loopback UDP socket of the test.
class UdpPeer {
public:
    explicit UdpPeer(const char* address = "127.0.0.1", int port = 0)
    {
        m_fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa = Address(address, port);
        m_bound = bind(m_fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
        socklen_t length = sizeof sa;
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&sa), &length);
        m_port = ntohs(sa.sin_port);
    }
    ~UdpPeer() { close(m_fd); }
    UdpPeer(const UdpPeer&) = delete;
    UdpPeer& operator=(const UdpPeer&) = delete;

    bool IsBound() const { return m_bound; }
    int Port() const { return m_port; }
    std::string PortText() const { return std::to_string(m_port); }

    bool SendTo(const char* address, const std::string& port, const Bytes& bytes)
    {
        const sockaddr_in sa = Address(address, std::stoi(port));
        return sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) ==
               static_cast<ssize_t>(bytes.size());
    }
    std::optional<Bytes> Receive(int timeoutMs = kWaitMs)
    {
        pollfd ready{m_fd, POLLIN, 0};
        if (poll(&ready, 1, timeoutMs) <= 0) {
            return std::nullopt;
        }
        Bytes bytes(65536);
        const ssize_t n = recv(m_fd, bytes.data(), bytes.size(), MSG_DONTWAIT);
        if (n < 0) {
            return std::nullopt;
        }
        bytes.resize(static_cast<size_t>(n));
        return bytes;
    }

private:
    static sockaddr_in Address(const char* address, int port)
    {
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        inet_pton(AF_INET, address, &sa.sin_addr);
        return sa;
    }
    int m_fd = -1;
    int m_port = 0;
    bool m_bound = false;
};

inline std::string FreePort(const char* address) { return UdpPeer(address).PortText(); }

// One RTP datagram: PCMA, 4 bytes of payload.
inline Bytes RtpPacket(uint16_t seq, uint32_t ssrc, uint8_t payloadType = 8)
{
    Bytes bytes = {0x80, payloadType, static_cast<uint8_t>(seq >> 8), static_cast<uint8_t>(seq)};
    for (uint32_t word : {160u * seq, ssrc}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<uint8_t>(word >> shift));
        }
    }
    bytes.insert(bytes.end(), {0xD5, 0xD5, 0xD5, 0xD5});
    return bytes;
}

// Every log line, counted by text; the stacks' lines stay off standard error.
class LogCounter {
public:
    LogCounter()
    {
        zqf::SetDebugLogSink([this](const char*, int, int, const char* text) {
            std::lock_guard<std::mutex> lock(m_mutex);
            ++m_counts[text];
            ++m_total;
        });
    }
    ~LogCounter() { zqf::SetDebugLogSink({}); }
    LogCounter(const LogCounter&) = delete;
    LogCounter& operator=(const LogCounter&) = delete;

    int Total() const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_total;
    }
    int CountContaining(const std::string& part) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        int count = 0;
        for (const auto& [text, times] : m_counts) {
            count += text.find(part) != std::string::npos ? times : 0;
        }
        return count;
    }

    // The most frequent texts, for a failure message.
    std::string Commonest(size_t count = 5) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<std::pair<int, std::string>> texts;
        for (const auto& [text, times] : m_counts) {
            texts.emplace_back(times, text);
        }
        std::sort(texts.rbegin(), texts.rend());
        std::string list;
        for (size_t i = 0; i < texts.size() && i < count; ++i) {
            list += std::to_string(texts[i].first) + " x " + texts[i].second + "\n";
        }
        return list;
    }

private:
    mutable std::mutex m_mutex;
    std::map<std::string, int> m_counts;
    int m_total = 0;
};

inline void SetNetwork(ZQMRTPStackModule* module, const char* local, const std::string& rtp, const std::string& rtcp,
                       const char* remote, const std::string& remoteRtp, const std::string& remoteRtcp)
{
    ASSERT_TRUE(module->EnableMediaType(kAudioPCMA));
    module->SetLocalIPAddress(local);
    module->SetLocalRTPPort(rtp.c_str());
    module->SetLocalRTCPPort(rtcp.c_str());
    module->SetRemoteRTPAddress(remote);
    module->SetRemoteRTPPort(remoteRtp.c_str());
    module->SetRemoteRTCPAddress(remote);
    module->SetRemoteRTCPPort(remoteRtcp.c_str());
}

// Records the descriptors and threads at the start; at the end checks that
// every pool of `graph` is full and nothing was left open or running.
class FaultTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A sanitizer runtime starts its helper thread with the first thread
        // the process makes: let that happen before counting.
        std::thread([] {}).join();
        m_descriptors = OpenDescriptors();
        m_threads = RunningThreads();
    }

    void ExpectPoolsFull(const ZQFGraph& graph)
    {
        for (ZQFModule* module : graph.GetModules()) {
            for (int pin = 0; pin < module->GetOutputPinCount(); ++pin) {
                const ZQFAllocator* pool = module->GetOutputPin(pin)->GetAllocator();
                EXPECT_TRUE(pool == nullptr || pool->IsFull())
                    << module->GetName() << ": " << (pool ? pool->GetCount() - pool->GetFreeCount() : 0)
                    << " samples missing from the pool";
            }
        }
    }

    void ExpectNothingLeft()
    {
        EXPECT_EQ(OpenDescriptors(), m_descriptors) << "descriptors left open";
        EXPECT_EQ(RunningThreads(), m_threads) << "threads left running";
    }

private:
    int m_descriptors = 0;
    int m_threads = 0;
};

// Stock source -> RTP out (127.0.0.1) ~~> RTP in (127.0.0.2) -> capture sink,
// with RTCP both ways. `paced` false: frames as fast as the pool allows.
struct LoopbackPair {
    explicit LoopbackPair(bool paced = true, int packetTimeMs = 5)
    {
        ZQStockSourceConfig config;
        config.paced = paced;
        config.packetTimeMs = packetTimeMs;
        config.frameBytes = 8 * packetTimeMs;
        source = new ZQStockSource(config);
        rtpOut = new ZQMRTPStackModule(ZQMID_RTPOut, "Output RTP stack");
        rtpIn = new ZQMRTPStackModule(ZQMID_RTPIn, "Input RTP stack");
        sink = new ZQCaptureSink();
        sink->SetKeepLimit(1000);
        for (ZQIModule* module : std::initializer_list<ZQIModule*>{source, rtpOut, rtpIn, sink}) {
            graph.AddModule(module);
        }
        inRtp = FreePort("127.0.0.2");
        inRtcp = FreePort("127.0.0.2");
        outRtcp = FreePort("127.0.0.1");
        SetNetwork(rtpOut, "127.0.0.1", "0", outRtcp, "127.0.0.2", inRtp, inRtcp);
        SetNetwork(rtpIn, "127.0.0.2", inRtp, inRtcp, "127.0.0.1", "0", outRtcp);
        connected = graph.Connect(source, 0, rtpOut, 0) && graph.Connect(rtpIn, 0, sink, 0);
    }

    // Waits until `more` packets beyond those seen so far reached the sink.
    bool WaitForMore(uint64_t more = 1) const { return sink->WaitForPackets(sink->GetPacketCount() + more, kWaitMs); }

    ZQFGraph graph;
    ZQStockSource* source = nullptr;
    ZQMRTPStackModule* rtpOut = nullptr;
    ZQMRTPStackModule* rtpIn = nullptr;
    ZQCaptureSink* sink = nullptr;
    std::string inRtp, inRtcp, outRtcp;
    bool connected = false;
};

}  // namespace faults
