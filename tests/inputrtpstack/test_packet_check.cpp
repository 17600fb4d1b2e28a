// The packet check: header faults and their throttled lines, the offsets of
// CSRC lists and padding, the sample's labels, the source's statistics.
#include "input_stack_fixture.h"

namespace inputtest {
namespace {

class PacketCheck : public InputStackTest {
protected:
    // The throttle counters are process-wide: refuse the datagram until its
    // line is written (at most ten times).
    void ProcessUntilLogged(const std::vector<uint8_t>& datagram, const std::string& line)
    {
        for (int i = 0; i < 10 && logs.Count(line, 1) == 0; ++i) {
            EXPECT_FALSE(Process(datagram));
        }
        ASSERT_EQ(logs.Count(line, 1), 1) << line;
    }
};

constexpr char kVersionLine[] =
    "<--RTPStack-->[0] OnProcessMediaSample failure in input stack : wrong version in rtp header.";

TEST_F(PacketCheck, HeaderFaultsAreRefusedWithoutTouchingAnySource)
{
    struct Case {
        RtpPacket packet;
        RTPCheckResult expected;
    };
    std::vector<Case> cases;
    for (uint8_t version : {0, 1, 3}) {
        Case c{RtpPacket{}, RTP_INVALID_VERSION};
        c.packet.version = version;
        cases.push_back(c);
    }
    Case extension{RtpPacket{}, RTP_INVALID_EXTENSION};
    extension.packet.extension = true;
    cases.push_back(extension);
    for (uint8_t payloadType : {72, 73}) {
        Case c{RtpPacket{}, RTP_INVALID_PAYLOAD_TYPE};
        c.packet.payloadType = payloadType;
        cases.push_back(c);
    }
    for (const Case& c : cases) {
        EXPECT_EQ(Check(c.packet.Bytes()), c.expected);
    }
    uint32_t ssrc = 0;
    EXPECT_FALSE(stack->GetSourceIdentifier(0, ssrc));
    EXPECT_EQ(sink->GetPacketCount(), 0u);
}

TEST_F(PacketCheck, PayloadTypesBesideTheReservedOnesPassUnlabelled)
{
    for (uint8_t payloadType : {71, 74}) {
        RtpPacket packet;
        packet.payloadType = payloadType;
        packet.seq = payloadType;
        EXPECT_TRUE(Process(packet.Bytes()));
    }
    const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
    ASSERT_EQ(packets.size(), 2u);
    for (const ZQCapturedPacket& packet : packets) {
        EXPECT_EQ(packet.mainType, 4);
        EXPECT_EQ(packet.subType, -1);
    }
}

TEST_F(PacketCheck, SampleCarriesTheMediaTypeAndThePacketFields)
{
    RtpPacket video;
    video.payloadType = kVideoPT;
    video.marker = true;
    video.seq = 4242;
    video.timestamp = 0xA0B0C0D0;
    EXPECT_TRUE(Process(video.Bytes()));
    const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].mainType, 2);
    EXPECT_EQ(packets[0].subType, kVideoH264);
    ASSERT_TRUE(packets[0].hasFormat);
    EXPECT_TRUE(packets[0].marker);
    EXPECT_EQ(packets[0].sequenceNumber, 4242);
    EXPECT_EQ(packets[0].timestamp, 0xA0B0C0D0u);
    EXPECT_EQ(packets[0].ssrc, kSsrc);
}

TEST_F(PacketCheck, CsrcListAndPaddingAreLeftOutOfThePayload)
{
    RtpPacket packet;
    packet.csrcCount = 2;
    packet.paddingCount = 4;
    packet.payload = {1, 2, 3, 4, 5, 6};
    ZQFMediaSample* sample = SampleWith(packet.Bytes());
    ASSERT_EQ(stack->CheckRTPDatagram(sample), RTP_VALID_RTPDATAGRAM);
    const std::vector<ZQCapturedPacket> packets = sink->GetPackets();
    ASSERT_EQ(packets.size(), 1u);
    EXPECT_EQ(packets[0].payload, std::vector<uint8_t>({1, 2, 3, 4, 5, 6}));
    // Datagram of 30 bytes: payload length 30 - 12 - 4 of padding, read
    // from offset 20 on.
    WithSource(kSsrc, [](ZQMRTPSource& source) { EXPECT_EQ(source.m_octets.load(), 14u); });
}

TEST_F(PacketCheck, LengthsThatDoNotAddUpAreRefused)
{
    RtpPacket padding;
    padding.payload = {1, 2};
    padding.paddingCount = 2;
    std::vector<uint8_t> bytes = padding.Bytes();
    bytes.back() = 5;  // claims more than the 4 bytes after the header
    EXPECT_EQ(Check(bytes), RTP_INVALID_PADDING);
    bytes.back() = 4;  // the whole payload is padding: accepted, empty
    EXPECT_EQ(Check(bytes), RTP_VALID_RTPDATAGRAM);

    RtpPacket csrc;
    csrc.csrcCount = 3;
    std::vector<uint8_t> truncated = csrc.Bytes();
    truncated.resize(12 + 4 * 3 - 1);
    EXPECT_EQ(Check(truncated), RTP_INVALID_HEADER_LENGTH);

    // Each refusal writes its check line together with its failure line.
    logs.Clear();
    ProcessUntilLogged(truncated,
                       "<--RTPStack-->[0] OnProcessMediaSample failure in input stack : rtp datagram shorter than its "
                       "header.");
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] Invalid rtp datagram length [23] for csrc count [3]", 1), 1);
    logs.Clear();
    bytes.back() = 5;
    ProcessUntilLogged(bytes, "<--RTPStack-->[0] OnProcessMediaSample failure in input stack : invalid padding in rtp "
                              "packet.");
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] Invalid rtp padding for datagram length [16]", 1), 1);
}

TEST_F(PacketCheck, ThrottledFaultLinesComeOnceEveryTenFaults)
{
    RtpPacket faulty;
    faulty.version = 1;
    ProcessUntilLogged(faulty.Bytes(), kVersionLine);
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] Invalid rtp header version [1]", 1), 1);
    for (int i = 0; i < 9; ++i) {
        EXPECT_FALSE(Process(faulty.Bytes()));
    }
    EXPECT_EQ(logs.Count(kVersionLine, 1), 1);
    EXPECT_FALSE(Process(faulty.Bytes()));  // the eleventh
    EXPECT_EQ(logs.Count(kVersionLine, 1), 2);
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] Invalid rtp header version [1]", 1), 2);
    EXPECT_TRUE(Pool()->IsFull());
}

TEST_F(PacketCheck, EachFaultKindHasItsOwnLine)
{
    struct Kind {
        const char* line;
        std::vector<uint8_t> datagram;
    };
    RtpPacket extension;
    extension.extension = true;
    RtpPacket payloadType;
    payloadType.payloadType = 72;
    RtpPacket padding;
    padding.paddingCount = 9;
    std::vector<uint8_t> badPadding = padding.Bytes();
    badPadding.back() = 200;
    const std::vector<Kind> kinds = {
        {"wrong extension in rtp header.", extension.Bytes()},
        {"invalid payload type.", payloadType.Bytes()},
        {"invalid padding in rtp packet.", badPadding},
    };
    for (const Kind& kind : kinds) {
        const std::string line = std::string("<--RTPStack-->[0] OnProcessMediaSample failure in input stack : ") +
                                 kind.line;
        // Twenty faults of a kind write its line twice, wherever its
        // process-wide counter stood.
        for (int i = 0; i < 20; ++i) {
            EXPECT_FALSE(Process(kind.datagram));
        }
        EXPECT_EQ(logs.Count(line, 1), 2) << kind.line;
    }
    EXPECT_EQ(logs.CountContaining("Invalid rtp extension [1]"), 2);
    EXPECT_EQ(logs.CountContaining("Invalid rtp header payloadType [72]"), 2);
}

TEST_F(PacketCheck, ArrivalIsCountedInTheSourceStatistics)
{
    RtpPacket packet;
    packet.payload.assign(100, 0x55);
    for (uint16_t seq = 1; seq <= 3; ++seq) {
        packet.seq = seq;
        packet.timestamp = 160u * seq;
        EXPECT_TRUE(Process(packet.Bytes()));
    }
    WithSource(kSsrc, [](ZQMRTPSource& source) {
        EXPECT_EQ(source.m_received, 3u);
        EXPECT_EQ(source.m_octets.load(), 300u);
        EXPECT_EQ(source.m_wireBytes.load(), 3u * 140u);
        EXPECT_EQ(source.m_mediaType.load(), static_cast<uint32_t>(kAudioPCMA));
        EXPECT_EQ(source.m_lastRtpTimestamp, 480u);
        EXPECT_EQ(source.m_baseSeq, 1);
    });
}

TEST_F(PacketCheck, DiscardedSourceIsCountedThenRefused)
{
    EXPECT_TRUE(Process(Packet(1)));
    WithSource(kSsrc, [](ZQMRTPSource& source) { source.m_discard = true; });
    EXPECT_FALSE(Process(Packet(2)));
    EXPECT_EQ(sink->GetPacketCount(), 1u);
    WithSource(kSsrc, [](ZQMRTPSource& source) { EXPECT_EQ(source.m_received, 2u); });
    logs.Clear();
    ProcessUntilLogged(Packet(3), "<--RTPStack-->[0] OnProcessMediaSample failure in input stack : source discarded.");
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] ssrc [287454020 / 0x11223344 ] maked discard  ! ", 1), 1);
    // A new SSRC replaces it and is heard again.
    EXPECT_TRUE(Process(Packet(1, 0xCAFE)));
    EXPECT_EQ(sink->GetPacketCount(), 2u);
}

TEST_F(PacketCheck, SecondSsrcReplacesTheFirst)
{
    EXPECT_TRUE(Process(Packet(1)));
    EXPECT_TRUE(Process(Packet(9, 0xCAFE)));
    uint32_t ssrc = 0;
    ASSERT_TRUE(stack->GetSourceIdentifier(0, ssrc));
    EXPECT_EQ(ssrc, 0xCAFEu);
    EXPECT_FALSE(stack->GetSourceIdentifier(1, ssrc));
    zqm::SourceListsLock lock;
    EXPECT_EQ(zqm::FindListedSource(kSsrc, false), nullptr);
}

}  // namespace
}  // namespace inputtest
