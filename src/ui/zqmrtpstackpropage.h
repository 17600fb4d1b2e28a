#pragma once
// "RTP stack settings": the first page of a stack module's property sheet.
// It reaches the stack only through ZQIRTPStack, which the module (derived
// from this page) implements, and keeps no state of its own: the stack is
// read into the dialog when the page is filled and written back on Apply.
#include <string>

#include "zqfpropertypage.h"
#include "zqirtpstack.h"

class ZQMRTPStackProPage : public ZQIRTPStack, public ZQFPropertyPage {
public:
    static constexpr int kDialogId = 109;

    ZQMRTPStackProPage();
    ~ZQMRTPStackProPage() override;

    int OnInitDialog(CPropertyProcParam* param) override;
    int OnApply(CPropertyProcParam* param) override;

protected:
    void FillControls(HWND dialog);

private:
    // The addresses and ports as the stack holds them; the stack opens its
    // sockets with them when it starts, so a change waits for that.
    struct NetworkSettings {
        std::string localAddress, remoteRTPAddress, remoteRTCPAddress;
        std::string localRTPPort, localRTCPPort, remoteRTPPort, remoteRTCPPort;
        bool operator==(const NetworkSettings&) const = default;
    };

    NetworkSettings ReadNetworkSettings();
    void FillPorts(HWND dialog, int direction);
    void FillMediaTypes(HWND dialog);
    void FillSRTP(HWND dialog);
    void ApplyPorts(HWND dialog, int direction);
    void ApplyMediaTypes(HWND dialog);
};
