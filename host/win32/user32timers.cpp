// Window timers. Nothing runs by itself: the thread that shows a dialog pumps
// its timers (a driver loop, or a test after moving the manual clock), so
// WM_TIMER always arrives on that thread, as it does on Windows.
#include <algorithm>

#include "user32state.h"

namespace {

using zqwin32::detail::Dialog;
using zqwin32::detail::FindDialog;
using zqwin32::detail::Timer;
using zqwin32::detail::User32Lock;

// Windows raises shorter periods to this.
constexpr UINT kMinimumPeriodMs = 10;

bool IsDue(const Timer& timer, uint32_t now) { return static_cast<int32_t>(now - timer.dueMs) >= 0; }

std::vector<Timer>::iterator FindTimer(Dialog& dialog, UINT_PTR id)
{
    return std::find_if(dialog.timers.begin(), dialog.timers.end(), [id](const Timer& t) { return t.id == id; });
}

}  // namespace

UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC proc)
{
    std::lock_guard<std::mutex> lock(User32Lock());
    Dialog* dialog = FindDialog(window);
    if (dialog == nullptr) {
        return 0;
    }
    // The timer goes by the id answered, which is the one its owner will
    // give KillTimer.
    const UINT_PTR timerId = id != 0 ? id : 1;
    const uint32_t period = std::max(elapseMs, kMinimumPeriodMs);
    const Timer timer{timerId, period, GetTickCount() + period, proc};
    const auto existing = FindTimer(*dialog, timerId);
    if (existing != dialog->timers.end()) {
        *existing = timer;
    } else {
        dialog->timers.push_back(timer);
    }
    return timerId;
}

BOOL KillTimer(HWND window, UINT_PTR id)
{
    std::lock_guard<std::mutex> lock(User32Lock());
    Dialog* dialog = FindDialog(window);
    if (dialog == nullptr) {
        return FALSE;
    }
    const auto existing = FindTimer(*dialog, id);
    if (existing == dialog->timers.end()) {
        return FALSE;
    }
    dialog->timers.erase(existing);
    return TRUE;
}

namespace zqwin32 {

int PumpDialogTimers(HWND window)
{
    std::vector<Timer> due;
    const uint32_t now = GetTickCount();
    {
        std::lock_guard<std::mutex> lock(User32Lock());
        Dialog* dialog = FindDialog(window);
        if (dialog == nullptr) {
            return 0;
        }
        for (Timer& timer : dialog->timers) {
            if (IsDue(timer, now)) {
                due.push_back(timer);
                timer.dueMs = now + timer.periodMs;
            }
        }
    }
    int fired = 0;
    for (const Timer& timer : due) {
        // A handler may have killed a timer that was due with it.
        {
            std::lock_guard<std::mutex> lock(User32Lock());
            Dialog* dialog = FindDialog(window);
            if (dialog == nullptr || FindTimer(*dialog, timer.id) == dialog->timers.end()) {
                continue;
            }
        }
        if (timer.proc != nullptr) {
            timer.proc(window, WM_TIMER, timer.id, now);
        } else {
            detail::SendToDialog(window, WM_TIMER, timer.id, 0);
        }
        ++fired;
    }
    return fired;
}

int64_t MillisecondsUntilNextTimer(HWND window)
{
    std::lock_guard<std::mutex> lock(User32Lock());
    Dialog* dialog = FindDialog(window);
    if (dialog == nullptr || dialog->timers.empty()) {
        return -1;
    }
    const uint32_t now = GetTickCount();
    int64_t soonest = INT64_MAX;
    for (const Timer& timer : dialog->timers) {
        soonest = std::min<int64_t>(soonest, IsDue(timer, now) ? 0 : static_cast<uint32_t>(timer.dueMs - now));
    }
    return soonest;
}

int GetTimerCount(HWND window)
{
    std::lock_guard<std::mutex> lock(User32Lock());
    const Dialog* dialog = FindDialog(window);
    return dialog ? static_cast<int>(dialog->timers.size()) : 0;
}

}  // namespace zqwin32
