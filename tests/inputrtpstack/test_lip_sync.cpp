// Lip synchronisation between two receiving stacks of one process: an audio
// and a video stream of the same participant, fed crafted sender reports.
#include <string_view>

#include "input_stack_fixture.h"
#include "rtcp/rtcpsdes.h"
#include "zqcclock.h"

namespace inputtest {
namespace {

constexpr uint32_t kAudioSsrc = 0xA0D10;
constexpr uint32_t kVideoSsrc = 0x1D0;

// A receiving module and its sink; packets and RTCP are handed in directly.
struct Receiver {
    Receiver()
    {
        stack->EnableMediaType(kAudioPCMA);
        stack->EnableMediaType(kVideoH264);
        EXPECT_TRUE(ZQFConnectPins(module->GetOutputPin(0), sink->GetInputPin(0)));
    }
    ~Receiver() { stack->Cleanup(); }

    void Feed(uint32_t ssrc, uint8_t payloadType, uint32_t timestamp)
    {
        RtpPacket packet;
        packet.ssrc = ssrc;
        packet.payloadType = payloadType;
        packet.timestamp = timestamp;
        const Bytes bytes = packet.Encode();
        ZQFMediaSample* sample = module->GetOutputPin(0)->GetNewSample(0);
        ASSERT_NE(sample, nullptr);
        std::memcpy(sample->GetDataBuffer(), bytes.data(), bytes.size());
        sample->m_PayloadLength = static_cast<int>(bytes.size()) - 12;
        ASSERT_TRUE(stack->OnProcessMediaSample(sample, 0));
    }

    void Rtcp(const Bytes& compound)
    {
        ASSERT_TRUE(stack->ProcessRTCPDatagram(compound.data(), static_cast<int>(compound.size()), "ZQMInputRTPStack"));
    }

    std::vector<int> Delays(int code) const
    {
        std::vector<int> delays;
        for (const ZQFNotifyInfo& info : sink->GetNotifications()) {
            if (info.code == code) {
                delays.push_back(info.param);
            }
        }
        return delays;
    }

    std::unique_ptr<ZQMRTPStackModule> module = std::make_unique<ZQMRTPStackModule>(ZQMID_RTPIn, "RTP in");
    std::unique_ptr<ZQCaptureSink> sink = std::make_unique<ZQCaptureSink>();
    ZQMInputRTPStack* stack = static_cast<ZQMInputRTPStack*>(module->GetStack());
};

// A sender report in this system's form: wall-clock seconds, nanoseconds 0.
Bytes SenderReport(uint32_t ssrc, uint32_t seconds, uint32_t rtpTimestamp)
{
    Bytes bytes = {0x80, 200, 0, 6};
    for (uint32_t word : {ssrc, seconds, 0u, rtpTimestamp, 0u, 0u}) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<uint8_t>(word >> shift));
        }
    }
    return bytes;
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
        // Frozen time: each source clock reads the media time of its last packet.
        ZQCClock::UseManualTime(true, 50000);
        audio.Feed(kAudioSsrc, kAudioPT, 8 * 10000);   // at 10000 ms of audio
        video.Feed(kVideoSsrc, kVideoPT, 90 * 20000);  // at 20000 ms of video
        audio.Rtcp(Description(kAudioSsrc, "alice@example"));
        audio.Rtcp(Description(kVideoSsrc, "alice@example"));
    }
    void TearDown() override { ZQCClock::UseManualTime(false); }

    // Both reports sent at the same wall-clock second: 1000 ms of audio and
    // 500 ms of video have arrived since.
    void VideoThenAudioReport()
    {
        video.Rtcp(SenderReport(kVideoSsrc, 100, 90 * 19500));
        audio.Rtcp(SenderReport(kAudioSsrc, 100, 8 * 9000));
    }

    LogWaiter logs;
    Receiver audio;
    Receiver video;
};

TEST_F(LipSync, AudioStackAnnouncesItsLeadOverTheVideo)
{
    audio.stack->SetUseLipSync(true);
    VideoThenAudioReport();
    EXPECT_THAT(audio.Delays(NOTIFY_AUDIO_LIPSYNC_DELAY), ElementsAre(500));
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] Audio delay computed for lip sync 500 ms", 0), 1);
}

TEST_F(LipSync, StreamBehindTheOtherAnnouncesZero)
{
    video.stack->SetUseLipSync(true);
    audio.Rtcp(SenderReport(kAudioSsrc, 100, 8 * 9000));
    video.Rtcp(SenderReport(kVideoSsrc, 100, 90 * 19500));
    EXPECT_THAT(video.Delays(NOTIFY_VIDEO_LIPSYNC_DELAY), ElementsAre(0));
}

TEST_F(LipSync, NothingWithoutBothReportsTheSwitchOrTheSameCname)
{
    audio.stack->SetUseLipSync(true);
    audio.Rtcp(SenderReport(kAudioSsrc, 100, 8 * 9000));  // the video had none yet
    EXPECT_TRUE(audio.Delays(NOTIFY_AUDIO_LIPSYNC_DELAY).empty());
    audio.Rtcp(Description(kVideoSsrc, "bob@example"));
    VideoThenAudioReport();
    EXPECT_TRUE(audio.Delays(NOTIFY_AUDIO_LIPSYNC_DELAY).empty());
    audio.Rtcp(Description(kVideoSsrc, "alice@example"));
    audio.stack->SetUseLipSync(false);
    VideoThenAudioReport();
    EXPECT_TRUE(audio.Delays(NOTIFY_AUDIO_LIPSYNC_DELAY).empty());
    EXPECT_EQ(logs.CountContaining("delay computed for lip sync"), 0);
}

}  // namespace
}  // namespace inputtest
