#include "zqfprogrammaticsheetdriver.h"

ZQFProgrammaticSheetDriver::ZQFProgrammaticSheetDriver(Script script)
    : m_script(std::move(script)), m_previous(ZQFPropertySheet::GetDriver())
{
    ZQFPropertySheet::SetDriver(this);
}

ZQFProgrammaticSheetDriver::~ZQFProgrammaticSheetDriver() { ZQFPropertySheet::SetDriver(m_previous); }

int ZQFProgrammaticSheetDriver::Run(ZQFPropertySheet& sheet, HWND parent, const char16_t* title, int flag)
{
    ++m_runs;
    m_lastTitle = title ? title : u"";
    m_lastFlag = flag;
    ZQFPropertySheetSession session(sheet, parent);
    if (m_script) {
        m_script(session);
    }
    session.Close();
    return session.WasApplied() ? 1 : 0;
}
