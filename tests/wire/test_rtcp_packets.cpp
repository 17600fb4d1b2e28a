// Golden bytes, round trips and truncated input for every RTCP packet kind.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtcp/rtcpbye.h"
#include "rtcp/rtcpfir.h"
#include "rtcp/rtcpreceiverreport.h"
#include "rtcp/rtcpsdes.h"
#include "rtcp/rtcpsenderreport.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint32_t kSenderSsrc = 0x11223344;

Bytes Build(const auto& packet)
{
    Bytes bytes(packet.BlockLength() + 8, 0xEE);
    const size_t written = packet.Create(bytes.data(), bytes.size());
    EXPECT_EQ(written, packet.BlockLength());
    bytes.resize(written);
    return bytes;
}

// Written from its fields, parsed back into a fresh packet and written
// again; its first `tooShort` bytes do not parse. `count` is a report count.
template <class Packet, class... Count>
void ExpectGolden(const Packet& packet, const Bytes& golden, size_t tooShort, Count... count)
{
    EXPECT_EQ(Build(packet), golden);
    Packet parsed;
    ASSERT_TRUE(parsed.Parse(count..., golden.data(), golden.size()));
    EXPECT_EQ(Build(parsed), golden);
    EXPECT_FALSE(parsed.Parse(count..., golden.data(), tooShort));
}

TEST(RtcpPackets, GoldenBytesOfEachKind)
{
    rtcp::SenderReport sr;  // NTP time of 2026-03-15 09:30:00.250
    sr.senderSsrc = kSenderSsrc;
    sr.timestampHigh = 0xED60FA98;
    sr.timestampLow = 0x40000000;
    sr.rtpTimestamp = 0x090A0B0C;
    sr.packetCount = 0x0D0E0F10;
    sr.octetCount = 0x11121314;
    ExpectGolden(sr, {0x80, 200,  0x00, 0x06, 0x11, 0x22, 0x33, 0x44, 0xED, 0x60, 0xFA, 0x98, 0x40, 0x00,
                      0x00, 0x00, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10, 0x11, 0x12, 0x13, 0x14},
                 27);
    EXPECT_EQ(sr.Create(Bytes(27).data(), 27), 0u);

    rtcp::ReceiverReport rr;
    rr.senderSsrc = kSenderSsrc;
    rr.block.sourceSsrc = 0xA1B2C3D4;
    rr.block.fractionLost = 0x40;
    rr.block.cumulativeLost = 0x1ABCDEF;  // only 24 bits go on the wire
    rr.block.extendedHighestSequence = 0x00010005;
    rr.block.jitter = 77;
    rr.block.lastSenderReport = 0xCAFEBABE;
    rr.block.delaySinceLastSenderReport = 0x00018000;
    const Bytes golden = {0x81, 201,  0x00, 0x07, 0x11, 0x22, 0x33, 0x44, 0xA1, 0xB2, 0xC3,
                          0xD4, 0x40, 0xAB, 0xCD, 0xEF, 0x00, 0x01, 0x00, 0x05, 0x00, 0x00,
                          0x00, 77,   0xCA, 0xFE, 0xBA, 0xBE, 0x00, 0x01, 0x80, 0x00};
    ExpectGolden(rr, golden, 31, uint8_t{1});
    EXPECT_FALSE(rr.Parse(0, golden.data(), golden.size())) << "no report block";
    EXPECT_FALSE(rr.Parse(1, nullptr, 32));

    rtcp::Sdes sdes;
    sdes.ssrc = 4711;
    sdes.text = "10.0.0.5-4711";
    ExpectGolden(sdes, {0x81, 202, 0x00, 0x05, 0x00, 0x00, 0x12, 0x67, 0x01, 13, '1', '0',
                        '.',  '0', '.',  '0',  '.',  '5',  '-',  '4',  '7',  '1', '1', 0},
                 9);

    rtcp::Bye bye;
    bye.ssrc = kSenderSsrc;
    ExpectGolden(bye, {0x81, 203, 0x00, 0x01, 0x11, 0x22, 0x33, 0x44}, 7);

    rtcp::Fir fir;  // no packet sender, no media source
    fir.fciSsrc = kSenderSsrc;
    EXPECT_EQ(Build(fir), (Bytes{0x84, 206, 0x00, 0x04, 0, 0, 0, 0, 0, 0, 0, 0, 0x11, 0x22, 0x33, 0x44, 0, 0, 0, 0}));
    const Bytes feedback = {0x84, 206, 0x00, 0x01, 0xDE, 0xAD, 0xBE, 0xEF};
    uint32_t sender = 0;
    ASSERT_TRUE(rtcp::ReadFeedbackSender(feedback.data(), feedback.size(), &sender));
    EXPECT_EQ(sender, 0xDEADBEEFu);
    EXPECT_FALSE(rtcp::ReadFeedbackSender(feedback.data(), 7, &sender));
}

// The cumulative loss is a signed 24-bit field: sign-extended on input,
// its low 24 bits on output.
TEST(RtcpSdes, PadsTheItemListToAWordBoundaryWithAtLeastOneZero)
{
    struct Case {
        size_t cnameLength;
        size_t padding;
        uint16_t lengthField;
        size_t bytes;
    };
    // L + 10 + pad is a multiple of 4 and pad is 1..4.
    for (const Case& c : {Case{0, 2, 2, 12}, Case{5, 1, 3, 16}, Case{12, 2, 5, 24}, Case{13, 1, 5, 24},
                          Case{14, 4, 6, 28}, Case{255, 3, 66, 268}}) {
        const std::string cname(c.cnameLength, 'x');
        rtcp::Sdes sdes;
        sdes.ssrc = kSenderSsrc;
        sdes.text = cname;
        const Bytes bytes = Build(sdes);
        SCOPED_TRACE(c.cnameLength);
        EXPECT_EQ(rtcp::Sdes::PaddingFor(c.cnameLength), c.padding);
        ASSERT_EQ(bytes.size(), c.bytes);
        EXPECT_EQ((bytes[2] << 8) | bytes[3], c.lengthField);
        EXPECT_EQ(bytes[9], c.cnameLength);
        EXPECT_EQ(Bytes(bytes.begin() + 10 + c.cnameLength, bytes.end()), Bytes(c.padding, 0));
    }
    rtcp::Sdes tooLong;  // longer than an item can carry
    tooLong.text = std::string(256, 'y');
    Bytes bytes(400);
    EXPECT_EQ(tooLong.Create(bytes.data(), bytes.size()), 0u);

    // An item that runs past its packet.
    Bytes overrun = {0x81, 202, 0x00, 0x02, 0, 0, 0, 1, 0x01, 200, 'a', 'b'};
    EXPECT_FALSE(tooLong.Parse(overrun.data(), overrun.size()));
    overrun[9] = 2;
    EXPECT_TRUE(tooLong.Parse(overrun.data(), overrun.size()));
    EXPECT_EQ(tooLong.text, "ab");
}

}  // namespace
