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
#include "manual_time.h"
#include "zqcsocket.h"
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

// A port nobody held a moment ago on `address`, of either family.
inline std::string FreePortOn(const char* address)
{
    ZQCSocket probe;
    EXPECT_TRUE(probe.CreateSocket(ZQCSocket::kDatagram, address) == 0 &&
                probe.Bind(ZQCSocket::kDatagram, address, "0") == 0)
        << address;
    return std::to_string(probe.GetBoundPort());
}

constexpr uint32_t kReportPeriodMs = 5000;
// 2 s of 5 ms frames: the reports need a few of them after each step of the
// clock; the rest is margin for a loaded machine.
constexpr int64_t kPairFrames = 400;

// Both stacks in one graph, RTCP both ways, for a test on manual time (the
// report timers run when it says):
//   ZQStockSource -> RTP out (outBind) ~~> RTP in (inAddress) -> capture sink
// the receiver's remote being `outAddress`.
struct StreamPair {
    StreamPair(const char* outBind, const char* outAddress, const char* inAddress)
        : inRtp(FreePortOn(inAddress)), inRtcp(FreePortOn(inAddress)), outRtcp(FreePortOn(outBind))
    {
        ZQStockSourceConfig config = PacedSource(5);
        config.maxFrames = kPairFrames;
        source = new ZQStockSource(config);
        source->SetKeepFrames(true);
        sink->SetKeepLimit(kPairFrames);
        for (ZQIModule* module : std::initializer_list<ZQIModule*>{source, rtpOut, rtpIn, sink}) {
            graph.AddModule(module);
        }
        EXPECT_TRUE(SetNetwork(rtpOut, outBind, "0", outRtcp, inAddress, inRtp, inRtcp));
        EXPECT_TRUE(SetNetwork(rtpIn, inAddress, inRtp, inRtcp, outAddress, "0", outRtcp));
        connected = graph.Connect(source, 0, rtpOut, 0) && graph.Connect(rtpIn, 0, sink, 0) &&
                    rtpOut->GetSourceIdentifier(0, ssrc);
    }

    bool Started() { return connected && graph.Start() && sink->WaitForPackets(20, kWaitMs); }

    // The sender's figures (local) or the receiver's (remote) of the stream:
    // packets sent, or those of the last SR heard; the loss reported to the
    // sender; the RRs heard.
    struct Figures {
        uint32_t packets = 0, fraction = 0, cumulative = 0, reports = 0;
    };
    Figures Of(bool local) const
    {
        Figures f;
        (local ? rtpOut : rtpIn)
            ->GetStatistics(ssrc, local, nullptr, nullptr, &f.packets, nullptr, &f.fraction, &f.cumulative, nullptr,
                            &f.reports, nullptr);
        return f;
    }

    // One report period: the sender's next packet brings an SR, the
    // receiver's next datagram an RR; the one after echoes the SR it read.
    void ExchangeReports() const
    {
        ZQCClock::AdvanceManualTime(kReportPeriodMs);
        EXPECT_TRUE(WaitUntil([&] { return Of(false).packets > 0; })) << "no SR at the receiver";
        EXPECT_TRUE(WaitUntil([&] { return Of(true).reports > 0; })) << "no RR at the sender";
        ZQCClock::AdvanceManualTime(kReportPeriodMs);
        EXPECT_TRUE(WaitUntil([&] {
            zqm::SourceListsLock lock;
            const ZQMRTPSource* local = zqm::FindListedSource(ssrc, true);
            return local != nullptr && local->m_lsr.load() != 0;
        })) << "no RR echoed the SR";
    }

    // Every frame came out once, as produced (nothing else was taken for
    // media), and both stacks' figures say so.
    void ExpectWholeStreamDelivered() const
    {
        ASSERT_TRUE(source->WaitFinished(60000));
        ASSERT_TRUE(sink->WaitForPackets(kPairFrames, kWaitMs));
        const std::vector<Bytes> frames = source->GetProducedFrames();
        const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
        ASSERT_EQ(packets.size(), frames.size());
        for (size_t i = 0; i < packets.size(); ++i) {
            EXPECT_EQ(packets[i].payload, frames[i]) << "frame " << i;
        }
        const Figures sender = Of(true);
        EXPECT_EQ(sender.packets, static_cast<uint32_t>(kPairFrames));
        EXPECT_EQ(sender.fraction, 0u);
        EXPECT_EQ(sender.cumulative, 0u);
        uint32_t received = 0, expected = 0, lateOrDuplicate = 0;
        int32_t lost = -1;
        ASSERT_TRUE(rtpIn->GetReceptionStatistics(ssrc, false, &received, nullptr, &expected, &lost, &lateOrDuplicate,
                                                  nullptr));
        EXPECT_EQ(received, sender.packets);
        EXPECT_EQ(expected, sender.packets);
        EXPECT_EQ(lost, 0);
        EXPECT_EQ(lateOrDuplicate, 0u);
    }

    ZQFGraph graph;
    ZQStockSource* source = nullptr;
    ZQMRTPStackModule* rtpOut = new ZQMRTPStackModule(ZQMID_RTPOut, "Output RTP stack");
    ZQMRTPStackModule* rtpIn = new ZQMRTPStackModule(ZQMID_RTPIn, "Input RTP stack");
    ZQCaptureSink* sink = new ZQCaptureSink();
    const std::string inRtp;
    const std::string inRtcp;
    const std::string outRtcp;
    uint32_t ssrc = 0;
    bool connected = false;
};

class StreamPairTest : public LeakCheckedTest {
protected:
    // Stopped with every sample back, no collision (the receiver taking the
    // sender for a stranger) and no error but the expected ones.
    void ExpectCleanEnd(StreamPair& pair)
    {
        pair.graph.Stop();
        ExpectPoolsFull(pair.graph);
        EXPECT_EQ(logs.CountContaining("Collision detected"), 0);
        EXPECT_THAT(logs.UnexpectedErrors({"Success to bind socket", "SetRecvBufferSize["}), ::testing::IsEmpty());
    }

    ManualTime manualTime{100000};
};

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

    // Sends packets `seqs` from `from` to the RTP port; true once delivered.
    bool Deliver(UdpPeer& from, std::initializer_list<uint16_t> seqs)
    {
        const uint64_t before = sink->GetPacketCount();
        for (uint16_t seq : seqs) {
            if (!from.SendTo("127.0.0.2", rtpPort, Packet(seq))) {
                return false;
            }
        }
        return sink->WaitForPackets(before + seqs.size(), kWaitMs);
    }

    // A sender on consecutive ports whose packets 1 and 2 were delivered (the
    // second is processed once the first one's sender is learned); empty
    // when that failed.
    SenderPorts LearnedSender()
    {
        SenderPorts sender = BindConsecutivePorts();
        return sender.rtcp && Deliver(*sender.rtp, {1, 2}) ? std::move(sender) : SenderPorts{};
    }

    // "<--RTPStack-->[port]" and the rest of a line.
    std::string Line(const std::string& text) const { return "<--RTPStack-->[" + rtpPort + "] " + text; }

    UdpPeer collector;
    UdpPeer peer;
    std::string rtpPort = "0";
    std::string rtcpPort;
};

}  // namespace inputtest
