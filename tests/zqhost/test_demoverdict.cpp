// The demo's verdict: payloads against the frames of their sequence numbers,
// losses against what the simulation dropped, RTCP both ways.
#include <gtest/gtest.h>

#include <functional>

#include "demoverdict.h"

namespace {

// `count` distinct frames numbered from `first`, all sent and delivered,
// with RTCP seen both ways.
DemoFigures CleanRun(int count = 10, uint16_t first = 1000)
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

// Drops the frames at `indexes` on the way, `sent` datagrams having left.
void Lose(DemoFigures& figures, uint64_t sent, std::initializer_list<int> indexes)
{
    figures.datagramsSent = sent;
    for (int index : indexes) {
        const uint16_t sequence = static_cast<uint16_t>(figures.firstSequenceNumber + index);
        std::erase_if(figures.delivered, [sequence](const DeliveredFrame& f) { return f.sequenceNumber == sequence; });
    }
}

// Each broken run: what goes wrong, the reason that fails and, when given,
// a part of its text.
TEST(DemoVerdict, EachFaultFailsItsReason)
{
    const struct {
        const char* name;
        std::function<void(DemoFigures&)> breakRun;
        size_t reason;
        const char* text;
    } cases[] = {
        {"swapped", [](DemoFigures& f) { std::swap(f.delivered[3], f.delivered[4]); }, 0,
         "1 came out of order or twice"},
        {"repeated", [](DemoFigures& f) { f.delivered.insert(f.delivered.begin() + 5, f.delivered[4]); }, 0, ""},
        {"damaged", [](DemoFigures& f) { f.delivered[7].payload[2] ^= 1; }, 0, "1 differ from the frame"},
        // A payload that is another frame's: numbering and content disagree.
        {"shifted", [](DemoFigures& f) { f.delivered[2].payload = f.produced[3]; }, 0, ""},
        {"nothing delivered", [](DemoFigures& f) { f.delivered.clear(); }, 0, "no payload came out of the receiver"},
        {"skipped", [](DemoFigures& f) { f.framesSkipped = 1; }, 0, "skipped 1 frames"},
        // The receiver misses more than was dropped: something else lost them.
        {"lost elsewhere", [](DemoFigures& f) { Lose(f, 9, {3, 5}); }, 1, "do not match"},
        // More was dropped than the receiver can account for.
        {"dropped unseen", [](DemoFigures& f) { Lose(f, 7, {5}); }, 1, ""},
        {"sent too many", [](DemoFigures& f) { f.datagramsSent = 11; }, 1, ""},
        {"no receiver reports", [](DemoFigures& f) { f.senderReceiverReports = 0; }, 2,
         "the sender got 0 receiver reports"},
        {"no sender report", [](DemoFigures& f) { f.receiverGotSenderReport = false; }, 2,
         "the receiver never got a sender report"},
        // A short run is not held to RTCP, but the other checks still count.
        {"short run, damaged", [](DemoFigures& f) {
             f.reportsDue = false;
             f.receiverGotSenderReport = false;
             f.delivered[7].payload[2] ^= 1;
         }, 0, "1 differ from the frame"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        DemoFigures figures = CleanRun();
        c.breakRun(figures);
        const DemoVerdict verdict = JudgeDemo(figures);
        EXPECT_FALSE(verdict.holds);
        ASSERT_EQ(verdict.reasons.size(), 3u);
        EXPECT_FALSE(verdict.reasonHolds[c.reason]);
        EXPECT_NE(verdict.reasons[c.reason].find(c.text), std::string::npos) << verdict.reasons[c.reason];
    }
    DemoFigures shortRun = CleanRun();
    shortRun.reportsDue = false;
    shortRun.senderReceiverReports = 0;
    const DemoVerdict verdict = JudgeDemo(shortRun);
    EXPECT_TRUE(verdict.holds);
    EXPECT_NE(verdict.reasons[2].find("not judged"), std::string::npos) << verdict.reasons[2];
}

}  // namespace
