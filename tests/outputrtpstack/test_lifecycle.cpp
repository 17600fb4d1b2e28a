// Flush, start and the SSRC of the sending stack.
#include <string>

#include "output_fixture.h"
#include "zqfnotify.h"
#include "zqmrtpsocket.h"

namespace outputtest {
namespace {

constexpr const char* kStartFailed = "<--RTPStack-->OnStart failure error throwed while starting output rtpStack.";

TEST_F(OutputStackTest, EndOfFlushAsksUpstreamForHeaderRoomAndPayloadSupportAndMakesTheRtcpThread)
{
    ASSERT_TRUE(module->OnEndFlush());
    const std::vector<ZQFNotifyInfo> notes = upstream.Notifications();
    ASSERT_EQ(notes.size(), 2u);
    EXPECT_EQ(notes[0].code, NOTIFY_INSERT_HEADER);
    EXPECT_EQ(notes[0].param, 12);
    EXPECT_EQ(notes[0].sender, module.get());
    EXPECT_EQ(notes[1].code, NOTIFY_SUPPORT_PAYLOAD);
    EXPECT_EQ(notes[1].param, 1);
    EXPECT_TRUE(logs.Texts(kPath).empty());
    EXPECT_EQ(module->GetThreadCount(), 1);

    // With nobody upstream each request is logged; without RTCP no thread.
    ZQMRTPStackModule alone(ZQMID_RTPOut, "Output RTP stack");
    alone.SetRTCPEnabled(0);
    ASSERT_TRUE(alone.OnEndFlush());
    EXPECT_EQ(logs.Count(kPath, 1,
                         "<--RTPStack-->OnEndFlush failure in output rtp stack: reverse notify insert header not catch."),
              1);
    EXPECT_EQ(logs.Count(kPath, 1, "ZQMOutputRTPStack notify message NOTIFY_SUPPORT_PAYLOAD not catched.)"), 1);
    EXPECT_EQ(alone.GetThreadCount(), 0);
}

TEST_F(OutputStackTest, StartingTwiceFailsAndLeavesTheStackCleanedUp)
{
    Start();
    EXPECT_NE(zqm::FindSharedRTPSocket(std::stoi(rtcpPort)), nullptr);
    EXPECT_FALSE(module->OnStart());
    EXPECT_EQ(logs.Count(kPath, 2, kStartFailed), 1);
    EXPECT_EQ(zqm::FindSharedRTPSocket(std::stoi(rtcpPort)), nullptr);
    EXPECT_EQ(module->GetThreadCount(), 0);
}

TEST_F(OutputStackTest, UnusableRemoteAddressFailsTheStart)
{
    module->SetRemoteRTPAddress("");
    ASSERT_TRUE(module->OnEndFlush());
    EXPECT_FALSE(module->OnStart());
    EXPECT_EQ(logs.Count(kPath, 2, "ZQMOutputRTPStack: can't resolve  network address"), 1);
    EXPECT_EQ(logs.Count(kPath, 2, kStartFailed), 1);
}

TEST_F(OutputStackTest, RemoteSourceWithOurSsrcMovesTheNextPacketToANewOne)
{
    Start();
    ASSERT_TRUE(Send());
    const uint32_t old = Word(rtpPeer.Receive(), 8);
    ASSERT_EQ(old, Ssrc());
    ZQMRTPSource remote(nullptr, old, 0, false);
    ASSERT_TRUE(Send());

    const Bytes goodbye = rtcpPeer.Receive();
    ASSERT_GE(goodbye.size(), 36u);
    EXPECT_EQ(Word(goodbye, goodbye.size() - 4), old);
    const uint32_t now = Word(rtpPeer.Receive(), 8);
    EXPECT_NE(now, old);
    EXPECT_EQ(now, Ssrc());
}

}  // namespace
}  // namespace outputtest
