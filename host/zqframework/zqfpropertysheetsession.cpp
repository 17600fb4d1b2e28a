#include "zqfpropertysheetsession.h"

#include <algorithm>

#include "user32.h"

namespace {

CPropertyProcParam ParamFor(HWND window, UINT message = 0, WPARAM wParam = 0, LPARAM lParam = 0)
{
    CPropertyProcParam param;
    param.hwnd = window;
    param.message = message;
    param.wParam = wParam;
    param.lParam = lParam;
    return param;
}

}  // namespace

ZQFPropertySheetSession::ZQFPropertySheetSession(ZQFPropertySheet& sheet, HWND parent) : m_parent(parent)
{
    for (int i = 0; i < sheet.GetPageCount(); ++i) {
        m_pages.push_back(sheet.GetPage(i));
    }
    m_windows.assign(m_pages.size(), nullptr);
}

ZQFPropertySheetSession::~ZQFPropertySheetSession() { Close(); }

ZQFPropertyPage* ZQFPropertySheetSession::GetPage(int index) const
{
    return index >= 0 && index < GetPageCount() ? m_pages[static_cast<size_t>(index)] : nullptr;
}

HWND ZQFPropertySheetSession::GetPageWindow(int index) const
{
    return index >= 0 && index < GetPageCount() ? m_windows[static_cast<size_t>(index)] : nullptr;
}

HWND ZQFPropertySheetSession::CreatePageWindow(int index)
{
    ZQFPropertyPage* page = GetPage(index);
    // Timers and commands of the dialog reach the page; WM_COMMAND through
    // OnCommand, every other message through OnMessage.
    auto proc = [page](HWND window, UINT message, WPARAM wParam, LPARAM lParam) -> LRESULT {
        CPropertyProcParam param = ParamFor(window, message, wParam, lParam);
        return message == WM_COMMAND ? page->OnCommand(&param) : page->OnMessage(&param);
    };
    return zqwin32::CreateDialogFromTemplate(page->GetResourceModule(), page->GetDialogId(), m_parent, proc);
}

bool ZQFPropertySheetSession::ActivatePage(int index)
{
    if (m_closed || GetPage(index) == nullptr) {
        return false;
    }
    if (index == m_active) {
        return true;
    }
    if (m_active >= 0) {
        CPropertyProcParam leave = ParamFor(GetActiveWindow());
        if (GetPage(m_active)->OnKillActive(&leave) == 0) {
            return false;
        }
    }
    HWND& window = m_windows[static_cast<size_t>(index)];
    if (window == nullptr) {
        window = CreatePageWindow(index);
        if (window == nullptr) {
            m_active = -1;
            return false;
        }
        CPropertyProcParam init = ParamFor(window);
        GetPage(index)->OnInitDialog(&init);
    }
    m_active = index;
    CPropertyProcParam show = ParamFor(window);
    GetPage(index)->OnSetActive(&show);
    return true;
}

bool ZQFPropertySheetSession::Apply()
{
    if (m_closed) {
        return false;
    }
    bool allApplied = true;
    m_lastApplyAtNextStart = false;
    for (int i = 0; i < GetPageCount(); ++i) {
        if (HWND window = GetPageWindow(i)) {
            ZQFPropertyPage* page = GetPage(i);
            page->TakeAppliedAtNextStart();  // a note left by an earlier call is stale
            CPropertyProcParam param = ParamFor(window);
            allApplied = page->OnApply(&param) != 0 && allApplied;
            m_lastApplyAtNextStart = page->TakeAppliedAtNextStart() || m_lastApplyAtNextStart;
        }
    }
    m_applied = true;
    return allApplied;
}

int ZQFPropertySheetSession::PumpTimers()
{
    int fired = 0;
    for (HWND window : m_windows) {
        if (window != nullptr) {
            fired += zqwin32::PumpDialogTimers(window);
        }
    }
    return fired;
}

int64_t ZQFPropertySheetSession::MillisecondsUntilNextTimer() const
{
    int64_t soonest = -1;
    for (HWND window : m_windows) {
        const int64_t due = window ? zqwin32::MillisecondsUntilNextTimer(window) : -1;
        if (due >= 0 && (soonest < 0 || due < soonest)) {
            soonest = due;
        }
    }
    return soonest;
}

void ZQFPropertySheetSession::Close()
{
    if (m_closed) {
        return;
    }
    m_closed = true;
    if (m_active >= 0) {
        CPropertyProcParam leave = ParamFor(GetActiveWindow());
        GetPage(m_active)->OnKillActive(&leave);
        m_active = -1;
    }
    for (int i = 0; i < GetPageCount(); ++i) {
        if (HWND window = GetPageWindow(i)) {
            CPropertyProcParam cancel = ParamFor(window);
            GetPage(i)->OnCancel(&cancel);
            DestroyWindow(window);
        }
    }
    std::fill(m_windows.begin(), m_windows.end(), nullptr);
}
