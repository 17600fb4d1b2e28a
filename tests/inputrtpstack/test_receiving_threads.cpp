// The stack's start and stop and its two threads, over loopback sockets:
// what OnStart opens, what the receiving loop drops, learns and survives,
// how it waits, and the RTCP listening thread.
#include <cstdio>
#include <ctime>
#include <functional>
#include <map>
#include <random>

#include "inputrtpstack/rtpdatagramcheck.h"
#include "input_stack_fixture.h"
#include "zqcthread.h"
#include "zqmrtpsocket.h"

namespace inputtest {
namespace {

using ::testing::ElementsAre;

class ReceivingStack : public InputStackTest {
protected:
    void SetUp() override
    {
        InputStackTest::SetUp();
        sender = std::make_unique<TestSocket>("127.0.0.1");
        collector = std::make_unique<TestSocket>("127.0.0.1");
        UseLoopback(collector->Port());
    }

    void TearDown() override
    {
        Stop();
        sender.reset();
        collector.reset();
        InputStackTest::TearDown();
    }

    void Send(const std::vector<uint8_t>& datagram) { ASSERT_TRUE(sender->SendTo(datagram, "127.0.0.2", rtpPort)); }
    void SendRTCP(const std::vector<uint8_t>& datagram)
    {
        ASSERT_TRUE(sender->SendTo(datagram, "127.0.0.2", rtcpPort));
    }

    std::string Port(const char* format) const
    {
        char line[256];
        std::snprintf(line, sizeof line, format, rtpPort.c_str());
        return line;
    }

    static double ProcessCpuMs()
    {
        timespec now{};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
        return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
    }

    static double SteadyMs()
    {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
    }

    // Takes every free sample of the pool (the receiving loop then finds none).
    std::vector<ZQFMediaSample*> DrainPool()
    {
        std::vector<ZQFMediaSample*> taken;
        while (ZQFMediaSample* sample = module->GetOutputPin(0)->GetNewSample(0)) {
            taken.push_back(sample);
        }
        return taken;
    }

    std::unique_ptr<TestSocket> sender;
    std::unique_ptr<TestSocket> collector;
};

TEST_F(ReceivingStack, DeliversWhatArrivesInOrder)
{
    ASSERT_TRUE(Start());
    EXPECT_EQ(logs.Count(Port("<--RTPStack-->[%s] Input RTP Stack started 127.0.0.2:") + rtpPort + "/" + rtcpPort +
                         " <==> 127.0.0.1:8000/" + collector->Port()),
              1);
    for (uint16_t seq = 1; seq <= 5; ++seq) {
        Send(Packet(seq));
    }
    ASSERT_TRUE(sink->WaitForPackets(5, kWaitMs));
    EXPECT_THAT(Delivered(), ElementsAre(1, 2, 3, 4, 5));
}

TEST_F(ReceivingStack, StartingTwiceFailsAndLeavesTheStackCleanedUp)
{
    ASSERT_TRUE(Start());
    EXPECT_TRUE(stack->IsThreadRunning());
    EXPECT_FALSE(stack->OnStart());
    EXPECT_EQ(logs.Count(Port("<--RTPStack-->[%s] OnStart failure input rtp socket already exists."), 2), 1);
    EXPECT_EQ(logs.Count("<--RTPStack-->Error throwed while starting input rtpStack.", 2), 1);
    EXPECT_EQ(logs.Count("ZQMInputRTPStack::destroy socket on [127.0.0.2 : " + rtpPort + "]", 0), 1);
    EXPECT_FALSE(stack->IsThreadRunning());
    EXPECT_EQ(zqm::FindSharedRTPSocket(std::stoi(rtpPort)), nullptr);
    EXPECT_EQ(zqm::FindSharedRTPSocket(std::stoi(rtcpPort)), nullptr);
}

TEST_F(ReceivingStack, InvalidRemoteAddressFailsTheStart)
{
    stack->SetRemoteRTPAddress("not an address");
    EXPECT_FALSE(Start());
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] OnStart failure in input rtp stack: invalid network parameters", 2), 1);
    EXPECT_EQ(zqm::FindSharedRTPSocket(std::stoi(rtpPort)), nullptr);
}

TEST_F(ReceivingStack, DataDisabledOpensTheSocketsButReceivesNothing)
{
    stack->SetDataDisabled(1);
    ASSERT_TRUE(Start());
    EXPECT_EQ(logs.Count("<--RTPStack-->Data processing disabled (no receiving socket)", 0), 1);
    EXPECT_FALSE(stack->IsThreadRunning());
    EXPECT_NE(zqm::FindSharedRTPSocket(std::stoi(rtpPort)), nullptr);
    EXPECT_NE(zqm::FindSharedRTPSocket(std::stoi(rtcpPort)), nullptr);
}

TEST_F(ReceivingStack, ReportsGoWhereTheTrafficComesFromByDefault)
{
    // Remote RTCP address equal to the local one: no RTCP socket at start.
    stack->SetRemoteRTCPAddress("127.0.0.2");
    ASSERT_TRUE(Start());
    EXPECT_EQ(zqm::FindSharedRTPSocket(std::stoi(rtcpPort)), nullptr);
    EXPECT_FALSE(stack->SendReceiverReport(false));
    Send(Packet(1));
    Send(Packet(2));
    // The second packet is processed after the first one's destination was learned.
    ASSERT_TRUE(sink->WaitForPackets(2, kWaitMs));
    EXPECT_TRUE(stack->SendReceiverReport(false));  // arms
    EXPECT_TRUE(stack->SendReceiverReport(false));
    const std::vector<uint8_t> report = collector->Receive();
    ASSERT_FALSE(report.empty());
    EXPECT_EQ(report[1], 201);
    EXPECT_EQ(Read32(report, 8), kSsrc);
}

TEST_F(ReceivingStack, TwelveByteDatagramIsDroppedThirteenCarriesOneByte)
{
    ASSERT_TRUE(Start());
    RtpPacket bare;
    bare.payload.clear();
    bare.ssrc = 0xAAAA;
    Send(bare.Bytes());
    RtpPacket oneByte;
    oneByte.payload = {0x7E};
    Send(oneByte.Bytes());
    ASSERT_TRUE(sink->WaitForPackets(1, kWaitMs));
    const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].ssrc, kSsrc);
    EXPECT_EQ(packets[0].payload, std::vector<uint8_t>({0x7E}));
    EXPECT_EQ(logs.CountContaining("New ssrc [43690"), 0);
}

TEST_F(ReceivingStack, WithoutAConnectedOutputPinTheThreadEnds)
{
    ZQFDisconnectPins(module->GetOutputPin(0));
    ASSERT_TRUE(Start());
    EXPECT_TRUE(logs.WaitFor(Port("<--RTPStack-->[%s] EntryPoint failed to retreive output pin.")));
    EXPECT_TRUE(stack->StopThread(kWaitMs, 1));
    EXPECT_EQ(stack->GetExitCode(), 0);
}

TEST_F(ReceivingStack, IdleThreadWaitsWithoutSpinning)
{
    ASSERT_TRUE(Start());
    Send(Packet(1));
    ASSERT_TRUE(sink->WaitForPackets(1, kWaitMs));
    const double cpuBefore = ProcessCpuMs();
    const double wallBefore = SteadyMs();
    ZQCThread::Sleep(1000);  // the quiet period being measured
    const double cpuMs = ProcessCpuMs() - cpuBefore;
    const double wallMs = SteadyMs() - wallBefore;
    EXPECT_LT(cpuMs, wallMs * 0.05) << "the idle receiving thread uses CPU";
    EXPECT_TRUE(stack->IsThreadRunning());
}

TEST_F(ReceivingStack, StopCutsTheReceiveWaitShort)
{
    ASSERT_TRUE(Start());
    Send(Packet(1));
    ASSERT_TRUE(sink->WaitForPackets(1, kWaitMs));
    const double before = SteadyMs();
    Stop();
    EXPECT_LT(SteadyMs() - before, 1000.0);
    EXPECT_FALSE(stack->IsThreadRunning());
}

TEST_F(ReceivingStack, StopWakesTheThreadWaitingForASample)
{
    std::vector<ZQFMediaSample*> taken = DrainPool();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(logs.WaitFor(
        "Failed to get new sample from outputPin, we will loose packets (consecutive failures=0)"));
    const double before = SteadyMs();
    Stop();
    EXPECT_LT(SteadyMs() - before, 1000.0);
    EXPECT_FALSE(stack->IsThreadRunning());
    for (ZQFMediaSample* sample : taken) {
        sample->Recycle();
    }
}

TEST_F(ReceivingStack, DryPoolIsLoggedOnceEveryFiftyFailures)
{
    std::vector<ZQFMediaSample*> taken = DrainPool();
    ZQFAllocator* pool = Pool();
    ASSERT_TRUE(Start());
    // Each flush wakes the waiting thread with no sample: one failure.
    const std::string fiftieth =
        "Failed to get new sample from outputPin, we will loose packets (consecutive failures=50)";
    const double deadline = SteadyMs() + 30000;
    while (logs.Count(fiftieth) == 0 && SteadyMs() < deadline) {
        if (pool->GetWaiterCount() > 0) {
            pool->BeginFlush(true);
        }
        ZQCThread::Sleep(1);
    }
    EXPECT_EQ(logs.Count(fiftieth, 1), 1);
    EXPECT_EQ(logs.CountContaining("Failed to get new sample from outputPin"), 2);
    for (ZQFMediaSample* sample : taken) {
        sample->Recycle();
    }
    // Samples again: reception goes on.
    Send(Packet(1));
    EXPECT_TRUE(sink->WaitForPackets(1, kWaitMs));
}

TEST_F(ReceivingStack, RefusingDownstreamLosesNoSample)
{
    sink->SetRefuse(true);
    ASSERT_TRUE(Start());
    for (uint16_t seq = 1; seq <= 40; ++seq) {
        Send(Packet(seq));
    }
    ASSERT_TRUE(logs.WaitFor(Port("<--RTPStack-->[%s] ******Failed to deliver sample (sequenceNumber : 40)******")));
    sink->SetRefuse(false);
    Send(Packet(41));
    ASSERT_TRUE(sink->WaitForPackets(1, kWaitMs));
    EXPECT_THAT(Delivered(), ElementsAre(41));
    // Forty refusals: the loop's own line once every ten, whatever the
    // process-wide counter stood at.
    EXPECT_EQ(logs.Count("[127.0.0.2 : " + rtpPort + "] Input RTP Stack Module failed processing sample ! Recycling it.",
                         2),
              4);
}

TEST_F(ReceivingStack, FloodOfForeignDatagramsIsSurvivedAndLoggedSparingly)
{
    ASSERT_TRUE(Start());
    std::mt19937 random(20240607);
    std::map<rtp::DatagramFault, int> faults;
    uint64_t expectedDeliveries = 0;
    uint16_t syncSeq = 0;
    // Each batch ends with a packet of ours, awaited: nothing overflows the
    // socket buffer and the batch is known to be processed.
    const auto sendBatch = [&](const std::function<std::vector<uint8_t>(int)>& make) {
        for (int i = 0; i < 30; ++i) {
            const std::vector<uint8_t> datagram = make(i);
            if (datagram.size() > 12) {
                const rtp::ReceivedDatagram check = rtp::CheckReceivedDatagram(datagram.data(), datagram.size());
                check.fault == rtp::DatagramFault::None ? ++expectedDeliveries : ++faults[check.fault];
            }
            Send(datagram);
        }
        Send(Packet(++syncSeq));
        ++expectedDeliveries;
        ASSERT_TRUE(sink->WaitForPackets(expectedDeliveries, kWaitMs));
    };
    sendBatch([](int i) {
        RtpPacket packet;
        packet.version = static_cast<uint8_t>(i % 2 == 0 ? 0 : (i % 3 == 0 ? 1 : 3));
        return packet.Bytes();
    });
    sendBatch([](int) {
        RtpPacket packet;
        packet.extension = true;
        return packet.Bytes();
    });
    sendBatch([](int i) {
        RtpPacket packet;
        packet.payloadType = static_cast<uint8_t>(72 + i % 2);
        return packet.Bytes();
    });
    sendBatch([](int i) { return std::vector<uint8_t>(static_cast<size_t>(i % 13), 0x80); });  // up to 12 bytes
    sendBatch([](int) {
        RtpPacket packet;
        packet.csrcCount = 15;
        std::vector<uint8_t> bytes = packet.Bytes();
        bytes.resize(16);  // too short for its 60 bytes of CSRC
        return bytes;
    });
    sendBatch([](int) {
        std::vector<uint8_t> bytes = Packet(1);
        bytes[0] |= 0x20;
        bytes.back() = 0xFF;  // padding beyond the payload
        return bytes;
    });
    sendBatch([&](int) {
        std::vector<uint8_t> bytes(13 + random() % 300);
        for (uint8_t& byte : bytes) {
            byte = static_cast<uint8_t>(random());
        }
        return bytes;
    });
    const std::map<rtp::DatagramFault, const char*> lines = {
        {rtp::DatagramFault::Version, "wrong version in rtp header."},
        {rtp::DatagramFault::Extension, "wrong extension in rtp header."},
        {rtp::DatagramFault::PayloadType, "invalid payload type."},
        {rtp::DatagramFault::HeaderLength, "rtp datagram shorter than its header."},
        {rtp::DatagramFault::Padding, "invalid padding in rtp packet."},
    };
    for (const auto& [fault, text] : lines) {
        const int count = faults[fault];
        const int written = logs.Count(Port("<--RTPStack-->[%s] OnProcessMediaSample failure in input stack : ") + text,
                                       1);
        EXPECT_GE(written, count / 10) << text;
        EXPECT_LE(written, (count + 9) / 10) << text;
    }
    Stop();
    EXPECT_TRUE(Pool()->IsFull());
}

TEST_F(ReceivingStack, EndOfFlushAnnouncesPayloadSupportAndMakesTheRtcpThread)
{
    const int threadsBefore = module->GetThreadCount();
    EXPECT_TRUE(stack->OnEndFlush());
    EXPECT_EQ(module->GetThreadCount(), threadsBefore + 1);
    const std::vector<ZQFNotifyInfo> notes = sink->GetNotifications();
    ASSERT_FALSE(notes.empty());
    EXPECT_EQ(notes.back().code, NOTIFY_SUPPORT_PAYLOAD);
    EXPECT_EQ(notes.back().param, 1);
    EXPECT_EQ(notes.back().sender, module.get());
}

TEST_F(ReceivingStack, RtcpSwitchOffMakesNoListeningThread)
{
    module->SetRTCPEnabled(0);
    const int threadsBefore = module->GetThreadCount();
    EXPECT_TRUE(stack->OnEndFlush());
    EXPECT_EQ(module->GetThreadCount(), threadsBefore);
}

TEST_F(ReceivingStack, ByeIsLoggedAndReceptionGoesOn)
{
    ASSERT_TRUE(Start());
    Send(Packet(1));
    ASSERT_TRUE(sink->WaitForPackets(1, kWaitMs));
    // An empty receiver report and a BYE for the source.
    SendRTCP({0x80, 201, 0, 1, 0, 0, 0, 9, 0x81, 203, 0, 1, 0x11, 0x22, 0x33, 0x44});
    EXPECT_TRUE(logs.WaitFor(
        Port("<--RTPStack-->[%s] RemoveSource called (probably a RTCP BYE packet has been received).")));
    Send(Packet(2));
    ASSERT_TRUE(sink->WaitForPackets(2, kWaitMs));
    uint32_t ssrc = 0;
    EXPECT_TRUE(stack->GetSourceIdentifier(0, ssrc));
    EXPECT_EQ(ssrc, kSsrc);
}

TEST_F(ReceivingStack, ShortRtcpDatagramIsLogged)
{
    ASSERT_TRUE(Start());
    SendRTCP({0x80, 201, 0});
    EXPECT_TRUE(logs.WaitFor(
        Port("<--RTPStack-->[%s] RTCPEntryPoint failed to receive a correct rtcp packet on input rtcp socket.")));
}

}  // namespace
}  // namespace inputtest
