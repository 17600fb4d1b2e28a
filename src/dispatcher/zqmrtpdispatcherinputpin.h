#pragma once
// The dispatcher's input pin: accepts every media type the dispatcher can
// spread over its output pins.
#include "zqfpin.h"

class ZQMRTPDispatcherInputPin : public ZQFPinIn {
public:
    ZQMRTPDispatcherInputPin(ZQFModule* owner, const char* name);

    // The index-th accepted media type (52 in all); false past the end.
    bool GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format) override;
    bool OnDecideBufferSize(ZQFAllocatorConfig* config) override;
};
