// What leaves the sending stack for each sample, read back from a socket.
#include <string>

#include "output_fixture.h"
#include "zqfnotify.h"

namespace outputtest {
namespace {

bool Notify(ZQMRTPStackModule& module, int code, int param)
{
    ZQFNotifyInfo info;
    info.code = code;
    info.param = param;
    return module.OnNotify(&info);
}

// A format buffer that is not the RTP packet format.
class OtherFormat : public ZQFFormatBuffer {
public:
    int GetKind() const override { return 3; }
    ZQFFormatBuffer* Clone() const override { return new OtherFormat; }
    bool CopyFrom(const ZQFFormatBuffer& other) override { return other.GetKind() == GetKind(); }
};

TEST_F(OutputStackTest, AutomaticNumbersRunOnFromARandomStartAndWrapToZero)
{
    Start();
    ASSERT_TRUE(Send());
    const uint16_t first = NextSequenceNumber();
    ASSERT_TRUE(Send());
    EXPECT_EQ(NextSequenceNumber(), static_cast<uint16_t>(first + 1));

    // Only the offset notification is taken, and it skips numbers.
    EXPECT_FALSE(Notify(*module, NOTIFY_INSERT_HEADER, 5));
    EXPECT_FALSE(Notify(*module, NOTIFY_FRACTION_LOST, 5));
    ASSERT_TRUE(Notify(*module, NOTIFY_SEQNUM_OFFSET, 65535 - (first + 2)));
    ASSERT_TRUE(Send());
    EXPECT_EQ(NextSequenceNumber(), 65535);
    ASSERT_TRUE(Send());
    EXPECT_EQ(NextSequenceNumber(), 0);
}

TEST_F(OutputStackTest, WithoutAutomaticNumbersTheFormatsNumberGoesAndSwitchingBackRepeatsTheLast)
{
    module->SetAutoSequenceNumbers(false);
    EXPECT_FALSE(module->GetAutoSequenceNumbers());
    Start();
    Frame frame;
    frame.sequenceNumber = 1000;
    ASSERT_TRUE(Send(frame));
    EXPECT_EQ(NextSequenceNumber(), 1000);
    frame.sequenceNumber = 4242;
    ASSERT_TRUE(Send(frame));
    EXPECT_EQ(NextSequenceNumber(), 4242);

    module->SetAutoSequenceNumbers(true);
    frame.sequenceNumber = 7;
    ASSERT_TRUE(Send(frame));
    EXPECT_EQ(NextSequenceNumber(), 4242);
    ASSERT_TRUE(Send(frame));
    EXPECT_EQ(NextSequenceNumber(), 4243);
}

TEST_F(OutputStackTest, FecSampleKeepsTheHeaderItsModuleWroteButPayloadTypeAndSsrc)
{
    ASSERT_TRUE(module->EnableMediaType(0x800001));  // payload type 118
    Start();
    Frame frame;
    frame.mainType = 7;
    frame.subType = 0x800001;
    frame.header = {0xA5, 0x80 | 0x11, 0x12, 0x34, 0xDE, 0xAD, 0xBE, 0xEF, 9, 9, 9, 9};
    ASSERT_TRUE(Send(frame));
    const Bytes packet = rtpPeer.Receive();
    ASSERT_EQ(packet.size(), 172u);
    EXPECT_EQ(packet[0], 0xA5);
    EXPECT_EQ(packet[1], 0x80 | 118);
    EXPECT_EQ(Bytes(packet.begin() + 2, packet.begin() + 8), Bytes(frame.header.begin() + 2, frame.header.begin() + 8));
    EXPECT_EQ(Word(packet, 8), Ssrc());
}

// What cannot be sent is refused with one line each; the stack goes on.
TEST_F(OutputStackTest, SamplesThatCannotBeSentAreRefusedAndNothingLeaves)
{
    Start();
    Frame notEnabled;
    notEnabled.subType = 0x40002;
    Frame withoutFormat;
    withoutFormat.withFormat = false;
    EXPECT_FALSE(Send(notEnabled));
    EXPECT_FALSE(Send(withoutFormat));
    ZQFMediaSample* otherKind = Prepare(Frame());
    otherKind->AllocFormatBuffer(OtherFormat(), false);
    EXPECT_FALSE(Deliver(otherKind));
    ZQFMediaSample* tooLong = Prepare(Frame());
    tooLong->m_PayloadLength = tooLong->GetBufferSize();
    EXPECT_FALSE(Deliver(tooLong));
    EXPECT_EQ(logs.Count(kPath, 2,
                         "<--RTPStack-->OnProcessMediaSample failure error throwed while processing media Sample."),
              4);

    Frame sentinel;
    sentinel.payload = {0xEE};
    sentinel.marker = true;
    ASSERT_TRUE(Send(sentinel));
    const Bytes packet = rtpPeer.Receive();
    EXPECT_EQ(packet.size(), 13u);
    EXPECT_EQ(packet[1], 0x80 | 8) << "the marker and PCMA's payload type";
}

}  // namespace
}  // namespace outputtest
