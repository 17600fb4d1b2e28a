#pragma once
// The verdict of zqhost demo, from what the sender produced and what came out
// of the receiver: payloads in order and intact, losses that match what the
// sender's simulation dropped, RTCP seen both ways.
#include <cstdint>
#include <string>
#include <vector>

struct DeliveredFrame {
    uint16_t sequenceNumber = 0;
    std::vector<uint8_t> payload;
};

struct DemoFigures {
    // Every frame the source produced, in order; frame i went out with
    // sequence number firstSequenceNumber + i (modulo 65536).
    std::vector<std::vector<uint8_t>> produced;
    uint16_t firstSequenceNumber = 0;
    // Frames the source numbered but could not produce (no free sample):
    // they break the numbering above.
    uint64_t framesSkipped = 0;
    uint64_t datagramsSent = 0;             // the sender's packet count
    std::vector<DeliveredFrame> delivered;  // in delivery order
    uint32_t senderReceiverReports = 0;     // receiver reports the sender got
    bool receiverGotSenderReport = false;   // the remote source's SR fields are set
    // False for a run too short for the first reports (they leave at the
    // first 5 s tick after traffic began): RTCP is then not judged.
    bool reportsDue = true;
};

struct DemoVerdict {
    bool holds = false;
    // One sentence per check, in order: payloads, losses, RTCP.
    std::vector<std::string> reasons;
    std::vector<bool> reasonHolds;
    uint64_t produced = 0;
    uint64_t dropped = 0;        // produced - sent: what the simulation dropped
    uint64_t delivered = 0;
    uint64_t intact = 0;         // delivered in order and equal to their frame
    uint64_t missedInside = 0;   // frames missing between the first and last delivered one
    uint64_t missedBefore = 0;   // frames before the first delivered one
    uint64_t missedAfter = 0;    // frames after the last delivered one
};

DemoVerdict JudgeDemo(const DemoFigures& figures);
