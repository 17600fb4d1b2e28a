// Lip synchronisation between two receiving stacks of one process: an audio
// and a video stream of the same participant, fed crafted sender reports.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>
#include <string_view>
#include <vector>

#include "input_stack_fixture.h"
#include "rtcp/rtcpsdes.h"
#include "zqcclock.h"

namespace inputtest {
namespace {

constexpr uint32_t kAudioSsrc = 0xA0D10;
constexpr uint32_t kVideoSsrc = 0x1D0;
constexpr char kCname[] = "alice@example";

// One "RTP in" module with its sink and a packet feeder.
struct ReceivingModule {
    ReceivingModule()
    {
        module = std::make_unique<ZQMRTPStackModule>(ZQMID_RTPIn, "Input RTP stack");
        sink = std::make_unique<ZQCaptureSink>();
        stack = static_cast<ZQMInputRTPStack*>(module->GetStack());
        stack->EnableMediaType(kAudioPCMA);
        stack->EnableMediaType(kVideoH264);
        EXPECT_TRUE(ZQFConnectPins(module->GetOutputPin(0), sink->GetInputPin(0)));
    }
    ~ReceivingModule() { stack->Cleanup(); }

    void Feed(uint32_t ssrc, uint8_t payloadType, uint32_t timestamp)
    {
        RtpPacket packet;
        packet.ssrc = ssrc;
        packet.payloadType = payloadType;
        packet.timestamp = timestamp;
        const std::vector<uint8_t> bytes = packet.Bytes();
        ZQFMediaSample* sample = module->GetOutputPin(0)->GetNewSample(0);
        ASSERT_NE(sample, nullptr);
        std::memcpy(sample->GetDataBuffer(), bytes.data(), bytes.size());
        sample->m_PayloadLength = static_cast<int>(bytes.size()) - 12;
        ASSERT_TRUE(stack->OnProcessMediaSample(sample, 0));
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

    std::unique_ptr<ZQMRTPStackModule> module;
    std::unique_ptr<ZQCaptureSink> sink;
    ZQMInputRTPStack* stack = nullptr;
};

void Put32(std::vector<uint8_t>& bytes, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8) {
        bytes.push_back(static_cast<uint8_t>(value >> shift));
    }
}

// A sender report (this system's form: wall-clock seconds and nanoseconds).
std::vector<uint8_t> SenderReport(uint32_t ssrc, uint32_t seconds, uint32_t rtpTimestamp)
{
    std::vector<uint8_t> bytes = {0x80, 200, 0, 6};
    for (uint32_t word : {ssrc, seconds, 0u, rtpTimestamp, 0u, 0u}) {
        Put32(bytes, word);
    }
    return bytes;
}

// An empty receiver report and the source's CNAME.
std::vector<uint8_t> Description(uint32_t ssrc, std::string_view cname)
{
    std::vector<uint8_t> bytes = {0x80, 201, 0, 1, 0, 0, 0, 1};
    rtcp::Sdes sdes;
    sdes.ssrc = ssrc;
    sdes.text = cname;
    const size_t start = bytes.size();
    bytes.resize(start + sdes.BlockLength());
    sdes.Create(bytes.data() + start, sdes.BlockLength());
    return bytes;
}

class LipSync : public ::testing::Test {
protected:
    void SetUp() override
    {
        // Frozen time: each source clock reads the media time of its last packet.
        ZQCClock::UseManualTime(true, 50000);
        audio.Feed(kAudioSsrc, kAudioPT, 8 * 10000);   // 10000 ms of audio
        video.Feed(kVideoSsrc, kVideoPT, 90 * 20000);  // 20000 ms of video
        Process(audio, Description(kAudioSsrc, kCname));
        Process(audio, Description(kVideoSsrc, kCname));
    }

    void TearDown() override { ZQCClock::UseManualTime(false); }

    static void Process(ReceivingModule& receiver, const std::vector<uint8_t>& compound)
    {
        ASSERT_TRUE(receiver.stack->ProcessRTCPDatagram(compound.data(), static_cast<int>(compound.size()),
                                                        "ZQMInputRTPStack"));
    }

    LogWaiter logs;
    ReceivingModule audio;
    ReceivingModule video;
};

TEST_F(LipSync, AudioStackAnnouncesItsLeadOverTheVideo)
{
    audio.stack->SetUseLipSync(true);
    Process(video, SenderReport(kVideoSsrc, 100, 90 * 19500));  // 500 ms of video since
    Process(audio, SenderReport(kAudioSsrc, 100, 8 * 9000));    // 1000 ms of audio since
    EXPECT_THAT(audio.Delays(NOTIFY_AUDIO_LIPSYNC_DELAY), ::testing::ElementsAre(500));
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] Audio delay computed for lip sync 500 ms", 0), 1);
    EXPECT_TRUE(video.Delays(NOTIFY_VIDEO_LIPSYNC_DELAY).empty());
}

TEST_F(LipSync, VideoBehindTheAudioAnnouncesZero)
{
    video.stack->SetUseLipSync(true);
    Process(audio, SenderReport(kAudioSsrc, 100, 8 * 9000));
    Process(video, SenderReport(kVideoSsrc, 100, 90 * 19500));
    EXPECT_THAT(video.Delays(NOTIFY_VIDEO_LIPSYNC_DELAY), ::testing::ElementsAre(0));
    EXPECT_EQ(logs.Count("<--RTPStack-->[0] Video delay computed for lip sync 0 ms", 0), 1);
}

TEST_F(LipSync, NothingBeforeTheOtherSourceHadASenderReport)
{
    audio.stack->SetUseLipSync(true);
    Process(audio, SenderReport(kAudioSsrc, 100, 8 * 9000));
    EXPECT_TRUE(audio.Delays(NOTIFY_AUDIO_LIPSYNC_DELAY).empty());
}

TEST_F(LipSync, NothingWhenSwitchedOff)
{
    Process(video, SenderReport(kVideoSsrc, 100, 90 * 19500));
    Process(audio, SenderReport(kAudioSsrc, 100, 8 * 9000));
    EXPECT_FALSE(audio.stack->GetUseLipSync());
    EXPECT_TRUE(audio.Delays(NOTIFY_AUDIO_LIPSYNC_DELAY).empty());
    EXPECT_EQ(logs.CountContaining("delay computed for lip sync"), 0);
}

TEST_F(LipSync, OtherParticipantsAreNotCompared)
{
    audio.stack->SetUseLipSync(true);
    Process(audio, Description(kVideoSsrc, "bob@example"));
    Process(video, SenderReport(kVideoSsrc, 100, 90 * 19500));
    Process(audio, SenderReport(kAudioSsrc, 100, 8 * 9000));
    EXPECT_TRUE(audio.Delays(NOTIFY_AUDIO_LIPSYNC_DELAY).empty());
}

}  // namespace
}  // namespace inputtest
