#include "rtcp/rtcpmuxdemux.h"

#include "rtcp/rtcpcommonheader.h"
#include "rtcp/rtcpcompound.h"

namespace rtcp {

namespace {

constexpr size_t kTypeOctet = 1;

}  // namespace

bool IsMultiplexedRTCP(const uint8_t* data, size_t size)
{
    return data != nullptr && size > kTypeOctet && data[kTypeOctet] >= kFirstMultiplexedType &&
           data[kTypeOctet] <= kLastMultiplexedType;
}

bool CollidesWithMultiplexedRTCP(uint8_t payloadType)
{
    return payloadType >= kFirstCollidingPayloadType && payloadType <= kLastCollidingPayloadType;
}

// Media never shows 200 or 201 there (payload types 72 and 73 are refused),
// so the full check runs only for what can be a compound.
bool IsRTCPCompound(const uint8_t* data, size_t size)
{
    if (data == nullptr || size < kCommonHeaderBytes ||
        (data[kTypeOctet] != kSenderReport && data[kTypeOctet] != kReceiverReport)) {
        return false;
    }
    return CheckCompound(data, size).code == kCompoundValid;
}

}  // namespace rtcp
