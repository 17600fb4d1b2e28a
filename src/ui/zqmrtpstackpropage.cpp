#include "ui/zqmrtpstackpropage.h"

#include <string>

#include "ui/mediatypecheckboxes.h"
#include "ui/zqmrtpstackcontrolids.h"
#include "user32.h"
#include "zqccharconv.h"

namespace {

namespace d = zqm::settingsdialog;

constexpr int kReceivingStack = 0;
constexpr int kSendingStack = 1;
constexpr int kTextBytes = 256;

// An edit's text as the stack takes it: at most 255 characters.
std::string ReadEdit(HWND dialog, int id)
{
    char text[kTextBytes] = {};
    GetDlgItemTextA(dialog, id, text, kTextBytes);
    return ZQCCharConv::S2A(text);
}

std::string TextOf(const char* text) { return text ? text : ""; }

bool HasPorts(int direction) { return direction == kReceivingStack || direction == kSendingStack; }

void SetCheck(HWND dialog, int id, bool checked)
{
    SendMessageA(GetDlgItem(dialog, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool IsChecked(HWND dialog, int id) { return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

}  // namespace

ZQMRTPStackProPage::ZQMRTPStackProPage()
{
    CPropertyPageParam param;
    param.moduleName = zqm::kResourceModuleName;
    param.title = "RTP stack settings";
    param.dialogId = kDialogId;
    Init(param);
}

ZQMRTPStackProPage::~ZQMRTPStackProPage() = default;

int ZQMRTPStackProPage::OnInitDialog(CPropertyProcParam* param)
{
    FillControls(param->hwnd);
    return 1;
}

void ZQMRTPStackProPage::FillControls(HWND dialog)
{
    const int direction = GetStackDirection();
    SetDlgItemTextA(dialog, d::kLocalIPAddress, GetLocalIPAddress());
    SetDlgItemTextA(dialog, d::kRemoteIPAddress, GetRemoteRTPAddress());
    FillPorts(dialog, direction);
    FillMediaTypes(dialog);
}

// Every port has its own edit, whatever the direction: a stack may listen
// on one port and send to another.
void ZQMRTPStackProPage::FillPorts(HWND dialog, int direction)
{
    if (!HasPorts(direction)) {
        return;
    }
    SetDlgItemTextA(dialog, d::kLocalRTPPort, GetLocalRTPPort());
    SetDlgItemTextA(dialog, d::kLocalRTCPPort, GetLocalRTCPPort());
    SetDlgItemTextA(dialog, d::kRemoteRTPPort, GetRemoteRTPPort());
    SetDlgItemTextA(dialog, d::kRemoteRTCPPort, GetRemoteRTCPPort());
    if (direction == kSendingStack) {
        SetCheck(dialog, d::kDisableAutoSeqNum, !GetAutoSequenceNumbers());
    }
}

void ZQMRTPStackProPage::FillMediaTypes(HWND dialog)
{
    for (const zqm::MediaTypeCheckBox& box : zqm::MediaTypeCheckBoxes()) {
        const int32_t mediaType = zqm::MediaTypeOf(box);
        if (mediaType < 0) {
            continue;
        }
        bool enabled = IsMediaTypeEnabled(mediaType);
        if (box.pairedMediaType != 0) {
            enabled = enabled || IsMediaTypeEnabled(box.pairedMediaType);
        }
        SetCheck(dialog, box.controlId, enabled);
    }
}

ZQMRTPStackProPage::NetworkSettings ZQMRTPStackProPage::ReadNetworkSettings()
{
    return {TextOf(GetLocalIPAddress()), TextOf(GetRemoteRTPAddress()), TextOf(GetRemoteRTCPAddress()),
            TextOf(GetLocalRTPPort()),   TextOf(GetLocalRTCPPort()),    TextOf(GetRemoteRTPPort()),
            TextOf(GetRemoteRTCPPort())};
}

// Nothing is validated: wrong addresses or ports show when the stack starts.
int ZQMRTPStackProPage::OnApply(CPropertyProcParam* param)
{
    HWND dialog = param->hwnd;
    const int direction = GetStackDirection();
    const NetworkSettings before = ReadNetworkSettings();
    const std::string remoteAddress = ReadEdit(dialog, d::kRemoteIPAddress);
    SetRemoteRTPAddress(remoteAddress.c_str());
    SetRemoteRTCPAddress(remoteAddress.c_str());
    SetLocalIPAddress(ReadEdit(dialog, d::kLocalIPAddress).c_str());
    ApplyPorts(dialog, direction);
    if (ReadNetworkSettings() != before) {
        NoteAppliedAtNextStart();
    }
    // A receiving stack ignores it; it is written for both all the same.
    SetAutoSequenceNumbers(!IsChecked(dialog, d::kDisableAutoSeqNum));
    ApplyMediaTypes(dialog);
    FillControls(dialog);
    return 1;
}

// Each edit sets its own port and no other.
void ZQMRTPStackProPage::ApplyPorts(HWND dialog, int direction)
{
    if (!HasPorts(direction)) {
        return;
    }
    SetLocalRTPPort(ReadEdit(dialog, d::kLocalRTPPort).c_str());
    SetLocalRTCPPort(ReadEdit(dialog, d::kLocalRTCPPort).c_str());
    SetRemoteRTPPort(ReadEdit(dialog, d::kRemoteRTPPort).c_str());
    SetRemoteRTCPPort(ReadEdit(dialog, d::kRemoteRTCPPort).c_str());
}

// One call per box whose state differs from the stack's; a box of a pair
// enables or removes both of its media types.
void ZQMRTPStackProPage::ApplyMediaTypes(HWND dialog)
{
    for (const zqm::MediaTypeCheckBox& box : zqm::MediaTypeCheckBoxes()) {
        const int32_t mediaType = zqm::MediaTypeOf(box);
        if (mediaType < 0) {
            continue;
        }
        const bool checked = IsChecked(dialog, box.controlId);
        const bool first = IsMediaTypeEnabled(mediaType);
        const bool second = box.pairedMediaType != 0 && IsMediaTypeEnabled(box.pairedMediaType);
        const bool all = first && (box.pairedMediaType == 0 || second);
        const bool any = first || second;
        if (checked && !all) {
            EnableMediaType(mediaType);
            if (box.pairedMediaType != 0) {
                EnableMediaType(box.pairedMediaType);
            }
        } else if (!checked && any) {
            RemoveMediaType(mediaType);
            if (box.pairedMediaType != 0) {
                RemoveMediaType(box.pairedMediaType);
            }
        }
    }
}
