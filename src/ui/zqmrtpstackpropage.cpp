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

void SetCheck(HWND dialog, int id, bool checked)
{
    SendMessageA(GetDlgItem(dialog, id), BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool IsChecked(HWND dialog, int id) { return SendMessageA(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED; }

void Disable(HWND dialog, int id) { EnableWindow(GetDlgItem(dialog, id), FALSE); }

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
    FillSRTP(dialog);
}

// Each kind of port is edited in one place: the other edit of the pair only
// shows the value and is disabled. A module's direction never changes, so
// nothing is ever enabled again.
void ZQMRTPStackProPage::FillPorts(HWND dialog, int direction)
{
    if (direction == kReceivingStack) {
        SetDlgItemTextA(dialog, d::kLocalRTPPort, GetLocalRTPPort());
        SetDlgItemTextA(dialog, d::kLocalRTCPPort, GetLocalRTCPPort());
        SetDlgItemTextA(dialog, d::kRemoteRTPPort, GetRemoteRTPPort());
        SetDlgItemTextA(dialog, d::kRemoteRTCPPort, GetRemoteRTCPPort());
        Disable(dialog, d::kLocalRTCPPort);
        Disable(dialog, d::kRemoteRTPPort);
    } else if (direction == kSendingStack) {
        SetDlgItemTextA(dialog, d::kRemoteRTPPort, GetRemoteRTPPort());
        SetDlgItemTextA(dialog, d::kRemoteRTCPPort, GetRemoteRTCPPort());
        SetDlgItemTextA(dialog, d::kLocalRTPPort, GetLocalRTPPort());
        SetDlgItemTextA(dialog, d::kLocalRTCPPort, GetLocalRTCPPort());
        Disable(dialog, d::kRemoteRTCPPort);
        Disable(dialog, d::kLocalRTPPort);
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

// The suite and whether keys are set: the keys themselves are secrets.
void ZQMRTPStackProPage::FillSRTP(HWND dialog)
{
    const std::string suite = TextOf(GetSRTPSuite());
    SetDlgItemTextA(dialog, d::kSRTPSuite, suite.empty() ? "off" : suite.c_str());
    const bool keysSet = !TextOf(GetSRTPSendKey()).empty() && !TextOf(GetSRTPReceiveKey()).empty();
    SetDlgItemTextA(dialog, d::kSRTPKeys, keysSet ? "keys set" : "no keys");
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

// The enabled edit of each kind sets the local and the remote port alike.
void ZQMRTPStackProPage::ApplyPorts(HWND dialog, int direction)
{
    int rtpEdit = 0;
    int rtcpEdit = 0;
    if (direction == kSendingStack) {
        rtpEdit = d::kRemoteRTPPort;
        rtcpEdit = d::kLocalRTCPPort;
    } else if (direction == kReceivingStack) {
        rtpEdit = d::kLocalRTPPort;
        rtcpEdit = d::kRemoteRTCPPort;
    } else {
        return;
    }
    const std::string rtpPort = ReadEdit(dialog, rtpEdit);
    SetLocalRTPPort(rtpPort.c_str());
    SetRemoteRTPPort(rtpPort.c_str());
    const std::string rtcpPort = ReadEdit(dialog, rtcpEdit);
    SetLocalRTCPPort(rtcpPort.c_str());
    SetRemoteRTCPPort(rtcpPort.c_str());
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
