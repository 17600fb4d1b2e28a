// How a stack sorts what arrives on its RTP port: by the second octet under
// multiplexing, by a whole compound's checks without it.
#include <gtest/gtest.h>

#include <vector>

#include "rtcp/rtcpmuxdemux.h"

namespace {

using Bytes = std::vector<uint8_t>;

// An empty RR of SSRC 0x01020304, then an SDES CNAME "ab".
const Bytes kReceiverReportCompound = {0x80, 0xC9, 0x00, 0x01, 0x01, 0x02, 0x03, 0x04,
                                       0x81, 0xCA, 0x00, 0x03, 0x01, 0x02, 0x03, 0x04,
                                       0x01, 0x02, 0x61, 0x62, 0x00, 0x00, 0x00, 0x00};
// PCMA, marker set, sequence 7, timestamp 0x100, SSRC 0x11223344, two bytes.
const Bytes kRtpPacket = {0x80, 0x88, 0x00, 0x07, 0x00, 0x00, 0x01, 0x00, 0x11, 0x22, 0x33, 0x44, 0xD5, 0xD5};

Bytes WithSecondOctet(Bytes bytes, uint8_t value)
{
    bytes[1] = value;
    return bytes;
}

TEST(RtcpMuxDemux, MultiplexedPortSortsBySecondOctetAlone)
{
    EXPECT_TRUE(rtcp::IsMultiplexedRTCP(kReceiverReportCompound.data(), kReceiverReportCompound.size()));
    EXPECT_FALSE(rtcp::IsMultiplexedRTCP(kRtpPacket.data(), kRtpPacket.size()));
    for (const int octet : {191, 192, 200, 223, 224, 0x7F, 0xFF}) {
        const Bytes bytes = WithSecondOctet(kRtpPacket, static_cast<uint8_t>(octet));
        EXPECT_EQ(rtcp::IsMultiplexedRTCP(bytes.data(), bytes.size()), octet >= 192 && octet <= 223) << octet;
    }
    // Nothing to sort by: not read.
    EXPECT_FALSE(rtcp::IsMultiplexedRTCP(kReceiverReportCompound.data(), 1));
    EXPECT_FALSE(rtcp::IsMultiplexedRTCP(nullptr, 8));
}

TEST(RtcpMuxDemux, PlainPortKnowsOnlyAWholeCompoundForRtcp)
{
    EXPECT_TRUE(rtcp::IsRTCPCompound(kReceiverReportCompound.data(), kReceiverReportCompound.size()));
    const struct {
        const char* what;
        Bytes bytes;
    } media[] = {
        {"RTP", kRtpPacket},
        {"RTP with the marker and payload type 72", WithSecondOctet(kRtpPacket, 0xC8)},
        {"an SDES first", WithSecondOctet(kReceiverReportCompound, 0xCA)},
        {"one byte cut off", Bytes(kReceiverReportCompound.begin(), kReceiverReportCompound.end() - 1)},
        {"four bytes more", [] {
             Bytes longer = kReceiverReportCompound;
             longer.insert(longer.end(), 4, 0);
             return longer;
         }()},
        {"version 1", [] {
             Bytes old = kReceiverReportCompound;
             old[0] = 0x40;
             return old;
         }()},
        {"a header alone", Bytes(kReceiverReportCompound.begin(), kReceiverReportCompound.begin() + 3)},
    };
    for (const auto& c : media) {
        EXPECT_FALSE(rtcp::IsRTCPCompound(c.bytes.data(), c.bytes.size())) << c.what;
    }
}

}  // namespace
