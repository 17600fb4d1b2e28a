#pragma once
// An "RTP in" module wired to a capture sink and driven by hand: datagrams
// are handed in through samples of the module's own pool, or sent over
// loopback to the ports picked at run time; the stack's lines are captured.
#include <gmock/gmock.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "inputrtpstack/zqminputrtpstack.h"
#include "loopback_fixture.h"
#include "zqfmediasample.h"
#include "zqmrtpsource.h"

namespace inputtest {

using namespace testsupport;
using ::testing::ElementsAre;

constexpr char kStackLogPath[] = "inputrtpstack\\zqminputrtpstack";
constexpr int32_t kVideoH264 = 0x10004;  // payload type 96
constexpr int32_t kFec = 0x800001;       // payload type 118
constexpr uint8_t kAudioPT = 8;
constexpr uint8_t kVideoPT = 96;
constexpr uint8_t kFecPT = 118;
constexpr uint32_t kSsrc = kPeerSsrc;

struct ReceivingModule {
    // The reordering window is set before the pins connect: the pool follows it.
    explicit ReceivingModule(uint16_t window = 0)
    {
        stack->SetLocalIPAddress("127.0.0.2");
        stack->SetRTPwindow(window);
        for (int32_t type : {kAudioPCMA, kVideoH264, kFec}) {
            EXPECT_TRUE(stack->EnableMediaType(type));
        }
        EXPECT_TRUE(ZQFConnectPins(module->GetOutputPin(0), sink->GetInputPin(0)));
    }
    ~ReceivingModule() { Stop(); }

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

    std::unique_ptr<ZQCaptureSink> sink = std::make_unique<ZQCaptureSink>();
    std::unique_ptr<ZQMRTPStackModule> module = std::make_unique<ZQMRTPStackModule>(ZQMID_RTPIn, "Input RTP stack");
    ZQMInputRTPStack* stack = static_cast<ZQMInputRTPStack*>(module->GetStack());
};

// A sender's RTP and RTCP sockets on consecutive ports of 127.0.0.1.
struct SenderPorts {
    std::unique_ptr<UdpPeer> rtp;
    std::unique_ptr<UdpPeer> rtcp;
};

inline SenderPorts BindConsecutivePorts()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        auto rtp = std::make_unique<UdpPeer>("127.0.0.1");
        auto rtcp = std::make_unique<UdpPeer>("127.0.0.1", rtp->Port() + 1);
        if (rtcp->IsBound()) {
            return {std::move(rtp), std::move(rtcp)};
        }
    }
    return {};
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

class InputStackTest : public LeakCheckedTest, protected ReceivingModule {
protected:
    explicit InputStackTest(uint16_t window = 0) : LeakCheckedTest(kStackLogPath), ReceivingModule(window) {}

    void TearDown() override
    {
        Stop();
        ExpectPoolFull(Pool(), "RTP in");
        LeakCheckedTest::TearDown();
    }

    // The stack on 127.0.0.2 with RTP and RTCP ports picked now; reports go
    // to `collector` on 127.0.0.1, `peer` sends.
    void UseLoopback()
    {
        rtpPort = FreePort("127.0.0.2");
        rtcpPort = FreePort("127.0.0.2");
        stack->SetLocalRTPPort(rtpPort.c_str());
        stack->SetLocalRTCPPort(rtcpPort.c_str());
        stack->SetRemoteRTPAddress("127.0.0.1");
        stack->SetRemoteRTCPAddress("127.0.0.1");
        stack->SetRemoteRTCPPort(collector.PortText().c_str());
    }

    void Send(const Bytes& datagram) { ASSERT_TRUE(peer.SendTo("127.0.0.2", rtpPort, datagram)); }

    // "<--RTPStack-->[port]" and the rest of a line.
    std::string Line(const std::string& text) const { return "<--RTPStack-->[" + rtpPort + "] " + text; }

    UdpPeer collector;
    UdpPeer peer;
    std::string rtpPort = "0";
    std::string rtcpPort;
};

}  // namespace inputtest
