#pragma once
// "RTP stack settings": the first page of a stack module's property sheet.
// It reaches the stack only through ZQIRTPStack, which the module (derived
// from this page) implements, and keeps no state of its own: the stack is
// read into the dialog when the page is filled and written back on Apply.
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
    void FillPorts(HWND dialog, int direction);
    void FillMediaTypes(HWND dialog);
    void ApplyPorts(HWND dialog, int direction);
    void ApplyMediaTypes(HWND dialog);
};
