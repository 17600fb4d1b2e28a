#pragma once
// An "RTP in" module wired to a capture sink, with what the receiving-stack
// tests share: crafted RTP datagrams, samples from the module's real pool,
// loopback sockets on ports picked at run time, a log sink that can be
// waited on, and the end-of-test checks (pool full, no descriptor left).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdint>
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
#include "zqfallocator.h"
#include "zqfdebuglog.h"
#include "zqfmediasample.h"
#include "zqfpin.h"
#include "zqmrtpsource.h"

namespace inputtest {

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
    std::vector<uint8_t> payload = std::vector<uint8_t>(std::begin(kDefaultPayload), std::end(kDefaultPayload));
    uint8_t paddingCount = 0;  // > 0: padding bit set, this many bytes added

    std::vector<uint8_t> Bytes() const
    {
        std::vector<uint8_t> bytes(12);
        bytes[0] = static_cast<uint8_t>((version << 6) | (paddingCount ? 0x20 : 0) | (extension ? 0x10 : 0) |
                                        (csrcCount & 0x0F));
        bytes[1] = static_cast<uint8_t>((marker ? 0x80 : 0) | (payloadType & 0x7F));
        bytes[2] = static_cast<uint8_t>(seq >> 8);
        bytes[3] = static_cast<uint8_t>(seq);
        for (int i = 0; i < 4; ++i) {
            bytes[4 + i] = static_cast<uint8_t>(timestamp >> (24 - 8 * i));
            bytes[8 + i] = static_cast<uint8_t>(ssrc >> (24 - 8 * i));
        }
        for (int i = 0; i < 4 * csrcCount; ++i) {
            bytes.push_back(static_cast<uint8_t>(0xC0 + i));
        }
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        for (int i = 1; i < paddingCount; ++i) {
            bytes.push_back(0);
        }
        if (paddingCount > 0) {
            bytes.push_back(paddingCount);
        }
        return bytes;
    }
};

inline std::vector<uint8_t> Packet(uint16_t seq, uint32_t ssrc = kSsrc, uint8_t payloadType = kAudioPT)
{
    RtpPacket packet;
    packet.seq = seq;
    packet.ssrc = ssrc;
    packet.payloadType = payloadType;
    packet.timestamp = 160u * seq;
    return packet.Bytes();
}

// Log lines with a wait: the stack's threads write them.
class LogWaiter {
public:
    LogWaiter()
    {
        zqf::SetDebugLogSink([this](const char* path, int, int level, const char* text) {
            {
                std::lock_guard<std::mutex> lock(m_mutex);
                m_lines.push_back({path, level, text});
            }
            m_changed.notify_all();
        });
    }
    ~LogWaiter() { zqf::SetDebugLogSink({}); }
    LogWaiter(const LogWaiter&) = delete;
    LogWaiter& operator=(const LogWaiter&) = delete;

    // Lines of the receiving stack with exactly this text (and level, when >= 0).
    int Count(const std::string& text, int level = -1) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return CountLocked(text, level);
    }
    int CountContaining(const std::string& part) const
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        int count = 0;
        for (const Line& line : m_lines) {
            count += line.path == kStackLogPath && line.text.find(part) != std::string::npos ? 1 : 0;
        }
        return count;
    }
    bool WaitFor(const std::string& text, int timeoutMs = kWaitMs) const
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                                  [&] { return CountLocked(text, -1) > 0; });
    }
    void Clear()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_lines.clear();
    }

private:
    struct Line {
        std::string path;
        int level;
        std::string text;
    };
    int CountLocked(const std::string& text, int level) const
    {
        int count = 0;
        for (const Line& line : m_lines) {
            count += line.path == kStackLogPath && line.text == text && (level < 0 || line.level == level) ? 1 : 0;
        }
        return count;
    }

    mutable std::mutex m_mutex;
    mutable std::condition_variable m_changed;
    std::vector<Line> m_lines;
};

inline int CountOpenDescriptors()
{
    int count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// A loopback UDP socket of the test on a port the system picked.
class TestSocket {
public:
    explicit TestSocket(const char* address = "127.0.0.1") : m_address(address)
    {
        EXPECT_GE(m_socket.CreateSocket(ZQCSocket::kDatagram, address), 0);
        EXPECT_GE(m_socket.Bind(ZQCSocket::kDatagram, address, "0"), 0);
    }
    std::string Port() const { return std::to_string(m_socket.GetBoundPort()); }
    bool SendTo(const std::vector<uint8_t>& bytes, const char* address, const std::string& port)
    {
        ZQCSocketAddress to(ZQCSocket::kDatagram, address, port.c_str());
        static const uint8_t kNothing = 0;  // a zero-length datagram still needs a buffer
        const uint8_t* data = bytes.empty() ? &kNothing : bytes.data();
        return m_socket.SendTo(data, static_cast<int>(bytes.size()), to) == static_cast<int>(bytes.size());
    }
    // The next datagram, or an empty vector after `timeoutMs`.
    std::vector<uint8_t> Receive(int timeoutMs = kWaitMs)
    {
        if (m_socket.WaitReadable(timeoutMs, nullptr) != 1) {
            return {};
        }
        std::vector<uint8_t> bytes(65536);
        ZQCSocketAddress from;
        const int size = m_socket.RecvFrom(bytes.data(), static_cast<int>(bytes.size()), from);
        bytes.resize(size > 0 ? static_cast<size_t>(size) : 0);
        return bytes;
    }

private:
    std::string m_address;
    ZQCSocket m_socket;
};

// A port that was free a moment ago (bound to port 0, read, released).
inline std::string FreePort(const char* address = "127.0.0.1")
{
    TestSocket probe(address);
    return probe.Port();
}

inline uint32_t Read32(const std::vector<uint8_t>& bytes, size_t at)
{
    return (static_cast<uint32_t>(bytes[at]) << 24) | (static_cast<uint32_t>(bytes[at + 1]) << 16) |
           (static_cast<uint32_t>(bytes[at + 2]) << 8) | bytes[at + 3];
}

class InputStackTest : public ::testing::Test {
protected:
    // The window the output pin's pool is sized for (at connection).
    virtual uint16_t WindowAtConnection() const { return 0; }

    void SetUp() override
    {
        m_descriptorsAtStart = CountOpenDescriptors();
        module = std::make_unique<ZQMRTPStackModule>(ZQMID_RTPIn, "Input RTP stack");
        sink = std::make_unique<ZQCaptureSink>();
        stack = static_cast<ZQMInputRTPStack*>(module->GetStack());
        stack->SetLocalIPAddress("127.0.0.2");
        stack->SetRTPwindow(WindowAtConnection());
        for (int32_t type : {kAudioPCMA, kVideoH264, kFec}) {
            ASSERT_TRUE(stack->EnableMediaType(type));
        }
        ASSERT_TRUE(ZQFConnectPins(module->GetOutputPin(0), sink->GetInputPin(0)));
        logs.Clear();
    }

    void TearDown() override
    {
        Stop();
        ZQFAllocator* pool = Pool();
        EXPECT_TRUE(pool == nullptr || pool->IsFull()) << "samples missing from the pool";
        module.reset();
        sink.reset();
        EXPECT_EQ(CountOpenDescriptors(), m_descriptorsAtStart) << "descriptors left open";
    }

    ZQFAllocator* Pool() const { return module ? module->GetOutputPin(0)->GetAllocator() : nullptr; }

    // A datagram in a sample of the pool, as the receiving loop leaves it.
    ZQFMediaSample* SampleWith(const std::vector<uint8_t>& datagram)
    {
        ZQFMediaSample* sample = module->GetOutputPin(0)->GetNewSample(0);
        EXPECT_NE(sample, nullptr) << "pool empty";
        if (sample != nullptr) {
            std::memcpy(sample->GetDataBuffer(), datagram.data(), datagram.size());
            sample->m_PayloadLength = static_cast<int>(datagram.size()) - 12;
        }
        return sample;
    }

    // The packet check; a refused sample goes back to the pool as the
    // receiving loop would do.
    RTPCheckResult Check(const std::vector<uint8_t>& datagram)
    {
        ZQFMediaSample* sample = SampleWith(datagram);
        if (sample == nullptr) {
            return RTP_INVALID_NO_SOURCE;
        }
        const RTPCheckResult result = stack->CheckRTPDatagram(sample);
        if (!IsPacketHandled(result)) {
            sample->Recycle();
        }
        return result;
    }

    bool Process(const std::vector<uint8_t>& datagram)
    {
        ZQFMediaSample* sample = SampleWith(datagram);
        if (sample == nullptr) {
            return false;
        }
        const bool taken = stack->OnProcessMediaSample(sample, 0);
        if (!taken) {
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

    // Runs `use` on the remote source record of `ssrc` under the list locks.
    template <class Use>
    void WithSource(uint32_t ssrc, Use use)
    {
        zqm::SourceListsLock lock;
        ZQMRTPSource* source = zqm::FindListedSource(ssrc, false);
        ASSERT_NE(source, nullptr);
        use(*source);
    }

    // Network settings of a test stack: everything on loopback, RTP and RTCP
    // on ports picked now; reports go to `reportPort` on 127.0.0.1.
    void UseLoopback(const std::string& reportPort)
    {
        rtpPort = FreePort("127.0.0.2");
        rtcpPort = FreePort("127.0.0.2");
        stack->SetLocalRTPPort(rtpPort.c_str());
        stack->SetLocalRTCPPort(rtcpPort.c_str());
        stack->SetRemoteRTPAddress("127.0.0.1");
        stack->SetRemoteRTCPAddress("127.0.0.1");
        stack->SetRemoteRTCPPort(reportPort.c_str());
    }

    // The graph's start: end of flush, running, OnStart.
    bool Start()
    {
        stack->OnEndFlush();
        module->SetRunning(true);
        const bool started = stack->OnStart();
        if (!started) {
            module->SetRunning(false);
        }
        return started;
    }

    // The graph's stop: not running, pins flushed, begin of flush, stop.
    void Stop()
    {
        if (module == nullptr) {
            return;
        }
        module->SetRunning(false);
        module->GetOutputPin(0)->OnPinFlush();
        stack->OnBeginFlush();
        stack->OnStop();
    }

    LogWaiter logs;
    std::unique_ptr<ZQMRTPStackModule> module;
    std::unique_ptr<ZQCaptureSink> sink;
    ZQMInputRTPStack* stack = nullptr;
    std::string rtpPort;
    std::string rtcpPort;

private:
    int m_descriptorsAtStart = 0;
};

template <uint16_t Window>
class InputStackWithWindow : public InputStackTest {
protected:
    uint16_t WindowAtConnection() const override { return Window; }
};

}  // namespace inputtest
