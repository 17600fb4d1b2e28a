#include "dispatcher/zqmrtpdispatcherinputpin.h"

#include <cstdint>
#include <iterator>

#include "zqfmediatype.h"
#include "zqmrtpmediatypes.h"

namespace {

// What the dispatcher accepts, in the order it lists them. Identifier 0
// stands for "other" (main type 4). The main types are the stack's.
constexpr int32_t kAcceptedMediaTypes[] = {
    0x10001,  0x10002,  0x10003,  0x10004,  0x10005,                                          // video
    0x40001,  0x40002,  0x40003,  0x40004,  0x40005,  0x40006,  0x40007,  0x40008,  0x40009,  // audio
    0x4000A,  0x4000B,  0x4000C,  0x4000D,  0x4000E,  0x4000F,  0x40010,  0x40011,  0x40012,  //
    0x40017,  0x40013,  0x40018,  0x40014,  0x40019,  0x4001A,  0x4001B,  0x4001C,  0x4001E,  //
    0x4001F,  0x40020,  0x40021,  0x40022,  0x40023,  0x4002A,  0x40024,  0x4002C,  0x4002D,  //
    0x4002E,  0x4002F,                                                                        //
    0x200001, 0x100003, 0,        0x100004,                                                   // data
    0x800001, 0x800002, 0x800003, 0x800004, 0x800005,                                         // FEC
};
static_assert(std::size(kAcceptedMediaTypes) == 52, "the dispatcher accepts 52 media types");

constexpr int kInputSamples = 10;

}  // namespace

ZQMRTPDispatcherInputPin::ZQMRTPDispatcherInputPin(ZQFModule* owner, const char* name) : ZQFPinIn(owner, name) {}

bool ZQMRTPDispatcherInputPin::GetMediaTypeAt(int index, ZQFMediaType* type, ZQFFormatBuffer** format)
{
    if (format != nullptr) {
        *format = nullptr;
    }
    if (index < 0 || index >= static_cast<int>(std::size(kAcceptedMediaTypes))) {
        return false;
    }
    const int32_t id = kAcceptedMediaTypes[index];
    int mainType = 0;
    zqm::StackMainType(id, &mainType);
    if (type != nullptr) {
        type->SetMainType(mainType);
        type->SetSubType(id);
    }
    return true;
}

bool ZQMRTPDispatcherInputPin::OnDecideBufferSize(ZQFAllocatorConfig* config)
{
    config->count = kInputSamples;
    config->size = 0;
    return true;
}
