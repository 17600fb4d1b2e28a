#pragma once
// A property sheet on show: what a sheet window does with its pages, without
// the window. Each page's dialog is built from its template the first time
// the page is shown (OnInitDialog) and kept until the sheet closes; leaving a
// page calls OnKillActive, showing one OnSetActive. The dialogs' messages
// (timers, commands) go to the page they belong to. Drivers (the tests'
// programmatic driver, the terminal view) are built on it.
//
// One thread uses a session: the one that shows the sheet, which is also the
// one that pumps its timers.
#include <cstdint>
#include <vector>

#include "zqcexport.h"
#include "zqfpropertypage.h"

class ZQ_API ZQFPropertySheetSession {
public:
    ZQFPropertySheetSession(ZQFPropertySheet& sheet, HWND parent);
    // Closes the sheet if that has not happened yet.
    ~ZQFPropertySheetSession();
    ZQFPropertySheetSession(const ZQFPropertySheetSession&) = delete;
    ZQFPropertySheetSession& operator=(const ZQFPropertySheetSession&) = delete;

    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    ZQFPropertyPage* GetPage(int index) const;
    // -1 until a page was shown, and after Close.
    int GetActivePage() const { return m_active; }
    // The page's dialog; null until the page was first shown.
    HWND GetPageWindow(int index) const;
    HWND GetActiveWindow() const { return GetPageWindow(m_active); }

    // Shows the page: the active one is left first (a page whose
    // OnKillActive answers 0 stays, and the answer is false), the page's
    // dialog is built on its first visit, then OnSetActive. False as well for
    // a page without index, without template, or a closed sheet.
    bool ActivatePage(int index);

    // The Apply button: OnApply on every page whose dialog exists, in page
    // order. True when each of them answered non-zero.
    bool Apply();
    bool WasApplied() const { return m_applied; }
    // Whether a page said, during the last Apply, that something it stored
    // only takes effect at the module's next start.
    bool LastApplyTakesEffectAtNextStart() const { return m_lastApplyAtNextStart; }

    // WM_TIMER for the due timers of every page's dialog, on this thread.
    int PumpTimers();
    // Until the next timer of any page's dialog; -1 when none runs.
    int64_t MillisecondsUntilNextTimer() const;

    // Leaves the active page (OnKillActive), calls OnCancel on every page
    // that was shown and destroys the dialogs (their timers with them).
    void Close();
    bool IsClosed() const { return m_closed; }

private:
    HWND CreatePageWindow(int index);

    HWND m_parent;
    std::vector<ZQFPropertyPage*> m_pages;
    std::vector<HWND> m_windows;
    int m_active = -1;
    bool m_applied = false;
    bool m_lastApplyAtNextStart = false;
    bool m_closed = false;
};
