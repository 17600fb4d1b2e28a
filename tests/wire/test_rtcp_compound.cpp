// The checks a received compound passes before anything of it is applied.
#include <gtest/gtest.h>

#include <vector>

#include "rtcp/rtcpcompound.h"
#include "rtcp/rtcpsdes.h"
#include "rtcp/rtcpsenderreport.h"

namespace {

std::vector<uint8_t> SenderReportWithCname(const char* cname)
{
    std::vector<uint8_t> bytes(600);
    rtcp::SenderReport sr;
    sr.senderSsrc = 1;
    size_t length = sr.Create(bytes.data(), bytes.size());
    rtcp::Sdes sdes;
    sdes.ssrc = 1;
    sdes.text = cname;
    length += sdes.Create(bytes.data() + length, bytes.size() - length);
    bytes.resize(length);
    return bytes;
}

TEST(RtcpCompound, SenderReportWithSdesIsValidAndOneByteShortIsNot)
{
    std::vector<uint8_t> bytes = SenderReportWithCname("abcdefg");
    ASSERT_EQ(bytes.size(), 48u);
    EXPECT_EQ(rtcp::CheckCompound(bytes.data(), bytes.size()).code, rtcp::kCompoundValid);

    const rtcp::CompoundCheck shortOne = rtcp::CheckCompound(bytes.data(), 47);
    EXPECT_EQ(shortOne.code, rtcp::kCompoundBadLength);
    EXPECT_EQ(shortOne.found, 48);
    EXPECT_EQ(shortOne.expected, 47);
}

// A first packet that is no report: the RTCP processing's tests.
TEST(RtcpCompound, EveryPacketMustHaveVersionTwo)
{
    std::vector<uint8_t> bytes = SenderReportWithCname("abcdefg");
    bytes[28] = (1 << 6) | 1;  // SDES with version 1
    const rtcp::CompoundCheck version = rtcp::CheckCompound(bytes.data(), bytes.size());
    EXPECT_EQ(version.code, rtcp::kCompoundBadVersion);
    EXPECT_EQ(version.found, 1);
    EXPECT_EQ(version.expected, 2);
}

TEST(RtcpCompound, PaddingCountOfTheLastByteShortensTheCompound)
{
    std::vector<uint8_t> bytes = SenderReportWithCname("abcdefg");
    bytes[0] |= 0x20;
    bytes.insert(bytes.end(), {0, 0, 0, 4});
    EXPECT_EQ(rtcp::CheckCompound(bytes.data(), bytes.size()).code, rtcp::kCompoundValid);
    size_t end = 0;
    ASSERT_TRUE(rtcp::CompoundEnd(bytes.data(), bytes.size(), &end));
    EXPECT_EQ(end, 48u);

    bytes.back() = 200;  // more padding than the datagram holds
    EXPECT_EQ(rtcp::CheckCompound(bytes.data(), bytes.size()).code, rtcp::kCompoundBadLength);
    EXPECT_FALSE(rtcp::CompoundEnd(bytes.data(), bytes.size(), &end));
}

TEST(RtcpCompound, HostileLengthsNeverReadPastTheDatagram)
{
    // A length field that claims far more than the datagram holds.
    std::vector<uint8_t> overrun = {0x80, 200, 0xFF, 0xFF, 0, 0, 0, 1};
    EXPECT_EQ(rtcp::CheckCompound(overrun.data(), overrun.size()).code, rtcp::kCompoundBadLength);

    // Zero-length packets in the middle are walked one word at a time.
    std::vector<uint8_t> zeros = {0x80, 201, 0x00, 0x00, 0x80, 204, 0x00, 0x00, 0x80, 204, 0x00, 0x00};
    EXPECT_EQ(rtcp::CheckCompound(zeros.data(), zeros.size()).code, rtcp::kCompoundValid);

    // A tail too short for a header.
    std::vector<uint8_t> ragged = {0x80, 201, 0x00, 0x00, 0x80, 204};
    EXPECT_EQ(rtcp::CheckCompound(ragged.data(), ragged.size()).code, rtcp::kCompoundBadLength);

    EXPECT_EQ(rtcp::CheckCompound(overrun.data(), 3).code, rtcp::kCompoundBadLength);
    EXPECT_EQ(rtcp::CheckCompound(nullptr, 0).code, rtcp::kCompoundBadLength);
}

}  // namespace
