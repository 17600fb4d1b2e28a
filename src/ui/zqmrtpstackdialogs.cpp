// The library's dialog resources 109 ("RTP stack settings") and 106 ("RTP
// stack statistics"), registered with USER32 while the library is loaded, as
// a resource section would hold them.
#include <vector>

#include "ui/mediatypecheckboxes.h"
#include "ui/zqmrtpstackcontrolids.h"
#include "user32.h"

namespace {

using zqwin32::ControlKind;
using zqwin32::DialogItemTemplate;

constexpr DWORD kPageStyle = WS_CHILD | DS_SETFONT;
constexpr const char* kFontName = "MS Sans Serif";
constexpr int kFontPoints = 8;
constexpr int kNoId = -1;

constexpr DWORD kVisibleChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kEdit = kVisibleChild | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;
constexpr DWORD kCheckBox = kVisibleChild | WS_TABSTOP | BS_AUTOCHECKBOX;
constexpr DWORD kGroupBox = kVisibleChild | BS_GROUPBOX;
constexpr DWORD kLabel = kVisibleChild | SS_LEFT;
constexpr DWORD kCentredLabel = kVisibleChild | SS_CENTER;
constexpr DWORD kSourceList =
    kVisibleChild | WS_BORDER | WS_VSCROLL | WS_TABSTOP | LBS_NOTIFY | LBS_SORT | LBS_NOINTEGRALHEIGHT;

std::vector<DialogItemTemplate> SettingsItems()
{
    namespace d = zqm::settingsdialog;
    std::vector<DialogItemTemplate> items = {
        // The address edits fill their group's width: its caption names them.
        // Each port edit has its label in the room left of it.
        {ControlKind::GroupBox, kNoId, "Local", 7, 4, 70, 51, kGroupBox},
        {ControlKind::Edit, d::kLocalIPAddress, "", 9, 14, 66, 13, kEdit},
        {ControlKind::Static, kNoId, "RTP:", 11, 29, 22, 8, kLabel},
        {ControlKind::Edit, d::kLocalRTPPort, "", 35, 27, 40, 13, kEdit},
        {ControlKind::Static, kNoId, "RTCP:", 11, 42, 22, 8, kLabel},
        {ControlKind::Edit, d::kLocalRTCPPort, "", 35, 40, 40, 13, kEdit},
        {ControlKind::GroupBox, kNoId, "Remote", 79, 4, 70, 51, kGroupBox},
        {ControlKind::Edit, d::kRemoteIPAddress, "", 81, 14, 66, 13, kEdit},
        {ControlKind::Static, kNoId, "RTP:", 83, 29, 22, 8, kLabel},
        {ControlKind::Edit, d::kRemoteRTPPort, "", 107, 27, 40, 13, kEdit},
        {ControlKind::Static, kNoId, "RTCP:", 83, 42, 22, 8, kLabel},
        {ControlKind::Edit, d::kRemoteRTCPPort, "", 107, 40, 40, 13, kEdit},
        {ControlKind::CheckBox, d::kDisableAutoSeqNum, "Disable Auto SeqNum", 153, 9, 86, 14, kCheckBox},
        // SRTP is set through the control interface or the settings file;
        // the page only says whether it is on, so no key ever shows here.
        {ControlKind::GroupBox, kNoId, "SRTP", 153, 24, 128, 31, kGroupBox},
        {ControlKind::Static, d::kSRTPSuite, "", 157, 33, 120, 8, kLabel},
        {ControlKind::Static, d::kSRTPKeys, "", 157, 43, 120, 8, kLabel},
        {ControlKind::GroupBox, kNoId, "Video", 6, 56, 48, 112, kGroupBox},
        {ControlKind::GroupBox, kNoId, "Audio", 55, 56, 226, 112, kGroupBox},
        {ControlKind::GroupBox, kNoId, "Data", 6, 120, 48, 48, kGroupBox},
        // Governs nothing, so it is shown disabled rather than offered.
        {ControlKind::CheckBox, d::kFEC, "FEC", 9, 157, 29, 10, kCheckBox | WS_DISABLED},
    };
    for (const zqm::MediaTypeCheckBox& box : zqm::MediaTypeCheckBoxes()) {
        items.push_back({ControlKind::CheckBox, box.controlId, box.text, box.x, box.y, box.cx, box.cy, kCheckBox});
    }
    return items;
}

constexpr DialogItemTemplate kStatisticsItems[] = {
    {ControlKind::Static, kNoId, "Sources", 7, 4, 97, 8, kCentredLabel},
    {ControlKind::ListBox, zqm::statisticsdialog::kSources, "", 7, 14, 98, 124, kSourceList},
    {ControlKind::GroupBox, kNoId, "Statistics", 112, 10, 165, 75, kGroupBox},
    {ControlKind::Static, kNoId, "Packet count:", 116, 20, 64, 8, kLabel},
    {ControlKind::Edit, zqm::statisticsdialog::kPacketCount, "", 183, 17, 90, 13, kEdit},
    {ControlKind::Static, kNoId, "Octet count:", 116, 33, 64, 8, kLabel},
    {ControlKind::Edit, zqm::statisticsdialog::kOctetCount, "", 183, 30, 90, 13, kEdit},
    {ControlKind::Static, kNoId, "Fraction lost:", 116, 46, 64, 8, kLabel},
    {ControlKind::Edit, zqm::statisticsdialog::kFractionLost, "", 183, 43, 90, 13, kEdit},
    {ControlKind::Static, kNoId, "Cumul packet lost:", 116, 59, 64, 8, kLabel},
    {ControlKind::Edit, zqm::statisticsdialog::kCumulativeLost, "", 183, 56, 90, 13, kEdit},
    {ControlKind::Static, kNoId, "Jitter:", 116, 72, 64, 8, kLabel},
    {ControlKind::Edit, zqm::statisticsdialog::kJitter, "", 183, 69, 90, 13, kEdit},
    {ControlKind::CheckBox, zqm::statisticsdialog::kSimulatePacketLoss, "Simulate Packet Loss", 112, 87, 83, 10,
     kCheckBox},
    {ControlKind::GroupBox, kNoId, "Packet loss simulation", 112, 97, 84, 41, kGroupBox},
    {ControlKind::Static, kNoId, "% of Packet loss:", 116, 110, 64, 8, kLabel},
    {ControlKind::Edit, zqm::statisticsdialog::kPacketLossPercent, "", 119, 120, 27, 13, kEdit},
    {ControlKind::CheckBox, zqm::statisticsdialog::kGenerateJitter, "Generate Jitter", 202, 88, 75, 10, kCheckBox},
    {ControlKind::GroupBox, kNoId, "Jitter", 201, 97, 76, 41, kGroupBox},
    {ControlKind::Static, kNoId, "Max Jitter :", 205, 109, 64, 8, kLabel},
    {ControlKind::Edit, zqm::statisticsdialog::kMaxJitter, "", 209, 119, 27, 13, kEdit},
};

class DialogResources {
public:
    DialogResources()
    {
        const std::vector<DialogItemTemplate> settings = SettingsItems();
        zqwin32::RegisterDialogTemplate(zqm::kResourceModuleName, zqm::settingsdialog::kResourceId,
                                        {kPageStyle, "", kFontName, kFontPoints, 288, 177, settings});
        zqwin32::RegisterDialogTemplate(zqm::kResourceModuleName, zqm::statisticsdialog::kResourceId,
                                        {kPageStyle, "", kFontName, kFontPoints, 284, 145, kStatisticsItems});
    }
    ~DialogResources()
    {
        zqwin32::UnregisterDialogTemplate(zqm::kResourceModuleName, zqm::settingsdialog::kResourceId);
        zqwin32::UnregisterDialogTemplate(zqm::kResourceModuleName, zqm::statisticsdialog::kResourceId);
    }
    DialogResources(const DialogResources&) = delete;
    DialogResources& operator=(const DialogResources&) = delete;
};

// Loaded with the library, gone with it.
const DialogResources g_dialogResources;

}  // namespace
