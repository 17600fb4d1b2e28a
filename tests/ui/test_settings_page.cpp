// "RTP stack settings" on the sheet of "RTP in" and "RTP out" modules.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "module/zqmrtpstackids.h"
#include "page_fixture.h"
#include "ui/mediatypecheckboxes.h"
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

void SetPorts(ZQIRTPStack& stack, const char* localRTP, const char* remoteRTP, const char* localRTCP,
              const char* remoteRTCP)
{
    stack.SetLocalRTPPort(localRTP);
    stack.SetRemoteRTPPort(remoteRTP);
    stack.SetLocalRTCPPort(localRTCP);
    stack.SetRemoteRTCPPort(remoteRTCP);
}

// Both ends of each pair hold the same port.
void ExpectPorts(ZQIRTPStack& stack, const char* rtp, const char* rtcp)
{
    EXPECT_STREQ(stack.GetLocalRTPPort(), rtp);
    EXPECT_STREQ(stack.GetRemoteRTPPort(), rtp);
    EXPECT_STREQ(stack.GetLocalRTCPPort(), rtcp);
    EXPECT_STREQ(stack.GetRemoteRTCPPort(), rtcp);
}

TEST(SettingsPage, RtpOutShowsItsStackAndAppliesEachPortPairFromItsEnabledEdit)
{
    RecordingModule module(ZQMID_RTPOut, "Output RTP stack");
    SetPorts(module, "8000", "9000", "8001", "9001");
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
        // The page shows what the stack now holds.
        EXPECT_EQ(Text(page, d::kLocalRTPPort), "9000");
        EXPECT_EQ(Text(page, d::kRemoteRTCPPort), "7001");
        EXPECT_TRUE(IsChecked(page, d::kDisableAutoSeqNum));
    });

    EXPECT_EQ(result, 1);
    ExpectPorts(module, "9000", "7001");
    EXPECT_STREQ(module.GetRemoteRTPAddress(), "127.0.0.9");
    EXPECT_STREQ(module.GetRemoteRTCPAddress(), "127.0.0.9");
    EXPECT_STREQ(module.GetLocalIPAddress(), "127.0.0.8");
    EXPECT_FALSE(module.GetAutoSequenceNumbers());
    // In table order; T140 left checked with half of its pair enables both.
    EXPECT_EQ(module.calls, (Calls{{"remove", kH263Type},
                                   {"enable", kG711AType},
                                   {"enable", kT140Type},
                                   {"enable", kT140PairType}}));
    EXPECT_TRUE(module.IsMediaTypeEnabled(kT140PairType));
}

TEST(SettingsPage, RtpInAppliesRtpPortsFromTheLocalEditAndRtcpPortsFromTheRemoteOne)
{
    RecordingModule module(ZQMID_RTPIn, "Input RTP stack");
    SetPorts(module, "5000", "6000", "5001", "6001");
    ShowSheet(module, [&](ZQFPropertySheetSession& sheet) {
        ASSERT_TRUE(sheet.ActivatePage(kSettingsPage));
        HWND page = sheet.GetActiveWindow();
        EXPECT_FALSE(IsEnabled(page, d::kLocalRTCPPort));
        EXPECT_FALSE(IsEnabled(page, d::kRemoteRTPPort));
        EXPECT_TRUE(zqwin32::TypeDialogItemText(page, d::kLocalRTPPort, "5500"));
        EXPECT_TRUE(zqwin32::TypeDialogItemText(page, d::kRemoteRTCPPort, "5501"));
        EXPECT_TRUE(sheet.Apply());
        EXPECT_EQ(Text(page, d::kRemoteRTPPort), "5500");
    });
    ExpectPorts(module, "5500", "5501");
    EXPECT_TRUE(module.calls.empty());
}

TEST(SettingsPage, UncheckingT140RemovesBothOfItsPairAndUnchangedBoxesMakeNoCall)
{
    RecordingModule module(ZQMID_RTPOut, "Output RTP stack");
    ASSERT_TRUE(module.EnableMediaType(kT140PairType));
    ASSERT_TRUE(module.EnableMediaType(kG711AType));
    module.calls.clear();
    ShowSheet(module, [&](ZQFPropertySheetSession& sheet) {
        ASSERT_TRUE(sheet.ActivatePage(kSettingsPage));
        HWND page = sheet.GetActiveWindow();
        EXPECT_TRUE(IsChecked(page, kT140));
        EXPECT_TRUE(zqwin32::ClickDialogItem(page, kT140));
        sheet.Apply();
        EXPECT_FALSE(IsChecked(page, kT140));
        EXPECT_EQ(module.calls, (Calls{{"remove", kT140Type}, {"remove", kT140PairType}}));
        module.calls.clear();
        sheet.Apply();
    });
    EXPECT_TRUE(module.calls.empty());
    EXPECT_TRUE(module.IsMediaTypeEnabled(kG711AType));
    EXPECT_FALSE(module.IsMediaTypeEnabled(kT140PairType));
}

TEST(SettingsPage, EveryMediaTypeBoxNamesAKnownMediaTypeAndHasItsControl)
{
    ZQMRTPStackModule module(ZQMID_RTPOut, "Output RTP stack");
    std::map<int, int32_t> typeOf;  // control id -> media type
    std::set<int32_t> mediaTypes;
    for (const zqm::MediaTypeCheckBox& box : zqm::MediaTypeCheckBoxes()) {
        typeOf[box.controlId] = zqm::MediaTypeOf(box);
        mediaTypes.insert(zqm::MediaTypeOf(box));
    }
    EXPECT_EQ(typeOf.size(), 45u);
    EXPECT_EQ(mediaTypes.size(), 45u);
    EXPECT_EQ(mediaTypes.count(-1), 0u);
    // Spots where the text alone would mislead: video and audio "MPEG4", "GSM610M", "EVRC".
    EXPECT_EQ((std::vector<int32_t>{typeOf[1005], typeOf[1040], typeOf[1035], typeOf[1042]}),
              (std::vector<int32_t>{0x10005, 0x40014, 0x40011, 0x4001B}));
    ShowSheet(module, [&](ZQFPropertySheetSession& sheet) {
        ASSERT_TRUE(sheet.ActivatePage(kSettingsPage));
        for (const auto& [id, type] : typeOf) {
            EXPECT_NE(GetDlgItem(sheet.GetActiveWindow(), id), nullptr) << id;
        }
    });
}

}  // namespace
