// "RTP stack statistics": the process's sources, their figures on the
// refresh timer, and the loss simulation applied to a sending stack.
#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "module/zqmrtpstackids.h"
#include "page_fixture.h"
#include "ui/zqmrtpstackcontrolids.h"
#include "zqfformat.h"
#include "zqfmediasample.h"
#include "zqfpin.h"
#include "zqmrtpsource.h"

namespace {

using namespace uitest;
namespace d = zqm::statisticsdialog;

constexpr uint32_t kRemoteSsrc = 0x0BADCAFE;
constexpr int kRefreshMs = 2000;
constexpr int32_t kG711A = 0x40001;
constexpr ZQFID kUpstreamId{0x77000002, 1, 2, {3, 4, 5, 6, 7, 8, 9, 10}};

const int kSimulationControls[] = {d::kSimulatePacketLoss, d::kPacketLossPercent, d::kGenerateJitter, d::kMaxJitter};

// Feeds the sending module's input pin with G.711 frames laid out as an
// upstream module does: 12 bytes of header room, then the payload.
class Upstream : public ZQFModule {
public:
    Upstream() : ZQFModule(kUpstreamId, "upstream") { AddPin(new ZQFPinOutAuto(this, "out", 0)); }

    void Send(uint16_t sequenceNumber)
    {
        ZQFMediaSample* sample = GetOutputPin(0)->GetNewSample(1000);
        ASSERT_NE(sample, nullptr);
        sample->SetDataWriteOffset(0);
        std::memset(sample->GetDataBuffer(), 0x55, 12 + 160);
        sample->m_PayloadLength = 160;
        sample->SetDataReadOffset(12);
        sample->GetMediaType()->SetMainType(1);
        sample->GetMediaType()->SetSubType(kG711A);
        NKRMultiplexedPacketFormat format;
        format.sequenceNumber = sequenceNumber;
        format.timestamp = sequenceNumber * 160u;
        sample->AllocFormatBuffer(format, false);
        if (!GetOutputPin(0)->Deliver(sample)) {
            sample->Recycle();
        }
    }
};

// A UDP port on loopback that takes the sent packets and is never read.
class Sink {
public:
    Sink() : m_fd(socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        bind(m_fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
        getsockname(m_fd, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = std::to_string(ntohs(address.sin_port));
    }
    ~Sink() { close(m_fd); }
    const char* Port() const { return m_port.c_str(); }

private:
    int m_fd;
    std::string m_port;
};

// Three sources in the process: the local ones of a sending and a receiving
// module, and a remote one. Their CNAMEs sort differently from the order in
// which the stack lists them (local ones first).
class StatisticsPageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        out.SetCNAME("Bravo");
        in.SetCNAME("charlie");
        remote = std::make_unique<ZQMRTPSource>(nullptr, kRemoteSsrc, 0, false);
        remote->StoreCNAME("alpha");
        remote->m_packetCount = 7;
        remote->m_jitter = 12.9f;  // ms: its media type converts nothing
        outSsrc = SsrcOf("Bravo");
    }

    static uint32_t SsrcOf(const char* cname)
    {
        uint32_t ssrc = 0;
        bool local = false;
        for (int i = 0; ZQMRTPSource::GetSourceAt(i, &ssrc, &local); ++i) {
            if (std::strcmp(ZQMRTPSource::GetSourceCNAME(ssrc, local), cname) == 0) {
                return ssrc;
            }
        }
        ADD_FAILURE() << "no source " << cname;
        return 0;
    }

    // Chooses an entry as the user would and lets the refresh timer run.
    static void ChooseAndRefresh(ZQFPropertySheetSession& sheet, int entry)
    {
        EXPECT_TRUE(zqwin32::ChooseDialogListItem(sheet.GetActiveWindow(), d::kSources, entry));
        ZQCClock::AdvanceManualTime(kRefreshMs);
        EXPECT_EQ(sheet.PumpTimers(), 1);
    }

    static bool SimulationEnabled(HWND page)
    {
        int enabled = 0;
        for (int id : kSimulationControls) {
            enabled += IsEnabled(page, id) ? 1 : 0;
        }
        EXPECT_TRUE(enabled == 0 || enabled == 4) << enabled << " of the simulation controls enabled";
        return enabled == 4;
    }

    ManualTime time;
    ZQMRTPStackModule out{ZQMID_RTPOut, "Output RTP stack"};
    ZQMRTPStackModule in{ZQMID_RTPIn, "Input RTP stack"};
    std::unique_ptr<ZQMRTPSource> remote;
    uint32_t outSsrc = 0;
};

TEST_F(StatisticsPageTest, ListsEverySourceByCNAMEWithItsSSRCAndSelectsByThatSSRC)
{
    ShowSheet(out, [&](ZQFPropertySheetSession& sheet) {
        ASSERT_TRUE(sheet.ActivatePage(kStatisticsPage));
        HWND page = sheet.GetActiveWindow();
        zqwin32::DialogState state;
        ASSERT_TRUE(zqwin32::GetDialogState(page, &state));
        const zqwin32::ControlState& list = state.controls[1];
        ASSERT_EQ(list.id, d::kSources);
        EXPECT_EQ(list.items, (std::vector<std::string>{"alpha", "Bravo", "charlie"}));
        const uint32_t expected[] = {kRemoteSsrc, outSsrc, SsrcOf("charlie")};
        for (WPARAM i = 0; i < 3; ++i) {
            EXPECT_EQ(static_cast<uint32_t>(SendDlgItemMessageA(page, d::kSources, LB_GETITEMDATA, i, 0)), expected[i]);
        }
        // The first entry is the remote source, whatever the stack lists first.
        EXPECT_EQ(list.selection, 0);
        EXPECT_FALSE(SimulationEnabled(page));
    });
}

TEST_F(StatisticsPageTest, RefreshShowsTheSelectedSourceAndEnablesSimulationOnlyForLocalOnes)
{
    ShowSheet(out, [&](ZQFPropertySheetSession& sheet) {
        ASSERT_TRUE(sheet.ActivatePage(kStatisticsPage));
        HWND page = sheet.GetActiveWindow();
        ChooseAndRefresh(sheet, 1);  // "Bravo", local
        EXPECT_TRUE(SimulationEnabled(page));
        EXPECT_EQ(Text(page, d::kPacketCount), "0");

        EXPECT_TRUE(zqwin32::ChooseDialogListItem(page, d::kSources, 0));  // "alpha", remote
        EXPECT_TRUE(SimulationEnabled(page));                               // until the next refresh
        ZQCClock::AdvanceManualTime(kRefreshMs);
        sheet.PumpTimers();
        EXPECT_FALSE(SimulationEnabled(page));
        EXPECT_EQ(Text(page, d::kPacketCount), "7");
        EXPECT_EQ(Text(page, d::kJitter), "12");

        // A source that is gone shows no figures of anyone.
        remote.reset();
        ZQCClock::AdvanceManualTime(kRefreshMs);
        sheet.PumpTimers();
        EXPECT_EQ(Text(page, d::kPacketCount), "");
        EXPECT_EQ(Text(page, d::kJitter), "");
    });
}

TEST_F(StatisticsPageTest, LeavingThePageKillsTheRefreshAndTheFiguresStay)
{
    ShowSheet(out, [&](ZQFPropertySheetSession& sheet) {
        ASSERT_TRUE(sheet.ActivatePage(kStatisticsPage));
        HWND page = sheet.GetActiveWindow();
        EXPECT_EQ(zqwin32::GetTimerCount(page), 1);
        ChooseAndRefresh(sheet, 0);
        ASSERT_TRUE(sheet.ActivatePage(kSettingsPage));
        EXPECT_EQ(zqwin32::GetTimerCount(page), 0);
        remote->m_packetCount = 99;
        ZQCClock::AdvanceManualTime(3 * kRefreshMs);
        EXPECT_EQ(sheet.PumpTimers(), 0);
        EXPECT_EQ(Text(page, d::kPacketCount), "7");
    });
}

TEST_F(StatisticsPageTest, LossSimulationAppliedToTheSendingStackDropsAboutOnePacketInTen)
{
    Sink sink;
    Upstream upstream;
    ASSERT_TRUE(ZQFConnectPins(upstream.GetOutputPin(0), out.GetInputPin(0)));
    ASSERT_TRUE(out.EnableMediaType(kG711A));
    out.SetRTCPEnabled(0);
    out.SetLocalIPAddress("127.0.0.1");
    out.SetLocalRTPPort("0");
    out.SetLocalRTCPPort("0");
    out.SetRemoteRTPAddress("127.0.0.1");
    out.SetRemoteRTCPAddress("127.0.0.1");
    out.SetRemoteRTPPort(sink.Port());
    out.SetRemoteRTCPPort(sink.Port());
    ASSERT_TRUE(out.OnEndFlush());
    out.SetRunning(true);
    ASSERT_TRUE(out.OnStart());

    ShowSheet(out, [&](ZQFPropertySheetSession& sheet) {
        ASSERT_TRUE(sheet.ActivatePage(kStatisticsPage));
        HWND page = sheet.GetActiveWindow();
        ChooseAndRefresh(sheet, 1);  // "Bravo": this sending stack's source
        EXPECT_TRUE(zqwin32::ClickDialogItem(page, d::kSimulatePacketLoss));
        EXPECT_TRUE(zqwin32::TypeDialogItemText(page, d::kPacketLossPercent, "10"));
        sheet.Apply();
        EXPECT_TRUE(out.GetSimulatePacketLoss(outSsrc, true));
        EXPECT_EQ(out.GetPacketLossPercent(outSsrc, true), 10u);

        constexpr int kPackets = 2000;
        for (int i = 0; i < kPackets; ++i) {
            upstream.Send(static_cast<uint16_t>(i));
        }
        ZQCClock::AdvanceManualTime(kRefreshMs);
        sheet.PumpTimers();
        const int sent = std::stoi(Text(page, d::kPacketCount));
        // 200 expected drops; the bounds are some 7 standard deviations wide.
        EXPECT_GT(sent, kPackets - 300);
        EXPECT_LT(sent, kPackets - 100);

        EXPECT_TRUE(zqwin32::TypeDialogItemText(page, d::kPacketLossPercent, "150"));
        sheet.Apply();
        EXPECT_EQ(out.GetPacketLossPercent(outSsrc, true), 10u);
        EXPECT_TRUE(out.GetSimulatePacketLoss(outSsrc, true));
    });

    out.SetRunning(false);
    out.OnBeginFlush();
    ZQFDisconnectPins(upstream.GetOutputPin(0));
}

}  // namespace
