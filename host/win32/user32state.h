#pragma once
// Inside the USER32 stand-in: the live windows and the registered dialog
// templates, shared by its source files and guarded by one lock.
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "user32.h"

namespace zqwin32::detail {

struct ListItem {
    std::string text;
    LPARAM data = 0;
};

struct Control : ControlProperties {
    std::vector<ListItem> items;  // each with its item data
};

struct Timer {
    UINT_PTR id = 0;
    uint32_t periodMs = 0;
    uint32_t dueMs = 0;  // GetTickCount value, wrapping
    TIMERPROC proc = nullptr;
};

struct Dialog {
    HWND window = nullptr;
    HWND parent = nullptr;
    std::string caption;
    int cx = 0, cy = 0;
    bool enabled = true;
    std::vector<Control> controls;  // fixed once created: pointers stay valid
    std::shared_ptr<const DialogProc> proc;
    std::vector<Timer> timers;
};

// A template as registered, owning its texts.
struct StoredTemplate {
    DWORD style = 0;
    std::string caption;
    std::string fontName;
    int pointSize = 0;
    int cx = 0, cy = 0;
    struct Item {
        ControlKind kind;
        int id;
        std::string text;
        int x, y, cx, cy;
        DWORD style;
    };
    std::vector<Item> items;
};

// The lock every table below is used under.
std::mutex& User32Lock();

// Null when the handle is not a live window of that sort.
Dialog* FindDialog(HWND window);
Control* FindControl(HWND window);
Control* FindDialogItem(HWND dialog, int id);

// A copy of the template; false when none is registered.
bool CopyDialogTemplate(const char* moduleName, int resourceId, StoredTemplate* out);

// Sends to a dialog: its procedure runs on this thread with the lock NOT
// held (callers must not hold it). 0 when the dialog is gone.
LRESULT SendToDialog(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

}  // namespace zqwin32::detail
