#include "zqfpropertypage.h"

#include <atomic>

namespace {
std::atomic<ZQFPropertySheetDriver*> g_driver{nullptr};
}

ZQFPropertyPage::~ZQFPropertyPage() = default;

int ZQFPropertyPage::OnSetActive(CPropertyProcParam*) { return 1; }
int ZQFPropertyPage::OnInitDialog(CPropertyProcParam*) { return 1; }
int ZQFPropertyPage::OnCommand(CPropertyProcParam*) { return 1; }
int ZQFPropertyPage::OnApply(CPropertyProcParam*) { return 1; }
int ZQFPropertyPage::OnCancel(CPropertyProcParam*) { return 1; }
int ZQFPropertyPage::OnMessage(CPropertyProcParam*) { return 0; }
int ZQFPropertyPage::OnKillActive(CPropertyProcParam*) { return 1; }

void ZQFPropertyPage::Init(const CPropertyPageParam& param)
{
    m_module = param.moduleName ? param.moduleName : "";
    m_title = param.title ? param.title : "";
    m_dialogId = param.dialogId;
}

bool ZQFPropertyPage::TakeAppliedAtNextStart()
{
    const bool noted = m_appliedAtNextStart;
    m_appliedAtNextStart = false;
    return noted;
}

void ZQFPropertySheet::AddPage(ZQFPropertyPage* page)
{
    if (page != nullptr) {
        m_pages.push_back(page);
    }
}

ZQFPropertyPage* ZQFPropertySheet::GetPage(int index) const
{
    return index >= 0 && index < GetPageCount() ? m_pages[static_cast<size_t>(index)] : nullptr;
}

int ZQFPropertySheet::Display(HWND parent, const char16_t* title, int flag)
{
    ZQFPropertySheetDriver* driver = g_driver.load(std::memory_order_acquire);
    return driver ? driver->Run(*this, parent, title, flag) : 0;
}

void ZQFPropertySheet::SetDriver(ZQFPropertySheetDriver* driver) { g_driver.store(driver, std::memory_order_release); }

ZQFPropertySheetDriver* ZQFPropertySheet::GetDriver() { return g_driver.load(std::memory_order_acquire); }
