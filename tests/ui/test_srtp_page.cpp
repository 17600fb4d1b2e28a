// SRTP on "RTP stack settings": the suite or "off", and whether keys are
// set; no page of the sheet ever shows a key.
#include <gtest/gtest.h>

#include <string>

#include "module/zqmrtpstackids.h"
#include "page_fixture.h"
#include "ui/zqmrtpstackcontrolids.h"

namespace {

using namespace uitest;
namespace d = zqm::settingsdialog;

// Every text on the page: labels, edits, list items.
std::string PageText(HWND page)
{
    zqwin32::DialogState state;
    EXPECT_TRUE(zqwin32::GetDialogState(page, &state));
    std::string text = state.caption;
    for (const zqwin32::ControlState& control : state.controls) {
        text += "\n" + control.text;
        for (const std::string& item : control.items) {
            text += "\n" + item;
        }
    }
    return text;
}

TEST(SrtpPage, ShowsTheSuiteAndWhetherKeysAreSetButNeverAKey)
{
    struct Case {
        ZQFID kind;
        const char* suite;  // "" for off
        const char* sendKey;
        const char* receiveKey;  // master key and salt: 30 bytes for AES_CM, 28 for GCM
        const char* shownSuite;
        const char* shownKeys;
    };
    const Case cases[] = {
        {ZQMID_RTPOut, "", "", "", "off", "no keys"},
        {ZQMID_RTPIn, "AES_CM_128_HMAC_SHA1_32", "AQIDBAUGBwgJCgsMDQ4PEBESExQVFhcYGRobHB0e",
         "ZWZnaGlqa2xtbm9wcXJzdHV2d3h5ent8fX5/gIGC", "AES_CM_128_HMAC_SHA1_32", "keys set"},
        {ZQMID_RTPOut, "AEAD_AES_128_GCM", "AQIDBAUGBwgJCgsMDQ4PEBESExQVFhcYGRobHA==",
         "ycrLzM3Oz9DR0tPU1dbX2Nna29zd3t/g4eLj5A==", "AEAD_AES_128_GCM", "keys set"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.shownSuite);
        ZQMRTPStackModule module(c.kind, "stack");
        ASSERT_TRUE(module.SetSRTP(c.suite, c.sendKey, c.receiveKey, nullptr));

        ShowSheet(module, [&](ZQFPropertySheetSession& sheet) {
            for (int index = sheet.GetPageCount() - 1; index >= kSettingsPage; --index) {
                ASSERT_TRUE(sheet.ActivatePage(index));
                const std::string text = PageText(sheet.GetActiveWindow());
                for (const std::string key : {c.sendKey, c.receiveKey}) {
                    EXPECT_TRUE(key.empty() || text.find(key) == std::string::npos) << index << ":\n" << text;
                }
            }
            HWND page = sheet.GetActiveWindow();
            EXPECT_EQ(Text(page, d::kSRTPSuite), c.shownSuite);
            EXPECT_EQ(Text(page, d::kSRTPKeys), c.shownKeys);
            EXPECT_TRUE(sheet.Apply());  // the page's own settings leave SRTP as it was
        });
        EXPECT_STREQ(module.GetSRTPSuite(), c.suite);
        EXPECT_STREQ(module.GetSRTPSendKey(), c.sendKey);
        EXPECT_STREQ(module.GetSRTPReceiveKey(), c.receiveKey);
    }
}

}  // namespace
