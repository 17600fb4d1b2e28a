// The checks a received compound passes before anything of it is applied;
// a first packet that is no report: the RTCP processing's tests.
#include <gtest/gtest.h>

#include <vector>

#include "rtcp/rtcpcompound.h"
#include "rtcp/rtcpsdes.h"
#include "rtcp/rtcpsenderreport.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes SenderReportWithCname(const char* cname)
{
    Bytes bytes(600);
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

// RFC 3550 padding: the flag on the last packet, whose length counts the
// padding bytes; the datagram's last byte says how many there are.
Bytes WithPaddedLastPacket(Bytes bytes, size_t lastPacketAt, uint8_t count, size_t paddingBytes = 4)
{
    bytes[lastPacketAt] |= 0x20;
    const uint16_t lengthWords = static_cast<uint16_t>(((bytes[lastPacketAt + 2] << 8) | bytes[lastPacketAt + 3]) +
                                                       paddingBytes / 4);
    bytes[lastPacketAt + 2] = static_cast<uint8_t>(lengthWords >> 8);
    bytes[lastPacketAt + 3] = static_cast<uint8_t>(lengthWords);
    bytes.insert(bytes.end(), paddingBytes, 0);
    bytes.back() = count;
    return bytes;
}

// The form older senders of this system used: the flag on the first packet,
// lengths without the padding.
Bytes WithPaddingAfterTheLengths(Bytes bytes, uint8_t count, size_t paddingBytes = 4)
{
    bytes[0] |= 0x20;
    bytes.insert(bytes.end(), paddingBytes, 0);
    bytes.back() = count;
    return bytes;
}

struct CompoundCase {
    const char* what;
    Bytes bytes;
    int code;
};

void ExpectCodes(const std::vector<CompoundCase>& cases)
{
    for (const CompoundCase& c : cases) {
        EXPECT_EQ(rtcp::CheckCompound(c.bytes.data(), c.bytes.size()).code, c.code) << c.what;
    }
}

// The packets a reader hands out: type and bytes of each.
std::vector<std::pair<int, size_t>> ReadAll(const Bytes& bytes)
{
    rtcp::CompoundLayout layout;
    EXPECT_TRUE(rtcp::LocateCompound(bytes.data(), bytes.size(), &layout));
    rtcp::CompoundReader reader(bytes.data(), layout);
    rtcp::CompoundReader::Packet packet;
    std::vector<std::pair<int, size_t>> packets;
    while (reader.Next(&packet)) {
        packets.emplace_back(packet.header.packetType, packet.bytes);
    }
    return packets;
}

TEST(RtcpCompound, LengthsVersionsAndPaddingAreCheckedWithinTheDatagram)
{
    const Bytes valid = SenderReportWithCname("abcdefg");
    ASSERT_EQ(valid.size(), 48u);
    const Bytes shortOne(valid.begin(), valid.end() - 1);
    Bytes version1 = valid;
    version1[28] = (1 << 6) | 1;  // the SDES with version 1
    const Bytes padded = WithPaddingAfterTheLengths(valid, 4);
    const Bytes overPadded = WithPaddingAfterTheLengths(valid, 200);  // more padding than the datagram holds
    ExpectCodes({
        {"report and SDES", valid, rtcp::kCompoundValid},
        {"one byte short", shortOne, rtcp::kCompoundBadLength},
        {"second packet of version 1", version1, rtcp::kCompoundBadVersion},
        {"padding counted by the last byte", padded, rtcp::kCompoundValid},
        {"more padding than the datagram", overPadded, rtcp::kCompoundBadLength},
        {"length far beyond the datagram", {0x80, 200, 0xFF, 0xFF, 0, 0, 0, 1}, rtcp::kCompoundBadLength},
        {"zero-length packets, a word each", {0x80, 201, 0, 0, 0x80, 204, 0, 0, 0x80, 204, 0, 0}, rtcp::kCompoundValid},
        {"tail too short for a header", {0x80, 201, 0, 0, 0x80, 204}, rtcp::kCompoundBadLength},
        {"shorter than a header", {0x80, 200, 0xFF}, rtcp::kCompoundBadLength},
        {"empty", {}, rtcp::kCompoundBadLength},
    });
    const rtcp::CompoundCheck shortCheck = rtcp::CheckCompound(shortOne.data(), shortOne.size());
    EXPECT_EQ(shortCheck.found, 48);
    EXPECT_EQ(shortCheck.expected, 47);
    const rtcp::CompoundCheck versionCheck = rtcp::CheckCompound(version1.data(), version1.size());
    EXPECT_EQ(versionCheck.found, 1);
    EXPECT_EQ(versionCheck.expected, 2);
    size_t end = 0;
    ASSERT_TRUE(rtcp::CompoundEnd(padded.data(), padded.size(), &end));
    EXPECT_EQ(end, 48u);
    EXPECT_FALSE(rtcp::CompoundEnd(overPadded.data(), overPadded.size(), &end));
}

TEST(RtcpCompound, PaddingIsTakenInBothFormsWithinWhatItMayCover)
{
    const Bytes valid = SenderReportWithCname("abcdefg");  // SR at 0, SDES of 20 bytes at 28
    const Bytes receiverReportAlone = {0x81, 201, 0, 7, 0, 0, 0, 1, 0, 0, 0, 2, 0, 0, 0, 0,
                                       0,    0,   0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes paddedFirstPacket = valid;  // the RFC form's flag on the SR: not the last packet
    paddedFirstPacket[0] |= 0x20;
    Bytes flagOnLastUncounted = WithPaddingAfterTheLengths(valid, 4);
    flagOnLastUncounted[0] &= ~0x20;
    flagOnLastUncounted[28] |= 0x20;
    ExpectCodes({
        {"RFC form: SDES padded with 4 bytes", WithPaddedLastPacket(valid, 28, 4), rtcp::kCompoundValid},
        {"RFC form: 1 byte of padding", WithPaddedLastPacket(valid, 28, 1), rtcp::kCompoundValid},
        {"RFC form: padding covering the SDES body", WithPaddedLastPacket(valid, 28, 20), rtcp::kCompoundValid},
        {"RFC form: a report alone, padded", WithPaddedLastPacket(receiverReportAlone, 0, 4), rtcp::kCompoundValid},
        {"RFC form: count 0", WithPaddedLastPacket(valid, 28, 0), rtcp::kCompoundBadLength},
        {"RFC form: count beyond the last packet", WithPaddedLastPacket(valid, 28, 21), rtcp::kCompoundBadLength},
        {"RFC form: count beyond the datagram", WithPaddedLastPacket(receiverReportAlone, 0, 200),
         rtcp::kCompoundBadLength},
        // The padding is walked as a packet, of version 0.
        {"flag on the last packet, lengths without the padding", flagOnLastUncounted, rtcp::kCompoundBadVersion},
        {"old form: 8 bytes of padding", WithPaddingAfterTheLengths(valid, 8, 8), rtcp::kCompoundValid},
        {"old form: count 0", WithPaddingAfterTheLengths(valid, 0), rtcp::kCompoundBadLength},
        {"old form: the whole datagram as padding", WithPaddingAfterTheLengths(valid, 52), rtcp::kCompoundBadLength},
        {"old form: count off by a word", WithPaddingAfterTheLengths(valid, 8), rtcp::kCompoundBadLength},
        {"flag on the first packet, nothing after the lengths", paddedFirstPacket, rtcp::kCompoundBadLength},
    });
    const Bytes zeroCount = WithPaddedLastPacket(valid, 28, 0);
    const rtcp::CompoundCheck zeroCheck = rtcp::CheckCompound(zeroCount.data(), zeroCount.size());
    EXPECT_EQ(zeroCheck.found, 52);
    EXPECT_EQ(zeroCheck.expected, 52);
    const Bytes overPadded = WithPaddingAfterTheLengths(valid, 200);
    EXPECT_EQ(rtcp::CheckCompound(overPadded.data(), overPadded.size()).expected, 52 - 200);

    // The parsers see the packets without their padding, in either form.
    using Read = std::vector<std::pair<int, size_t>>;
    EXPECT_EQ(ReadAll(WithPaddedLastPacket(valid, 28, 4)), (Read{{200, 28}, {202, 20}}));
    EXPECT_EQ(ReadAll(WithPaddedLastPacket(valid, 28, 20)), (Read{{200, 28}, {202, 4}}));
    EXPECT_EQ(ReadAll(WithPaddingAfterTheLengths(valid, 8, 8)), (Read{{200, 28}, {202, 20}}));
    EXPECT_EQ(ReadAll(WithPaddedLastPacket(receiverReportAlone, 0, 4)), (Read{{201, 32}}));
}

}  // namespace
