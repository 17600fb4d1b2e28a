#pragma once
// One output pin of the dispatcher: carries the samples of one media type
// (or of both text forms). Its samples come from upstream; it has no pool.
#include "zqfpin.h"

class ZQMRTPDispatcherOutputPin : public ZQFPinOutAuto {
public:
    ZQMRTPDispatcherOutputPin(ZQFModule* owner, const char* name);

    // Index 0 only: the media type the dispatcher's pin table gives this pin.
    bool GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format) override;
    bool OnDecideBufferSize(ZQFAllocatorConfig* config) override;
    bool GetOutputFormat(ZQFFormatBuffer** out) override;
};
