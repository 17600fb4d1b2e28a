#include "module/zqmrtpstackoutputpin.h"

#include "module/zqmrtpstackmodule.h"
#include "zqfformat.h"

namespace {

constexpr int kSamplesBeyondProposal = 13;
constexpr int kSamplesBeyondWindow = 3;

}  // namespace

ZQMRTPStackOutputPin::ZQMRTPStackOutputPin(ZQFModule* owner, const char* name) : ZQFPinOutAuto(owner, name, 1) {}

bool ZQMRTPStackOutputPin::GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format)
{
    auto* module = static_cast<ZQMRTPStackModule*>(GetModule());
    return module != nullptr && module->GetMediaTypeAt(index, type, format);
}

bool ZQMRTPStackOutputPin::OnDecideBufferSize(ZQFAllocatorConfig* config)
{
    auto* module = static_cast<ZQMRTPStackModule*>(GetModule());
    if (module == nullptr) {
        config->count = 1;
        config->size = kSampleBytes;
        return true;
    }
    ZQIRTPStack* stack = module;
    const uint16_t window = stack->GetRTPwindow();
    config->count = window == 0 ? config->count + kSamplesBeyondProposal : window + kSamplesBeyondWindow;
    config->size = kSampleBytes;
    if (module->GetSocketBufferSize() == 0) {
        stack->SetSocketBufferSize(static_cast<uint32_t>(config->count) << 15);
    }
    return true;
}

// Without a pool there is nothing to flush (false); otherwise the pool's
// waiters are woken, the receiving thread among them. That is exactly the
// framework's flush.
bool ZQMRTPStackOutputPin::OnPinFlush() { return ZQFPinOutAuto::OnPinFlush(); }

bool ZQMRTPStackOutputPin::GetOutputFormat(ZQFFormatBuffer** out)
{
    if (out == nullptr) {
        return false;
    }
    NKRMultiplexedPacketFormat prototype;
    *out = prototype.Clone();
    return true;
}
