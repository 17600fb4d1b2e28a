#pragma once
// "RTP stack settings": the first page of a stack module's property sheet.
// It reaches the stack only through ZQIRTPStack, which the module (derived
// from this page) implements.
#include "zqfpropertypage.h"
#include "zqirtpstack.h"

class ZQMRTPStackProPage : public ZQIRTPStack, public ZQFPropertyPage {
public:
    static constexpr int kDialogId = 109;

    ZQMRTPStackProPage();
    ~ZQMRTPStackProPage() override;
};
