#pragma once
// The input pin of an "RTP out" module: takes every format and offers the
// media types the stack carries.
#include "zqfpin.h"

class ZQMRTPStackInputPin : public ZQFPinIn {
public:
    ZQMRTPStackInputPin(ZQFModule* owner, const char* name);

    bool GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format) override;
    bool OnCheckInputFormat(const ZQFMediaType* type) override;
};
