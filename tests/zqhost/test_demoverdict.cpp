// The demo's verdict: payloads against the frames of their sequence numbers,
// losses against what the simulation dropped, RTCP both ways.
#include <gtest/gtest.h>

#include "demoverdict.h"

namespace {

// `count` distinct frames numbered from `first`, all sent and delivered,
// with RTCP seen both ways.
DemoFigures CleanRun(int count, uint16_t first = 1000)
{
    DemoFigures figures;
    figures.firstSequenceNumber = first;
    for (int i = 0; i < count; ++i) {
        figures.produced.push_back({static_cast<uint8_t>(i), static_cast<uint8_t>(i >> 8), 0x55});
        figures.delivered.push_back(DeliveredFrame{static_cast<uint16_t>(first + i), figures.produced.back()});
    }
    figures.datagramsSent = static_cast<uint64_t>(count);
    figures.senderReceiverReports = 2;
    figures.receiverGotSenderReport = true;
    return figures;
}

void Lose(DemoFigures& figures, std::initializer_list<int> indexes)
{
    for (int index : indexes) {
        const uint16_t sequence = static_cast<uint16_t>(figures.firstSequenceNumber + index);
        std::erase_if(figures.delivered, [sequence](const DeliveredFrame& f) { return f.sequenceNumber == sequence; });
    }
}

TEST(DemoVerdict, CleanRunHoldsWithThreeReasons)
{
    const DemoVerdict verdict = JudgeDemo(CleanRun(50));
    EXPECT_TRUE(verdict.holds);
    ASSERT_EQ(verdict.reasons.size(), 3u);
    EXPECT_EQ(verdict.reasonHolds, (std::vector<bool>{true, true, true}));
    EXPECT_EQ(verdict.intact, 50u);
    EXPECT_EQ(verdict.dropped, 0u);
    EXPECT_NE(verdict.reasons[0].find("50 payloads came out in order and intact"), std::string::npos);

    const DemoVerdict wrapped = JudgeDemo(CleanRun(40, 65520));  // sequence numbers follow their wrap
    EXPECT_TRUE(wrapped.holds) << wrapped.reasons[0];
    EXPECT_EQ(wrapped.intact, 40u);
}

TEST(DemoVerdict, ReorderedRepeatedOrDamagedPayloadsFail)
{
    DemoFigures swapped = CleanRun(10);
    std::swap(swapped.delivered[3], swapped.delivered[4]);
    DemoVerdict verdict = JudgeDemo(swapped);
    EXPECT_FALSE(verdict.holds);
    EXPECT_FALSE(verdict.reasonHolds[0]);
    EXPECT_NE(verdict.reasons[0].find("1 came out of order or twice"), std::string::npos) << verdict.reasons[0];

    DemoFigures repeated = CleanRun(10);
    repeated.delivered.insert(repeated.delivered.begin() + 5, repeated.delivered[4]);
    EXPECT_FALSE(JudgeDemo(repeated).reasonHolds[0]);

    DemoFigures damaged = CleanRun(10);
    damaged.delivered[7].payload[2] ^= 1;
    verdict = JudgeDemo(damaged);
    EXPECT_FALSE(verdict.reasonHolds[0]);
    EXPECT_NE(verdict.reasons[0].find("1 differ from the frame"), std::string::npos) << verdict.reasons[0];

    // A payload that is another frame's: numbering and content disagree.
    DemoFigures shifted = CleanRun(10);
    shifted.delivered[2].payload = shifted.produced[3];
    EXPECT_FALSE(JudgeDemo(shifted).reasonHolds[0]);
}

TEST(DemoVerdict, LossesMustBeWhatTheSimulationDroppedUpToTheEdges)
{
    // Two frames dropped: one inside the stream, the last one after it.
    DemoFigures figures = CleanRun(10);
    figures.datagramsSent = 8;
    Lose(figures, {3, 9});
    DemoVerdict verdict = JudgeDemo(figures);
    EXPECT_TRUE(verdict.holds) << verdict.reasons[1];
    EXPECT_EQ(verdict.missedInside, 1u);
    EXPECT_EQ(verdict.missedAfter, 1u);

    // The receiver misses more than was dropped: something else lost them.
    figures = CleanRun(10);
    figures.datagramsSent = 9;
    Lose(figures, {3, 5});
    verdict = JudgeDemo(figures);
    EXPECT_FALSE(verdict.reasonHolds[1]);
    EXPECT_NE(verdict.reasons[1].find("do not match"), std::string::npos);

    // More was dropped than the receiver can account for.
    figures = CleanRun(10);
    figures.datagramsSent = 7;
    Lose(figures, {5});
    EXPECT_FALSE(JudgeDemo(figures).reasonHolds[1]);

    // A sender that counts more datagrams than frames is wrong too.
    figures = CleanRun(10);
    figures.datagramsSent = 11;
    EXPECT_FALSE(JudgeDemo(figures).reasonHolds[1]);
}

TEST(DemoVerdict, RTCPMustGoBothWays)
{
    DemoFigures figures = CleanRun(10);
    figures.senderReceiverReports = 0;
    DemoVerdict verdict = JudgeDemo(figures);
    EXPECT_FALSE(verdict.holds);
    EXPECT_NE(verdict.reasons[2].find("the sender got 0 receiver reports"), std::string::npos);

    figures = CleanRun(10);
    figures.receiverGotSenderReport = false;
    verdict = JudgeDemo(figures);
    EXPECT_FALSE(verdict.holds);
    EXPECT_NE(verdict.reasons[2].find("the receiver never got a sender report"), std::string::npos);
}

TEST(DemoVerdict, NothingDeliveredOrFramesSkippedFail)
{
    DemoFigures figures = CleanRun(10);
    figures.delivered.clear();
    DemoVerdict verdict = JudgeDemo(figures);
    EXPECT_FALSE(verdict.holds);
    EXPECT_EQ(verdict.reasons[0], "no payload came out of the receiver");

    figures = CleanRun(10);
    figures.framesSkipped = 1;
    verdict = JudgeDemo(figures);
    EXPECT_FALSE(verdict.reasonHolds[0]);
    EXPECT_NE(verdict.reasons[0].find("skipped 1 frames"), std::string::npos);
}

}  // namespace
