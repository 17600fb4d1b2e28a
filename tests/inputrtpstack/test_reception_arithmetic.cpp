// The receiving side's arithmetic, without sockets or stacks: sequence
// numbers and cycles (RFC 3550 A.1), loss figures (A.3), jitter (A.8), the
// lip-sync delay and the receiver-report compound.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "inputrtpstack/lipsyncdelay.h"
#include "inputrtpstack/receiverreportcompound.h"
#include "inputrtpstack/rtpdatagramcheck.h"
#include "inputrtpstack/rtpreceptionstatistics.h"
#include "inputrtpstack/rtpsequencenumbers.h"

namespace {

TEST(SequenceNumbers, DistanceWrapsAtSixtyFiveThousand)
{
    EXPECT_EQ(zqm::NextSeq(65535), 0);
    EXPECT_EQ(zqm::SeqDistance(0, 65535), 1);
    EXPECT_EQ(zqm::SeqDistance(65534, 1), -3);
    EXPECT_EQ(zqm::SeqDistance(5000, 100), 4900);
}

TEST(SequenceNumbers, MaxSeqCountsCyclesBothWays)
{
    uint16_t maxSeq = 65534;
    uint16_t cycles = 0;
    zqm::MoveMaxSeq(maxSeq, cycles, 1);  // forward across the wrap
    EXPECT_EQ(cycles, 1);
    EXPECT_EQ(zqm::ExtendedSeq(cycles, maxSeq), 0x10001u);
    zqm::MoveMaxSeq(maxSeq, cycles, 65533);  // a late packet from before it
    EXPECT_EQ(cycles, 0);
    EXPECT_EQ(maxSeq, 65533);
    zqm::MoveMaxSeq(maxSeq, cycles, 2);
    EXPECT_EQ(zqm::ExtendedSeq(cycles, maxSeq), 0x10002u);
}

TEST(SequenceNumbers, MoveBackBeforeTheFirstCycleStaysInCycleZero)
{
    uint16_t maxSeq = 3;
    uint16_t cycles = 0;
    zqm::MoveMaxSeq(maxSeq, cycles, 65530);
    EXPECT_EQ(cycles, 0);
    EXPECT_EQ(maxSeq, 65530);
}

TEST(SequenceNumbers, EarliestHeldFollowsTheSequenceAcrossTheWrap)
{
    zqm::HeldPackets held{{0, nullptr}, {1, nullptr}, {65535, nullptr}};
    EXPECT_EQ(zqm::EarliestHeld(held, 65533)->first, 65535);
    EXPECT_EQ(zqm::EarliestHeld(held, 10)->first, 65535);  // 65535 is 11 behind 10
    zqm::HeldPackets late{{18, nullptr}, {25, nullptr}};
    EXPECT_EQ(zqm::EarliestHeld(late, 23)->first, 18);
    zqm::HeldPackets none;
    EXPECT_EQ(zqm::EarliestHeld(none, 7), none.end());
}

TEST(ReceptionLoss, LossesGiveFractionAndCumulativeCount)
{
    // Base 1, highest 10, 8 received, of which 1 in the previous interval.
    const zqm::ReceptionLoss loss = zqm::ComputeReceptionLoss({0, 10, 1, 8, 1, 1});
    EXPECT_EQ(loss.expected, 10u);
    EXPECT_EQ(loss.expectedInterval, 9);
    EXPECT_EQ(loss.lostInterval, 2);
    EXPECT_EQ(loss.fractionLost, 2 * 256 / 9);
    EXPECT_EQ(loss.fractionLostPercent, 22);
    EXPECT_EQ(loss.cumulativeLost, 2u);
    EXPECT_EQ(zqm::LostWord(loss.fractionLost, loss.cumulativeLost), 0x38000002u);
}

TEST(ReceptionLoss, DuplicatesNeverGiveANegativeLoss)
{
    const zqm::ReceptionLoss loss = zqm::ComputeReceptionLoss({0, 5, 1, 7, 0, 0});
    EXPECT_EQ(loss.fractionLost, 0);
    EXPECT_EQ(loss.fractionLostPercent, 0);
    EXPECT_EQ(loss.cumulativeLost, 0u);
}

TEST(ReceptionLoss, LossComputationWithSequenceNumberWrapping)
{
    // Base 65530, one cycle, highest 9: 16 expected, 14 received.
    const zqm::ReceptionLoss loss = zqm::ComputeReceptionLoss({1, 9, 65530, 14, 0, 0});
    EXPECT_EQ(loss.extendedMax, 0x10009u);
    EXPECT_EQ(loss.expected, 16u);
    EXPECT_EQ(loss.cumulativeLost, 2u);
    EXPECT_EQ(loss.fractionLost, 2 * 256 / 16);
}

TEST(ReceptionLoss, SilentIntervalReceivesNothing)
{
    const zqm::ReceptionLoss loss = zqm::ComputeReceptionLoss({0, 10, 1, 10, 10, 10});
    EXPECT_EQ(loss.receivedInterval, 0);
    EXPECT_EQ(loss.expectedInterval, 0);
    EXPECT_EQ(loss.fractionLost, 0);
}

TEST(InterarrivalJitter, ConvergesToTheTransitVariation)
{
    uint32_t lastTransit = 0;
    float jitter = 0.0f;
    // Transit alternates between 100 and 116: |D| is 16 from the second on.
    jitter = zqm::UpdateInterarrivalJitter(jitter, lastTransit, 1100, 1000);
    EXPECT_FLOAT_EQ(jitter, 100.0f / 16.0f);
    for (int i = 0; i < 400; ++i) {
        const uint32_t transit = (i % 2 == 0) ? 116 : 100;
        jitter = zqm::UpdateInterarrivalJitter(jitter, lastTransit, 2000u * i + transit, 2000u * i);
    }
    EXPECT_NEAR(jitter, 16.0f, 0.01f);
    EXPECT_EQ(zqm::JitterReportUnits(15.9f), 15u);  // truncated toward zero
}

TEST(InterarrivalJitter, TransitWrapsLikeTheTimestamps)
{
    uint32_t lastTransit = 0xFFFFFFF0u;
    const float jitter = zqm::UpdateInterarrivalJitter(0.0f, lastTransit, 0x10, 0x10);  // transit 0: D = 16
    EXPECT_FLOAT_EQ(jitter, 1.0f);
    EXPECT_EQ(zqm::JitterReportUnits(-1.0f), 0u);
}

TEST(DelaySinceLastSenderReport, CountsUnitsOfOneSixtyFiveThousandthSecond)
{
    EXPECT_EQ(zqm::DelaySinceLastSenderReport(0, 5000, 1000), 0u);
    EXPECT_EQ(zqm::DelaySinceLastSenderReport(0x12345678, 2000, 1000), 65536u);
    EXPECT_EQ(zqm::DelaySinceLastSenderReport(1, 10, 0xFFFFFFF6u), 1310u);  // 20 ms across the wrap
}

TEST(LipSyncDelay, IsTheWallClockLeadOfTheMediaNowArriving)
{
    zqm::LipSyncTiming audio{100000, 9000, 10000};  // 1000 ms of media since its report
    zqm::LipSyncTiming video{100000, 19500, 20000};  // 500 ms since its report
    EXPECT_EQ(zqm::LipSyncDelayMs(audio, video), 500);
    audio.srWallClockMs = 100200;  // audio's report was sent 200 ms later
    EXPECT_EQ(zqm::LipSyncDelayMs(audio, video), 700);
    EXPECT_EQ(zqm::LipSyncDelayMs(video, audio), 0);  // behind: never negative
}

TEST(ReceivedDatagram, FaultsAreFoundInOrder)
{
    std::vector<uint8_t> bytes(16, 0);
    bytes[0] = 0x80;
    bytes[1] = 8;
    EXPECT_EQ(rtp::CheckReceivedDatagram(bytes.data(), 11).fault, rtp::DatagramFault::HeaderLength);
    EXPECT_EQ(rtp::CheckReceivedDatagram(bytes.data(), 12).fault, rtp::DatagramFault::None);
    bytes[0] = 0x40 | 0x10;  // version 1 and an extension: the version counts
    EXPECT_EQ(rtp::CheckReceivedDatagram(bytes.data(), 16).fault, rtp::DatagramFault::Version);
    bytes[0] = 0x90;
    EXPECT_EQ(rtp::CheckReceivedDatagram(bytes.data(), 16).fault, rtp::DatagramFault::Extension);
    bytes[0] = 0x81;  // one CSRC: exactly fits
    EXPECT_EQ(rtp::CheckReceivedDatagram(bytes.data(), 16).fault, rtp::DatagramFault::None);
    bytes[0] = 0x82;
    EXPECT_EQ(rtp::CheckReceivedDatagram(bytes.data(), 16).fault, rtp::DatagramFault::HeaderLength);
    bytes[0] = 0xA0;  // padding of 4: the whole payload
    bytes[15] = 4;
    rtp::ReceivedDatagram padded = rtp::CheckReceivedDatagram(bytes.data(), 16);
    EXPECT_EQ(padded.fault, rtp::DatagramFault::None);
    EXPECT_EQ(padded.paddingBytes, 4u);
    bytes[15] = 5;
    EXPECT_EQ(rtp::CheckReceivedDatagram(bytes.data(), 16).fault, rtp::DatagramFault::Padding);
    bytes[0] = 0x80;
    bytes[1] = 0x80 | 73;  // marker and PT 73
    EXPECT_EQ(rtp::CheckReceivedDatagram(bytes.data(), 16).fault, rtp::DatagramFault::PayloadType);
    EXPECT_EQ(rtp::CheckReceivedDatagram(nullptr, 0).fault, rtp::DatagramFault::HeaderLength);
}

class ReceiverReportCompound : public ::testing::Test {
protected:
    std::vector<uint8_t> Build(const char* cname, bool fir)
    {
        zqm::ReceiverReportContent content;
        content.localSsrc = 0x01020304;
        content.localCname = cname;
        content.reportedSsrc = 0xA1A2A3A4;
        content.lostWord = 0x38000002;
        content.extendedHighestSeq = 0x00010001;
        content.jitterUnits = 15;
        content.lsr = 0x55667788;
        content.dlsr = 65536;
        content.fullIntraRequest = fir;
        std::vector<uint8_t> buffer(zqm::kMaxReceiverReportCompoundBytes, 0xFF);
        buffer.resize(zqm::BuildReceiverReportCompound(content, buffer.data(), buffer.size()));
        return buffer;
    }

    static const std::vector<uint8_t>& ReceiverReportBytes()
    {
        static const std::vector<uint8_t> bytes = {
            0x81, 201,  0x00, 0x07, 0x01, 0x02, 0x03, 0x04,  // header, local SSRC
            0xA1, 0xA2, 0xA3, 0xA4, 0x38, 0x00, 0x00, 0x02,  // reported SSRC, loss word
            0x00, 0x01, 0x00, 0x01, 0x00, 0x00, 0x00, 0x0F,  // extended seq, jitter
            0x55, 0x66, 0x77, 0x88, 0x00, 0x01, 0x00, 0x00,  // LSR, DLSR
        };
        return bytes;
    }
};

TEST_F(ReceiverReportCompound, WithoutCnameIsTheReportAlone)
{
    EXPECT_EQ(Build("", false), ReceiverReportBytes());
}

TEST_F(ReceiverReportCompound, CnameOfTwelveCharactersIsPaddedByTwo)
{
    std::vector<uint8_t> expected = ReceiverReportBytes();
    const std::vector<uint8_t> sdes = {0x81, 202, 0x00, 0x05, 0x01, 0x02, 0x03, 0x04, 0x01, 12};
    expected.insert(expected.end(), sdes.begin(), sdes.end());
    const char cname[] = "abcdefghijkl";
    expected.insert(expected.end(), cname, cname + 12);
    expected.insert(expected.end(), {0, 0});
    EXPECT_EQ(Build(cname, false), expected);
    ASSERT_EQ(expected.size(), 56u);

    const std::vector<uint8_t> fir = {0x84, 206, 0x00, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0x01, 0x02, 0x03, 0x04, 0, 0, 0, 0};
    expected.insert(expected.end(), fir.begin(), fir.end());
    EXPECT_EQ(Build(cname, true), expected);
    EXPECT_EQ(expected.size(), 76u);
}

TEST_F(ReceiverReportCompound, FirFollowsTheReportWhenThereIsNoCname)
{
    const std::vector<uint8_t> bytes = Build("", true);
    ASSERT_EQ(bytes.size(), 52u);
    EXPECT_EQ(bytes[32], 0x84);
    EXPECT_EQ(bytes[33], 206);
}

TEST_F(ReceiverReportCompound, PaddingRunsFromOneToFourBytes)
{
    EXPECT_EQ(Build("abcde", false).size(), 32u + 10 + 5 + 1);
    EXPECT_EQ(Build("abcdef", false).size(), 32u + 10 + 6 + 4);
    const std::string longest(255, 'x');
    EXPECT_EQ(Build(longest.c_str(), true).size(), 32u + 10 + 255 + 3 + 20);
}

}  // namespace
