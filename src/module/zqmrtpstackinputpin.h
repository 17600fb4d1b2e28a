#pragma once
// The input pin of an "RTP out" module: takes every format, offers the
// media types the stack carries, and asks for room behind the payload for an
// SRTP trailer, which the stack writes in place.
#include "zqfpin.h"

class ZQMRTPStackInputPin : public ZQFPinIn {
public:
    ZQMRTPStackInputPin(ZQFModule* owner, const char* name);

    bool GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format) override;
    bool OnCheckInputFormat(const ZQFMediaType* type) override;
    bool OnDecideBufferSize(ZQFAllocatorConfig* config) override;
};
