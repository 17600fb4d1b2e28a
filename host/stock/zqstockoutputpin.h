#pragma once
// The stock source's output pin: offers the source's one media type and asks
// for a pool of the source's size when it connects.
#include "zqfpin.h"

class ZQStockOutputPin : public ZQFPinOutAuto {
public:
    // The pin keeps its own copies: it may be asked after the source's own
    // part is gone (the module base disconnects the pins in its destructor).
    ZQStockOutputPin(ZQFModule* owner, const ZQFMediaType& mediaType, const ZQFAllocatorConfig& pool);

    bool GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format) override;
    bool OnDecideBufferSize(ZQFAllocatorConfig* config) override;

private:
    ZQFMediaType m_mediaType;
    ZQFAllocatorConfig m_pool;
};
