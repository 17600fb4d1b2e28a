#pragma once
// The tests' way of showing a property sheet: while it lives it is the
// process's sheet driver, and each Display runs the script on the calling
// thread with the sheet on show; the sheet closes when the script returns.
#include <functional>
#include <string>

#include "zqcexport.h"
#include "zqfpropertypage.h"
#include "zqfpropertysheetsession.h"

class ZQ_API ZQFProgrammaticSheetDriver : public ZQFPropertySheetDriver {
public:
    using Script = std::function<void(ZQFPropertySheetSession& sheet)>;

    // Installs itself; the destructor puts the previous driver back.
    explicit ZQFProgrammaticSheetDriver(Script script);
    ~ZQFProgrammaticSheetDriver() override;
    ZQFProgrammaticSheetDriver(const ZQFProgrammaticSheetDriver&) = delete;
    ZQFProgrammaticSheetDriver& operator=(const ZQFProgrammaticSheetDriver&) = delete;

    int Run(ZQFPropertySheet& sheet, HWND parent, const char16_t* title, int flag) override;

    int GetRunCount() const { return m_runs; }
    const std::u16string& GetLastTitle() const { return m_lastTitle; }
    int GetLastFlag() const { return m_lastFlag; }

private:
    Script m_script;
    ZQFPropertySheetDriver* m_previous;
    int m_runs = 0;
    std::u16string m_lastTitle;
    int m_lastFlag = 0;
};
