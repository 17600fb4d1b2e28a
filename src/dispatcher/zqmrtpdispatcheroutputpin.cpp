#include "dispatcher/zqmrtpdispatcheroutputpin.h"

#include "dispatcher/zqmrtpdispatchermodule.h"
#include "zqfformat.h"
#include "zqfmediatype.h"
#include "zqmrtpmediatypes.h"

ZQMRTPDispatcherOutputPin::ZQMRTPDispatcherOutputPin(ZQFModule* owner, const char* name)
    : ZQFPinOutAuto(owner, name, 0)
{
}

bool ZQMRTPDispatcherOutputPin::GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format)
{
    if (format != nullptr) {
        *format = nullptr;
    }
    auto* module = static_cast<ZQMRTPDispatcherModule*>(GetModule());
    int32_t mediaType = 0;
    if (index != 0 || module == nullptr || !module->FindMediaTypeOfPin(GetPinIndex(), &mediaType)) {
        return false;
    }
    if (type != nullptr) {
        type->SetSubType(mediaType);
        type->SetMainType(zqm::DispatcherOutputMainType(mediaType));
    }
    return true;
}

bool ZQMRTPDispatcherOutputPin::OnDecideBufferSize(ZQFAllocatorConfig* config)
{
    config->count = 0;
    config->size = 0;
    return true;
}

bool ZQMRTPDispatcherOutputPin::GetOutputFormat(ZQFFormatBuffer** out)
{
    if (out == nullptr) {
        return false;
    }
    NKRMultiplexedPacketFormat prototype;
    *out = prototype.Clone();
    return true;
}
