#pragma once
// USER32 as the property pages need it, without a screen: dialogs built from
// templates that a library registers under its file name, controls found by
// id, edits, check boxes, list boxes and window timers. Whoever shows the
// dialogs (a test or the terminal view) reads the controls back through the
// host side below and plays the user's part with it.
//
// Handles are opaque values; a destroyed window's handle is never reused and
// every call with it fails quietly. Messages to a dialog run its procedure on
// the calling thread, outside the stand-in's lock, so a procedure may call
// back into USER32.
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

#include "zqwin32.h"

typedef uintptr_t UINT_PTR;
typedef void (*TIMERPROC)(HWND window, UINT message, UINT_PTR id, DWORD tickCount);

// Window styles.
#define WS_CHILD 0x40000000u
#define WS_VISIBLE 0x10000000u
#define WS_DISABLED 0x08000000u
#define WS_BORDER 0x00800000u
#define WS_VSCROLL 0x00200000u
#define WS_GROUP 0x00020000u
#define WS_TABSTOP 0x00010000u
#define DS_SETFONT 0x40u
#define DS_CONTROL 0x0400u
// Control styles.
#define SS_LEFT 0x0u
#define SS_CENTER 0x1u
#define ES_AUTOHSCROLL 0x80u
#define ES_READONLY 0x800u
#define BS_AUTOCHECKBOX 0x3u
#define BS_GROUPBOX 0x7u
#define LBS_NOTIFY 0x1u
#define LBS_SORT 0x2u
#define LBS_NOINTEGRALHEIGHT 0x100u

// Messages.
#define WM_COMMAND 0x0111u
#define WM_TIMER 0x0113u
#define BM_GETCHECK 0x00F0u
#define BM_SETCHECK 0x00F1u
#define LB_ADDSTRING 0x0180u
#define LB_RESETCONTENT 0x0184u
#define LB_SETCURSEL 0x0186u
#define LB_GETCURSEL 0x0188u
#define LB_GETTEXT 0x0189u
#define LB_GETTEXTLEN 0x018Au
#define LB_GETCOUNT 0x018Bu
#define LB_GETITEMDATA 0x0199u
#define LB_SETITEMDATA 0x019Au
// Notification codes in the high word of a WM_COMMAND's wParam.
#define BN_CLICKED 0
#define EN_CHANGE 0x0300
#define LBN_SELCHANGE 1

#define BST_UNCHECKED 0
#define BST_CHECKED 1
#define LB_ERR (-1)

#define MAKEWPARAM(low, high) \
    (static_cast<WPARAM>(static_cast<uint16_t>(low)) | (static_cast<WPARAM>(static_cast<uint16_t>(high)) << 16))

extern "C" {
ZQ_API HWND GetDlgItem(HWND dialog, int id);
ZQ_API BOOL SetDlgItemTextA(HWND dialog, int id, const char* text);
// Copies at most size - 1 characters and a terminating zero; answers the
// number of characters copied.
ZQ_API UINT GetDlgItemTextA(HWND dialog, int id, char* buffer, int size);
// The text as a decimal number (spaces around it allowed, a sign only when
// `isSigned`); 0 with *translated FALSE for anything else or an overflow.
ZQ_API UINT GetDlgItemInt(HWND dialog, int id, BOOL* translated, BOOL isSigned);
// Answers whether the window was disabled before.
ZQ_API BOOL EnableWindow(HWND window, BOOL enable);
ZQ_API BOOL IsWindowEnabled(HWND window);
ZQ_API BOOL IsWindow(HWND window);
ZQ_API LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
ZQ_API LRESULT SendDlgItemMessageA(HWND dialog, int id, UINT message, WPARAM wParam, LPARAM lParam);
// A window timer: WM_TIMER for `window` every `elapseMs` (at least 10 ms),
// delivered when the window's thread pumps its timers. Setting an existing
// id restarts it. Answers the id the timer goes by (1 for id 0), or 0 without
// a window.
ZQ_API UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC proc);
ZQ_API BOOL KillTimer(HWND window, UINT_PTR id);
// Destroys a dialog with its controls and timers.
ZQ_API BOOL DestroyWindow(HWND window);
}

// Host side of the stand-in (not Windows API).
namespace zqwin32 {

enum class ControlKind { Static, GroupBox, Edit, CheckBox, ListBox, PushButton };

// One control of a dialog resource, positions and sizes in dialog units.
struct DialogItemTemplate {
    ControlKind kind;
    int id;  // -1 for labels and frames
    const char* text;
    int x, y, cx, cy;
    DWORD style;
};

struct DialogTemplate {
    DWORD style;
    const char* caption;
    const char* fontName;
    int pointSize;
    int cx, cy;
    std::span<const DialogItemTemplate> items;
};

// A library's dialog resource, by the library's file name (compared without
// regard to case, as Windows does) and resource number. The template is
// copied; registering a number again replaces it.
ZQ_API void RegisterDialogTemplate(const char* moduleName, int resourceId, const DialogTemplate& dialog);
ZQ_API void UnregisterDialogTemplate(const char* moduleName, int resourceId);
ZQ_API bool HasDialogTemplate(const char* moduleName, int resourceId);

// What a dialog does with the messages sent to it (WM_TIMER, WM_COMMAND, ...).
using DialogProc = std::function<LRESULT(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)>;

// Builds a dialog and its controls from a registered template; null when
// there is none. No message is sent during creation.
ZQ_API HWND CreateDialogFromTemplate(const char* moduleName, int resourceId, HWND parent, DialogProc proc);

// What a control is and shows, but for a list box's items.
struct ControlProperties {
    HWND window = nullptr;
    ControlKind kind = ControlKind::Static;
    int id = -1;
    std::string text;
    int x = 0, y = 0, cx = 0, cy = 0;
    DWORD style = 0;
    bool enabled = true;
    int check = BST_UNCHECKED;
    int selection = LB_ERR;
};

// A copy of what a control holds right now.
struct ControlState : ControlProperties {
    std::vector<std::string> items;  // list boxes, in list order
};

struct DialogState {
    std::string caption;
    int cx = 0, cy = 0;
    std::vector<ControlState> controls;  // in template order
};

// False when `dialog` is not a live dialog.
ZQ_API bool GetDialogState(HWND dialog, DialogState* state);

// The user's part. Each refuses (false) a disabled control or dialog and a
// control of the wrong kind, and tells the dialog with WM_COMMAND as a real
// control would: typing replaces an edit's text (EN_CHANGE), a click toggles
// an automatic check box (BN_CLICKED), choosing an entry selects it
// (LBN_SELCHANGE, for list boxes that notify).
ZQ_API bool TypeDialogItemText(HWND dialog, int id, const char* text);
ZQ_API bool ClickDialogItem(HWND dialog, int id);
ZQ_API bool ChooseDialogListItem(HWND dialog, int id, int index);

// Delivers WM_TIMER for every due timer of the dialog, on the calling thread
// (a timer that fell behind fires once). Answers how many fired.
ZQ_API int PumpDialogTimers(HWND dialog);
// Milliseconds until the dialog's next timer is due (0: due now); -1 when it
// has none.
ZQ_API int64_t MillisecondsUntilNextTimer(HWND dialog);
ZQ_API int GetTimerCount(HWND dialog);

}  // namespace zqwin32
