#include "module/zqmrtpstackinputpin.h"

#include "module/zqmrtpstackmodule.h"
#include "srtp/srtpsession.h"
#include "zqfallocator.h"

ZQMRTPStackInputPin::ZQMRTPStackInputPin(ZQFModule* owner, const char* name) : ZQFPinIn(owner, name) {}

bool ZQMRTPStackInputPin::GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format)
{
    if (format != nullptr) {
        *format = nullptr;
    }
    auto* module = static_cast<ZQMRTPStackModule*>(GetModule());
    return module != nullptr && module->GetMediaTypeAt(index, type, format);
}

bool ZQMRTPStackInputPin::OnCheckInputFormat(const ZQFMediaType*) { return true; }

// The upstream pin decides; a pool without the room still works in the
// clear, and under SRTP a packet that does not fit is refused with a line.
bool ZQMRTPStackInputPin::OnDecideBufferSize(ZQFAllocatorConfig* config)
{
    if (config != nullptr && config->size > 0) {
        config->size += zqm::srtp::kMaxTrailerBytes;
    }
    return true;
}
