#include "ui/zqmrtpstackstatisticspropage.h"

#include <optional>

#include "ui/dialogdecimal.h"
#include "ui/zqmrtpstackcontrolids.h"
#include "user32.h"

namespace {

namespace d = zqm::statisticsdialog;

constexpr UINT kRefreshPeriodMs = 2000;
// The sources that fit the list and that the search for the selected one tries.
constexpr int kMaxSources = 100;

constexpr int kStatisticsEdits[] = {d::kPacketCount, d::kOctetCount, d::kFractionLost, d::kCumulativeLost, d::kJitter};

HWND SourceList(HWND dialog) { return GetDlgItem(dialog, d::kSources); }

void SetCheck(HWND dialog, int id, bool checked)
{
    SendMessageA(GetDlgItem(dialog, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool IsChecked(HWND dialog, int id) { return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

UINT ReadUnsigned(HWND dialog, int id) { return GetDlgItemInt(dialog, id, nullptr, FALSE); }

}  // namespace

ZQMRTPStackStatisticsProPage::ZQMRTPStackStatisticsProPage()
{
    m_currentSourceIndex = 0;
    CPropertyPageParam param;
    param.moduleName = zqm::kResourceModuleName;
    param.title = "RTP stack statistics";
    param.dialogId = kDialogId;
    Init(param);
}

ZQMRTPStackStatisticsProPage::~ZQMRTPStackStatisticsProPage() = default;

int ZQMRTPStackStatisticsProPage::OnInitDialog(CPropertyProcParam* param)
{
    HWND dialog = param->hwnd;
    StartRefreshTimer(dialog);
    FillSources(dialog);
    SendMessageA(SourceList(dialog), LB_SETCURSEL, static_cast<WPARAM>(m_currentSourceIndex), 0);
    // Without a listed source the getters find nothing: fields cleared and
    // disabled.
    FillSimulation(dialog, FindSelectedSource(dialog).value_or(SelectedSource()));
    return 1;
}

// The dialog outlives a visit to another page, its timer does not.
int ZQMRTPStackStatisticsProPage::OnSetActive(CPropertyProcParam* param)
{
    HWND dialog = param->hwnd;
    if (m_timerId == 0) {
        StartRefreshTimer(dialog);
    }
    Refresh(dialog);
    return 1;
}

void ZQMRTPStackStatisticsProPage::StartRefreshTimer(HWND dialog)
{
    m_timerId = static_cast<uint32_t>(SetTimer(dialog, GetTickCount(), kRefreshPeriodMs, nullptr));
}

void ZQMRTPStackStatisticsProPage::FillSources(HWND dialog)
{
    HWND list = SourceList(dialog);
    for (int index = 0; index < kMaxSources; ++index) {
        uint32_t ssrc = 0;
        bool isLocal = false;
        if (!GetSourceAt(index, &ssrc, &isLocal)) {
            continue;
        }
        const char* cname = GetSourceCNAME(ssrc, isLocal);
        const LRESULT position = SendMessageA(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(cname ? cname : ""));
        SendMessageA(list, LB_SETITEMDATA, static_cast<WPARAM>(position), static_cast<LPARAM>(ssrc));
    }
}

// Read once per dialog: afterwards the fields show what the user typed.
void ZQMRTPStackStatisticsProPage::FillSimulation(HWND dialog, const SelectedSource& source)
{
    SetCheck(dialog, d::kSimulatePacketLoss, GetSimulatePacketLoss(source.ssrc, source.isLocal));
    SetCheck(dialog, d::kGenerateJitter, GetGenerateJitter(source.ssrc, source.isLocal));
    zqm::SetDlgItemDecimal(dialog, d::kPacketLossPercent, GetPacketLossPercent(source.ssrc, source.isLocal));
    zqm::SetDlgItemDecimal(dialog, d::kMaxJitter, GetMaxJitter(source.ssrc, source.isLocal));
    EnableSimulation(dialog, source.isLocal);
}

// Only a local source's packets can be dropped or delayed.
void ZQMRTPStackStatisticsProPage::EnableSimulation(HWND dialog, bool enable)
{
    for (int id : {d::kGenerateJitter, d::kMaxJitter, d::kSimulatePacketLoss, d::kPacketLossPercent}) {
        EnableWindow(GetDlgItem(dialog, id), enable ? TRUE : FALSE);
    }
}

std::optional<ZQMRTPStackStatisticsProPage::SelectedSource> ZQMRTPStackStatisticsProPage::FindSelectedSource(
    HWND dialog)
{
    HWND list = SourceList(dialog);
    const LRESULT selection = SendMessageA(list, LB_GETCURSEL, 0, 0);
    if (selection < 0) {
        return std::nullopt;
    }
    const LRESULT data = SendMessageA(list, LB_GETITEMDATA, static_cast<WPARAM>(selection), 0);
    if (data == LB_ERR) {
        return std::nullopt;
    }
    const auto selected = static_cast<uint32_t>(data);
    for (int index = 0; index < kMaxSources; ++index) {
        uint32_t ssrc = 0;
        bool isLocal = false;
        if (GetSourceAt(index, &ssrc, &isLocal) && ssrc == selected) {
            return SelectedSource{ssrc, isLocal};
        }
    }
    return std::nullopt;
}

int ZQMRTPStackStatisticsProPage::OnMessage(CPropertyProcParam* param)
{
    if (param->message != WM_TIMER) {
        return 0;
    }
    Refresh(param->hwnd);
    return 1;
}

void ZQMRTPStackStatisticsProPage::Refresh(HWND dialog)
{
    const int32_t previous = m_currentSourceIndex;
    m_currentSourceIndex = static_cast<int32_t>(SendMessageA(SourceList(dialog), LB_GETCURSEL, 0, 0));
    const std::optional<SelectedSource> source = FindSelectedSource(dialog);
    if (m_currentSourceIndex != previous) {
        EnableSimulation(dialog, source && source->isLocal);
    }
    ShowStatistics(dialog, source);
}

// A source that is gone (or none selected) shows empty fields rather than
// figures of another source.
void ZQMRTPStackStatisticsProPage::ShowStatistics(HWND dialog, const std::optional<SelectedSource>& source)
{
    uint32_t payloadBitRate = 0, wireBitRate = 0, packetCount = 0, octetCount = 0;
    uint32_t fractionLost = 0, cumulativeLost = 0, rrCount = 0, roundTripTimeMs = 0;
    float jitterMs = 0;
    if (!source || !GetStatistics(source->ssrc, source->isLocal, &payloadBitRate, &wireBitRate, &packetCount,
                                  &octetCount, &fractionLost, &cumulativeLost, &jitterMs, &rrCount,
                                  &roundTripTimeMs)) {
        for (int id : kStatisticsEdits) {
            SetDlgItemTextA(dialog, id, "");
        }
        return;
    }
    zqm::SetDlgItemDecimal(dialog, d::kPacketCount, packetCount);
    zqm::SetDlgItemDecimal(dialog, d::kOctetCount, octetCount);
    zqm::SetDlgItemDecimal(dialog, d::kFractionLost, static_cast<int32_t>(fractionLost));
    zqm::SetDlgItemDecimal(dialog, d::kCumulativeLost, static_cast<int32_t>(cumulativeLost));
    zqm::SetDlgItemDecimal(dialog, d::kJitter, zqm::TruncateTowardZero(jitterMs));
}

int ZQMRTPStackStatisticsProPage::OnApply(CPropertyProcParam* param)
{
    HWND dialog = param->hwnd;
    const std::optional<SelectedSource> selected = FindSelectedSource(dialog);
    if (!selected) {
        return 1;
    }
    const SelectedSource& source = *selected;
    // The setters refuse a remote source and a percent above 100, silently.
    if (IsChecked(dialog, d::kSimulatePacketLoss)) {
        SetSimulatePacketLoss(source.ssrc, source.isLocal, true);
        SetPacketLossPercent(source.ssrc, source.isLocal, ReadUnsigned(dialog, d::kPacketLossPercent));
    } else {
        SetSimulatePacketLoss(source.ssrc, source.isLocal, false);
    }
    if (IsChecked(dialog, d::kGenerateJitter)) {
        SetGenerateJitter(source.ssrc, source.isLocal, true);
        SetMaxJitter(source.ssrc, source.isLocal, ReadUnsigned(dialog, d::kMaxJitter));
    } else {
        SetGenerateJitter(source.ssrc, source.isLocal, false);
    }
    return 1;
}

int ZQMRTPStackStatisticsProPage::OnKillActive(CPropertyProcParam* param)
{
    KillTimer(param->hwnd, m_timerId);
    m_timerId = 0;
    return 1;
}
