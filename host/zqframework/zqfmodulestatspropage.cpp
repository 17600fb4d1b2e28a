#include "zqfmodulestatspropage.h"

#include <cstdio>

#include "user32.h"
#include "zqfmodule.h"

namespace {

constexpr UINT kRefreshPeriodMs = 2000;
constexpr UINT_PTR kRefreshTimer = 1;

using zqwin32::ControlKind;

constexpr DWORD kLabel = WS_CHILD | WS_VISIBLE | SS_LEFT;
constexpr DWORD kReadOnlyEdit = WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL | ES_READONLY;
constexpr DWORD kThreadListStyle =
    WS_CHILD | WS_VISIBLE | WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT;

constexpr zqwin32::DialogItemTemplate kItems[] = {
    {ControlKind::Static, -1, "Threads", 7, 4, 200, 8, kLabel},
    {ControlKind::ListBox, ZQFModuleStatsProPage::kThreadList, "", 7, 14, 270, 100, kThreadListStyle},
    {ControlKind::Static, -1, "Thread count:", 7, 121, 64, 8, kLabel},
    {ControlKind::Edit, ZQFModuleStatsProPage::kThreadCountEdit, "", 75, 118, 40, 13, kReadOnlyEdit},
    {ControlKind::Static, -1, "CPU time:", 140, 121, 50, 8, kLabel},
    {ControlKind::Edit, ZQFModuleStatsProPage::kCPUTimeEdit, "", 194, 118, 60, 13, kReadOnlyEdit},
};

// The framework's resources are there as soon as the library is.
struct DialogResource {
    DialogResource()
    {
        const zqwin32::DialogTemplate dialog{WS_CHILD | DS_SETFONT | DS_CONTROL, "", "MS Sans Serif", 8, 284, 145, kItems};
        zqwin32::RegisterDialogTemplate(ZQFModuleStatsProPage::kResourceModule, ZQFModuleStatsProPage::kDialogId,
                                        dialog);
    }
    ~DialogResource()
    {
        zqwin32::UnregisterDialogTemplate(ZQFModuleStatsProPage::kResourceModule, ZQFModuleStatsProPage::kDialogId);
    }
} g_dialogResource;

}  // namespace

ZQFModuleStatsProPage::ZQFModuleStatsProPage(const ZQIModuleStats& stats) : m_stats(stats)
{
    CPropertyPageParam param;
    param.moduleName = kResourceModule;
    param.title = "Module statistics";
    param.dialogId = kDialogId;
    Init(param);
}

ZQFModuleStatsProPage::~ZQFModuleStatsProPage() = default;

int ZQFModuleStatsProPage::OnInitDialog(CPropertyProcParam* param)
{
    Refresh(param->hwnd);
    return 1;
}

int ZQFModuleStatsProPage::OnSetActive(CPropertyProcParam* param)
{
    m_timerId = SetTimer(param->hwnd, kRefreshTimer, kRefreshPeriodMs, nullptr);
    Refresh(param->hwnd);
    return 1;
}

int ZQFModuleStatsProPage::OnMessage(CPropertyProcParam* param)
{
    if (param->message != WM_TIMER) {
        return 0;
    }
    Refresh(param->hwnd);
    return 1;
}

int ZQFModuleStatsProPage::OnKillActive(CPropertyProcParam* param)
{
    KillTimer(param->hwnd, m_timerId);
    m_timerId = 0;
    return 1;
}

void ZQFModuleStatsProPage::Refresh(HWND dialog)
{
    HWND list = GetDlgItem(dialog, kThreadList);
    const LRESULT selection = SendMessageA(list, LB_GETCURSEL, 0, 0);
    SendMessageA(list, LB_RESETCONTENT, 0, 0);
    const int count = m_stats.GetThreadCount();
    for (int i = 0; i < count; ++i) {
        ZQFThreadInfo info;
        if (!m_stats.GetThreadInfo(i, &info)) {
            continue;
        }
        char line[160];
        std::snprintf(line, sizeof line, "%s  %s  priority %d", info.name ? info.name : "",
                      info.running ? "running" : "stopped", info.priority);
        SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
    }
    SendMessageA(list, LB_SETCURSEL, static_cast<WPARAM>(selection), 0);
    char number[24];
    std::snprintf(number, sizeof number, "%d", count);
    SetDlgItemTextA(dialog, kThreadCountEdit, number);
    std::snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(m_stats.GetCPUTime()));
    SetDlgItemTextA(dialog, kCPUTimeEdit, number);
}
