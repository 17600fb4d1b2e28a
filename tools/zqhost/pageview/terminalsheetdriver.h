#pragma once
// Shows property sheets on the terminal with ncurses, on the thread that
// calls Display, until the user leaves or `shouldStop` says so. The loop
// waits for a key no longer than until the next page timer is due, and
// pumps the timers itself, so a page refreshes as it would in a window.
#include <functional>

#include "zqfpropertypage.h"

class TerminalSheetDriver : public ZQFPropertySheetDriver {
public:
    explicit TerminalSheetDriver(std::function<bool()> shouldStop);

    int Run(ZQFPropertySheet& sheet, HWND parent, const char16_t* title, int flag) override;

private:
    std::function<bool()> m_shouldStop;
};
