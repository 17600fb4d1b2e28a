// The stack's start and stop and its two threads over loopback: what OnStart
// opens, what the receiving loop drops, learns and survives, how it waits.
#include "input_stack_fixture.h"
#include "zqmrtpsocket.h"

namespace inputtest {
namespace {

class ReceivingStack : public InputStackTest {
protected:
    void SetUp() override
    {
        InputStackTest::SetUp();
        UseLoopback();
    }

    bool SocketOpenOn(const std::string& port) const { return zqm::FindSharedRTPSocket(std::stoi(port)) != nullptr; }
};

TEST_F(ReceivingStack, StartsAndDeliversThenASecondStartFailsAndCleansUp)
{
    ASSERT_TRUE(Start());
    EXPECT_EQ(logs.CountText(Line("Input RTP Stack started 127.0.0.2:" + rtpPort + "/" + rtcpPort +
                              " <==> 127.0.0.1:8000/" + collector.PortText())),
              1);
    ASSERT_TRUE(Deliver(peer, {1, 2, 3}));
    EXPECT_THAT(Delivered(), ElementsAre(1, 2, 3));

    EXPECT_FALSE(stack->OnStart());
    EXPECT_EQ(logs.CountText(Line("OnStart failure input rtp socket already exists."), 2), 1);
    EXPECT_EQ(logs.CountText("<--RTPStack-->Error throwed while starting input rtpStack.", 2), 1);
    EXPECT_FALSE(stack->IsThreadRunning());
    EXPECT_FALSE(SocketOpenOn(rtpPort));
    EXPECT_FALSE(SocketOpenOn(rtcpPort));
}

TEST_F(ReceivingStack, RemoteEndpointOfItsOwnOpensNoRTCPAndReportsGoToTheRTPSourcePortPlusOne)
{
    stack->SetRemoteRTCPAddress("127.0.0.2");
    stack->SetRemoteRTCPPort(rtcpPort.c_str());
    ASSERT_TRUE(Start());
    EXPECT_FALSE(SocketOpenOn(rtcpPort));
    EXPECT_FALSE(stack->SendReceiverReport(false));
    const SenderPorts sender = LearnedSender();
    ASSERT_TRUE(sender.rtcp);
    EXPECT_TRUE(stack->SendReceiverReport(false));
    EXPECT_EQ(Word(sender.rtcp->Receive(), 8), kSsrc);
}

// Without a remote RTCP address RTCP is opened; reports follow the peer's
// own RTCP once it arrives (symmetric RTCP), and again after a restart.
TEST_F(ReceivingStack, WithoutAPeerReportsFollowThePeersRTCPAndSurviveARestart)
{
    stack->SetRemoteRTCPAddress("");
    ASSERT_TRUE(Start());
    EXPECT_TRUE(SocketOpenOn(rtcpPort));
    const SenderPorts sender = BindConsecutivePorts();
    ASSERT_TRUE(sender.rtcp);
    UdpPeer peerRTCP("127.0.0.1");
    const Bytes emptyReport = {0x80, 201, 0, 1, 0, 0, 0, 9};
    ASSERT_TRUE(peerRTCP.SendTo("127.0.0.2", rtcpPort, emptyReport));
    // The RTCP listening thread learns the origin on its own time, and the
    // receiving thread takes it up after a delivery: each round awaits a
    // delivery, then looks where a report goes.
    bool reportedToRTCPOrigin = false;
    for (uint16_t seq = 1; seq <= 50 && !reportedToRTCPOrigin; ++seq) {
        ASSERT_TRUE(sender.rtp->SendTo("127.0.0.2", rtpPort, Packet(seq)));
        ASSERT_TRUE(sink->WaitForPackets(seq, kWaitMs));
        stack->SendReceiverReport(false);
        reportedToRTCPOrigin = !peerRTCP.Receive(50).empty();
    }
    EXPECT_TRUE(reportedToRTCPOrigin);

    Stop();
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Deliver(*sender.rtp, {100, 101}));
    ASSERT_TRUE(stack->SendReceiverReport(false));
    EXPECT_EQ(Word(peerRTCP.Receive(), 8), kSsrc);
    EXPECT_EQ(logs.CountContaining("SendReceiverReport failure"), 0);
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

TEST_F(ReceivingStack, DryPoolIsLoggedOnceEveryFiftyFailures)
{
    std::vector<ZQFMediaSample*> taken;  // the whole pool: the receiving loop finds none
    while (ZQFMediaSample* sample = module->GetOutputPin(0)->GetNewSample(0)) {
        taken.push_back(sample);
    }
    ASSERT_TRUE(Start());
    // Each flush wakes the waiting thread without a sample: one failure.
    const std::string fiftieth = "Failed to get new sample from outputPin, we will loose packets (consecutive failures=50)";
    EXPECT_TRUE(WaitUntil([&] {
        if (Pool()->GetWaiterCount() > 0) {
            Pool()->BeginFlush(true);
        }
        return logs.CountText(fiftieth, 1) > 0;
    }, 30000));
    EXPECT_EQ(logs.CountContaining("Failed to get new sample from outputPin"), 2);
    for (ZQFMediaSample* sample : taken) {
        sample->Recycle();
    }
    EXPECT_TRUE(Deliver(peer, {1})) << "samples again: reception goes on";
}

TEST_F(ReceivingStack, ByeIsLoggedAndReceptionGoesOn)
{
    ASSERT_TRUE(Start());
    ASSERT_TRUE(Deliver(peer, {1}));
    // An empty receiver report and a BYE for the source, to the RTCP port.
    ASSERT_TRUE(peer.SendTo("127.0.0.2", rtcpPort,
                            {0x80, 201, 0, 1, 0, 0, 0, 9, 0x81, 203, 0, 1, 0x11, 0x22, 0x33, 0x44}));
    EXPECT_TRUE(logs.WaitFor(Line("RemoveSource called (probably a RTCP BYE packet has been received).")));
    ASSERT_TRUE(Deliver(peer, {2}));
    uint32_t ssrc = 0;
    EXPECT_TRUE(stack->GetSourceIdentifier(0, ssrc));
    EXPECT_EQ(ssrc, kSsrc);
}

}  // namespace
}  // namespace inputtest
