#pragma once
// The output pin of an "RTP in" module: its pool holds the samples the
// receiving thread reads datagrams into.
#include "zqfpin.h"

class ZQMRTPStackOutputPin : public ZQFPinOutAuto {
public:
    static constexpr int kSampleBytes = 32768;

    ZQMRTPStackOutputPin(ZQFModule* owner, const char* name);

    bool GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format) override;
    // One sample per datagram of up to 32768 bytes: the reordering window
    // plus three, or the proposal plus 13 without a window.
    bool OnDecideBufferSize(ZQFAllocatorConfig* config) override;
    bool OnPinFlush() override;
    bool GetOutputFormat(ZQFFormatBuffer** out) override;
};
