#pragma once
#include <string>
#include <vector>

#include "zqcexport.h"
#include "zqwin32.h"

// What every page hook receives: the dialog window and the window message.
struct CPropertyProcParam {
    HWND hwnd = nullptr;
    UINT message = 0;
    WPARAM wParam = 0;
    LPARAM lParam = 0;
};

// Where a page's dialog comes from: the resource module's file name, the
// page title and the dialog resource number.
struct CPropertyPageParam {
    const char* moduleName = "";
    const char* title = "";
    int dialogId = 0;
};

class ZQ_API ZQFPropertyPage {
public:
    ZQFPropertyPage() = default;
    virtual ~ZQFPropertyPage();

    // Hooks in slot order after the destructor. Defaults answer 1 (0 for
    // OnMessage: message not handled).
    virtual int OnSetActive(CPropertyProcParam* param);
    virtual int OnInitDialog(CPropertyProcParam* param);
    virtual int OnCommand(CPropertyProcParam* param);
    virtual int OnApply(CPropertyProcParam* param);
    virtual int OnCancel(CPropertyProcParam* param);
    virtual int OnMessage(CPropertyProcParam* param);
    virtual int OnKillActive(CPropertyProcParam* param);

    void Init(const CPropertyPageParam& param);
    const char* GetResourceModule() const { return m_module.c_str(); }
    const char* GetTitle() const { return m_title.c_str(); }
    int GetDialogId() const { return m_dialogId; }

    // Sheet side: whether the last OnApply stored something that the module
    // only uses from its next start; asking clears it.
    bool TakeAppliedAtNextStart();

protected:
    // Called from OnApply when a value it stored only takes effect the next
    // time the module starts, so the sheet can tell the user so.
    void NoteAppliedAtNextStart() { m_appliedAtNextStart = true; }

private:
    std::string m_module;
    std::string m_title;
    int m_dialogId = 0;
    bool m_appliedAtNextStart = false;
};

class ZQFPropertySheet;

// Shows a sheet: the tests' programmatic driver or the terminal view. Run
// returns when the sheet is closed: 1 when changes were applied, 0 when not,
// -1 when the sheet could not be shown.
class ZQFPropertySheetDriver {
public:
    virtual ~ZQFPropertySheetDriver() = default;
    virtual int Run(ZQFPropertySheet& sheet, HWND parent, const char16_t* title, int flag) = 0;
};

class ZQ_API ZQFPropertySheet {
public:
    void AddPage(ZQFPropertyPage* page);
    int GetPageCount() const { return static_cast<int>(m_pages.size()); }
    ZQFPropertyPage* GetPage(int index) const;
    void ClearPages() { m_pages.clear(); }
    // Hands the sheet to the installed driver; without one nothing is shown
    // and the answer is 0.
    int Display(HWND parent, const char16_t* title, int flag);

    // Host side: the driver that Display uses (process-wide; null: none).
    static void SetDriver(ZQFPropertySheetDriver* driver);
    static ZQFPropertySheetDriver* GetDriver();

private:
    std::vector<ZQFPropertyPage*> m_pages;  // not owned
};
