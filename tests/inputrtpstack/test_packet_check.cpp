// The packet check: header faults and their throttled lines, the offsets of
// CSRC lists and padding, the sample's labels, discarded sources.
#include "input_stack_fixture.h"

namespace inputtest {
namespace {

class PacketCheck : public InputStackTest {
protected:
    // The throttle counters are process-wide: refuse the datagram until its
    // line is written (at most ten times).
    void ProcessUntilLogged(const Bytes& datagram, const std::string& line)
    {
        for (int i = 0; i < 10 && logs.CountText(line, 1) == 0; ++i) {
            EXPECT_FALSE(Process(datagram));
        }
        ASSERT_EQ(logs.CountText(line, 1), 1) << line;
    }

    static std::string Failure(const std::string& what)
    {
        return "<--RTPStack-->[0] OnProcessMediaSample failure in input stack : " + what;
    }
};

TEST_F(PacketCheck, HeaderFaultsAreRefusedWithAThrottledLineOfTheirKind)
{
    struct Kind {
        RTPCheckResult result;
        const char* failure;
        const char* detail;
        Bytes datagram;
    };
    RtpPacket version, extension, reserved, csrc, padding;
    version.version = 1;
    extension.extension = true;
    reserved.payloadType = 73;
    csrc.csrcCount = 3;
    padding.paddingCount = 4;
    Bytes shortCsrc = csrc.Encode();
    shortCsrc.resize(23);
    Bytes badPadding = padding.Encode();
    badPadding.back() = 9;  // more than the 8 bytes after the header
    const std::vector<Kind> kinds = {
        {RTP_INVALID_VERSION, "wrong version in rtp header.", "Invalid rtp header version [1]", version.Encode()},
        {RTP_INVALID_EXTENSION, "wrong extension in rtp header.", "Invalid rtp extension [1]", extension.Encode()},
        {RTP_INVALID_PAYLOAD_TYPE, "invalid payload type.", "Invalid rtp header payloadType [73]", reserved.Encode()},
        {RTP_INVALID_HEADER_LENGTH, "rtp datagram shorter than its header.",
         "Invalid rtp datagram length [23] for csrc count [3]", shortCsrc},
        {RTP_INVALID_PADDING, "invalid padding in rtp packet.", "Invalid rtp padding for datagram length [20]",
         badPadding},
    };
    for (const Kind& kind : kinds) {
        EXPECT_EQ(Check(kind.datagram), kind.result) << kind.failure;
        logs.Clear();
        ProcessUntilLogged(kind.datagram, Failure(kind.failure));
        EXPECT_EQ(logs.CountText(std::string("<--RTPStack-->[0] ") + kind.detail, 1), 1);
        for (int i = 0; i < 9; ++i) {
            EXPECT_FALSE(Process(kind.datagram));
        }
        EXPECT_EQ(logs.CountText(Failure(kind.failure), 1), 1) << "ten faults, one line";
        EXPECT_FALSE(Process(kind.datagram));
        EXPECT_EQ(logs.CountText(Failure(kind.failure), 1), 2) << "the eleventh";
        EXPECT_EQ(logs.CountText(std::string("<--RTPStack-->[0] ") + kind.detail, 1), 2);
    }
    uint32_t ssrc = 0;
    EXPECT_FALSE(stack->GetSourceIdentifier(0, ssrc));
    EXPECT_TRUE(Pool()->IsFull());
}

TEST_F(PacketCheck, SampleCarriesTheMediaTypeAndThePacketFields)
{
    RtpPacket video;
    video.payloadType = kVideoPT;
    video.marker = true;
    video.seq = 4242;
    video.timestamp = 0xA0B0C0D0;
    RtpPacket unknown;  // PT 71 and 74 are no RTCP look-alikes: they pass, unlabelled
    unknown.payloadType = 74;
    unknown.seq = 4243;
    EXPECT_TRUE(Process(video.Encode()));
    EXPECT_TRUE(Process(unknown.Encode()));
    const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
    ASSERT_EQ(packets.size(), 2u);
    EXPECT_EQ(packets[0].mainType, 2);
    EXPECT_EQ(packets[0].subType, kVideoH264);
    EXPECT_TRUE(packets[0].marker);
    EXPECT_EQ(packets[0].timestamp, 0xA0B0C0D0u);
    EXPECT_EQ(packets[1].mainType, 4);
    EXPECT_EQ(packets[1].subType, -1);
}

TEST_F(PacketCheck, CsrcListAndPaddingAreLeftOutOfThePayload)
{
    RtpPacket packet;
    packet.csrcCount = 2;
    packet.paddingCount = 4;
    packet.payload = {1, 2, 3, 4, 5, 6};
    EXPECT_TRUE(Process(packet.Encode()));
    ASSERT_EQ(sink->GetPacketCount(), 1u);
    EXPECT_EQ(sink->GetPackets()[0].payload, Bytes({1, 2, 3, 4, 5, 6}));
    // 30 bytes: a payload length of 30 - 12 - 4, read from offset 20 on.
    WithSource(kSsrc, [](ZQMRTPSource& source) {
        EXPECT_EQ(source.m_octets.load(), 14u);
        EXPECT_EQ(source.m_wireBytes.load(), 14u + 40u);
        EXPECT_EQ(source.m_reception.received, 1u);
    });
}

TEST_F(PacketCheck, DiscardedSourceIsCountedThenRefused)
{
    EXPECT_TRUE(Process(Packet(1)));
    WithSource(kSsrc, [](ZQMRTPSource& source) { source.m_discard = true; });
    ProcessUntilLogged(Packet(2), Failure("source discarded."));
    EXPECT_EQ(logs.CountText("<--RTPStack-->[0] ssrc [287454020 / 0x11223344 ] maked discard  ! ", 1), 1);
    EXPECT_EQ(sink->GetPacketCount(), 1u);
    WithSource(kSsrc, [](ZQMRTPSource& source) { EXPECT_GE(source.m_reception.received, 2u); });
    EXPECT_TRUE(Process(Packet(1, 0xCAFE)));  // a new SSRC is heard again
    EXPECT_EQ(sink->GetPacketCount(), 2u);
}

}  // namespace
}  // namespace inputtest
