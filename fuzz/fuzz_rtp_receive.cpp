// The receiving stack's packet check and sequencing, fed the datagrams cut
// from one input, with a real "RTP in" module delivering to a capture sink.
//
// Input: one byte picking the reordering window, one byte of options (bit 0:
// the sink refuses every sample), then datagrams, each a big-endian 16-bit
// length followed by that many bytes (cut short at the input's end).
//
// After every input the stack is cleaned up and the pool must be full again:
// no path may lose a sample.
#include <cstring>
#include <memory>

#include "fuzz_common.h"
#include "fuzz_receive.h"
#include "inputrtpstack/zqminputrtpstack.h"
#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "zqcapturesink.h"
#include "zqfallocator.h"
#include "zqfmediasample.h"
#include "zqfpin.h"

namespace {

constexpr uint16_t kWindows[] = {0, 1, 2, 3, 5, 8, 16, 64};
// PCMA (8), H.264 (96) and FEC (118): three payload types, one of them FEC.
constexpr int32_t kMediaTypes[] = {0x40001, 0x10004, 0x800001};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::InputReader input(data, size);
    const uint16_t window = kWindows[input.Byte() % std::size(kWindows)];
    const uint8_t options = input.Byte();

    auto module = std::make_unique<ZQMRTPStackModule>(ZQMID_RTPIn, "fuzzed RTP in");
    auto sink = std::make_unique<ZQCaptureSink>();
    sink->SetKeepLimit(0);
    sink->SetRefuse((options & 1) != 0);
    auto* stack = static_cast<ZQMInputRTPStack*>(module->GetStack());
    stack->SetRTPwindow(window);
    for (int32_t type : kMediaTypes) {
        fuzz::Require(stack->EnableMediaType(type), "media type enabled");
    }
    fuzz::Require(ZQFConnectPins(module->GetOutputPin(0), sink->GetInputPin(0)), "pins connected");
    ZQFPinOut& pin = *module->GetOutputPin(0);

    while (!input.AtEnd()) {
        const size_t wanted = input.Word() % 2048;
        size_t length = 0;
        const uint8_t* bytes = input.Take(wanted, &length);
        // With every sample held in the window the receiving loop would
        // wait; here the datagram is dropped.
        fuzz::ReceiveDatagram(*stack, pin, bytes, length);
    }

    stack->Cleanup();
    const ZQFAllocator* pool = pin.GetAllocator();
    fuzz::Require(pool != nullptr && pool->IsFull(), "pool full after cleanup");
    ZQFDisconnectPins(module->GetOutputPin(0));
    module.reset();
    sink.reset();
    return 0;
}
