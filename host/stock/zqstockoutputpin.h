#pragma once
// The stock source's output pin: offers the source's media types (its media
// first, then any it mixes in) and asks for a pool of the source's size when
// it connects.
#include <vector>

#include "zqfpin.h"

class ZQStockOutputPin : public ZQFPinOutAuto {
public:
    // The pin keeps its own copies: it may be asked after the source's own
    // part is gone (the module base disconnects the pins in its destructor).
    ZQStockOutputPin(ZQFModule* owner, std::vector<ZQFMediaType> mediaTypes, const ZQFAllocatorConfig& pool);

    bool GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format) override;
    bool OnDecideBufferSize(ZQFAllocatorConfig* config) override;

private:
    std::vector<ZQFMediaType> m_mediaTypes;
    ZQFAllocatorConfig m_pool;
};
