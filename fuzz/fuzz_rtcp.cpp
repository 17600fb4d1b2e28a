// Received RTCP compounds: CheckRTCPValidity and ProcessRTCPDatagram of a
// receiving stack, with sources present in both process-wide lists: the
// local sources of an "RTP in" and an "RTP out" module, and two remote
// sources the receiving stack learnt from real RTP packets.
//
// The remote sources have the SSRCs "REM1" and "REM2" (0x52454D31/32) so
// that seeds and mutations can name them; every aligned word "LOCL" of the
// input is replaced by the receiving stack's local SSRC, which is drawn at
// run time.
#include <cstring>
#include <memory>
#include <vector>

#include "fuzz_common.h"
#include "fuzz_receive.h"
#include "inputrtpstack/zqminputrtpstack.h"
#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "zqcapturesink.h"
#include "zqfallocator.h"
#include "zqfmediasample.h"
#include "zqfpin.h"
#include "zqmbyteio.h"
#include "zqmrtpsource.h"

namespace {

constexpr uint32_t kRemoteSsrcs[] = {0x52454D31, 0x52454D32};
constexpr uint32_t kLocalPlaceholder = 0x4C4F434C;  // "LOCL"
constexpr int32_t kAudioPCMA = 0x40001;

// A PCMA packet of `ssrc` through the stack's packet check, as received.
void ReceivePacket(ZQMInputRTPStack& stack, ZQFPinOut& pin, uint32_t ssrc, uint16_t seq)
{
    uint8_t datagram[12 + 4] = {0x80, 8};
    datagram[2] = static_cast<uint8_t>(seq >> 8);
    datagram[3] = static_cast<uint8_t>(seq);
    BigEndian::Write32(datagram + 4, 160u * seq);
    BigEndian::Write32(datagram + 8, ssrc);
    fuzz::Require(fuzz::ReceiveDatagram(stack, pin, datagram, sizeof datagram), "a free sample");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    fuzz::SilenceLogs();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    auto receiver = std::make_unique<ZQMRTPStackModule>(ZQMID_RTPIn, "fuzzed RTP in");
    auto sender = std::make_unique<ZQMRTPStackModule>(ZQMID_RTPOut, "fuzzed RTP out");
    auto sink = std::make_unique<ZQCaptureSink>();
    sink->SetKeepLimit(0);
    auto* stack = static_cast<ZQMInputRTPStack*>(receiver->GetStack());
    fuzz::Require(stack->EnableMediaType(kAudioPCMA), "media type enabled");
    fuzz::Require(ZQFConnectPins(receiver->GetOutputPin(0), sink->GetInputPin(0)), "pins connected");
    ZQFPinOut& pin = *receiver->GetOutputPin(0);
    for (uint32_t ssrc : kRemoteSsrcs) {
        for (uint16_t seq = 1; seq <= 3; ++seq) {
            ReceivePacket(*stack, pin, ssrc, seq);
        }
    }

    std::vector<uint8_t> datagram(data, data + size);
    const uint32_t localSsrc = stack->GetLocalSource()->m_ssrc;
    for (size_t at = 0; at + 4 <= datagram.size(); at += 4) {
        if (BigEndian::Read32(&datagram[at]) == kLocalPlaceholder) {
            BigEndian::Write32(&datagram[at], localSsrc);
        }
    }
    // The copy is exactly as long as the input, so reads past it are caught.
    const int length = static_cast<int>(datagram.size());
    const int validity = stack->CheckRTCPValidity(datagram.data(), length);
    fuzz::Require(validity >= 0 && validity <= 4, "validity code in range");
    stack->ProcessRTCPDatagram(datagram.data(), length, "ZQMInputRTPStack");
    sender->GetStack()->ProcessRTCPDatagram(datagram.data(), length, "ZQMOutputRTPStack");

    stack->Cleanup();
    const ZQFAllocator* pool = pin.GetAllocator();
    fuzz::Require(pool != nullptr && pool->IsFull(), "pool full after cleanup");
    ZQFDisconnectPins(receiver->GetOutputPin(0));
    receiver.reset();
    sender.reset();
    sink.reset();
    return 0;
}
