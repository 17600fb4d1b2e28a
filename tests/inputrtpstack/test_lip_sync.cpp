// Lip synchronisation between two receiving stacks of one process: an audio
// and a video stream of the same participant, fed crafted sender reports.
#include <string_view>

#include "input_stack_fixture.h"
#include "manual_time.h"
#include "rtcp/rtcpsdes.h"

namespace inputtest {
namespace {

constexpr uint32_t kAudioSsrc = 0xA0D10;
constexpr uint32_t kVideoSsrc = 0x1D0;

// The packet of `ssrc` at `timestamp`, handed in directly.
void Feed(ReceivingModule& to, uint32_t ssrc, uint8_t payloadType, uint32_t timestamp)
{
    RtpPacket packet;
    packet.ssrc = ssrc;
    packet.payloadType = payloadType;
    packet.timestamp = timestamp;
    ASSERT_TRUE(to.Process(packet.Encode()));
}

void Rtcp(ReceivingModule& to, const Bytes& compound)
{
    ASSERT_TRUE(to.stack->ProcessRTCPDatagram(compound.data(), static_cast<int>(compound.size()), "ZQMInputRTPStack"));
}

std::vector<int> Delays(const ReceivingModule& of, int code)
{
    std::vector<int> delays;
    for (const ZQFNotifyInfo& info : of.sink->GetNotifications()) {
        if (info.code == code) {
            delays.push_back(info.param);
        }
    }
    return delays;
}

// A sender report in this system's form: wall-clock seconds, nanoseconds 0.
Bytes SenderReport(uint32_t ssrc, uint32_t seconds, uint32_t rtpTimestamp)
{
    return Words({0x80C80006, ssrc, seconds, 0, rtpTimestamp, 0, 0});
}

// An empty receiver report and the source's CNAME.
Bytes Description(uint32_t ssrc, std::string_view cname)
{
    rtcp::Sdes sdes;
    sdes.ssrc = ssrc;
    sdes.text = cname;
    Bytes bytes = {0x80, 201, 0, 1, 0, 0, 0, 1};
    bytes.resize(8 + sdes.BlockLength());
    sdes.Create(bytes.data() + 8, sdes.BlockLength());
    return bytes;
}

class LipSync : public ::testing::Test {
protected:
    void SetUp() override
    {
        Feed(audio, kAudioSsrc, kAudioPT, 8 * 10000);   // at 10000 ms of audio
        Feed(video, kVideoSsrc, kVideoPT, 90 * 20000);  // at 20000 ms of video
        Rtcp(audio, Description(kAudioSsrc, "alice@example"));
        Rtcp(audio, Description(kVideoSsrc, "alice@example"));
    }

    // Both reports sent at the same wall-clock second: 1000 ms of audio and
    // 500 ms of video have arrived since.
    void VideoThenAudioReport()
    {
        Rtcp(video, SenderReport(kVideoSsrc, 100, 90 * 19500));
        Rtcp(audio, SenderReport(kAudioSsrc, 100, 8 * 9000));
    }

    ManualTime frozen{50000};  // each source clock reads the media time of its last packet
    LogCapture logs{kStackLogPath};
    ReceivingModule audio;
    ReceivingModule video;
};

// Each stack computes on its own source's report, once both have one.
TEST_F(LipSync, StreamAheadAnnouncesItsLeadAndTheOtherZero)
{
    audio.stack->SetUseLipSync(true);
    video.stack->SetUseLipSync(true);
    VideoThenAudioReport();
    EXPECT_THAT(Delays(audio, NOTIFY_AUDIO_LIPSYNC_DELAY), ElementsAre(500));
    EXPECT_EQ(logs.CountText("<--RTPStack-->[0] Audio delay computed for lip sync 500 ms", 0), 1);
    EXPECT_TRUE(Delays(video, NOTIFY_VIDEO_LIPSYNC_DELAY).empty());
    Rtcp(video, SenderReport(kVideoSsrc, 100, 90 * 19500));
    EXPECT_THAT(Delays(video, NOTIFY_VIDEO_LIPSYNC_DELAY), ElementsAre(0));
}

TEST_F(LipSync, NothingWithoutBothReportsTheSwitchOrTheSameCname)
{
    audio.stack->SetUseLipSync(true);
    Rtcp(audio, SenderReport(kAudioSsrc, 100, 8 * 9000));  // the video had none yet
    EXPECT_TRUE(Delays(audio, NOTIFY_AUDIO_LIPSYNC_DELAY).empty());
    Rtcp(audio, Description(kVideoSsrc, "bob@example"));
    VideoThenAudioReport();
    EXPECT_TRUE(Delays(audio, NOTIFY_AUDIO_LIPSYNC_DELAY).empty());
    Rtcp(audio, Description(kVideoSsrc, "alice@example"));
    audio.stack->SetUseLipSync(false);
    VideoThenAudioReport();
    EXPECT_TRUE(Delays(audio, NOTIFY_AUDIO_LIPSYNC_DELAY).empty());
    EXPECT_EQ(logs.CountContaining("delay computed for lip sync"), 0);
}

}  // namespace
}  // namespace inputtest
