// The payload-type table: defaults, refusals, replacement, the reverse
// mirror and the media-types-changed notification.
#include <gtest/gtest.h>

#include "log_capture.h"
#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "recording_sink.h"
#include "zqfnotify.h"
#include "zqmrtpstack.h"

namespace {

constexpr const char* kPath = "zqmrtpstack";
constexpr int32_t kG711A = 0x40001;
constexpr int32_t kAudioMpeg4 = 0x40014;  // has no default payload type
constexpr int32_t kTdac48 = 0x4000B;      // default 106
constexpr int32_t kG726_16 = 0x4002C;     // default 106 too

// An "RTP in" module wired to a recording sink: the table's notifications
// reach a real downstream module through the framework.
class PayloadTableTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(ZQFConnectPins(module.GetOutputPin(0), sink.GetInputPin(0))); }
    void TearDown() override { ZQFDisconnectPins(module.GetOutputPin(0)); }

    testsupport::RecordingSink sink;
    ZQMRTPStackModule module{ZQMID_RTPIn, "Input RTP stack"};
    ZQMRTPStack* stack = module.GetStack();
    LogCapture logs;
};

TEST_F(PayloadTableTest, DefaultPayloadTypeIsTakenAndMirrored)
{
    EXPECT_TRUE(stack->AddMediaType(kG711A, 255));
    EXPECT_EQ(stack->GetPayloadType(kG711A), 8);
    EXPECT_EQ(stack->GetMediaType(8), kG711A);
    EXPECT_EQ(logs.Count(kPath, 1, "[ZQMRTPStack::AddMediaType] Default payload type set to = 8 "), 1);

    // The same again changes nothing and notifies nobody.
    EXPECT_FALSE(stack->EnableMediaType(kG711A));
    EXPECT_EQ(logs.Count(kPath, 1,
                         "<--ZQMRTPStack-->AddMediaType warning mediaType already present in list ... replacing it."),
              1);
    const auto notes = sink.Notifications();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes.front().code, NOTIFY_MEDIATYPES_CHANGED);
    EXPECT_EQ(notes.front().param, 0);
    EXPECT_EQ(notes.front().sender, &module);
}

TEST_F(PayloadTableTest, ReservedPayloadTypesAreRefusedAndTheirNeighboursAccepted)
{
    EXPECT_FALSE(stack->AddMediaType(kAudioMpeg4, 255));
    EXPECT_FALSE(stack->EnableMediaType(kAudioMpeg4));
    EXPECT_EQ(logs.Count(kPath, 1, "<--ZQMRTPStack-->Failed to add media type."), 2) << "no default payload type";
    EXPECT_FALSE(stack->AddMediaType(kG711A, 72));
    EXPECT_FALSE(stack->AddMediaType(kG711A, 73));
    EXPECT_EQ(logs.Count(kPath, 1,
                         "<--ZQMRTPStack-->AddMediaType failure cannot add this payloadtype, reserved value 72 or "
                         "73 is used."),
              2);
    EXPECT_FALSE(stack->IsMediaTypeEnabled(kG711A));
    EXPECT_EQ(stack->GetMediaType(72), -1);
    EXPECT_EQ(stack->GetMediaTypeCount(), 0u);
    EXPECT_EQ(sink.CountNotifications(NOTIFY_MEDIATYPES_CHANGED), 0);

    EXPECT_TRUE(stack->AddMediaType(kG711A, 71));
    EXPECT_TRUE(stack->AddMediaType(0x40002, 74));
    EXPECT_EQ(stack->GetMediaType(71), kG711A);
    EXPECT_EQ(stack->GetMediaType(74), 0x40002);
    EXPECT_EQ(logs.Count(kPath, 1, "[ZQMRTPStack::AddMediaType] payloadType already set to = 71"), 1);
}

TEST_F(PayloadTableTest, ReplacingAPayloadTypeForgetsTheOldOne)
{
    EXPECT_TRUE(stack->AddMediaType(kG711A, 96));
    EXPECT_TRUE(stack->AddMediaType(kG711A, 97));
    EXPECT_EQ(logs.Count(kPath, 1,
                         "<--ZQMRTPStack-->AddMediaType warning mediaType already present in list but with a "
                         "different payloadtype... replacing it."),
              1);
    EXPECT_EQ(stack->GetPayloadType(kG711A), 97);
    EXPECT_EQ(stack->GetMediaType(97), kG711A);
    EXPECT_EQ(stack->GetMediaType(96), -1);
    EXPECT_EQ(sink.CountNotifications(NOTIFY_MEDIATYPES_CHANGED), 2);

    // A shared default keeps the first media type in the mirror; the old
    // payload type stays with a media type that still uses it.
    EXPECT_TRUE(stack->EnableMediaType(kTdac48));
    EXPECT_TRUE(stack->EnableMediaType(kG726_16));
    EXPECT_EQ(stack->GetPayloadType(kG726_16), 106);
    EXPECT_EQ(stack->GetMediaType(106), kTdac48);
    EXPECT_TRUE(stack->AddMediaType(kG726_16, 107));
    EXPECT_EQ(stack->GetMediaType(106), kTdac48);
    EXPECT_EQ(stack->GetMediaType(107), kG726_16);
}

TEST_F(PayloadTableTest, RemovingErasesBothTablesAndNotifies)
{
    EXPECT_FALSE(stack->RemoveMediaType(kG711A));
    EXPECT_EQ(logs.Count(kPath, 1, "<--ZQMRTPStack-->RemoveMediaType warning mediaType absent from list."), 1);
    ASSERT_TRUE(stack->EnableMediaType(kG711A));
    EXPECT_TRUE(stack->RemoveMediaType(kG711A));
    EXPECT_FALSE(stack->IsMediaTypeEnabled(kG711A));
    EXPECT_EQ(stack->GetMediaType(8), -1);
    EXPECT_EQ(stack->GetPayloadType(kG711A), -1);
    EXPECT_EQ(sink.CountNotifications(NOTIFY_MEDIATYPES_CHANGED), 2);

    ASSERT_TRUE(stack->EnableMediaType(kG711A));
    stack->RemoveAllMediaTypes();
    EXPECT_EQ(stack->GetMediaTypeCount(), 0u);
    EXPECT_EQ(sink.CountNotifications(NOTIFY_MEDIATYPES_CHANGED), 3);  // RemoveAll does not notify
}

// Under RTCP multiplexing RTCP's packet types show where RTP has its
// payload type: 64-95 cannot be configured, and the setting cannot be
// switched on over one of them. Off again, the table takes them as before.
TEST_F(PayloadTableTest, RTCPMuxKeepsPayloadTypes64To95Out)
{
    ASSERT_TRUE(stack->AddMediaType(kG711A, 77));
    EXPECT_FALSE(stack->SetRTCPMux(1));
    EXPECT_EQ(logs.Count(kPath, 2,
                         "<--ZQMRTPStack-->SetRTCPMux refused: payload type 77 (media type 0x40001) would read as RTCP "
                         "on a multiplexed port (64-95); remove it before turning \"RTCPMux\" on."),
              1);
    EXPECT_EQ(stack->GetRTCPMux(), 0);

    ASSERT_TRUE(stack->AddMediaType(kG711A, 96));
    ASSERT_TRUE(stack->SetRTCPMux(1));
    EXPECT_EQ(stack->GetRTCPMux(), 1);
    for (const uint8_t refused : {64, 77, 95}) {
        EXPECT_FALSE(stack->AddMediaType(0x40002, refused)) << int{refused};
        EXPECT_EQ(logs.CountContaining("AddMediaType failure: payload type " + std::to_string(refused) +
                                       " would read as RTCP on a multiplexed port (64-95) while \"RTCPMux\" is on."),
                  1);
    }
    EXPECT_FALSE(stack->IsMediaTypeEnabled(0x40002));
    EXPECT_EQ(stack->GetPayloadType(kG711A), 96) << "a refusal leaves the table as it was";
    EXPECT_TRUE(stack->AddMediaType(0x40002, 63));
    EXPECT_TRUE(stack->AddMediaType(0x40003, 255)) << "default 9";

    ASSERT_TRUE(stack->SetRTCPMux(0));
    EXPECT_TRUE(stack->AddMediaType(0x40002, 77));
}

}  // namespace
