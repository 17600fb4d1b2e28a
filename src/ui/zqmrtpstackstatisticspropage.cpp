#include "ui/zqmrtpstackstatisticspropage.h"

ZQMRTPStackStatisticsProPage::ZQMRTPStackStatisticsProPage()
{
    CPropertyPageParam param;
    param.moduleName = "zqmrtpstack.dll";
    param.title = "RTP stack statistics";
    param.dialogId = kDialogId;
    Init(param);
}

ZQMRTPStackStatisticsProPage::~ZQMRTPStackStatisticsProPage() = default;
