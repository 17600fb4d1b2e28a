#include "terminalsheetdriver.h"

#include <curses.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "sheetview.h"
#include "zqfplugin.h"
#include "zqfpropertysheetsession.h"

namespace {

// Often enough to notice a stop request while nothing else happens.
constexpr int kLongestWaitMs = 250;

// The terminal in the mode the view needs, for as long as it lives.
class Screen {
public:
    Screen()
    {
        // Esc alone leaves; do not wait long for the rest of a sequence.
        setenv("ESCDELAY", "25", 0);
        // Unlike initscr, newterm answers null instead of ending the process
        // when there is no usable terminal.
        m_screen = newterm(nullptr, stdout, stdin);
        if (m_screen == nullptr) {
            return;
        }
        cbreak();
        noecho();
        nonl();
        keypad(stdscr, TRUE);
        curs_set(0);
    }
    ~Screen()
    {
        if (m_screen != nullptr) {
            endwin();
            delscreen(m_screen);
        }
    }
    Screen(const Screen&) = delete;
    Screen& operator=(const Screen&) = delete;

    bool IsOpen() const { return m_screen != nullptr; }

private:
    SCREEN* m_screen;
};

int WaitMs(const ZQFPropertySheetSession& session)
{
    const int64_t due = session.MillisecondsUntilNextTimer();
    return due < 0 ? kLongestWaitMs : static_cast<int>(std::min<int64_t>(due, kLongestWaitMs));
}

}  // namespace

TerminalSheetDriver::TerminalSheetDriver(std::function<bool()> shouldStop) : m_shouldStop(std::move(shouldStop)) {}

int TerminalSheetDriver::Run(ZQFPropertySheet& sheet, HWND parent, const char16_t* title, int /*flag*/)
{
    ZQFPropertySheetSession session(sheet, parent);
    if (session.GetPageCount() == 0) {
        return -1;
    }
    Screen screen;
    if (!screen.IsOpen()) {
        return -1;
    }
    SheetView view(session, ZQFUtf16ToUtf8(title));
    if (!view.ShowPage(0)) {
        return -1;
    }
    for (;;) {
        PaintSheet(view.Picture());
        timeout(WaitMs(session));
        const int key = getch();
        if (key != ERR && !view.HandleKey(key)) {
            break;
        }
        session.PumpTimers();
        if (m_shouldStop && m_shouldStop()) {
            break;
        }
    }
    session.Close();
    return session.WasApplied() ? 1 : 0;
}
