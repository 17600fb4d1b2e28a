// "RTP stack settings" on the sheet of an "RTP out" module.
#include <gtest/gtest.h>

#include "module/zqmrtpstackids.h"
#include "page_fixture.h"
#include "ui/zqmrtpstackcontrolids.h"

namespace {

using namespace uitest;
namespace d = zqm::settingsdialog;

constexpr int kH263 = 1002;
constexpr int kG711A = 1019;
constexpr int kT140 = 1044;
constexpr int32_t kH263Type = 0x10002;
constexpr int32_t kG711AType = 0x40001;
constexpr int32_t kT140Type = 0x100003;
constexpr int32_t kT140PairType = 0x100004;

using Calls = std::vector<std::pair<std::string, int32_t>>;

TEST(SettingsPage, RtpOutShowsItsStackAndAppliesEachPortPairFromItsEnabledEdit)
{
    RecordingModule module(ZQMID_RTPOut, "Output RTP stack");
    module.SetLocalRTPPort("8000");
    module.SetRemoteRTPPort("9000");
    module.SetLocalRTCPPort("8001");
    module.SetRemoteRTCPPort("9001");
    ASSERT_TRUE(module.EnableMediaType(kH263Type));
    ASSERT_TRUE(module.EnableMediaType(kT140Type));
    module.calls.clear();

    const int result = ShowSheet(module, [&](ZQFPropertySheetSession& sheet) {
        ASSERT_EQ(sheet.GetPageCount(), 3);
        ASSERT_TRUE(sheet.ActivatePage(kSettingsPage));
        HWND page = sheet.GetActiveWindow();
        for (const auto& [id, text] : {std::pair{d::kLocalRTPPort, "8000"}, {d::kRemoteRTPPort, "9000"},
                                       {d::kLocalRTCPPort, "8001"}, {d::kRemoteRTCPPort, "9001"}}) {
            EXPECT_EQ(Text(page, id), text) << id;
        }
        EXPECT_FALSE(IsEnabled(page, d::kLocalRTPPort) || IsEnabled(page, d::kRemoteRTCPPort) || IsEnabled(page, d::kFEC));
        EXPECT_FALSE(IsChecked(page, d::kDisableAutoSeqNum));
        EXPECT_TRUE(IsChecked(page, kH263));
        EXPECT_TRUE(IsChecked(page, kT140));  // one of its pair is enough
        EXPECT_FALSE(IsChecked(page, kG711A));
        EXPECT_FALSE(zqwin32::TypeDialogItemText(page, d::kLocalRTPPort, "1"));

        EXPECT_TRUE(zqwin32::TypeDialogItemText(page, d::kRemoteIPAddress, "127.0.0.9"));
        EXPECT_TRUE(zqwin32::TypeDialogItemText(page, d::kLocalIPAddress, "127.0.0.8"));
        EXPECT_TRUE(zqwin32::TypeDialogItemText(page, d::kLocalRTCPPort, "7001"));
        EXPECT_TRUE(zqwin32::ClickDialogItem(page, d::kDisableAutoSeqNum));
        EXPECT_TRUE(zqwin32::ClickDialogItem(page, kH263));
        EXPECT_TRUE(zqwin32::ClickDialogItem(page, kG711A));
        EXPECT_TRUE(sheet.Apply());
        EXPECT_TRUE(sheet.LastApplyTakesEffectAtNextStart());  // the stack opens its sockets with them
        // The page shows what the stack now holds.
        EXPECT_EQ(Text(page, d::kLocalRTPPort), "9000");
        EXPECT_EQ(Text(page, d::kRemoteRTCPPort), "7001");
        EXPECT_TRUE(IsChecked(page, d::kDisableAutoSeqNum));

        // Media types take effect at once.
        EXPECT_TRUE(zqwin32::ClickDialogItem(page, kH263));
        EXPECT_TRUE(sheet.Apply());
        EXPECT_FALSE(sheet.LastApplyTakesEffectAtNextStart());
    });

    EXPECT_EQ(result, 1);
    // Both ends of each pair hold the same port.
    EXPECT_STREQ(module.GetLocalRTPPort(), "9000");
    EXPECT_STREQ(module.GetRemoteRTPPort(), "9000");
    EXPECT_STREQ(module.GetLocalRTCPPort(), "7001");
    EXPECT_STREQ(module.GetRemoteRTCPPort(), "7001");
    EXPECT_STREQ(module.GetRemoteRTPAddress(), "127.0.0.9");
    EXPECT_STREQ(module.GetRemoteRTCPAddress(), "127.0.0.9");
    EXPECT_STREQ(module.GetLocalIPAddress(), "127.0.0.8");
    EXPECT_FALSE(module.GetAutoSequenceNumbers());
    // In table order; T140 left checked with half of its pair enables both.
    EXPECT_EQ(module.calls, (Calls{{"remove", kH263Type},
                                   {"enable", kG711AType},
                                   {"enable", kT140Type},
                                   {"enable", kT140PairType},
                                   {"enable", kH263Type}}));
    EXPECT_TRUE(module.IsMediaTypeEnabled(kT140PairType));
}

}  // namespace
