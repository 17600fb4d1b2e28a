// Dialogs and their controls: creation from templates, access by id, the
// check-box and list-box messages, and the user's part.
#include <algorithm>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstring>
#include <limits>

#include "user32state.h"

namespace zqwin32::detail {

namespace {

// Handles never come back: a stale one finds nothing instead of a stranger.
std::atomic<uintptr_t> g_nextHandle{0x10000};

HWND NewHandle() { return reinterpret_cast<HWND>(g_nextHandle.fetch_add(4, std::memory_order_relaxed)); }

struct ControlRef {
    HWND dialog;
    size_t index;
};

std::map<HWND, Dialog>& Dialogs()
{
    static std::map<HWND, Dialog> dialogs;
    return dialogs;
}

std::map<HWND, ControlRef>& Controls()
{
    static std::map<HWND, ControlRef> controls;
    return controls;
}

int CompareNoCase(const std::string& a, const std::string& b)
{
    const size_t common = std::min(a.size(), b.size());
    for (size_t i = 0; i < common; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb) {
            return ca < cb ? -1 : 1;
        }
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool ValidIndex(const Control& list, WPARAM index) { return index < list.items.size(); }

LRESULT AddString(Control& list, LPARAM text)
{
    ListItem item{text ? reinterpret_cast<const char*>(text) : "", 0};
    auto position = list.items.end();
    if (list.style & LBS_SORT) {
        position = std::upper_bound(list.items.begin(), list.items.end(), item, [](const ListItem& a, const ListItem& b) {
            return CompareNoCase(a.text, b.text) < 0;
        });
    }
    const auto index = position - list.items.begin();
    list.items.insert(position, std::move(item));
    // The selection stays on its entry.
    if (list.selection >= index) {
        ++list.selection;
    }
    return index;
}

LRESULT ListBoxMessage(Control& list, UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case LB_ADDSTRING:
        return AddString(list, lParam);
    case LB_RESETCONTENT:
        list.items.clear();
        list.selection = LB_ERR;
        return 0;
    case LB_SETCURSEL:
        if (static_cast<int>(wParam) == -1) {
            list.selection = LB_ERR;
            return LB_ERR;
        }
        if (!ValidIndex(list, wParam)) {
            return LB_ERR;
        }
        list.selection = static_cast<int>(wParam);
        return list.selection;
    case LB_GETCURSEL:
        return list.selection;
    case LB_GETCOUNT:
        return static_cast<LRESULT>(list.items.size());
    case LB_GETTEXTLEN:
        return ValidIndex(list, wParam) ? static_cast<LRESULT>(list.items[wParam].text.size()) : LB_ERR;
    case LB_GETTEXT:
        // As on Windows the buffer must hold LB_GETTEXTLEN + 1 characters.
        if (!ValidIndex(list, wParam) || lParam == 0) {
            return LB_ERR;
        }
        std::memcpy(reinterpret_cast<char*>(lParam), list.items[wParam].text.c_str(), list.items[wParam].text.size() + 1);
        return static_cast<LRESULT>(list.items[wParam].text.size());
    case LB_GETITEMDATA:
        return ValidIndex(list, wParam) ? list.items[wParam].data : LB_ERR;
    case LB_SETITEMDATA:
        if (static_cast<int>(wParam) == -1) {
            for (ListItem& item : list.items) {
                item.data = lParam;
            }
            return 0;
        }
        if (!ValidIndex(list, wParam)) {
            return LB_ERR;
        }
        list.items[wParam].data = lParam;
        return 0;
    default:
        return 0;
    }
}

LRESULT ControlMessage(Control& control, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (control.kind == ControlKind::ListBox) {
        return ListBoxMessage(control, message, wParam, lParam);
    }
    if (control.kind != ControlKind::CheckBox) {
        return 0;
    }
    if (message == BM_GETCHECK) {
        return control.check;
    }
    if (message == BM_SETCHECK) {
        control.check = wParam <= 2 ? static_cast<int>(wParam) : BST_UNCHECKED;
    }
    return 0;
}

// Parses a whole decimal number; false for anything else or an overflow.
bool ParseDecimal(const std::string& text, bool isSigned, UINT* value)
{
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    bool negative = false;
    if (isSigned && i < text.size() && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    const size_t firstDigit = i;
    uint64_t magnitude = 0;
    const uint64_t limit = isSigned ? (negative ? uint64_t{INT_MAX} + 1 : uint64_t{INT_MAX}) : uint64_t{UINT_MAX};
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
        magnitude = magnitude * 10 + static_cast<uint64_t>(text[i] - '0');
        if (magnitude > limit) {
            return false;
        }
    }
    const size_t lastDigit = i;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) {
        ++i;
    }
    if (lastDigit == firstDigit || i != text.size()) {
        return false;
    }
    *value = negative ? static_cast<UINT>(0u - static_cast<UINT>(magnitude)) : static_cast<UINT>(magnitude);
    return true;
}

// What a user action changes, done under the lock; the notification that
// follows is sent after it is released.
struct UserAction {
    bool accepted = false;
    HWND control = nullptr;
    int id = 0;
    int notification = 0;
    bool notify = true;
};

template <typename Change>
bool DoUserAction(HWND dialog, int id, ControlKind kind, Change change)
{
    UserAction action;
    {
        std::lock_guard<std::mutex> lock(User32Lock());
        Dialog* owner = FindDialog(dialog);
        Control* control = FindDialogItem(dialog, id);
        if (owner == nullptr || control == nullptr || !owner->enabled || !control->enabled || control->kind != kind) {
            return false;
        }
        action = change(*control);
        action.control = control->window;
        action.id = id;
    }
    if (action.accepted && action.notify) {
        SendToDialog(dialog, WM_COMMAND, MAKEWPARAM(action.id, action.notification),
                     reinterpret_cast<LPARAM>(action.control));
    }
    return action.accepted;
}

}  // namespace

std::mutex& User32Lock()
{
    static std::mutex lock;
    return lock;
}

Dialog* FindDialog(HWND window)
{
    const auto found = Dialogs().find(window);
    return found == Dialogs().end() ? nullptr : &found->second;
}

Control* FindControl(HWND window)
{
    const auto found = Controls().find(window);
    if (found == Controls().end()) {
        return nullptr;
    }
    Dialog* dialog = FindDialog(found->second.dialog);
    return dialog ? &dialog->controls[found->second.index] : nullptr;
}

Control* FindDialogItem(HWND dialog, int id)
{
    Dialog* owner = FindDialog(dialog);
    if (owner == nullptr) {
        return nullptr;
    }
    for (Control& control : owner->controls) {
        if (control.id == id) {
            return &control;
        }
    }
    return nullptr;
}

LRESULT SendToDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::shared_ptr<const DialogProc> proc;
    {
        std::lock_guard<std::mutex> lock(User32Lock());
        const Dialog* owner = FindDialog(dialog);
        if (owner == nullptr) {
            return 0;
        }
        proc = owner->proc;
    }
    return proc && *proc ? (*proc)(dialog, message, wParam, lParam) : 0;
}

}  // namespace zqwin32::detail

using namespace zqwin32::detail;

HWND GetDlgItem(HWND dialog, int id)
{
    std::lock_guard<std::mutex> lock(User32Lock());
    const Control* control = FindDialogItem(dialog, id);
    return control ? control->window : nullptr;
}

BOOL SetDlgItemTextA(HWND dialog, int id, const char* text)
{
    std::lock_guard<std::mutex> lock(User32Lock());
    Control* control = FindDialogItem(dialog, id);
    if (control == nullptr) {
        return FALSE;
    }
    control->text = text ? text : "";
    return TRUE;
}

UINT GetDlgItemTextA(HWND dialog, int id, char* buffer, int size)
{
    if (buffer == nullptr || size <= 0) {
        return 0;
    }
    buffer[0] = '\0';
    std::lock_guard<std::mutex> lock(User32Lock());
    const Control* control = FindDialogItem(dialog, id);
    if (control == nullptr) {
        return 0;
    }
    const size_t count = std::min(control->text.size(), static_cast<size_t>(size) - 1);
    std::memcpy(buffer, control->text.data(), count);
    buffer[count] = '\0';
    return static_cast<UINT>(count);
}

UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned)
{
    std::string text;
    bool found = false;
    {
        std::lock_guard<std::mutex> lock(User32Lock());
        if (const Control* control = FindDialogItem(dialog, id)) {
            text = control->text;
            found = true;
        }
    }
    UINT value = 0;
    const bool ok = found && ParseDecimal(text, isSigned != FALSE, &value);
    if (translated != nullptr) {
        *translated = ok ? TRUE : FALSE;
    }
    return ok ? value : 0;
}

BOOL EnableWindow(HWND window, BOOL enable)
{
    std::lock_guard<std::mutex> lock(User32Lock());
    bool* enabled = nullptr;
    if (Dialog* dialog = FindDialog(window)) {
        enabled = &dialog->enabled;
    } else if (Control* control = FindControl(window)) {
        enabled = &control->enabled;
    } else {
        return FALSE;
    }
    const bool wasDisabled = !*enabled;
    *enabled = enable != FALSE;
    return wasDisabled ? TRUE : FALSE;
}

BOOL IsWindowEnabled(HWND window)
{
    std::lock_guard<std::mutex> lock(User32Lock());
    if (const Dialog* dialog = FindDialog(window)) {
        return dialog->enabled ? TRUE : FALSE;
    }
    const Control* control = FindControl(window);
    return control && control->enabled ? TRUE : FALSE;
}

BOOL IsWindow(HWND window)
{
    std::lock_guard<std::mutex> lock(User32Lock());
    return FindDialog(window) || FindControl(window) ? TRUE : FALSE;
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    {
        std::lock_guard<std::mutex> lock(User32Lock());
        if (Control* control = FindControl(window)) {
            return ControlMessage(*control, message, wParam, lParam);
        }
    }
    return SendToDialog(window, message, wParam, lParam);
}

LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam)
{
    std::lock_guard<std::mutex> lock(User32Lock());
    Control* control = FindDialogItem(dialog, id);
    return control ? ControlMessage(*control, message, wParam, lParam) : 0;
}

BOOL DestroyWindow(HWND window)
{
    std::lock_guard<std::mutex> lock(User32Lock());
    Dialog* dialog = FindDialog(window);
    if (dialog == nullptr) {
        return FALSE;
    }
    for (const Control& control : dialog->controls) {
        Controls().erase(control.window);
    }
    Dialogs().erase(window);
    return TRUE;
}

namespace zqwin32 {

HWND CreateDialogFromTemplate(const char* moduleName, int resourceId, HWND parent, DialogProc proc)
{
    StoredTemplate stored;
    if (!CopyDialogTemplate(moduleName, resourceId, &stored)) {
        return nullptr;
    }
    Dialog dialog;
    dialog.window = NewHandle();
    dialog.parent = parent;
    dialog.caption = stored.caption;
    dialog.cx = stored.cx;
    dialog.cy = stored.cy;
    dialog.enabled = (stored.style & WS_DISABLED) == 0;
    dialog.proc = std::make_shared<const DialogProc>(std::move(proc));
    for (const StoredTemplate::Item& item : stored.items) {
        Control control;
        control.window = NewHandle();
        control.kind = item.kind;
        control.id = item.id;
        // A list box's template text is no entry of it.
        control.text = item.kind == ControlKind::ListBox ? std::string() : item.text;
        control.x = item.x;
        control.y = item.y;
        control.cx = item.cx;
        control.cy = item.cy;
        control.style = item.style;
        control.enabled = (item.style & WS_DISABLED) == 0;
        dialog.controls.push_back(std::move(control));
    }
    std::lock_guard<std::mutex> lock(User32Lock());
    const HWND window = dialog.window;
    for (size_t i = 0; i < dialog.controls.size(); ++i) {
        Controls()[dialog.controls[i].window] = {window, i};
    }
    Dialogs().emplace(window, std::move(dialog));
    return window;
}

bool GetDialogState(HWND dialog, DialogState* state)
{
    std::lock_guard<std::mutex> lock(User32Lock());
    const Dialog* owner = FindDialog(dialog);
    if (owner == nullptr || state == nullptr) {
        return false;
    }
    state->caption = owner->caption;
    state->cx = owner->cx;
    state->cy = owner->cy;
    state->controls.clear();
    for (const Control& control : owner->controls) {
        ControlState copy;
        static_cast<ControlProperties&>(copy) = control;
        for (const ListItem& item : control.items) {
            copy.items.push_back(item.text);
        }
        state->controls.push_back(std::move(copy));
    }
    return true;
}

bool TypeDialogItemText(HWND dialog, int id, const char* text)
{
    return DoUserAction(dialog, id, ControlKind::Edit, [text](Control& edit) {
        UserAction action;
        action.accepted = (edit.style & ES_READONLY) == 0;
        action.notification = EN_CHANGE;
        if (action.accepted) {
            edit.text = text ? text : "";
        }
        return action;
    });
}

bool ClickDialogItem(HWND dialog, int id)
{
    return DoUserAction(dialog, id, ControlKind::CheckBox, [](Control& box) {
        // Only an automatic check box changes by itself; any other one
        // leaves it to the dialog.
        if ((box.style & 0xF) == BS_AUTOCHECKBOX) {
            box.check = box.check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
        }
        UserAction action;
        action.accepted = true;
        action.notification = BN_CLICKED;
        return action;
    });
}

bool ChooseDialogListItem(HWND dialog, int id, int index)
{
    return DoUserAction(dialog, id, ControlKind::ListBox, [index](Control& list) {
        UserAction action;
        action.accepted = index >= 0 && static_cast<size_t>(index) < list.items.size();
        action.notification = LBN_SELCHANGE;
        action.notify = (list.style & LBS_NOTIFY) != 0;
        if (action.accepted) {
            list.selection = index;
        }
        return action;
    });
}

}  // namespace zqwin32
