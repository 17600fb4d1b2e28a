// Receiver reports as they leave the stack's output RTCP socket: sizes and
// fields, arming, loss figures, the full intra request, and the time-out of
// a silent source on the report clock.
#include "input_stack_fixture.h"
#include "zqcclock.h"

namespace inputtest {
namespace {

// A started stack without a receiving thread: packets are handed in
// directly, reports go to `collector` on 127.0.0.1.
class ReceiverReports : public InputStackTest {
protected:
    void SetUp() override
    {
        InputStackTest::SetUp();
        collector = std::make_unique<TestSocket>("127.0.0.1");
        UseLoopback(collector->Port());
        stack->SetDataDisabled(1);
        stack->SetCNAME("");
        ASSERT_TRUE(Start());
        localSsrc = stack->GetLocalSource()->m_ssrc;
    }

    void TearDown() override
    {
        Stop();
        collector.reset();
        InputStackTest::TearDown();
    }

    // Feeds the numbers (window 0: all delivered at once).
    void Feed(std::initializer_list<uint16_t> seqs)
    {
        for (uint16_t seq : seqs) {
            EXPECT_TRUE(Process(Packet(seq)));
        }
    }

    // The next report sent; the first report of a source only arms it.
    std::vector<uint8_t> NextReport(bool fir = false)
    {
        EXPECT_TRUE(fir ? stack->SendFIR() : stack->SendReceiverReport(false));
        return collector->Receive();
    }

    std::unique_ptr<TestSocket> collector;
    uint32_t localSsrc = 0;
};

TEST_F(ReceiverReports, FirstReportOnlyArmsTheNext)
{
    Feed({1});
    EXPECT_TRUE(stack->SendReceiverReport(false));
    Feed({2, 3});
    const std::vector<uint8_t> report = NextReport();
    ASSERT_EQ(report.size(), 32u);
    // Had the arming report gone out, it would be read first, with 1.
    EXPECT_EQ(Read32(report, 16), 3u);
}

TEST_F(ReceiverReports, CompoundCarriesTheLocalIdentityAndTheSource)
{
    Feed({1});
    stack->SendReceiverReport(false);
    Feed({2, 3, 5, 6, 8, 9, 10});
    stack->SetCNAME("abcdefghijkl");
    const std::vector<uint8_t> report = NextReport();
    ASSERT_EQ(report.size(), 56u);
    EXPECT_EQ(report[0], 0x81);
    EXPECT_EQ(report[1], 201);
    EXPECT_EQ(Read32(report, 4), localSsrc);
    EXPECT_EQ(Read32(report, 8), kSsrc);
    EXPECT_EQ(Read32(report, 12), 0x38000002u);  // 2 of 9 lost in the interval, 2 in all
    EXPECT_EQ(Read32(report, 16), 10u);
    EXPECT_EQ(Read32(report, 24), 0u);  // no sender report yet: LSR and DLSR 0
    EXPECT_EQ(Read32(report, 28), 0u);
    EXPECT_EQ(report[33], 202);
    EXPECT_EQ(Read32(report, 36), localSsrc);
    EXPECT_EQ(std::string(report.begin() + 42, report.begin() + 54), "abcdefghijkl");
    WithSource(kSsrc, [](ZQMRTPSource& source) {
        EXPECT_EQ(source.m_fractionLost.load(), 22);
        EXPECT_EQ(source.m_cumulativeLost.load(), 2u);
        EXPECT_EQ(source.m_extendedHighestSeq.load(), 10u);
    });
}

TEST_F(ReceiverReports, SizesFollowTheCnameAndTheFir)
{
    Feed({1});
    stack->SendReceiverReport(false);
    EXPECT_EQ(NextReport().size(), 32u);
    stack->SetCNAME("abcdefghijkl");
    EXPECT_EQ(NextReport().size(), 56u);
    const std::vector<uint8_t> withFir = NextReport(true);
    ASSERT_EQ(withFir.size(), 76u);
    EXPECT_EQ(withFir[56], 0x84);
    EXPECT_EQ(withFir[57], 206);
    EXPECT_EQ(Read32(withFir, 60), 0u);
    EXPECT_EQ(Read32(withFir, 64), 0u);
    EXPECT_EQ(Read32(withFir, 68), localSsrc);
    EXPECT_EQ(logs.Count("<--RTCPStack-->[" + rtpPort + "] Send FIR .", 0), 1);
}

TEST_F(ReceiverReports, DuplicatesReportNoLoss)
{
    Feed({1});
    stack->SendReceiverReport(false);
    Feed({2, 3, 3, 4, 4, 5});
    const std::vector<uint8_t> report = NextReport();
    ASSERT_EQ(report.size(), 32u);
    EXPECT_EQ(Read32(report, 12), 0u);
    EXPECT_EQ(Read32(report, 16), 5u);
}

TEST_F(ReceiverReports, FiguresStayRightAcrossTheWrap)
{
    Feed({65534});
    stack->SendReceiverReport(false);
    Feed({65535, 0, 1, 3});
    const std::vector<uint8_t> report = NextReport();
    ASSERT_EQ(report.size(), 32u);
    EXPECT_EQ(Read32(report, 16), 0x10003u);
    // 2 is missing: 1 lost of the 5 expected in the interval, 1 in all.
    EXPECT_EQ(Read32(report, 12), (uint32_t{256 / 5} << 24) | 1u);
}

using ReportsWithoutDestination = InputStackTest;

TEST_F(ReportsWithoutDestination, AnswerFalse)
{
    EXPECT_TRUE(Process(Packet(1)));
    EXPECT_FALSE(stack->SendFIR());
    EXPECT_FALSE(stack->SendReceiverReport(false));
}

TEST_F(ReportsWithoutDestination, PortZeroDropsTheDestination)
{
    UseLoopback("0");
    stack->SetDataDisabled(1);
    ASSERT_TRUE(Start());
    EXPECT_FALSE(stack->SendReceiverReport(false));
    EXPECT_FALSE(stack->SendReceiverReport(false));
}

// Reports driven by the receiving thread's timer, on manual time.
class ReportTimer : public InputStackTest {
protected:
    void SetUp() override
    {
        InputStackTest::SetUp();
        ZQCClock::UseManualTime(true, 1000);
        collector = std::make_unique<TestSocket>("127.0.0.1");
        sender = std::make_unique<TestSocket>("127.0.0.1");
        UseLoopback(collector->Port());
        stack->SetCNAME("");
        ASSERT_TRUE(Start());
    }

    void TearDown() override
    {
        Stop();
        ZQCClock::UseManualTime(false);
        collector.reset();
        sender.reset();
        InputStackTest::TearDown();
    }

    void Send(const std::vector<uint8_t>& datagram) { ASSERT_TRUE(sender->SendTo(datagram, "127.0.0.2", rtpPort)); }

    std::unique_ptr<TestSocket> collector;
    std::unique_ptr<TestSocket> sender;
};

TEST_F(ReportTimer, SilentSourceIsDiscardedAfterTenReportPeriods)
{
    Send(Packet(1));
    ASSERT_TRUE(sink->WaitForPackets(1, kWaitMs));
    ASSERT_TRUE(stack->SendReceiverReport(false));  // arms the source

    // Forward-error-correction packets keep the timer going without
    // counting as media: each period is silent.
    for (uint16_t period = 1; period <= 9; ++period) {
        ZQCClock::AdvanceManualTime(ZQMInputRTPStack::kReportIntervalMs);
        Send(Packet(period, kSsrc, kFecPT));
        const std::vector<uint8_t> report = collector->Receive();
        ASSERT_EQ(report.size(), 32u) << "period " << period;
        EXPECT_EQ(Read32(report, 16), 1u);
    }
    ZQCClock::AdvanceManualTime(ZQMInputRTPStack::kReportIntervalMs);
    Send(Packet(10, kSsrc, kFecPT));
    Send(Packet(2));  // refused: the source was discarded by the tenth report
    Send(Packet(1, 0xD00D));
    ASSERT_TRUE(sink->WaitForPackets(12, kWaitMs));
    EXPECT_TRUE(collector->Receive(0).empty()) << "the tenth report is not sent";
    for (const ZQCapturedPacket& packet : sink->GetPackets()) {
        EXPECT_FALSE(packet.ssrc == kSsrc && packet.subType == kAudioPCMA && packet.sequenceNumber == 2);
    }
}

TEST_F(ReportTimer, ReportIsDueFiveSecondsAfterTheLast)
{
    Send(Packet(1));
    ASSERT_TRUE(sink->WaitForPackets(1, kWaitMs));
    ASSERT_TRUE(stack->SendReceiverReport(false));  // arms the source
    ZQCClock::AdvanceManualTime(ZQMInputRTPStack::kReportIntervalMs - 1);
    Send(Packet(1, kSsrc, kFecPT));
    Send(Packet(2, kSsrc, kFecPT));
    ASSERT_TRUE(sink->WaitForPackets(3, kWaitMs));
    EXPECT_TRUE(collector->Receive(0).empty()) << "a report before its time";
    ZQCClock::AdvanceManualTime(1);
    Send(Packet(3, kSsrc, kFecPT));
    EXPECT_EQ(collector->Receive().size(), 32u);
    Send(Packet(4, kSsrc, kFecPT));
    ASSERT_TRUE(sink->WaitForPackets(5, kWaitMs));
    EXPECT_TRUE(collector->Receive(0).empty()) << "one report per period";
}

}  // namespace
}  // namespace inputtest
