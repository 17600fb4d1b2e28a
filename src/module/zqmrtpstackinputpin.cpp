#include "module/zqmrtpstackinputpin.h"

#include "module/zqmrtpstackmodule.h"

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
