#pragma once
// An "RTP in" module wired to a capture sink, with what the receiving-stack
// tests share: crafted RTP datagrams, samples from the module's real pool,
// loopback sockets on ports picked at run time, log lines that can be waited
// for, and the end-of-test checks (pool full, no descriptor left open).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "inputrtpstack/zqminputrtpstack.h"
#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "zqcapturesink.h"
#include "zqcsocket.h"
#include "zqfdebuglog.h"
#include "zqfmediasample.h"
#include "zqfpin.h"
#include "zqmrtpsource.h"

namespace inputtest {

using Bytes = std::vector<uint8_t>;
using ::testing::ElementsAre;

constexpr char kStackLogPath[] = "inputrtpstack\\zqminputrtpstack";
constexpr int32_t kAudioPCMA = 0x40001;  // payload type 8
constexpr int32_t kVideoH264 = 0x10004;  // payload type 96
constexpr int32_t kFec = 0x800001;       // payload type 118
constexpr uint8_t kAudioPT = 8;
constexpr uint8_t kVideoPT = 96;
constexpr uint8_t kFecPT = 118;
constexpr uint32_t kSsrc = 0x11223344;
constexpr int kWaitMs = 5000;
inline constexpr uint8_t kDefaultPayload[] = {0xA1, 0xA2, 0xA3, 0xA4};

// One RTP datagram as a peer would send it.
struct RtpPacket {
    uint8_t version = 2;
    bool extension = false;
    uint8_t csrcCount = 0;
    bool marker = false;
    uint8_t payloadType = kAudioPT;
    uint16_t seq = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = kSsrc;
    Bytes payload = Bytes(std::begin(kDefaultPayload), std::end(kDefaultPayload));
    uint8_t paddingCount = 0;  // > 0: padding bit set, this many bytes added

    Bytes Encode() const
    {
        Bytes bytes = {static_cast<uint8_t>((version << 6) | (paddingCount ? 0x20 : 0) | (extension ? 0x10 : 0) |
                                            (csrcCount & 0x0F)),
                       static_cast<uint8_t>((marker ? 0x80 : 0) | (payloadType & 0x7F)),
                       static_cast<uint8_t>(seq >> 8), static_cast<uint8_t>(seq)};
        for (uint32_t word : {timestamp, ssrc}) {
            for (int shift = 24; shift >= 0; shift -= 8) {
                bytes.push_back(static_cast<uint8_t>(word >> shift));
            }
        }
        bytes.resize(bytes.size() + 4u * csrcCount, 0xC5);
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        if (paddingCount > 0) {
            bytes.resize(bytes.size() + paddingCount - 1, 0);
            bytes.push_back(paddingCount);
        }
        return bytes;
    }
};

inline Bytes Packet(uint16_t seq, uint32_t ssrc = kSsrc, uint8_t payloadType = kAudioPT)
{
    RtpPacket packet;
    packet.seq = seq;
    packet.ssrc = ssrc;
    packet.payloadType = payloadType;
    packet.timestamp = 160u * seq;
    return packet.Encode();
}

inline uint32_t Read32(const Bytes& bytes, size_t at)
{
    return (static_cast<uint32_t>(bytes[at]) << 24) | (static_cast<uint32_t>(bytes[at + 1]) << 16) |
           (static_cast<uint32_t>(bytes[at + 2]) << 8) | bytes[at + 3];
}

// The receiving stack's log lines, which its threads write: counted and
// waited for.
class LogWaiter {
public:
    LogWaiter()
    {
        zqf::SetDebugLogSink([this](const char* path, int, int level, const char* text) {
            if (std::strcmp(path, kStackLogPath) != 0) {
                return;
            }
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back({level, text});
            m_changed.notify_all();
        });
    }
    ~LogWaiter() { zqf::SetDebugLogSink({}); }

    // Lines with exactly this text (and this level, unless -1).
    int Count(const std::string& text, int level = -1) const
    {
        return Matching([&](const Line& line) { return line.text == text && (level < 0 || line.level == level); });
    }
    int CountContaining(const std::string& part) const
    {
        return Matching([&](const Line& line) { return line.text.find(part) != std::string::npos; });
    }
    bool WaitFor(const std::string& text) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(kWaitMs), [&] {
            return std::any_of(m_lines.begin(), m_lines.end(), [&](const Line& line) { return line.text == text; });
        });
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

private:
    struct Line {
        int level;
        std::string text;
    };
    template <class Match>
    int Matching(Match match) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return static_cast<int>(std::count_if(m_lines.begin(), m_lines.end(), match));
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Line> m_lines;
};

inline int CountOpenDescriptors()
{
    const std::filesystem::directory_iterator entries("/proc/self/fd");
    return static_cast<int>(std::distance(begin(entries), end(entries)));
}

// A loopback UDP socket of the test, on a port the system picked.
class TestSocket {
public:
    explicit TestSocket(const char* address = "127.0.0.1")
    {
        EXPECT_GE(m_socket.CreateSocket(ZQCSocket::kDatagram, address), 0);
        EXPECT_GE(m_socket.Bind(ZQCSocket::kDatagram, address, "0"), 0);
    }
    std::string Port() const { return std::to_string(m_socket.GetBoundPort()); }
    bool SendTo(const Bytes& bytes, const char* address, const std::string& port)
    {
        static const uint8_t kNothing = 0;  // a zero-length datagram still needs a buffer
        const ZQCSocketAddress to(ZQCSocket::kDatagram, address, port.c_str());
        const int size = static_cast<int>(bytes.size());
        return m_socket.SendTo(bytes.empty() ? &kNothing : bytes.data(), size, to) == size;
    }
    // The next datagram; empty after `timeoutMs` without one.
    Bytes Receive(int timeoutMs = kWaitMs)
    {
        Bytes bytes(65536);
        ZQCSocketAddress from;
        const int size = m_socket.WaitReadable(timeoutMs, nullptr) == 1
                             ? m_socket.RecvFrom(bytes.data(), static_cast<int>(bytes.size()), from)
                             : 0;
        bytes.resize(size > 0 ? static_cast<size_t>(size) : 0);
        return bytes;
    }

private:
    ZQCSocket m_socket;
};

// A port that was free a moment ago.
inline std::string FreePort(const char* address) { return TestSocket(address).Port(); }

class InputStackTest : public ::testing::Test {
protected:
    // The reordering window, set before the pins connect (the pool follows it).
    virtual uint16_t Window() const { return 0; }

    void SetUp() override
    {
        m_descriptorsAtStart = CountOpenDescriptors();
        module = std::make_unique<ZQMRTPStackModule>(ZQMID_RTPIn, "Input RTP stack");
        sink = std::make_unique<ZQCaptureSink>();
        stack = static_cast<ZQMInputRTPStack*>(module->GetStack());
        stack->SetLocalIPAddress("127.0.0.2");
        stack->SetRTPwindow(Window());
        for (int32_t type : {kAudioPCMA, kVideoH264, kFec}) {
            ASSERT_TRUE(stack->EnableMediaType(type));
        }
        ASSERT_TRUE(ZQFConnectPins(module->GetOutputPin(0), sink->GetInputPin(0)));
    }

    void TearDown() override
    {
        Stop();
        const ZQFAllocator* pool = Pool();
        EXPECT_TRUE(pool == nullptr || pool->IsFull()) << "samples missing from the pool";
        module.reset();
        sink.reset();
        sockets.clear();
        EXPECT_EQ(CountOpenDescriptors(), m_descriptorsAtStart) << "descriptors left open";
    }

    ZQFAllocator* Pool() const { return module->GetOutputPin(0)->GetAllocator(); }

    // The datagram in a sample of the pool, as the receiving loop leaves it.
    ZQFMediaSample* SampleWith(const Bytes& datagram)
    {
        ZQFMediaSample* sample = module->GetOutputPin(0)->GetNewSample(0);
        EXPECT_NE(sample, nullptr) << "pool empty";
        if (sample != nullptr) {
            std::memcpy(sample->GetDataBuffer(), datagram.data(), datagram.size());
            sample->m_PayloadLength = static_cast<int>(datagram.size()) - 12;
        }
        return sample;
    }

    // The packet check; a refused sample goes back as the loop would do it.
    RTPCheckResult Check(const Bytes& datagram)
    {
        ZQFMediaSample* sample = SampleWith(datagram);
        const RTPCheckResult result = sample ? stack->CheckRTPDatagram(sample) : RTP_INVALID_NO_SOURCE;
        if (sample != nullptr && !IsPacketHandled(result)) {
            sample->Recycle();
        }
        return result;
    }

    bool Process(const Bytes& datagram)
    {
        ZQFMediaSample* sample = SampleWith(datagram);
        const bool taken = sample != nullptr && stack->OnProcessMediaSample(sample, 0);
        if (sample != nullptr && !taken) {
            sample->Recycle();
        }
        return taken;
    }

    std::vector<uint16_t> Delivered() const
    {
        std::vector<uint16_t> seqs;
        for (const ZQCapturedPacket& packet : sink->GetPackets()) {
            seqs.push_back(packet.sequenceNumber);
        }
        return seqs;
    }

    // Runs `use` on the remote source record of `ssrc`, list locks held.
    template <class Use>
    void WithSource(uint32_t ssrc, Use use)
    {
        zqm::SourceListsLock lock;
        ZQMRTPSource* source = zqm::FindListedSource(ssrc, false);
        ASSERT_NE(source, nullptr);
        use(*source);
    }

    // Everything on loopback: the stack on 127.0.0.2 with RTP and RTCP ports
    // picked now; reports go to `collector` on 127.0.0.1, `peer` sends.
    void UseLoopback()
    {
        collector = sockets.emplace_back(std::make_unique<TestSocket>()).get();
        peer = sockets.emplace_back(std::make_unique<TestSocket>()).get();
        rtpPort = FreePort("127.0.0.2");
        rtcpPort = FreePort("127.0.0.2");
        stack->SetLocalRTPPort(rtpPort.c_str());
        stack->SetLocalRTCPPort(rtcpPort.c_str());
        stack->SetRemoteRTPAddress("127.0.0.1");
        stack->SetRemoteRTCPAddress("127.0.0.1");
        stack->SetRemoteRTCPPort(collector->Port().c_str());
    }

    void Send(const Bytes& datagram) { ASSERT_TRUE(peer->SendTo(datagram, "127.0.0.2", rtpPort)); }

    // "<--RTPStack-->[port]" and the rest of a line.
    std::string Line(const std::string& text) const { return "<--RTPStack-->[" + rtpPort + "] " + text; }

    // The graph's start: end of flush, running, OnStart.
    bool Start()
    {
        stack->OnEndFlush();
        module->SetRunning(true);
        const bool started = stack->OnStart();
        module->SetRunning(started);
        return started;
    }

    // The graph's stop: not running, pins flushed, begin of flush, stop.
    void Stop()
    {
        module->SetRunning(false);
        module->GetOutputPin(0)->OnPinFlush();
        stack->OnBeginFlush();
        stack->OnStop();
    }

    LogWaiter logs;
    std::unique_ptr<ZQMRTPStackModule> module;
    std::unique_ptr<ZQCaptureSink> sink;
    ZQMInputRTPStack* stack = nullptr;
    std::vector<std::unique_ptr<TestSocket>> sockets;
    TestSocket* collector = nullptr;
    TestSocket* peer = nullptr;
    std::string rtpPort = "0";
    std::string rtcpPort;

private:
    int m_descriptorsAtStart = 0;
};

template <uint16_t W>
class InputStackWithWindow : public InputStackTest {
protected:
    uint16_t Window() const override { return W; }
};

}  // namespace inputtest
