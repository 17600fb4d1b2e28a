// Receiver reports as they leave the stack's output RTCP socket: sizes,
// fields, loss figures, and the time-out of a silent source.
#include "input_stack_fixture.h"
#include "manual_time.h"

namespace inputtest {
namespace {

// A started stack without a receiving thread: packets are handed in
// directly, reports go to the collector.
class ReceiverReports : public InputStackTest {
protected:
    void SetUp() override
    {
        InputStackTest::SetUp();
        UseLoopback();
        stack->SetDataDisabled(1);
        stack->SetCNAME("");
        ASSERT_TRUE(Start());
    }

    // Feeds the numbers (no window: all delivered at once), reports once,
    // feeds the rest and answers the report that follows.
    Bytes Report(std::initializer_list<uint16_t> before, std::initializer_list<uint16_t> after)
    {
        for (uint16_t seq : before) {
            EXPECT_TRUE(Process(Packet(seq)));
        }
        EXPECT_TRUE(stack->SendReceiverReport(false));
        EXPECT_FALSE(collector.Receive().empty()) << "the first report leaves at once";
        for (uint16_t seq : after) {
            EXPECT_TRUE(Process(Packet(seq)));
        }
        EXPECT_TRUE(stack->SendReceiverReport(false));
        return collector.Receive();
    }
};

// Without a CNAME the report goes alone; with one the SDES follows it, and a
// FIR goes after the SDES.
TEST_F(ReceiverReports, LossesAreCountedFromTheFirstPacketAndAFirFollowsTheCname)
{
    const Bytes report = Report({1}, {2, 3, 5, 6, 8, 9, 10});
    ASSERT_EQ(report.size(), 32u);  // the layout: the compound's golden bytes
    EXPECT_EQ(Word(report, 4), stack->GetLocalSource()->m_ssrc);
    EXPECT_EQ(Word(report, 8), kSsrc);
    EXPECT_EQ(Word(report, 12), 0x38000002u);  // 2 of 9 lost in the interval, 2 in all
    EXPECT_EQ(Word(report, 16), 10u);
    EXPECT_EQ(Word(report, 24), 0u);           // no sender report yet: LSR and DLSR 0
    WithSource(kSsrc, [](ZQMRTPSource& source) {
        EXPECT_EQ(source.m_fractionLost.load(), 22);
        EXPECT_EQ(source.m_cumulativeLost.load(), 2);
    });

    stack->SetCNAME("abcdefghijkl");
    EXPECT_TRUE(stack->SendFIR());
    const Bytes withFir = collector.Receive();
    ASSERT_EQ(withFir.size(), 76u);
    EXPECT_EQ(std::string(withFir.begin() + 42, withFir.begin() + 54), "abcdefghijkl");
    EXPECT_EQ(Word(withFir, 56), 0x84CE0004u);
    EXPECT_EQ(Word(withFir, 68), stack->GetLocalSource()->m_ssrc);
    EXPECT_EQ(logs.CountText("<--RTCPStack-->[" + rtpPort + "] Send FIR .", 0), 1);
}

// A remote source with our own SSRC (RFC 3550, 8.2): the next report is the
// last under that SSRC and says goodbye; the one after comes from a new SSRC.
TEST_F(ReceiverReports, RemoteSourceWithOurSsrcMakesUsLeaveItWithAGoodbye)
{
    const uint32_t ours = stack->GetLocalSource()->m_ssrc;
    EXPECT_TRUE(Process(Packet(1, ours)));
    EXPECT_TRUE(stack->SendReceiverReport(false));
    const Bytes goodbye = collector.Receive();
    ASSERT_EQ(goodbye.size(), 32u + 8u);
    EXPECT_EQ(Word(goodbye, 4), ours);
    EXPECT_EQ(Word(goodbye, 32), 0x81CB0001u);  // BYE, one source
    EXPECT_EQ(Word(goodbye, 36), ours);

    EXPECT_TRUE(stack->SendReceiverReport(false));
    const Bytes next = collector.Receive();
    ASSERT_EQ(next.size(), 32u);
    EXPECT_NE(Word(next, 4), ours);
    EXPECT_EQ(Word(next, 4), stack->GetLocalSource()->m_ssrc);
    EXPECT_TRUE(stack->SendReceiverReport(false));
    EXPECT_EQ(Word(collector.Receive(), 4), Word(next, 4)) << "one change per collision";
}

// Reports driven by the receiving thread's timer, on manual time.
class ReportTimer : public InputStackTest {
protected:
    void SetUp() override
    {
        InputStackTest::SetUp();
        UseLoopback();
        stack->SetCNAME("");
        ASSERT_TRUE(Start());
    }

    ManualTime manualTime{1000};
};

TEST_F(ReportTimer, SilentSourceIsDiscardedAfterTenReportPeriods)
{
    Send(Packet(1));
    ASSERT_TRUE(sink->WaitForPackets(1, kWaitMs));
    ASSERT_TRUE(stack->SendReceiverReport(false));
    ASSERT_EQ(collector.Receive().size(), 32u) << "the first report";
    // Forward-error-correction packets run the timer without counting as
    // media: every period is silent. Each report is awaited before the clock
    // moves on. A datagram a millisecond early brings no report.
    ZQCClock::AdvanceManualTime(4999);
    Send(Packet(100, kSsrc, kFecPT));
    Send(Packet(101, kSsrc, kFecPT));
    ASSERT_TRUE(sink->WaitForPackets(3, kWaitMs));
    EXPECT_TRUE(collector.Receive(0).empty());
    ZQCClock::AdvanceManualTime(1);
    Send(Packet(102, kSsrc, kFecPT));
    ASSERT_EQ(collector.Receive().size(), 32u) << "period 1";
    for (uint16_t period = 2; period <= 9; ++period) {
        ZQCClock::AdvanceManualTime(5000);
        Send(Packet(period, kSsrc, kFecPT));
        ASSERT_EQ(collector.Receive().size(), 32u) << "period " << period;
    }
    ZQCClock::AdvanceManualTime(5000);
    Send(Packet(10, kSsrc, kFecPT));  // its report discards the source
    Send(Packet(2));                  // refused
    Send(Packet(1, 0xD00D));          // a new source, processed after it
    ASSERT_TRUE(sink->WaitForPackets(14, kWaitMs));
    EXPECT_TRUE(collector.Receive(0).empty()) << "the tenth report is not sent";
    for (const ZQCapturedPacket& packet : sink->GetPackets()) {
        EXPECT_FALSE(packet.subType == kAudioPCMA && packet.sequenceNumber == 2);
    }
}

}  // namespace
}  // namespace inputtest
