#include "demoverdict.h"

#include <cstdio>

namespace {

struct PayloadCheck {
    uint64_t intact = 0;
    uint64_t outOfOrder = 0;  // not after the one before: reordered or repeated
    uint64_t damaged = 0;     // differs from the frame of its sequence number
    uint64_t unknown = 0;     // numbered beyond the frames produced
    uint64_t firstIndex = 0;
    uint64_t lastIndex = 0;
};

std::string Format(const char* format, auto... values)
{
    char text[512];
    std::snprintf(text, sizeof text, format, values...);
    return text;
}

// Frame indexes follow the sequence numbers across their wrap: each packet
// moves on from the one before by the signed 16-bit difference.
PayloadCheck CheckPayloads(const DemoFigures& figures)
{
    PayloadCheck check;
    bool first = true;
    uint16_t previousSequence = 0;
    int64_t index = 0;
    for (const DeliveredFrame& frame : figures.delivered) {
        if (first) {
            index = static_cast<uint16_t>(frame.sequenceNumber - figures.firstSequenceNumber);
            check.firstIndex = static_cast<uint64_t>(index);
        } else {
            const int16_t step = static_cast<int16_t>(frame.sequenceNumber - previousSequence);
            if (step <= 0) {
                ++check.outOfOrder;
                continue;  // the packets after it are judged against the last one in order
            }
            index += step;
        }
        first = false;
        previousSequence = frame.sequenceNumber;
        check.lastIndex = static_cast<uint64_t>(index);
        if (static_cast<uint64_t>(index) >= figures.produced.size()) {
            ++check.unknown;
        } else if (frame.payload != figures.produced[static_cast<size_t>(index)]) {
            ++check.damaged;
        } else {
            ++check.intact;
        }
    }
    return check;
}

void AddReason(DemoVerdict& verdict, bool holds, const std::string& reason)
{
    verdict.reasons.push_back(reason);
    verdict.reasonHolds.push_back(holds);
    verdict.holds = verdict.holds && holds;
}

void JudgePayloads(DemoVerdict& verdict, const DemoFigures& figures, const PayloadCheck& check)
{
    if (figures.framesSkipped != 0) {
        AddReason(verdict, false,
                  Format("the source skipped %llu frames for want of a free sample, so sequence numbers no longer "
                         "name frames",
                         static_cast<unsigned long long>(figures.framesSkipped)));
        return;
    }
    if (figures.delivered.empty()) {
        AddReason(verdict, false, "no payload came out of the receiver");
        return;
    }
    const bool holds = check.outOfOrder == 0 && check.damaged == 0 && check.unknown == 0;
    if (holds) {
        AddReason(verdict, true,
                  Format("%llu payloads came out in order and intact (frames %llu to %llu)",
                         static_cast<unsigned long long>(check.intact),
                         static_cast<unsigned long long>(check.firstIndex),
                         static_cast<unsigned long long>(check.lastIndex)));
        return;
    }
    AddReason(verdict, false,
              Format("of %llu payloads, %llu came out of order or twice, %llu differ from the frame of their "
                     "sequence number, %llu carry a number no frame had",
                     static_cast<unsigned long long>(figures.delivered.size()),
                     static_cast<unsigned long long>(check.outOfOrder),
                     static_cast<unsigned long long>(check.damaged),
                     static_cast<unsigned long long>(check.unknown)));
}

void JudgeLosses(DemoVerdict& verdict, const DemoFigures& figures)
{
    const uint64_t produced = figures.produced.size();
    if (figures.datagramsSent > produced) {
        AddReason(verdict, false,
                  Format("the sender counts %llu datagrams for %llu frames",
                         static_cast<unsigned long long>(figures.datagramsSent),
                         static_cast<unsigned long long>(produced)));
        return;
    }
    // Frames lost before the first or after the last delivered packet leave
    // no gap a receiver could see.
    const uint64_t undetectable = verdict.missedBefore + verdict.missedAfter;
    const bool holds = verdict.delivered != 0 && verdict.missedInside <= verdict.dropped &&
                       verdict.dropped <= verdict.missedInside + undetectable;
    const double percent = produced == 0 ? 0.0 : 100.0 * static_cast<double>(verdict.dropped) / produced;
    AddReason(verdict, holds,
              Format("%s: the simulation dropped %llu of %llu frames (%.1f %%), the receiver missed %llu between "
                     "its first and last packet, and %llu before or after them that no receiver can notice",
                     holds ? "losses match the simulation" : "losses do not match the simulation",
                     static_cast<unsigned long long>(verdict.dropped), static_cast<unsigned long long>(produced),
                     percent, static_cast<unsigned long long>(verdict.missedInside),
                     static_cast<unsigned long long>(undetectable)));
}

void JudgeRTCP(DemoVerdict& verdict, const DemoFigures& figures)
{
    const bool holds = figures.senderReceiverReports > 0 && figures.receiverGotSenderReport;
    if (!holds && !figures.reportsDue) {
        AddReason(verdict, true,
                  "RTCP not judged: the first reports leave 5 s after the traffic begins, after this run "
                  "(give --seconds 6 or more)");
        return;
    }
    AddReason(verdict, holds,
              Format("RTCP %s: the sender got %u receiver report%s, the receiver %s a sender report",
                     holds ? "went both ways" : "did not go both ways", figures.senderReceiverReports,
                     figures.senderReceiverReports == 1 ? "" : "s",
                     figures.receiverGotSenderReport ? "got" : "never got"));
}

}  // namespace

DemoVerdict JudgeDemo(const DemoFigures& figures)
{
    DemoVerdict verdict;
    verdict.holds = true;
    verdict.produced = figures.produced.size();
    verdict.dropped = figures.datagramsSent <= verdict.produced ? verdict.produced - figures.datagramsSent : 0;
    verdict.delivered = figures.delivered.size();

    const PayloadCheck check = CheckPayloads(figures);
    verdict.intact = check.intact;
    const uint64_t inOrder = check.intact + check.damaged + check.unknown;
    if (inOrder != 0) {
        const uint64_t span = check.lastIndex - check.firstIndex + 1;
        verdict.missedInside = span > inOrder ? span - inOrder : 0;
        verdict.missedBefore = check.firstIndex;
        verdict.missedAfter = check.lastIndex + 1 < verdict.produced ? verdict.produced - check.lastIndex - 1 : 0;
    }
    JudgePayloads(verdict, figures, check);
    JudgeLosses(verdict, figures);
    JudgeRTCP(verdict, figures);
    return verdict;
}
