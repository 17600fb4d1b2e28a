#pragma once
// "Module statistics": the framework's own page for a module's property
// sheet. It lists the threads the module registered, with their state and
// priority, and the module's CPU time, refreshed every 2 seconds while shown.
#include <cstdint>

#include "zqcexport.h"
#include "zqfpropertypage.h"

class ZQIModuleStats;

class ZQ_API ZQFModuleStatsProPage : public ZQFPropertyPage {
public:
    static constexpr const char* kResourceModule = "zqframework.dll";
    static constexpr int kDialogId = 101;
    static constexpr int kThreadList = 1001;
    static constexpr int kThreadCountEdit = 1002;
    static constexpr int kCPUTimeEdit = 1003;

    explicit ZQFModuleStatsProPage(const ZQIModuleStats& stats);
    ~ZQFModuleStatsProPage() override;

    int OnInitDialog(CPropertyProcParam* param) override;
    int OnSetActive(CPropertyProcParam* param) override;
    int OnMessage(CPropertyProcParam* param) override;
    int OnKillActive(CPropertyProcParam* param) override;

private:
    void Refresh(HWND dialog);

    const ZQIModuleStats& m_stats;
    uintptr_t m_timerId = 0;
};
