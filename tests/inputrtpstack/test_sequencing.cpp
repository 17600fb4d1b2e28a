// Sequencing of one source's packets: probation, the reordering window,
// resynchronisation, duplicates and losses, across the 65535 -> 0 wrap.
#include "input_stack_fixture.h"

namespace inputtest {
namespace {

using NoWindow = InputStackTest;

TEST_F(NoWindow, GapIsDeliveredWithOneLossLineAndDuplicateIsRecycled)
{
    for (uint16_t seq : {5, 7, 7}) {
        EXPECT_TRUE(Process(Packet(seq)));
    }
    EXPECT_THAT(Delivered(), ElementsAre(5, 7));
    EXPECT_EQ(logs.CountContaining("packet loss"), 1);
    EXPECT_EQ(logs.Count("DeliverSample packet loss (last seq num=5 cur seq num=7)", 1), 1);
    EXPECT_EQ(logs.Count("DeliverSample duplicate packet(same sequence number : 7), sample will be recycle", 1), 1);
}

TEST_F(NoWindow, WrapCountsACycle)
{
    for (uint16_t seq : {65534, 65535, 0, 1}) {
        EXPECT_TRUE(Process(Packet(seq)));
    }
    EXPECT_EQ(logs.CountContaining("packet loss"), 0);
    EXPECT_TRUE(Process(Packet(65534, 0xB0B)));  // a new source jumping the wrap
    EXPECT_TRUE(Process(Packet(1, 0xB0B)));
    EXPECT_EQ(logs.Count("DeliverSample packet loss (last seq num=65534 cur seq num=1)"), 1);
    WithSource(0xB0B, [](ZQMRTPSource& source) { EXPECT_EQ(source.m_cycles, 1); });
}

TEST_F(NoWindow, FecPacketsKeepTheirOwnDuplicateAndLossTracking)
{
    for (uint16_t seq : {7, 7, 9}) {
        EXPECT_TRUE(Process(Packet(seq, kSsrc, kFecPT)));
    }
    EXPECT_THAT(Delivered(), ElementsAre(7, 9));
    EXPECT_EQ(logs.Count("DeliverSample duplicate FEC packet(same sequence number : 7), sample will be recycle"), 1);
    EXPECT_EQ(logs.CountContaining("packet loss"), 1);
    EXPECT_EQ(logs.Count("DeliverSample FEC packet loss (last seq num=7 cur seq num=9)"), 1);
    WithSource(kSsrc, [](ZQMRTPSource& source) { EXPECT_EQ(source.m_received, 0u); });
}

using WindowOfOne = InputStackWithWindow<1>;

TEST_F(WindowOfOne, FullWindowPlaysItsPacketToLetProbationGoOn)
{
    EXPECT_EQ(Check(Packet(100)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    EXPECT_EQ(Check(Packet(101)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    EXPECT_THAT(Delivered(), ElementsAre(100));
    EXPECT_EQ(Check(Packet(102)), RTP_VALID_RTPDATAGRAM);
    EXPECT_THAT(Delivered(), ElementsAre(100, 101, 102));
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] ssrc [287454020 / 0x11223344 ] Jitter is full play all old packet .", 1),
              2);
}

class WindowOfThree : public InputStackWithWindow<3> {
protected:
    // A new source is accepted on its third consecutive packet.
    void Validate(uint16_t first)
    {
        EXPECT_EQ(Check(Packet(first)), RTP_VALID_RTPDATAGRAM_VALIDATING);
        EXPECT_EQ(Check(Packet(first + 1)), RTP_VALID_RTPDATAGRAM_VALIDATING);
        EXPECT_TRUE(Delivered().empty());
        EXPECT_EQ(Check(Packet(first + 2)), RTP_VALID_RTPDATAGRAM);
    }
};

TEST_F(WindowOfThree, ProbationReleasesItsPacketsOnTheThird)
{
    Validate(65534);
    EXPECT_THAT(Delivered(), ElementsAre(65534, 65535, 0));
    EXPECT_EQ(logs.CountContaining("packet loss"), 0);
}

TEST_F(WindowOfThree, BrokenProbationStartsAgainFromTheNewNumber)
{
    EXPECT_EQ(Check(Packet(100)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    EXPECT_EQ(Check(Packet(105)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    EXPECT_EQ(Check(Packet(106)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] validating a new ssrc [287454020 / 0x11223344 ] lastBadSeqNum[105] "
                         "lastSeqNum[0] CurrentSeqNum[106] "),
              1);
    EXPECT_NE(Check(Packet(107)), RTP_VALID_RTPDATAGRAM_VALIDATING);
}

TEST_F(WindowOfThree, SuccessorsWaitForTheMissingPacket)
{
    Validate(8);
    EXPECT_EQ(Check(Packet(12)), RTP_VALID_RTPDATAGRAM_BUFFERED);
    EXPECT_EQ(Check(Packet(13)), RTP_VALID_RTPDATAGRAM_BUFFERED);
    RtpPacket again;  // a number already held keeps its first sample
    again.seq = 13;
    again.payload = {0xEE};
    EXPECT_EQ(Check(again.Encode()), RTP_VALID_RTPDATAGRAM_BUFFERED);
    EXPECT_EQ(Pool()->GetFreeCount(), Pool()->GetCount() - 2);
    EXPECT_EQ(Check(Packet(11)), RTP_VALID_RTPDATAGRAM);
    EXPECT_THAT(Delivered(), ElementsAre(8, 9, 10, 11));
    EXPECT_EQ(Check(Packet(14)), RTP_VALID_RTPDATAGRAM);
    EXPECT_THAT(Delivered(), ElementsAre(8, 9, 10, 11, 12, 13, 14));
    EXPECT_EQ(sink->GetPackets()[5].payload, Bytes(std::begin(kDefaultPayload), std::end(kDefaultPayload)));
}

TEST_F(WindowOfThree, LatePacketWaitsUntilTheWindowFills)
{
    Validate(19);
    EXPECT_EQ(Check(Packet(18)), RTP_VALID_RTPDATAGRAM_BUFFERED);
    for (uint16_t seq : {22, 23, 25, 26, 27}) {
        Check(Packet(seq));
    }
    // 25 and 26 filled the window: 27 pushed out the earliest, 18.
    EXPECT_THAT(Delivered(), ElementsAre(19, 20, 21, 22, 23, 18));
    EXPECT_EQ(logs.Count("DeliverSample packet loss (last seq num=23 cur seq num=18)", 1), 1);
}

TEST_F(WindowOfThree, JumpIsAcceptedOnTheThirdConsecutivePacket)
{
    Validate(98);
    EXPECT_EQ(Check(Packet(5000)), RTP_VALID_RTPDATAGRAM_SYNCHRONISING);
    EXPECT_EQ(Check(Packet(5001)), RTP_VALID_RTPDATAGRAM_SYNCHRONISING);
    EXPECT_EQ(Check(Packet(5002)), RTP_VALID_RTPDATAGRAM);
    EXPECT_THAT(Delivered(), ElementsAre(98, 99, 100, 5000, 5001, 5002));
}

TEST_F(WindowOfThree, NewSsrcSendsTheHeldSamplesBackToThePool)
{
    Validate(8);
    Check(Packet(12));
    Check(Packet(13));
    EXPECT_EQ(Check(Packet(500, 0xBEEF)), RTP_VALID_RTPDATAGRAM_VALIDATING);
    EXPECT_EQ(Pool()->GetFreeCount(), Pool()->GetCount() - 1);
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] New ssrc [48879 / 0xbeef ] seqnum[500]", 1), 1);
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] List of ssrc nb element[1]", 1), 1);
    uint32_t ssrc = 0;
    EXPECT_TRUE(stack->GetSourceIdentifier(0, ssrc));
    EXPECT_EQ(ssrc, 0xBEEFu);
    EXPECT_FALSE(stack->GetSourceIdentifier(1, ssrc));
}

TEST_F(WindowOfThree, RefusingDownstreamLosesNoSample)
{
    sink->SetRefuse(true);
    Check(Packet(100));
    Check(Packet(101));
    EXPECT_EQ(Check(Packet(102)), RTP_INVALID_DELIVER_FAILED);  // the two held ones recycled on the way
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] ******Failed to deliver sample (sequenceNumber : 101)******", 0), 1);
    EXPECT_TRUE(Pool()->IsFull());
}

using WindowOfFour = InputStackWithWindow<4>;

TEST_F(WindowOfFour, HeldPacketsLeaveInSequenceOrderAcrossTheWrap)
{
    for (uint16_t seq : {65531, 65532, 65533, 65535, 0, 1, 2}) {
        Check(Packet(seq));
    }
    // Full window: the earliest packet seen from 65533 is 65535, not 0.
    EXPECT_EQ(Check(Packet(3)), RTP_VALID_RTPDATAGRAM);
    EXPECT_THAT(Delivered(), ElementsAre(65531, 65532, 65533, 65535, 0, 1, 2, 3));
    WithSource(kSsrc, [](ZQMRTPSource& source) { EXPECT_EQ(source.m_cycles, 1); });
}

TEST_F(WindowOfFour, ResynchronisationReleasesInSequenceOrder)
{
    for (uint16_t seq : {29999, 30000, 30001, 29998, 62000, 62001, 62002}) {
        Check(Packet(seq));
    }
    // Seen from 30001, the late 29998 comes before the run that jumped ahead.
    EXPECT_THAT(Delivered(), ElementsAre(29999, 30000, 30001, 29998, 62000, 62001, 62002));
}

using WindowOfFive = InputStackWithWindow<5>;

TEST_F(WindowOfFive, LoweredWindowDeliversAtOnceAndKeepsWhatIsHeld)
{
    for (uint16_t seq : {1, 2, 3, 5, 6}) {
        Check(Packet(seq));
    }
    stack->SetRTPwindow(0);
    EXPECT_EQ(Check(Packet(7)), RTP_VALID_RTPDATAGRAM);
    EXPECT_THAT(Delivered(), ElementsAre(1, 2, 3, 7));
    EXPECT_EQ(Pool()->GetFreeCount(), Pool()->GetCount() - 2);
}

}  // namespace
}  // namespace inputtest
