// "RTP stack statistics": the process's sources, their figures on the
// refresh timer, and the loss simulation set on a sending stack.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "module/zqmrtpstackids.h"
#include "page_fixture.h"
#include "ui/zqmrtpstackcontrolids.h"
#include "zqmrtpsource.h"

namespace {

using namespace uitest;
namespace d = zqm::statisticsdialog;

constexpr uint32_t kRemoteSsrc = 0x0BADCAFE;
constexpr int kRefreshMs = 2000;

const int kSimulationControls[] = {d::kSimulatePacketLoss, d::kPacketLossPercent, d::kGenerateJitter, d::kMaxJitter};

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
        remote->m_jitterMs = 12.9f;  // as the receiving stack keeps its estimate
        remote->m_cumulativeLost = -1;  // as a peer may report it on a clean stream
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

    testsupport::ManualTime time{100000};
    ZQMRTPStackModule out{ZQMID_RTPOut, "Output RTP stack"};
    ZQMRTPStackModule in{ZQMID_RTPIn, "Input RTP stack"};
    std::unique_ptr<ZQMRTPSource> remote;
    uint32_t outSsrc = 0;
};

TEST_F(StatisticsPageTest, RefreshShowsTheSelectedSourceAndEnablesSimulationOnlyForLocalOnes)
{
    ShowSheet(out, [&](ZQFPropertySheetSession& sheet) {
        ASSERT_TRUE(sheet.ActivatePage(kStatisticsPage));
        HWND page = sheet.GetActiveWindow();
        ChooseAndRefresh(sheet, 1);  // "Bravo", local
        EXPECT_TRUE(SimulationEnabled(page));
        EXPECT_EQ(Text(page, d::kPacketCount), "0");

        ChooseAndRefresh(sheet, 0);  // "alpha", remote
        EXPECT_FALSE(SimulationEnabled(page));
        EXPECT_EQ(Text(page, d::kPacketCount), "7");
        EXPECT_EQ(Text(page, d::kJitter), "12");
        EXPECT_EQ(Text(page, d::kCumulativeLost), "-1");

        // A source that is gone shows no figures of anyone.
        remote.reset();
        ZQCClock::AdvanceManualTime(kRefreshMs);
        sheet.PumpTimers();
        EXPECT_EQ(Text(page, d::kPacketCount), "");
        EXPECT_EQ(Text(page, d::kJitter), "");
    });
}

// Every visit to another page stops the refresh; each return shows the
// current figures at once and keeps them moving.
TEST_F(StatisticsPageTest, LeavingThePageStopsTheRefreshAndComingBackResumesIt)
{
    ShowSheet(out, [&](ZQFPropertySheetSession& sheet) {
        ASSERT_TRUE(sheet.ActivatePage(kStatisticsPage));
        HWND page = sheet.GetActiveWindow();
        ChooseAndRefresh(sheet, 0);
        for (uint32_t visit = 1; visit <= 2; ++visit) {
            ASSERT_TRUE(sheet.ActivatePage(kSettingsPage));
            EXPECT_EQ(zqwin32::GetTimerCount(page), 0);
            const uint32_t shown = remote->m_packetCount;
            remote->m_packetCount = 100 * visit;
            ZQCClock::AdvanceManualTime(3 * kRefreshMs);
            EXPECT_EQ(sheet.PumpTimers(), 0);
            EXPECT_EQ(Text(page, d::kPacketCount), std::to_string(shown));

            ASSERT_TRUE(sheet.ActivatePage(kStatisticsPage));
            EXPECT_EQ(Text(page, d::kPacketCount), std::to_string(100 * visit));
            remote->m_packetCount = 100 * visit + 1;
            ZQCClock::AdvanceManualTime(kRefreshMs);
            EXPECT_EQ(sheet.PumpTimers(), 1);
            EXPECT_EQ(Text(page, d::kPacketCount), std::to_string(100 * visit + 1));
        }
    });
}

// What the page applies reaches the sending stack's own source (what the
// stack then drops is tested with the output stack).
TEST_F(StatisticsPageTest, LossSimulationAppliesToTheSendingStacksSourceWithinBounds)
{
    ShowSheet(out, [&](ZQFPropertySheetSession& sheet) {
        ASSERT_TRUE(sheet.ActivatePage(kStatisticsPage));
        HWND page = sheet.GetActiveWindow();
        ChooseAndRefresh(sheet, 1);  // "Bravo": this sending stack's source
        EXPECT_TRUE(zqwin32::ClickDialogItem(page, d::kSimulatePacketLoss));
        EXPECT_TRUE(zqwin32::TypeDialogItemText(page, d::kPacketLossPercent, "10"));
        sheet.Apply();
        EXPECT_TRUE(out.GetSimulatePacketLoss(outSsrc, true));
        EXPECT_EQ(out.GetPacketLossPercent(outSsrc, true), 10u);

        EXPECT_TRUE(zqwin32::TypeDialogItemText(page, d::kPacketLossPercent, "150"));
        sheet.Apply();
        EXPECT_EQ(out.GetPacketLossPercent(outSsrc, true), 10u);
    });
}

}  // namespace
