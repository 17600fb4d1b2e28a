#pragma once
// "RTP stack statistics": the second page of a stack module's property
// sheet. It reaches the stack only through ZQIRTPStackStatistics and
// ZQIRTPStack, which the module (derived from this page) implements.
#include <cstdint>

#include "zqfpropertypage.h"
#include "zqirtpstackstatistics.h"

class ZQMRTPStackStatisticsProPage : public ZQIRTPStackStatistics, public ZQFPropertyPage {
public:
    static constexpr int kDialogId = 106;

    ZQMRTPStackStatisticsProPage();
    ~ZQMRTPStackStatisticsProPage() override;

protected:
    uint32_t m_timerId = 0;
    int32_t m_currentSourceIndex = 0;
};
