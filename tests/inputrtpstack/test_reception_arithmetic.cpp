// The receiving side's RFC 3550 arithmetic without sockets or stacks:
// sequence bookkeeping, loss figures, jitter, and the report compound.
#include <gtest/gtest.h>

#include <vector>

#include "inputrtpstack/receiverreportcompound.h"
#include "inputrtpstack/rtpreceptionstatistics.h"
#include "inputrtpstack/rtpsequencenumbers.h"
#include "zqmrtpreporttime.h"

namespace {

struct SequenceCase {
    const char* name;
    std::vector<uint16_t> arrivals;
    uint32_t extendedMax;
    uint32_t expected;
    uint32_t received;
    int32_t cumulativeLost;
};

// RFC 3550 appendix A.1 without probation: the first packet counts, a jump
// restarts the figures once the next packet follows it.
const SequenceCase kSequenceCases[] = {
    {"first number 0", {0, 1, 2}, 2, 3, 3, 0},
    {"first number 65535 wraps at once", {65535, 0, 1}, 0x10001, 3, 3, 0},
    {"loss of two", {10, 11, 14, 15}, 15, 6, 4, 2},
    {"duplicates make the loss negative", {5, 6, 6, 7, 7}, 7, 3, 5, -2},
    {"late packet within 100 counts, max stays", {10, 12, 11, 13}, 13, 4, 4, 0},
    {"wrap with reordering", {65533, 65535, 65534, 1, 0, 2}, 0x10002, 6, 6, 0},
    {"lone jump ahead is not counted", {100, 101, 5000, 102, 103}, 103, 4, 4, 0},
    {"jump ahead confirmed by its follower", {100, 101, 5000, 5001, 5002}, 5002, 2, 2, 0},
    {"sender restart jumping back", {45000, 45001, 5000, 5001, 5002}, 5002, 2, 2, 0},
    {"jump back over the wrap", {200, 201, 65000, 65001, 65002}, 65002, 2, 2, 0},
    {"jump back within 100 is late, not a jump", {300, 301, 250, 302}, 302, 3, 4, -1},
};

TEST(SequenceNumbers, FollowAppendixA1)
{
    for (const SequenceCase& c : kSequenceCases) {
        SCOPED_TRACE(c.name);
        zqm::ReceptionCounters counters;
        for (const uint16_t seq : c.arrivals) {
            zqm::UpdateSequence(counters, seq);
        }
        const zqm::ReceptionLoss loss = zqm::ComputeReceptionLoss(counters);
        EXPECT_EQ(loss.extendedMax, c.extendedMax);
        EXPECT_EQ(loss.expected, c.expected);
        EXPECT_EQ(counters.received, c.received);
        EXPECT_EQ(loss.cumulativeLost, c.cumulativeLost);
    }
}

TEST(ReceptionLoss, FractionComesFromTheIntervalAndTheLostWordIsSigned24Bits)
{
    zqm::ReceptionCounters counters;
    for (const uint16_t seq : {1, 2, 3, 4}) {
        zqm::UpdateSequence(counters, seq);
    }
    zqm::CloseReportInterval(counters, zqm::ComputeReceptionLoss(counters));
    for (const uint16_t seq : {5, 8, 9, 10, 11, 13}) {  // 9 expected, 6 received
        zqm::UpdateSequence(counters, seq);
    }
    const zqm::ReceptionLoss loss = zqm::ComputeReceptionLoss(counters);
    EXPECT_EQ(loss.expectedInterval, 9);
    EXPECT_EQ(loss.fractionLostPercent, 33);
    EXPECT_EQ(zqm::LostWord(loss.fractionLost, loss.cumulativeLost), (3u * 256 / 9) << 24 | 3u);
    EXPECT_EQ(zqm::LostWord(0, -1), 0x00FFFFFFu);
    EXPECT_EQ(zqm::LostWord(0, -0x800000), 0x00800000u);

    // Duplicates only: nothing lost in the interval, the total below zero.
    zqm::CloseReportInterval(counters, loss);
    zqm::UpdateSequence(counters, 13);
    zqm::UpdateSequence(counters, 13);
    const zqm::ReceptionLoss duplicates = zqm::ComputeReceptionLoss(counters);
    EXPECT_EQ(duplicates.fractionLost, 0);
    EXPECT_EQ(duplicates.cumulativeLost, 1);
}

TEST(InterarrivalJitter, FollowsAppendixA8OnTheMonotonicClockInThePayloadClock)
{
    // 8 kHz audio, 20 ms packets (160 units), arriving alternately 0 and 40 ms
    // apart: |D| is 160 units each time from the second packet on.
    zqm::JitterEstimate estimate;
    uint64_t arrival = 1'000'000;
    for (uint32_t i = 0; i < 400; ++i) {
        arrival += (i % 2 == 0) ? 40'000 : 0;
        zqm::UpdateInterarrivalJitter(estimate, arrival, 0xFFFFFF00u + 160u * i, 8000);
    }
    EXPECT_NEAR(estimate.jitterUnits, 160.0f, 0.5f);
    EXPECT_NEAR(zqm::JitterMs(estimate), 20.0f, 0.1f);

    // A payload type with another clock rate starts the estimate again.
    zqm::UpdateInterarrivalJitter(estimate, arrival + 20'000, 12345, 90000);
    EXPECT_EQ(estimate.jitterUnits, 0.0f);
    zqm::UpdateInterarrivalJitter(estimate, arrival + 53'333, 12345 + 3000, 90000);
    EXPECT_LT(estimate.jitterUnits, 1.0f);

    EXPECT_EQ(zqm::ArrivalUnits(1'000'000'000'000ull, 90000), static_cast<uint32_t>(90'000'000'000ull));
    EXPECT_EQ(zqm::JitterReportUnits(15.9f), 15u);
    EXPECT_EQ(zqm::JitterReportUnits(-1.0f), 0u);
}

TEST(DeliveredHistory, RemembersTheLastSpanOfDeliveredNumbers)
{
    zqm::DeliveredHistory history;
    history.Advance(65000, 65001);
    history.Advance(65001, 65003);  // 65002 skipped
    history.Advance(65003, 2);      // across the wrap
    EXPECT_TRUE(history.WasDelivered(65001, 2));
    EXPECT_FALSE(history.WasDelivered(65002, 2));
    EXPECT_TRUE(history.WasDelivered(2, 2));
    EXPECT_FALSE(history.WasDelivered(3, 2));  // ahead of the point
    history.Advance(2, 2 + zqm::DeliveredHistory::kSpan);  // beyond the span: all forgotten
    EXPECT_FALSE(history.WasDelivered(65003, 2 + zqm::DeliveredHistory::kSpan));
    EXPECT_FALSE(history.WasDelivered(2, 2 + zqm::DeliveredHistory::kSpan));
}

TEST(ReceiverReportCompound, GoldenBytesWithCnameAndFir)
{
    zqm::ReceiverReportContent content;
    content.localSsrc = 0x01020304;
    content.localCname = "abcdefghijkl";
    content.reportedSsrc = 0xA1A2A3A4;
    content.lostWord = 0x38000002;
    content.extendedHighestSeq = 0x00010001;
    content.jitterUnits = 15;
    content.lsr = 0x55667788;
    content.dlsr = zqm::DelaySinceLastSenderReport({content.lsr, 1000}, 1000 + 65536);
    content.fullIntraRequest = true;
    const std::vector<uint8_t> expected = {
        0x81, 201,  0,    7,    1,    2,    3,    4,  // RR: header, local SSRC
        0xA1, 0xA2, 0xA3, 0xA4, 0x38, 0,    0,    2,  // reported SSRC, fraction and cumulative lost
        0,    1,    0,    1,    0,    0,    0,    15,   // extended highest seq, jitter
        0x55, 0x66, 0x77, 0x88, 0,    1,    0,    0,  // LSR, DLSR (1 s)
        0x81, 202,  0,    5,    1,    2,    3,    4,  // SDES: header, local SSRC
        1,    12,   'a',  'b',  'c',  'd',  'e',  'f', 'g', 'h', 'i', 'j', 'k', 'l', 0, 0,  // CNAME, pad 2
        0x84, 206,  0,    4,    0,    0,    0,    0,  // FIR: header, no packet sender
        0,    0,    0,    0,    1,    2,    3,    4,  // no media source, local SSRC
        0,    0,    0,    0,                          // sequence number 0, reserved
    };
    std::vector<uint8_t> buffer(zqm::kMaxReceiverReportCompoundBytes, 0xFF);
    buffer.resize(zqm::BuildReceiverReportCompound(content, buffer.data(), buffer.size()));
    EXPECT_EQ(buffer, expected);
}

}  // namespace
