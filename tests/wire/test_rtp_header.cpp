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

}  // namespace
