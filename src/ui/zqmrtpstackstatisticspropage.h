#pragma once
// "RTP stack statistics": the second page of a stack module's property
// sheet. It lists every RTP source of the process, shows the selected one's
// statistics every 2 seconds and edits a local source's loss and jitter
// simulation. It reaches the stack only through ZQIRTPStackStatistics and
// ZQIRTPStack, which the module (derived from this page) implements.
//
// The refresh timer runs only while the page is the active one: leaving the
// page kills it, coming back starts it again and refreshes at once.
//
// The list keeps its entries sorted by CNAME, so a position in it says
// nothing about a source: the selected source is always the one whose SSRC
// the selected entry carries as item data.
#include <cstdint>
#include <optional>

#include "zqfpropertypage.h"
#include "zqirtpstackstatistics.h"

class ZQMRTPStackStatisticsProPage : public ZQIRTPStackStatistics, public ZQFPropertyPage {
public:
    static constexpr int kDialogId = 106;

    ZQMRTPStackStatisticsProPage();
    ~ZQMRTPStackStatisticsProPage() override;

    int OnSetActive(CPropertyProcParam* param) override;
    int OnInitDialog(CPropertyProcParam* param) override;
    int OnApply(CPropertyProcParam* param) override;
    int OnMessage(CPropertyProcParam* param) override;
    int OnKillActive(CPropertyProcParam* param) override;

protected:
    // The module answers it as its ZQIRTPStack; the list shows CNAMEs.
    virtual const char* GetSourceCNAME(uint32_t ssrc, bool isLocal) = 0;

    uint32_t m_timerId = 0;
    int32_t m_currentSourceIndex = 0;

private:
    struct SelectedSource {
        uint32_t ssrc = 0;
        bool isLocal = false;
    };

    void StartRefreshTimer(HWND dialog);
    void Refresh(HWND dialog);
    void FillSources(HWND dialog);
    void FillSimulation(HWND dialog, const SelectedSource& source);
    void EnableSimulation(HWND dialog, bool enable);
    void ShowStatistics(HWND dialog, const std::optional<SelectedSource>& source);
    // The source of the selected entry; none when no entry is selected or
    // the source is no longer listed.
    std::optional<SelectedSource> FindSelectedSource(HWND dialog);
};
