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

TEST(RtcpCompound, LengthsVersionsAndPaddingAreCheckedWithinTheDatagram)
{
    const Bytes valid = SenderReportWithCname("abcdefg");
    ASSERT_EQ(valid.size(), 48u);
    const Bytes shortOne(valid.begin(), valid.end() - 1);
    Bytes version1 = valid;
    version1[28] = (1 << 6) | 1;  // the SDES with version 1
    Bytes padded = valid;
    padded[0] |= 0x20;
    padded.insert(padded.end(), {0, 0, 0, 4});
    Bytes overPadded = padded;
    overPadded.back() = 200;  // more padding than the datagram holds
    struct Case {
        const char* what;
        Bytes bytes;
        int code;
    };
    const std::vector<Case> cases = {
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
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rtcp::CheckCompound(c.bytes.data(), c.bytes.size()).code, c.code) << c.what;
    }
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

}  // namespace
