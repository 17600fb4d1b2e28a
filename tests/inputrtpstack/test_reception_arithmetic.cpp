// The receiving side's RFC 3550 arithmetic without sockets or stacks:
// cycles, loss figures, jitter, and the report compound.
#include <gtest/gtest.h>

#include <vector>

#include "inputrtpstack/receiverreportcompound.h"
#include "inputrtpstack/rtpreceptionstatistics.h"
#include "inputrtpstack/rtpsequencenumbers.h"

namespace {

TEST(SequenceNumbers, MaxSeqCountsCyclesBothWays)
{
    uint16_t maxSeq = 65534;
    uint16_t cycles = 0;
    zqm::MoveMaxSeq(maxSeq, cycles, 1);
    EXPECT_EQ(zqm::ExtendedSeq(cycles, maxSeq), 0x10001u);
    zqm::MoveMaxSeq(maxSeq, cycles, 65533);  // a late packet from before the wrap
    EXPECT_EQ(zqm::ExtendedSeq(cycles, maxSeq), 65533u);
    zqm::MoveMaxSeq(maxSeq, cycles, 3);
    zqm::MoveMaxSeq(maxSeq, cycles, 65530);  // back before the first cycle: none to undo
    EXPECT_EQ(zqm::ExtendedSeq(cycles, maxSeq), 65530u);
}

TEST(ReceptionLoss, LossesGiveFractionAndCumulativeCountAcrossTheWrap)
{
    // Base 1, highest 10, 8 received, 1 of them in the previous interval.
    const zqm::ReceptionLoss loss = zqm::ComputeReceptionLoss({0, 10, 1, 8, 1, 1});
    EXPECT_EQ(loss.expectedInterval, 9);
    EXPECT_EQ(loss.fractionLostPercent, 22);
    EXPECT_EQ(zqm::LostWord(loss.fractionLost, loss.cumulativeLost), 0x38000002u);
    const zqm::ReceptionLoss duplicates = zqm::ComputeReceptionLoss({0, 5, 1, 7, 0, 0});
    EXPECT_EQ(zqm::LostWord(duplicates.fractionLost, duplicates.cumulativeLost), 0u);
    // Base 65530, one cycle, highest 9: 16 expected, 14 received.
    const zqm::ReceptionLoss wrapped = zqm::ComputeReceptionLoss({1, 9, 65530, 14, 0, 0});
    EXPECT_EQ(wrapped.expected, 16u);
    EXPECT_EQ(wrapped.cumulativeLost, 2u);
    EXPECT_EQ(wrapped.fractionLost, 2 * 256 / 16);
}

TEST(InterarrivalJitter, ConvergesToTheTransitVariationAcrossTheWrap)
{
    uint32_t lastTransit = 0;
    float jitter = zqm::UpdateInterarrivalJitter(0.0f, lastTransit, 1100, 1000);
    EXPECT_FLOAT_EQ(jitter, 100.0f / 16.0f);
    for (uint32_t i = 0; i < 400; ++i) {  // transit 116, 100, 116, ... with timestamps wrapping
        const uint32_t timestamp = 0xFFFF0000u + 2000u * i;
        jitter = zqm::UpdateInterarrivalJitter(jitter, lastTransit, timestamp + (i % 2 ? 100 : 116), timestamp);
    }
    EXPECT_NEAR(jitter, 16.0f, 0.01f);
    EXPECT_EQ(zqm::JitterReportUnits(15.9f), 15u);
    EXPECT_EQ(zqm::JitterReportUnits(-1.0f), 0u);
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
    content.dlsr = zqm::DelaySinceLastSenderReport(content.lsr, 2000, 1000);
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
