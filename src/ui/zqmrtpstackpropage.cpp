#include "ui/zqmrtpstackpropage.h"

ZQMRTPStackProPage::ZQMRTPStackProPage()
{
    CPropertyPageParam param;
    param.moduleName = "zqmrtpstack.dll";
    param.title = "RTP stack settings";
    param.dialogId = kDialogId;
    Init(param);
}

ZQMRTPStackProPage::~ZQMRTPStackProPage() = default;
