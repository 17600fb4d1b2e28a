// SRTP and SRTCP sessions through libsrtp: trailer lengths per suite
// (RFC 3711, RFC 7714), round trips in place, and what the receiving side
// refuses.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "rtp_datagram.h"
#include "srtp/srtpsession.h"

namespace {

using namespace zqm::srtp;

struct SuiteCase {
    const char* name;
    int rtpTrailer;   // authentication tag
    int rtcpTrailer;  // E flag and SRTCP index, and the tag
    size_t rtcpIndexAt;  // in a protected SR of 28 bytes
};

// Test names carry the suite, not the bytes of the case.
void PrintTo(const SuiteCase& suiteCase, std::ostream* out) { *out << suiteCase.name; }

constexpr SuiteCase kSuites[] = {
    {"AES_CM_128_HMAC_SHA1_80", 10, 14, 28},
    {"AES_CM_128_HMAC_SHA1_32", 4, 14, 28},  // SRTCP keeps the 80-bit tag
    {"AEAD_AES_128_GCM", 16, 20, 44},        // the index follows the tag (RFC 7714)
};

std::vector<uint8_t> MasterKey(const Suite& suite, uint8_t seed)
{
    std::vector<uint8_t> key(suite.MasterBytes());
    for (size_t i = 0; i < key.size(); ++i) {
        key[i] = static_cast<uint8_t>(seed + i * 7);
    }
    return key;
}

// A packet in a buffer with the trailer's room behind it.
std::vector<uint8_t> Roomy(std::vector<uint8_t> packet)
{
    packet.resize(packet.size() + kMaxTrailerBytes, 0xEE);
    return packet;
}

class SrtpSessionTest : public ::testing::TestWithParam<SuiteCase> {
protected:
    void SetUp() override
    {
        suite = FindSuite(GetParam().name);
        ASSERT_NE(suite, nullptr);
        std::string why;
        ASSERT_TRUE(sender.Start(*suite, MasterKey(*suite, 1), Direction::Send, &why)) << why;
        ASSERT_TRUE(receiver.Start(*suite, MasterKey(*suite, 1), Direction::Receive, &why)) << why;
    }

    const Suite* suite = nullptr;
    Session sender;
    Session receiver;
};

TEST_P(SrtpSessionTest, RtpRoundTripInPlaceAndWhatTheReceiverRefuses)
{
    testsupport::RtpPacket rtp;
    rtp.seq = 4711;
    rtp.payload.assign(160, 0x5A);
    const std::vector<uint8_t> plain = rtp.Encode();
    std::vector<uint8_t> buffer = Roomy(plain);
    const int length = sender.ProtectRtp(buffer.data(), static_cast<int>(plain.size()), static_cast<int>(buffer.size()));
    ASSERT_EQ(length, static_cast<int>(plain.size()) + GetParam().rtpTrailer);
    EXPECT_TRUE(std::equal(plain.begin(), plain.begin() + 12, buffer.begin())) << "the header stays in the clear";
    EXPECT_FALSE(std::equal(plain.begin() + 12, plain.end(), buffer.begin() + 12)) << "the payload is encrypted";
    const std::vector<uint8_t> wire(buffer.begin(), buffer.begin() + length);

    // Forgeries first: a packet that fails authentication leaves the replay
    // window as it was, so the genuine one is still taken.
    for (size_t at : {size_t{2}, size_t{40}, wire.size() - 1}) {  // header, payload, tag
        std::vector<uint8_t> forged = wire;
        forged[at] ^= 0x01;
        int forgedLength = length;
        EXPECT_EQ(receiver.UnprotectRtp(forged.data(), &forgedLength), Verdict::AuthenticationFailed) << at;
    }

    std::vector<uint8_t> received = wire;
    int receivedLength = length;
    ASSERT_EQ(receiver.UnprotectRtp(received.data(), &receivedLength), Verdict::Ok);
    EXPECT_EQ(std::vector<uint8_t>(received.begin(), received.begin() + receivedLength), plain);

    std::vector<uint8_t> replay = wire;
    int replayLength = length;
    EXPECT_EQ(receiver.UnprotectRtp(replay.data(), &replayLength), Verdict::Replayed);

    Session stranger;
    std::string why;
    ASSERT_TRUE(stranger.Start(*suite, MasterKey(*suite, 2), Direction::Receive, &why)) << why;
    std::vector<uint8_t> otherKey = wire;
    int otherLength = length;
    EXPECT_EQ(stranger.UnprotectRtp(otherKey.data(), &otherLength), Verdict::AuthenticationFailed);
}

TEST_P(SrtpSessionTest, RtcpRoundTripAndForgery)
{
    // An SR of 28 bytes.
    const std::vector<uint8_t> plain =
        testsupport::Words({0x80C80006, 0x11223344, 0xED60FA98, 0x12345678, 0x00001F40, 1111, 176584});
    std::vector<uint8_t> buffer = Roomy(plain);
    const int length = sender.ProtectRtcp(buffer.data(), 28, static_cast<int>(buffer.size()));
    ASSERT_EQ(length, 28 + GetParam().rtcpTrailer);
    EXPECT_EQ(testsupport::Word(buffer, GetParam().rtcpIndexAt), 0x80000001u) << "E flag set, first SRTCP index 1";

    std::vector<uint8_t> forged(buffer.begin(), buffer.begin() + length);
    forged[10] ^= 0x80;
    int forgedLength = length;
    EXPECT_EQ(receiver.UnprotectRtcp(forged.data(), &forgedLength), Verdict::AuthenticationFailed);

    int receivedLength = length;
    ASSERT_EQ(receiver.UnprotectRtcp(buffer.data(), &receivedLength), Verdict::Ok);
    EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + receivedLength), plain);
}

INSTANTIATE_TEST_SUITE_P(Suites, SrtpSessionTest, ::testing::ValuesIn(kSuites),
                         [](const auto& info) { return std::to_string(info.index); });

TEST(SrtpSession, RefusesWhatItCannotProtect)
{
    Session session;
    std::string why;
    const Suite& suite = DefaultSuite();
    EXPECT_FALSE(session.Start(suite, std::vector<uint8_t>(29, 1), Direction::Send, &why));
    EXPECT_EQ(why, "the master key has 29 bytes, AES_CM_128_HMAC_SHA1_80 takes 30");
    std::vector<uint8_t> packet = testsupport::Packet(1);
    const int length = static_cast<int>(packet.size());
    packet.resize(packet.size() + suite.rtpTrailerBytes);
    const int capacity = static_cast<int>(packet.size());
    EXPECT_EQ(session.ProtectRtp(packet.data(), length, capacity), Session::kRefused) << "not started";
    ASSERT_TRUE(session.Start(suite, MasterKey(suite, 3), Direction::Send, &why)) << why;
    EXPECT_EQ(session.ProtectRtp(packet.data(), length, capacity - 1), Session::kNoRoom) << "one byte short";
    EXPECT_EQ(session.ProtectRtp(packet.data(), length, capacity), capacity) << "exactly the tag's room";
    int shortLength = 4;
    EXPECT_EQ(session.UnprotectRtp(packet.data(), &shortLength), Verdict::Refused) << "a sending session";
}

TEST(SrtpSession, StopsProtectingAtTheKeysPacketLimit)
{
    const Suite& suite = DefaultSuite();
    Session session;
    std::string why;
    ASSERT_TRUE(session.Start(suite, MasterKey(suite, 4), Direction::Send, &why, KeyLimits{2, 1})) << why;
    for (uint16_t seq = 1; seq <= 3; ++seq) {
        std::vector<uint8_t> packet = Roomy(testsupport::Packet(seq));
        const int plainBytes = static_cast<int>(packet.size()) - kMaxTrailerBytes;
        const int result = session.ProtectRtp(packet.data(), plainBytes, static_cast<int>(packet.size()));
        EXPECT_EQ(result, seq <= 2 ? plainBytes + 10 : Session::kKeyExhausted) << seq;
    }
    for (int report = 1; report <= 2; ++report) {
        std::vector<uint8_t> packet = Roomy(testsupport::Words({0x80C90001, 0x11223344}));
        const int result = session.ProtectRtcp(packet.data(), 8, static_cast<int>(packet.size()));
        EXPECT_EQ(result, report == 1 ? 8 + 14 : Session::kKeyExhausted) << report;
    }
}

// The receiver guesses the rollover counter from its own highest sequence
// number (RFC 3711, appendix A): a gap across the wrap keeps it in step.
TEST(SrtpSession, SequenceWrapUnderLossKeepsTheRolloverCounter)
{
    const Suite& suite = DefaultSuite();
    Session sender;
    Session receiver;
    std::string why;
    ASSERT_TRUE(sender.Start(suite, MasterKey(suite, 5), Direction::Send, &why)) << why;
    ASSERT_TRUE(receiver.Start(suite, MasterKey(suite, 5), Direction::Receive, &why)) << why;
    uint16_t seq = 65000;
    for (int sent = 0; sent < 1200; ++sent, ++seq) {
        testsupport::RtpPacket rtp;
        rtp.seq = seq;
        rtp.payload.assign(20, static_cast<uint8_t>(sent));
        const std::vector<uint8_t> plain = rtp.Encode();
        std::vector<uint8_t> buffer = Roomy(plain);
        int length = sender.ProtectRtp(buffer.data(), static_cast<int>(plain.size()), static_cast<int>(buffer.size()));
        ASSERT_GT(length, 0);
        const bool lost = seq > 65400 || seq < 300;  // 435 packets across the wrap
        if (lost) {
            continue;
        }
        ASSERT_EQ(receiver.UnprotectRtp(buffer.data(), &length), Verdict::Ok) << seq;
        EXPECT_EQ(std::vector<uint8_t>(buffer.begin(), buffer.begin() + length), plain) << seq;
    }
}

}  // namespace
