// The stack's start and stop and its two threads over loopback: what OnStart
// opens, what the receiving loop drops, learns and survives, how it waits.
#include <chrono>
#include <ctime>
#include <functional>
#include <map>
#include <random>
#include <thread>

#include "inputrtpstack/rtpdatagramcheck.h"
#include "input_stack_fixture.h"
#include "zqmrtpsocket.h"

namespace inputtest {
namespace {

using Clock = std::chrono::steady_clock;

class ReceivingStack : public InputStackTest {
protected:
    void SetUp() override
    {
        InputStackTest::SetUp();
        UseLoopback();
    }

    bool SocketOpenOn(const std::string& port) const { return zqm::FindSharedRTPSocket(std::stoi(port)) != nullptr; }

    // Takes every free sample of the pool: the receiving loop then finds none.
    std::vector<ZQFMediaSample*> DrainPool()
    {
        std::vector<ZQFMediaSample*> taken;
        while (ZQFMediaSample* sample = module->GetOutputPin(0)->GetNewSample(0)) {
            taken.push_back(sample);
        }
        return taken;
    }

    static void GiveBack(const std::vector<ZQFMediaSample*>& samples)
    {
        for (ZQFMediaSample* sample : samples) {
            sample->Recycle();
        }
    }

    // Stops the stack and answers how long that took.
    std::chrono::milliseconds TimedStop()
    {
        const auto before = Clock::now();
        Stop();
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - before);
    }
};

TEST_F(ReceivingStack, StartsAndDeliversThenASecondStartFailsAndCleansUp)
{
    ASSERT_TRUE(Start());
    EXPECT_EQ(logs.Count(Line("Input RTP Stack started 127.0.0.2:" + rtpPort + "/" + rtcpPort +
                              " <==> 127.0.0.1:8000/" + collector->Port())),
              1);
    for (uint16_t seq = 1; seq <= 3; ++seq) {
        Send(Packet(seq));
    }
    ASSERT_TRUE(sink->WaitForPackets(3, kWaitMs));
    EXPECT_THAT(Delivered(), ElementsAre(1, 2, 3));

    EXPECT_FALSE(stack->OnStart());
    EXPECT_EQ(logs.Count(Line("OnStart failure input rtp socket already exists."), 2), 1);
    EXPECT_EQ(logs.Count("<--RTPStack-->Error throwed while starting input rtpStack.", 2), 1);
    EXPECT_FALSE(stack->IsThreadRunning());
    EXPECT_FALSE(SocketOpenOn(rtpPort));
    EXPECT_FALSE(SocketOpenOn(rtcpPort));
}

TEST_F(ReceivingStack, DataDisabledOpensTheSocketsWithoutAThread)
{
    stack->SetDataDisabled(1);
    ASSERT_TRUE(Start());
    EXPECT_EQ(logs.Count("<--RTPStack-->Data processing disabled (no receiving socket)", 0), 1);
    EXPECT_FALSE(stack->IsThreadRunning());
    EXPECT_TRUE(SocketOpenOn(rtpPort));
    EXPECT_TRUE(SocketOpenOn(rtcpPort));
}

TEST_F(ReceivingStack, ReportsGoWhereTheTrafficComesFromByDefault)
{
    stack->SetRemoteRTCPAddress("127.0.0.2");  // the local address: no RTCP socket at start
    ASSERT_TRUE(Start());
    EXPECT_FALSE(SocketOpenOn(rtcpPort));
    EXPECT_FALSE(stack->SendReceiverReport(false));
    Send(Packet(1));
    Send(Packet(2));  // processed once the first one's sender is learned
    ASSERT_TRUE(sink->WaitForPackets(2, kWaitMs));
    EXPECT_TRUE(stack->SendReceiverReport(false));  // arms
    EXPECT_TRUE(stack->SendReceiverReport(false));
    const Bytes report = collector->Receive();
    ASSERT_EQ(report.size() > 12, true);
    EXPECT_EQ(Read32(report, 8), kSsrc);
}

TEST_F(ReceivingStack, TwelveByteDatagramIsDroppedThirteenCarriesOneByte)
{
    ASSERT_TRUE(Start());
    RtpPacket bare;
    bare.payload.clear();
    bare.ssrc = 0xAAAA;
    Send(bare.Encode());
    RtpPacket oneByte;
    oneByte.payload = {0x7E};
    Send(oneByte.Encode());
    ASSERT_TRUE(sink->WaitForPackets(1, kWaitMs));
    const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].payload, Bytes({0x7E}));
    EXPECT_EQ(logs.CountContaining("New ssrc [43690"), 0);
}

TEST_F(ReceivingStack, WithoutAConnectedOutputPinTheThreadEnds)
{
    ZQFDisconnectPins(module->GetOutputPin(0));
    ASSERT_TRUE(Start());
    EXPECT_TRUE(logs.WaitFor(Line("EntryPoint failed to retreive output pin.")));
    EXPECT_TRUE(stack->StopThread(kWaitMs, 1));
    EXPECT_EQ(stack->GetExitCode(), 0);
}

TEST_F(ReceivingStack, IdleThreadBlocksInItsWaitAndStopCutsItShort)
{
    ASSERT_TRUE(Start());
    Send(Packet(1));
    ASSERT_TRUE(sink->WaitForPackets(1, kWaitMs));
    const std::clock_t cpuBefore = std::clock();
    std::this_thread::sleep_for(std::chrono::seconds(1));  // the quiet period measured
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    EXPECT_LT(cpuMs, 50.0) << "the idle receiving thread uses CPU";
    EXPECT_LT(TimedStop().count(), 1000);
    EXPECT_FALSE(stack->IsThreadRunning());
}

TEST_F(ReceivingStack, StopWakesTheThreadWaitingForASample)
{
    const std::vector<ZQFMediaSample*> taken = DrainPool();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(logs.WaitFor("Failed to get new sample from outputPin, we will loose packets (consecutive failures=0)"));
    EXPECT_LT(TimedStop().count(), 400);  // less than the 500 ms the thread waits for a sample
    EXPECT_FALSE(stack->IsThreadRunning());
    GiveBack(taken);
}

TEST_F(ReceivingStack, DryPoolIsLoggedOnceEveryFiftyFailures)
{
    const std::vector<ZQFMediaSample*> taken = DrainPool();
    ASSERT_TRUE(Start());
    // Each flush wakes the waiting thread without a sample: one failure.
    const std::string fiftieth = "Failed to get new sample from outputPin, we will loose packets (consecutive failures=50)";
    const auto deadline = Clock::now() + std::chrono::seconds(30);
    while (logs.Count(fiftieth, 1) == 0 && Clock::now() < deadline) {
        if (Pool()->GetWaiterCount() > 0) {
            Pool()->BeginFlush(true);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    EXPECT_EQ(logs.CountContaining("Failed to get new sample from outputPin"), 2);
    GiveBack(taken);
    Send(Packet(1));  // samples again: reception goes on
    EXPECT_TRUE(sink->WaitForPackets(1, kWaitMs));
}

TEST_F(ReceivingStack, RefusingDownstreamLosesNoSample)
{
    sink->SetRefuse(true);
    ASSERT_TRUE(Start());
    for (uint16_t seq = 1; seq <= 40; ++seq) {
        Send(Packet(seq));
    }
    ASSERT_TRUE(logs.WaitFor(Line("******Failed to deliver sample (sequenceNumber : 40)******")));
    sink->SetRefuse(false);
    Send(Packet(41));
    ASSERT_TRUE(sink->WaitForPackets(1, kWaitMs));
    // Forty refusals: the loop's line once every ten, wherever its counter stood.
    EXPECT_EQ(
        logs.Count("[127.0.0.2 : " + rtpPort + "] Input RTP Stack Module failed processing sample ! Recycling it.", 2),
        4);
}

TEST_F(ReceivingStack, FloodOfForeignDatagramsIsSurvivedAndLoggedSparingly)
{
    ASSERT_TRUE(Start());
    std::mt19937 random(20240607);
    std::map<rtp::DatagramFault, int> faults;
    uint64_t deliveries = 0;
    uint16_t syncSeq = 0;
    // Each batch ends with a packet of ours, awaited: the socket buffer never
    // overflows and the batch is known to be processed.
    const auto sendBatch = [&](const std::function<Bytes(int)>& make) {
        for (int i = 0; i < 30; ++i) {
            const Bytes datagram = make(i);
            if (datagram.size() > 12) {
                const rtp::DatagramFault fault = rtp::CheckReceivedDatagram(datagram.data(), datagram.size()).fault;
                fault == rtp::DatagramFault::None ? ++deliveries : ++faults[fault];
            }
            Send(datagram);
        }
        Send(Packet(++syncSeq));
        ASSERT_TRUE(sink->WaitForPackets(++deliveries, kWaitMs));
    };
    const auto variant = [](auto change) {
        return [change](int i) {
            RtpPacket packet;
            change(packet, i);
            Bytes bytes = packet.Encode();
            if (packet.csrcCount != 0) {
                bytes.resize(16);  // too short for its CSRC list
            } else if (packet.paddingCount != 0) {
                bytes.back() = 0xFF;  // padding beyond the payload
            }
            return bytes;
        };
    };
    // Versions 0, 3, 1, 3, ...
    sendBatch(variant([](RtpPacket& p, int i) { p.version = static_cast<uint8_t>(i % 2 ? 3 : i % 4 / 2); }));
    sendBatch(variant([](RtpPacket& p, int) { p.extension = true; }));
    sendBatch(variant([](RtpPacket& p, int i) { p.payloadType = static_cast<uint8_t>(72 + i % 2); }));
    sendBatch(variant([](RtpPacket& p, int) { p.csrcCount = 15; }));
    sendBatch(variant([](RtpPacket& p, int) { p.paddingCount = 1; }));
    sendBatch([](int i) { return Bytes(static_cast<size_t>(i % 13), 0x80); });  // 0 to 12 bytes
    sendBatch([&](int) {
        Bytes bytes(13 + random() % 300);
        std::generate(bytes.begin(), bytes.end(), [&] { return static_cast<uint8_t>(random()); });
        return bytes;
    });
    const std::map<rtp::DatagramFault, std::string> lines = {
        {rtp::DatagramFault::Version, "wrong version in rtp header."},
        {rtp::DatagramFault::Extension, "wrong extension in rtp header."},
        {rtp::DatagramFault::PayloadType, "invalid payload type."},
        {rtp::DatagramFault::HeaderLength, "rtp datagram shorter than its header."},
        {rtp::DatagramFault::Padding, "invalid padding in rtp packet."},
    };
    for (const auto& [fault, text] : lines) {
        const int written = logs.Count(Line("OnProcessMediaSample failure in input stack : " + text), 1);
        EXPECT_GE(written, faults[fault] / 10) << text;
        EXPECT_LE(written, (faults[fault] + 9) / 10) << text;
    }
}

TEST_F(ReceivingStack, EndOfFlushAnnouncesPayloadSupportAndMakesTheRtcpThread)
{
    const int threads = module->GetThreadCount();
    module->SetRTCPEnabled(0);
    EXPECT_TRUE(stack->OnEndFlush());
    EXPECT_EQ(module->GetThreadCount(), threads);
    module->SetRTCPEnabled(1);
    EXPECT_TRUE(stack->OnEndFlush());
    EXPECT_EQ(module->GetThreadCount(), threads + 1);
    const std::vector<ZQFNotifyInfo> notes = sink->GetNotifications();
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back().code, NOTIFY_SUPPORT_PAYLOAD);
    EXPECT_EQ(notes.back().param, 1);
    EXPECT_EQ(notes.back().sender, module.get());
}

TEST_F(ReceivingStack, ByeIsLoggedAndReceptionGoesOn)
{
    ASSERT_TRUE(Start());
    Send(Packet(1));
    ASSERT_TRUE(sink->WaitForPackets(1, kWaitMs));
    // An empty receiver report and a BYE for the source, to the RTCP port.
    ASSERT_TRUE(peer->SendTo({0x80, 201, 0, 1, 0, 0, 0, 9, 0x81, 203, 0, 1, 0x11, 0x22, 0x33, 0x44}, "127.0.0.2",
                             rtcpPort));
    EXPECT_TRUE(logs.WaitFor(Line("RemoveSource called (probably a RTCP BYE packet has been received).")));
    Send(Packet(2));
    ASSERT_TRUE(sink->WaitForPackets(2, kWaitMs));
    uint32_t ssrc = 0;
    EXPECT_TRUE(stack->GetSourceIdentifier(0, ssrc));
    EXPECT_EQ(ssrc, kSsrc);
}

}  // namespace
}  // namespace inputtest
