#pragma once
// Stack modules shown through the programmatic sheet driver, and what a test
// reads back from their dialogs.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "manual_time.h"
#include "module/zqmrtpstackmodule.h"
#include "user32.h"
#include "zqcclock.h"
#include "zqfprogrammaticsheetdriver.h"

namespace uitest {

constexpr int kSettingsPage = 0;
constexpr int kStatisticsPage = 1;

// Runs `script` with the module's sheet on show (DisplayConfigPanel).
inline int ShowSheet(ZQIConfigPanel& module, const ZQFProgrammaticSheetDriver::Script& script)
{
    ZQFProgrammaticSheetDriver driver(script);
    const int result = module.DisplayConfigPanel(nullptr, 0);
    EXPECT_EQ(driver.GetRunCount(), 1);
    return result;
}

inline std::string Text(HWND dialog, int id)
{
    char text[256] = {};
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
}

inline bool IsChecked(HWND dialog, int id)
{
    return SendDlgItemMessageA(dialog, id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

inline bool IsEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }

// A stack module that records the media-type calls its settings page makes
// on it, then does them.
class RecordingModule : public ZQMRTPStackModule {
public:
    using ZQMRTPStackModule::ZQMRTPStackModule;

    bool EnableMediaType(int32_t mediaType) override
    {
        calls.emplace_back("enable", mediaType);
        return ZQMRTPStackModule::EnableMediaType(mediaType);
    }
    bool RemoveMediaType(int32_t mediaType) override
    {
        calls.emplace_back("remove", mediaType);
        return ZQMRTPStackModule::RemoveMediaType(mediaType);
    }

    std::vector<std::pair<std::string, int32_t>> calls;
};

}  // namespace uitest
