// Sequencing of one source's packets: probation, the reordering window,
// resynchronisation, duplicates and losses, across the 65535 -> 0 wrap.
#include <algorithm>

#include "input_stack_fixture.h"

namespace inputtest {
namespace {

constexpr RTPCheckResult kValid = RTP_VALID_RTPDATAGRAM;
constexpr RTPCheckResult kBuffered = RTP_VALID_RTPDATAGRAM_BUFFERED;
constexpr RTPCheckResult kSynchronising = RTP_VALID_RTPDATAGRAM_SYNCHRONISING;
constexpr RTPCheckResult kValidating = RTP_VALID_RTPDATAGRAM_VALIDATING;

std::string Loss(int last, int current)
{
    return "DeliverSample packet loss (last seq num=" + std::to_string(last) + " cur seq num=" +
           std::to_string(current) + ")";
}

std::string Late(int last, int current)
{
    return "DeliverSample late packet (last seq num=" + std::to_string(last) + " cur seq num=" +
           std::to_string(current) + "), sample will be recycle";
}

std::string Duplicate(int seq)
{
    return "DeliverSample duplicate packet(same sequence number : " + std::to_string(seq) +
           "), sample will be recycle";
}

struct Case {
    const char* what;
    uint16_t window;
    std::vector<uint16_t> seqs;
    std::vector<uint16_t> delivered;
    std::vector<RTPCheckResult> results = {};  // of each packet's check; empty: not looked at
    std::vector<std::string> lines = {};       // each as often as listed; no other loss line
    uint16_t cycles = 0;
    uint8_t payloadType = kAudioPT;
};

TEST_F(InputStackTest, PacketsLeaveInSequenceOrderWithTheirLossAndDuplicateLines)
{
    const std::string probation = "<--RTPStack-->[0] validating a new ssrc [287454020 / 0x11223344 ] ";
    const std::string jitterFull = "<--RTPStack-->[0] ssrc [287454020 / 0x11223344 ] Jitter is full play all old packet .";
    const std::vector<Case> cases = {
        {"gap and duplicate", 0, {5, 7, 7}, {5, 7}, {kValid, kValid, kValid}, {Loss(5, 7), Duplicate(7)}},
        // Nothing goes downstream twice or out of order, with or without a window.
        {"earlier duplicate and late packet without a window", 0, {5, 6, 8, 6, 7}, {5, 6, 8},
         {kValid, kValid, kValid, kValid, kValid}, {Loss(6, 8), Duplicate(6), Late(8, 7)}},
        {"duplicate of a delivered packet with a window", 4, {1, 2, 3, 4, 5, 3}, {1, 2, 3, 4, 5},
         {kValidating, kValidating, kValid, kValid, kValid, kValid}, {Duplicate(3)}},
        {"forward error correction has its own", 0, {7, 7, 9}, {7, 9}, {},
         {"DeliverSample duplicate FEC packet(same sequence number : 7), sample will be recycle",
          "DeliverSample FEC packet loss (last seq num=7 cur seq num=9)"}, 0, kFecPT},
        {"wrap", 0, {65534, 65535, 0, 1}, {65534, 65535, 0, 1}, {}, {}, 1},
        {"jump over the wrap", 0, {65534, 1}, {65534, 1}, {}, {Loss(65534, 1)}, 1},
        {"full window of one plays its packet", 1, {100, 101, 102}, {100, 101, 102},
         {kValidating, kValidating, kValid}, {jitterFull, jitterFull}},
        {"probation across the wrap", 3, {65534, 65535, 0}, {65534, 65535, 0}, {kValidating, kValidating, kValid}, {}, 1},
        {"broken probation starts again", 3, {100, 105, 106}, {}, {kValidating, kValidating, kValidating},
         {probation + "lastBadSeqNum[105] lastSeqNum[0] CurrentSeqNum[106] "}},
        {"successors wait for the missing packet", 3, {8, 9, 10, 12, 13, 11, 14}, {8, 9, 10, 11, 12, 13, 14},
         {kValidating, kValidating, kValid, kBuffered, kBuffered, kValid, kValid}},
        {"late packet is recycled, not held", 3, {19, 20, 21, 18, 22, 23}, {19, 20, 21, 22, 23},
         {kValidating, kValidating, kValid, kValid, kValid, kValid}, {Late(21, 18)}},
        {"jump accepted on the third consecutive packet", 3, {98, 99, 100, 5000, 5001, 5002},
         {98, 99, 100, 5000, 5001, 5002}, {kValidating, kValidating, kValid, kSynchronising, kSynchronising, kValid},
         {Loss(100, 5000)}},
        // Full window: the earliest packet seen from 65533 is 65535, not 0.
        {"held packets across the wrap", 4, {65531, 65532, 65533, 65535, 0, 1, 2, 3},
         {65531, 65532, 65533, 65535, 0, 1, 2, 3}, {}, {Loss(65533, 65535)}, 1},
        {"resynchronisation", 4, {29999, 30000, 30001, 29998, 62000, 62001, 62002},
         {29999, 30000, 30001, 62000, 62001, 62002}, {}, {Late(30001, 29998), Loss(30001, 62000)}},
        // Held successors of the old run go first, then the run that jumped back.
        {"restart jumping back", 4, {45000, 45001, 45002, 45004, 5000, 5001, 5002},
         {45000, 45001, 45002, 45004, 5000, 5001, 5002}, {}, {Loss(45002, 45004), Loss(45004, 5000)}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        logs.Clear();
        ReceivingModule in(c.window);
        std::vector<RTPCheckResult> results;
        for (uint16_t seq : c.seqs) {
            results.push_back(in.Check(Packet(seq, kSsrc, c.payloadType)));
        }
        EXPECT_EQ(in.Delivered(), c.delivered);
        if (!c.results.empty()) {
            results.resize(c.results.size());
            EXPECT_EQ(results, c.results);
        }
        for (const std::string& line : c.lines) {
            EXPECT_EQ(logs.CountText(line), std::count(c.lines.begin(), c.lines.end(), line)) << line;
        }
        EXPECT_EQ(logs.CountContaining("packet loss"),
                  std::count_if(c.lines.begin(), c.lines.end(),
                                [](const std::string& line) { return line.find("packet loss") != std::string::npos; }));
        WithSource(kSsrc, [&](ZQMRTPSource& source) { EXPECT_EQ(source.m_reception.cycles, c.cycles); });
        in.Stop();
        ExpectPoolFull(in.Pool(), "RTP in");
    }
}

class WindowOfThree : public InputStackTest {
protected:
    WindowOfThree() : InputStackTest(3) {}

    // A new source is accepted on its third consecutive packet; then 12 and
    // 13 wait for 11.
    void ValidateAndHoldTwo()
    {
        for (uint16_t seq : {8, 9, 10, 12, 13}) {
            Check(Packet(seq));
        }
        EXPECT_EQ(Pool()->GetFreeCount(), Pool()->GetCount() - 2);
    }
};

TEST_F(WindowOfThree, HeldNumberKeepsItsFirstSample)
{
    ValidateAndHoldTwo();
    RtpPacket again;
    again.seq = 13;
    again.payload = {0xEE};
    EXPECT_EQ(Check(again.Encode()), kBuffered);
    EXPECT_EQ(Pool()->GetFreeCount(), Pool()->GetCount() - 2);
    EXPECT_EQ(Check(Packet(11)), kValid);
    EXPECT_EQ(Check(Packet(14)), kValid);
    ASSERT_THAT(Delivered(), ElementsAre(8, 9, 10, 11, 12, 13, 14));
    EXPECT_EQ(sink->GetPackets()[5].payload, Bytes(std::begin(kDefaultPayload), std::end(kDefaultPayload)));
}

TEST_F(WindowOfThree, NewSsrcSendsTheHeldSamplesBackToThePool)
{
    ValidateAndHoldTwo();
    EXPECT_EQ(Check(Packet(500, 0xBEEF)), kValidating);
    EXPECT_EQ(Pool()->GetFreeCount(), Pool()->GetCount() - 1);
    EXPECT_EQ(logs.CountText("<--RTPStack-->[0] New ssrc [48879 / 0xbeef ] seqnum[500]", 1), 1);
    EXPECT_EQ(logs.CountText("<--RTPStack-->[0] List of ssrc nb element[1]", 1), 1);
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
    EXPECT_EQ(logs.CountText("<--RTPStack-->[0] ******Failed to deliver sample (sequenceNumber : 101)******", 0), 1);
    EXPECT_TRUE(Pool()->IsFull());
}

}  // namespace
}  // namespace inputtest
