#pragma once
// A sending stack inside its "RTP out" module on 127.0.0.2, fed by a test
// upstream module, with UDP peers on 127.0.0.1 as the far end, on manual time.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "loopback_fixture.h"
#include "manual_time.h"
#include "outputrtpstack/zqmoutputrtpstack.h"
#include "zqfformat.h"
#include "zqfmediasample.h"
#include "zqmbyteio.h"
#include "zqmrtpsource.h"

namespace outputtest {

using namespace testsupport;

constexpr const char* kPath = "outputrtpstack\\zqmoutputrtpstack";
constexpr const char* kLocalAddress = "127.0.0.2";
constexpr const char* kPeerAddress = "127.0.0.1";
constexpr uint32_t kStartMs = 100000;
constexpr ZQFID kUpstreamId{0x77000001, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

// Feeds the module's input pin and records what comes back upstream.
class Upstream : public ZQFModule {
public:
    Upstream() : ZQFModule(kUpstreamId, "upstream") { AddPin(new ZQFPinOutAuto(this, "out", 0)); }

    bool OnReverseNotify(ZQFNotifyInfo* info) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_notifications.push_back(*info);
        return true;
    }
    std::vector<ZQFNotifyInfo> Notifications()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_notifications;
    }
    ZQFPinOut* Pin() { return GetOutputPin(0); }

private:
    std::mutex m_mutex;
    std::vector<ZQFNotifyInfo> m_notifications;
};

struct Frame {
    Bytes payload = Bytes(160, 0x55);
    int mainType = 1;
    int32_t subType = kAudioPCMA;
    uint16_t sequenceNumber = 0;
    uint32_t timestamp = 0;
    bool marker = false;
    bool withFormat = true;
    Bytes header = Bytes(12, 0);  // what the header room holds before the stack writes it
};

class OutputStackTest : public LeakCheckedTest {
protected:
    void SetUp() override
    {
        LeakCheckedTest::SetUp();
        ASSERT_TRUE(ZQFConnectPins(upstream.Pin(), module->GetInputPin(0)));
        EXPECT_TRUE(SetNetwork(module.get(), kLocalAddress, "0", rtcpPort, kPeerAddress, rtpPeer.PortText(), rtcpPeer.PortText()));
        logs.Clear();
    }

    void TearDown() override
    {
        Stop();
        ExpectPoolFull(upstream.Pin()->GetAllocator(), "upstream");
        ZQFDisconnectPins(upstream.Pin());
        LeakCheckedTest::TearDown();
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
        const bool taken = sample != nullptr && upstream.Pin()->Deliver(sample);
        if (sample != nullptr && !taken) {
            sample->Recycle();
        }
        return taken;
    }

    bool Send(const Frame& frame = Frame()) { return Deliver(Prepare(frame)); }

    // The sequence number of the next datagram at the RTP peer.
    uint16_t NextSequenceNumber()
    {
        const Bytes packet = rtpPeer.Receive();
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
        return rtcpPeer.Receive();
    }

    ManualTime manualTime{kStartMs};
    Upstream upstream;
    UdpPeer rtpPeer{kPeerAddress};
    UdpPeer rtcpPeer{kPeerAddress};
    std::string rtcpPort = FreePort(kLocalAddress);
    std::unique_ptr<ZQMRTPStackModule> module = std::make_unique<ZQMRTPStackModule>(ZQMID_RTPOut, "Output RTP stack");
    ZQMOutputRTPStack* stack = static_cast<ZQMOutputRTPStack*>(module->GetStack());
};

}  // namespace outputtest
