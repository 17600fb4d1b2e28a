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

TEST(SettingsPage, RtpOutShowsItsStackAndAppliesAddressesSequenceNumbersAndMediaTypes)
{
    RecordingModule module(ZQMID_RTPOut, "Output RTP stack");
    ASSERT_TRUE(module.EnableMediaType(kH263Type));
    ASSERT_TRUE(module.EnableMediaType(kT140Type));
    module.calls.clear();

    const int result = ShowSheet(module, [&](ZQFPropertySheetSession& sheet) {
        ASSERT_EQ(sheet.GetPageCount(), 3);
        ASSERT_TRUE(sheet.ActivatePage(kSettingsPage));
        HWND page = sheet.GetActiveWindow();
        EXPECT_FALSE(IsEnabled(page, d::kFEC));
        EXPECT_FALSE(IsChecked(page, d::kDisableAutoSeqNum));
        EXPECT_TRUE(IsChecked(page, kH263));
        EXPECT_TRUE(IsChecked(page, kT140));  // one of its pair is enough
        EXPECT_FALSE(IsChecked(page, kG711A));

        EXPECT_TRUE(zqwin32::TypeDialogItemText(page, d::kRemoteIPAddress, "127.0.0.9"));
        EXPECT_TRUE(zqwin32::TypeDialogItemText(page, d::kLocalIPAddress, "127.0.0.8"));
        EXPECT_TRUE(zqwin32::ClickDialogItem(page, d::kDisableAutoSeqNum));
        EXPECT_TRUE(zqwin32::ClickDialogItem(page, kH263));
        EXPECT_TRUE(zqwin32::ClickDialogItem(page, kG711A));
        EXPECT_TRUE(sheet.Apply());
        EXPECT_TRUE(sheet.LastApplyTakesEffectAtNextStart());  // the stack opens its sockets with them
        // The page shows what the stack now holds.
        EXPECT_TRUE(IsChecked(page, d::kDisableAutoSeqNum));

        // Media types take effect at once.
        EXPECT_TRUE(zqwin32::ClickDialogItem(page, kH263));
        EXPECT_TRUE(sheet.Apply());
        EXPECT_FALSE(sheet.LastApplyTakesEffectAtNextStart());
    });

    EXPECT_EQ(result, 1);
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

// Each port edit, on either kind of stack, changes its own port and leaves
// the three others as they were.
TEST(SettingsPage, EachPortEditSetsOnlyItsOwnPort)
{
    struct Port {
        int id;
        const char* (ZQIRTPStack::*get)();
        void (ZQIRTPStack::*set)(const char*);
        const char* initial;
    };
    const Port ports[] = {{d::kLocalRTPPort, &ZQIRTPStack::GetLocalRTPPort, &ZQIRTPStack::SetLocalRTPPort, "8000"},
                          {d::kLocalRTCPPort, &ZQIRTPStack::GetLocalRTCPPort, &ZQIRTPStack::SetLocalRTCPPort, "8001"},
                          {d::kRemoteRTPPort, &ZQIRTPStack::GetRemoteRTPPort, &ZQIRTPStack::SetRemoteRTPPort, "9000"},
                          {d::kRemoteRTCPPort, &ZQIRTPStack::GetRemoteRTCPPort, &ZQIRTPStack::SetRemoteRTCPPort, "9001"}};
    for (const ZQFID* identity : {&ZQMID_RTPOut, &ZQMID_RTPIn}) {
        for (const Port& edited : ports) {
            SCOPED_TRACE(testing::Message() << (identity == &ZQMID_RTPIn ? "RTP in" : "RTP out") << ", edit "
                                            << edited.id);
            ZQMRTPStackModule module(*identity, "RTP stack");
            ZQIRTPStack& stack = module;
            for (const Port& port : ports) {
                (stack.*port.set)(port.initial);
            }
            ShowSheet(module, [&](ZQFPropertySheetSession& sheet) {
                ASSERT_TRUE(sheet.ActivatePage(kSettingsPage));
                EXPECT_TRUE(zqwin32::TypeDialogItemText(sheet.GetActiveWindow(), edited.id, "7000"));
                EXPECT_TRUE(sheet.Apply());
                EXPECT_TRUE(sheet.LastApplyTakesEffectAtNextStart());
            });
            for (const Port& port : ports) {
                EXPECT_STREQ((stack.*port.get)(), &port == &edited ? "7000" : port.initial) << port.id;
            }
        }
    }
}

}  // namespace
