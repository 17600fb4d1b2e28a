// The RTP fixed header as both sides see it.
#include <gtest/gtest.h>

#include <vector>

#include "zqmrtpheader.h"

namespace {

TEST(RtpHeader, WritesGoldenBytesAndReadsThemBack)
{
    std::vector<uint8_t> bytes(12, 0xFF);
    rtp::WriteFixedHeader(bytes.data(), true, 8, 0xBEEF, 0x01020304, 0xA1B2C3D4);
    const std::vector<uint8_t> golden = {0x80, 0x88, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04, 0xA1, 0xB2, 0xC3, 0xD4};
    EXPECT_EQ(bytes, golden);

    rtp::FixedHeader header;
    ASSERT_TRUE(rtp::ReadFixedHeader(bytes.data(), bytes.size(), &header));
    EXPECT_EQ(header.version, 2);
    EXPECT_TRUE(header.marker);
    EXPECT_EQ(header.payloadType, 8);
    EXPECT_EQ(header.sequenceNumber, 0xBEEF);
    EXPECT_EQ(header.timestamp, 0x01020304u);
    EXPECT_EQ(header.ssrc, 0xA1B2C3D4u);
    EXPECT_EQ(header.PayloadOffset(), 12u);
    EXPECT_FALSE(rtp::ReadFixedHeader(bytes.data(), 11, &header));
}

TEST(RtpHeader, ReadsFlagsAndTheCsrcOffset)
{
    const std::vector<uint8_t> bytes = {0xB2, 0x7F, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3};
    rtp::FixedHeader header;
    ASSERT_TRUE(rtp::ReadFixedHeader(bytes.data(), bytes.size(), &header));
    EXPECT_EQ(header.version, 2);
    EXPECT_TRUE(header.padding);
    EXPECT_TRUE(header.extension);
    EXPECT_EQ(header.csrcCount, 2);
    EXPECT_FALSE(header.marker);
    EXPECT_EQ(header.payloadType, 127);
    EXPECT_EQ(header.PayloadOffset(), 20u);
}

TEST(RtpHeader, ForwardErrorCorrectionHeaderKeepsItsFirstEightBytes)
{
    std::vector<uint8_t> bytes = {0x9F, 0x80 | 100, 0x12, 0x34, 5, 6, 7, 8, 0, 0, 0, 0};
    rtp::WritePayloadTypeAndSsrc(bytes.data(), 118, 0x01020304);
    const std::vector<uint8_t> golden = {0x9F, 0x80 | 118, 0x12, 0x34, 5, 6, 7, 8, 1, 2, 3, 4};
    EXPECT_EQ(bytes, golden);
}

}  // namespace
