// Sequencing of one source's packets: probation, the reordering window,
// resynchronisation, duplicates and losses, across the 65535 -> 0 wrap.
#include "input_stack_fixture.h"

namespace inputtest {
namespace {

using ::testing::ElementsAre;

using NoWindow = InputStackTest;

TEST_F(NoWindow, GapIsDeliveredWithOneLossLine)
{
    EXPECT_TRUE(Process(Packet(5)));
    EXPECT_TRUE(Process(Packet(7)));
    EXPECT_THAT(Delivered(), ElementsAre(5, 7));
    EXPECT_EQ(logs.CountContaining("DeliverSample packet loss"), 1);
    EXPECT_EQ(logs.Count("DeliverSample packet loss (last seq num=5 cur seq num=7)", 1), 1);
}

TEST_F(NoWindow, DuplicateIsRecycledAndAnsweredAsDelivered)
{
    EXPECT_TRUE(Process(Packet(7)));
    EXPECT_TRUE(Process(Packet(7)));
    EXPECT_THAT(Delivered(), ElementsAre(7));
    EXPECT_EQ(logs.Count("DeliverSample duplicate packet(same sequence number : 7), sample will be recycle", 1), 1);
    EXPECT_TRUE(Pool()->IsFull());
}

TEST_F(NoWindow, WrapCountsACycleWithoutLoss)
{
    for (uint16_t seq : {65534, 65535, 0, 1}) {
        EXPECT_TRUE(Process(Packet(seq)));
    }
    EXPECT_THAT(Delivered(), ElementsAre(65534, 65535, 0, 1));
    EXPECT_EQ(logs.CountContaining("packet loss"), 0);
    WithSource(kSsrc, [](ZQMRTPSource& source) {
        EXPECT_EQ(source.m_cycles, 1);
        EXPECT_EQ(source.m_maxSeq, 1);
    });
}

TEST_F(NoWindow, JumpAcrossTheWrapIsOneLossAndOneCycle)
{
    EXPECT_TRUE(Process(Packet(65534)));
    EXPECT_TRUE(Process(Packet(1)));
    EXPECT_EQ(logs.Count("DeliverSample packet loss (last seq num=65534 cur seq num=1)", 1), 1);
    WithSource(kSsrc, [](ZQMRTPSource& source) { EXPECT_EQ(source.m_cycles, 1); });
}

TEST_F(NoWindow, FecPacketsKeepTheirOwnDuplicateAndLossTracking)
{
    EXPECT_TRUE(Process(Packet(7, kSsrc, kFecPT)));
    EXPECT_TRUE(Process(Packet(7, kSsrc, kFecPT)));
    EXPECT_TRUE(Process(Packet(9, kSsrc, kFecPT)));
    EXPECT_THAT(Delivered(), ElementsAre(7, 9));
    EXPECT_EQ(logs.Count("DeliverSample duplicate FEC packet(same sequence number : 7), sample will be recycle", 1), 1);
    EXPECT_EQ(logs.Count("DeliverSample FEC packet loss (last seq num=7 cur seq num=9)", 1), 1);
    EXPECT_EQ(logs.CountContaining("FEC packet loss"), 1);
    // FEC packets are not counted as received media.
    WithSource(kSsrc, [](ZQMRTPSource& source) { EXPECT_EQ(source.m_received, 0u); });
}

class WindowOfThree : public InputStackWithWindow<3> {
protected:
    // A new source is accepted on its third consecutive packet.
    void Validate(uint16_t first)
    {
        EXPECT_EQ(Check(Packet(first)), RTP_VALID_RTPDATAGRAM_VALIDATING);
        EXPECT_EQ(Check(Packet(first + 1)), RTP_VALID_RTPDATAGRAM_VALIDATING);
        EXPECT_EQ(Check(Packet(first + 2)), RTP_VALID_RTPDATAGRAM);
    }
};

TEST_F(WindowOfThree, ProbationHoldsTwoPacketsAndTheThirdReleasesAll)
{
    EXPECT_EQ(Check(Packet(100)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    EXPECT_EQ(Check(Packet(101)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    EXPECT_TRUE(Delivered().empty());
    EXPECT_EQ(Check(Packet(102)), RTP_VALID_RTPDATAGRAM);
    EXPECT_THAT(Delivered(), ElementsAre(100, 101, 102));
    EXPECT_EQ(logs.CountContaining("packet loss"), 0);
}

TEST_F(WindowOfThree, BrokenProbationStartsAgainFromTheNewNumber)
{
    EXPECT_EQ(Check(Packet(100)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    EXPECT_EQ(Check(Packet(105)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] validating a new ssrc [287454020 / 0x11223344 ] lastBadSeqNum[100] "
                         "lastSeqNum[99] CurrentSeqNum[105] "),
              1);
    // Reset at 105: the state starts over from it.
    EXPECT_EQ(Check(Packet(106)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] validating a new ssrc [287454020 / 0x11223344 ] lastBadSeqNum[105] "
                         "lastSeqNum[0] CurrentSeqNum[106] "),
              1);
    EXPECT_NE(Check(Packet(107)), RTP_VALID_RTPDATAGRAM_VALIDATING);
}

TEST_F(WindowOfThree, ProbationStraddlingTheWrapPassesAtOnce)
{
    Validate(65534);
    EXPECT_THAT(Delivered(), ElementsAre(65534, 65535, 0));
    EXPECT_EQ(logs.CountContaining("packet loss"), 0);
}

TEST_F(WindowOfThree, SuccessorsWaitForTheMissingPacket)
{
    Validate(8);
    EXPECT_EQ(Check(Packet(12)), RTP_VALID_RTPDATAGRAM_BUFFERED);
    EXPECT_EQ(Check(Packet(13)), RTP_VALID_RTPDATAGRAM_BUFFERED);
    EXPECT_EQ(Check(Packet(11)), RTP_VALID_RTPDATAGRAM);
    EXPECT_THAT(Delivered(), ElementsAre(8, 9, 10, 11));
    EXPECT_EQ(Check(Packet(14)), RTP_VALID_RTPDATAGRAM);
    EXPECT_THAT(Delivered(), ElementsAre(8, 9, 10, 11, 12, 13, 14));
    EXPECT_EQ(logs.CountContaining("packet loss"), 0);
}

TEST_F(WindowOfThree, LatePacketWaitsUntilTheWindowFills)
{
    Validate(19);
    EXPECT_EQ(Check(Packet(18)), RTP_VALID_RTPDATAGRAM_BUFFERED);
    EXPECT_EQ(Check(Packet(22)), RTP_VALID_RTPDATAGRAM);
    EXPECT_EQ(Check(Packet(23)), RTP_VALID_RTPDATAGRAM);
    EXPECT_THAT(Delivered(), ElementsAre(19, 20, 21, 22, 23));
    EXPECT_EQ(Check(Packet(25)), RTP_VALID_RTPDATAGRAM_BUFFERED);
    EXPECT_EQ(Check(Packet(26)), RTP_VALID_RTPDATAGRAM_BUFFERED);
    // Three held: the next packet pushes out the earliest one, 18.
    Check(Packet(27));
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] ssrc [287454020 / 0x11223344 ] Jitter is full play all old packet .", 1),
              1);
    EXPECT_THAT(Delivered(), ElementsAre(19, 20, 21, 22, 23, 18));
    EXPECT_EQ(logs.Count("DeliverSample packet loss (last seq num=23 cur seq num=18)", 1), 1);
}

TEST_F(WindowOfThree, JumpIsAcceptedOnTheThirdConsecutivePacket)
{
    Validate(98);
    EXPECT_EQ(Check(Packet(5000)), RTP_VALID_RTPDATAGRAM_SYNCHRONISING);
    EXPECT_EQ(Check(Packet(5001)), RTP_VALID_RTPDATAGRAM_SYNCHRONISING);
    EXPECT_THAT(Delivered(), ElementsAre(98, 99, 100));
    EXPECT_EQ(Check(Packet(5002)), RTP_VALID_RTPDATAGRAM);
    EXPECT_THAT(Delivered(), ElementsAre(98, 99, 100, 5000, 5001, 5002));
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] ssrc [287454020 / 0x11223344 ] Packet ok (synchro), play jitter  ."), 1);
}

TEST_F(WindowOfThree, NumberAlreadyHeldKeepsTheFirstSample)
{
    Validate(8);
    EXPECT_EQ(Check(Packet(12)), RTP_VALID_RTPDATAGRAM_BUFFERED);
    const int freeWithOneHeld = Pool()->GetFreeCount();
    RtpPacket second;
    second.seq = 12;
    second.payload = {0xEE};
    EXPECT_EQ(Check(second.Bytes()), RTP_VALID_RTPDATAGRAM_BUFFERED);
    EXPECT_EQ(Pool()->GetFreeCount(), freeWithOneHeld);
    Check(Packet(11));
    Check(Packet(13));
    EXPECT_THAT(Delivered(), ElementsAre(8, 9, 10, 11, 12, 13));
    EXPECT_EQ(sink->GetPackets()[4].payload, std::vector<uint8_t>({0xA1, 0xA2, 0xA3, 0xA4}));
}

TEST_F(WindowOfThree, NewSsrcSendsTheHeldSamplesBackToThePool)
{
    Validate(8);
    Check(Packet(12));
    Check(Packet(13));
    EXPECT_EQ(Pool()->GetFreeCount(), Pool()->GetCount() - 2);
    EXPECT_EQ(Check(Packet(500, 0xBEEF)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    EXPECT_EQ(Pool()->GetFreeCount(), Pool()->GetCount() - 1);
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] New ssrc [48879 / 0xbeef ] seqnum[500]", 1), 1);
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] List of ssrc nb element[1]", 1), 1);
    uint32_t ssrc = 0;
    EXPECT_TRUE(stack->GetSourceIdentifier(0, ssrc));
    EXPECT_EQ(ssrc, 0xBEEFu);
    EXPECT_FALSE(stack->GetSourceIdentifier(1, ssrc));
    EXPECT_EQ(ssrc, 0u);
}

TEST_F(WindowOfThree, RefusingDownstreamGetsNothingAndLosesNoSample)
{
    sink->SetRefuse(true);
    EXPECT_EQ(Check(Packet(100)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    EXPECT_EQ(Check(Packet(101)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    // Held packets whose delivery fails are recycled; the current one is
    // answered as failed and recycled by the caller.
    EXPECT_EQ(Check(Packet(102)), RTP_INVALID_DELIVER_FAILED);
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] ******Failed to deliver sample (sequenceNumber : 101)******", 0), 1);
    EXPECT_TRUE(Pool()->IsFull());
    EXPECT_FALSE(Process(Packet(103)));
    EXPECT_TRUE(Pool()->IsFull());
    EXPECT_EQ(sink->GetPacketCount(), 0u);
}

class WindowOfFour : public InputStackWithWindow<4> {};

TEST_F(WindowOfFour, HeldPacketsLeaveInSequenceOrderAcrossTheWrap)
{
    for (uint16_t seq : {65531, 65532, 65533}) {
        Check(Packet(seq));
    }
    for (uint16_t seq : {65535, 0, 1}) {
        EXPECT_EQ(Check(Packet(seq)), RTP_VALID_RTPDATAGRAM_BUFFERED);
    }
    EXPECT_EQ(Check(Packet(2)), RTP_VALID_RTPDATAGRAM_SYNCHRONISING);
    // The window is full: the earliest packet seen from 65533 is 65535, not 0.
    EXPECT_EQ(Check(Packet(3)), RTP_VALID_RTPDATAGRAM);
    EXPECT_THAT(Delivered(), ElementsAre(65531, 65532, 65533, 65535, 0, 1, 2, 3));
    EXPECT_EQ(logs.Count("DeliverSample packet loss (last seq num=65533 cur seq num=65535)"), 1);
    WithSource(kSsrc, [](ZQMRTPSource& source) { EXPECT_EQ(source.m_cycles, 1); });
}

TEST_F(WindowOfFour, ResynchronisationReleasesInSequenceOrder)
{
    for (uint16_t seq : {29999, 30000, 30001}) {
        Check(Packet(seq));
    }
    EXPECT_EQ(Check(Packet(29998)), RTP_VALID_RTPDATAGRAM_BUFFERED);
    EXPECT_EQ(Check(Packet(62000)), RTP_VALID_RTPDATAGRAM_SYNCHRONISING);
    EXPECT_EQ(Check(Packet(62001)), RTP_VALID_RTPDATAGRAM_SYNCHRONISING);
    EXPECT_EQ(Check(Packet(62002)), RTP_VALID_RTPDATAGRAM);
    // Seen from 30001, the late 29998 comes before the run that jumped ahead.
    EXPECT_THAT(Delivered(), ElementsAre(29999, 30000, 30001, 29998, 62000, 62001, 62002));
}

class WindowOfFive : public InputStackWithWindow<5> {};

TEST_F(WindowOfFive, LoweredWindowDeliversAtOnceAndKeepsWhatIsHeld)
{
    for (uint16_t seq : {1, 2, 3}) {
        Check(Packet(seq));
    }
    EXPECT_EQ(Check(Packet(5)), RTP_VALID_RTPDATAGRAM_BUFFERED);
    EXPECT_EQ(Check(Packet(6)), RTP_VALID_RTPDATAGRAM_BUFFERED);
    stack->SetRTPwindow(0);
    EXPECT_EQ(Check(Packet(7)), RTP_VALID_RTPDATAGRAM);
    EXPECT_EQ(Check(Packet(8)), RTP_VALID_RTPDATAGRAM);
    EXPECT_THAT(Delivered(), ElementsAre(1, 2, 3, 7, 8));
    EXPECT_EQ(Pool()->GetFreeCount(), Pool()->GetCount() - 2);
    stack->Cleanup();
    EXPECT_TRUE(Pool()->IsFull());
}

}  // namespace
}  // namespace inputtest
