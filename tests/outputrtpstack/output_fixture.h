#pragma once
// A sending stack inside its "RTP out" module, fed by a test upstream
// module, with UDP peers on loopback as the far end.
#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "log_capture.h"
#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "outputrtpstack/zqmoutputrtpstack.h"
#include "zqcclock.h"
#include "zqfformat.h"
#include "zqfmediasample.h"
#include "zqfpin.h"
#include "zqmbyteio.h"
#include "zqmrtpsource.h"

namespace outputtest {

using Bytes = std::vector<uint8_t>;

constexpr const char* kPath = "outputrtpstack\\zqmoutputrtpstack";
constexpr const char* kLocalAddress = "127.0.0.2";
constexpr const char* kPeerAddress = "127.0.0.1";
constexpr int32_t kG711A = 0x40001;  // default payload type 8
constexpr uint32_t kStartMs = 100000;
constexpr ZQFID kUpstreamId{0x77000001, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

class UdpPeer {
public:
    explicit UdpPeer(const char* address = kPeerAddress, int port = 0)
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

    // The next datagram, or nothing once the deadline has passed.
    std::optional<Bytes> Receive(int timeoutMs = 5000)
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

    void SendTo(const char* address, int port, const Bytes& bytes)
    {
        const sockaddr_in sa = Address(address, port);
        ASSERT_EQ(sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr*>(&sa), sizeof sa),
                  static_cast<ssize_t>(bytes.size()));
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

// Every clock of the process reads a time that moves only when told to.
class ManualTime {
public:
    explicit ManualTime(uint32_t startMs) { ZQCClock::UseManualTime(true, startMs); }
    ~ManualTime() { ZQCClock::UseManualTime(false); }
    ManualTime(const ManualTime&) = delete;
    ManualTime& operator=(const ManualTime&) = delete;
};

// A port nobody holds right now (bound, read, let go).
inline int FreePort(const char* address)
{
    UdpPeer probe(address);
    return probe.Port();
}

inline size_t OpenDescriptorCount()
{
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
        ++count;
    }
    return count;
}

// Feeds the module's input pin and records what comes back upstream.
class Upstream : public ZQFModule {
public:
    Upstream() : ZQFModule(kUpstreamId, "upstream") { AddPin(new ZQFPinOutAuto(this, "out", 0)); }

    bool OnReverseNotify(ZQFNotifyInfo* info) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_notifications.push_back(*info);
        m_changed.notify_all();
        return true;
    }
    std::vector<ZQFNotifyInfo> Notifications()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_notifications;
    }
    bool WaitForNotification(int code, int timeoutMs = 5000)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
            for (const ZQFNotifyInfo& info : m_notifications) {
                if (info.code == code) {
                    return true;
                }
            }
            return false;
        });
    }
    ZQFPinOut* Pin() { return GetOutputPin(0); }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<ZQFNotifyInfo> m_notifications;
};

struct Frame {
    Bytes payload = Bytes(160, 0x55);
    int mainType = 1;
    int32_t subType = kG711A;
    uint16_t sequenceNumber = 0;
    uint32_t timestamp = 0;
    bool marker = false;
    bool withFormat = true;
    Bytes header = Bytes(12, 0);  // what the header room holds before the stack writes it
};

class OutputStackTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_descriptors = OpenDescriptorCount();
        rtpPeer = std::make_unique<UdpPeer>();
        rtcpPeer = std::make_unique<UdpPeer>();
        module = std::make_unique<ZQMRTPStackModule>(ZQMID_RTPOut, "Output RTP stack");
        stack = static_cast<ZQMOutputRTPStack*>(module->GetStack());
        ASSERT_TRUE(ZQFConnectPins(upstream.Pin(), module->GetInputPin(0)));
        ASSERT_TRUE(module->EnableMediaType(kG711A));
        rtcpPort = FreePort(kLocalAddress);
        module->SetLocalIPAddress(kLocalAddress);
        module->SetLocalRTPPort("0");
        module->SetLocalRTCPPort(std::to_string(rtcpPort).c_str());
        module->SetRemoteRTPAddress(kPeerAddress);
        module->SetRemoteRTPPort(rtpPeer->PortText().c_str());
        module->SetRemoteRTCPAddress(kPeerAddress);
        module->SetRemoteRTCPPort(rtcpPeer->PortText().c_str());
        ZQCClock::UseManualTime(true, kStartMs);
        logs.Clear();
    }

    void TearDown() override
    {
        Stop();
        EXPECT_TRUE(upstream.Pin()->GetAllocator()->IsFull());
        ZQFDisconnectPins(upstream.Pin());
        module.reset();
        rtpPeer.reset();
        rtcpPeer.reset();
        ZQCClock::UseManualTime(false);
        EXPECT_EQ(OpenDescriptorCount(), m_descriptors);
    }

    void Start()
    {
        ASSERT_TRUE(module->OnEndFlush());
        module->SetRunning(true);
        ASSERT_TRUE(module->OnStart());
    }

    void Stop()
    {
        module->SetRunning(false);
        module->OnBeginFlush();
    }

    // A sample of the upstream pool laid out as an upstream module would:
    // 12 bytes of header room, then the payload.
    ZQFMediaSample* Prepare(const Frame& frame)
    {
        ZQFMediaSample* sample = upstream.Pin()->GetNewSample(1000);
        if (sample == nullptr) {
            ADD_FAILURE() << "no sample";
            return nullptr;
        }
        sample->SetDataWriteOffset(0);
        std::memcpy(sample->GetDataBuffer(), frame.header.data(), frame.header.size());
        std::memcpy(sample->GetDataBuffer() + 12, frame.payload.data(), frame.payload.size());
        sample->m_PayloadLength = static_cast<int>(frame.payload.size());
        sample->SetDataReadOffset(12);
        sample->GetMediaType()->SetMainType(frame.mainType);
        sample->GetMediaType()->SetSubType(frame.subType);
        if (frame.withFormat) {
            NKRMultiplexedPacketFormat format;
            format.sequenceNumber = frame.sequenceNumber;
            format.timestamp = frame.timestamp;
            format.marker = frame.marker ? 1 : 0;
            sample->AllocFormatBuffer(format, false);
        }
        return sample;
    }

    // Delivers the sample through the pins; the stack's answer.
    bool Deliver(ZQFMediaSample* sample)
    {
        if (sample == nullptr) {
            return false;
        }
        const bool taken = upstream.Pin()->Deliver(sample);
        if (!taken) {
            sample->Recycle();
        }
        return taken;
    }

    bool Send(const Frame& frame = Frame()) { return Deliver(Prepare(frame)); }

    // The sequence number of the next datagram at the RTP peer.
    uint16_t NextSequenceNumber()
    {
        const Bytes packet = rtpPeer->Receive().value_or(Bytes());
        return packet.size() >= 4 ? BigEndian::Read16(packet.data() + 2) : 0;
    }

    uint32_t Ssrc()
    {
        uint32_t ssrc = 0;
        EXPECT_TRUE(module->GetSourceIdentifier(0, ssrc));
        return ssrc;
    }

    // The sender report that the next sample sends once 5 s have passed.
    Bytes NextSenderReport()
    {
        ZQCClock::AdvanceManualTime(5000);
        EXPECT_TRUE(Send());
        return rtcpPeer->Receive().value_or(Bytes());
    }

    LogCapture logs;
    Upstream upstream;
    std::unique_ptr<UdpPeer> rtpPeer;
    std::unique_ptr<UdpPeer> rtcpPeer;
    std::unique_ptr<ZQMRTPStackModule> module;
    ZQMOutputRTPStack* stack = nullptr;
    int rtcpPort = 0;

private:
    size_t m_descriptors = 0;
};

inline uint32_t Word(const Bytes& bytes, size_t offset)
{
    return offset <= bytes.size() && bytes.size() - offset >= 4 ? BigEndian::Read32(bytes.data() + offset) : 0;
}

}  // namespace outputtest
