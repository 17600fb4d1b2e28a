#include "rtcp/rtcpbye.h"

#include "rtcp/rtcpcommonheader.h"
#include "zqmbyteio.h"

namespace rtcp {

size_t Bye::Create(uint8_t* buffer, size_t capacity) const
{
    if (buffer == nullptr || capacity < kBytes) {
        return 0;
    }
    WriteCommonHeader(buffer, 1, kPacketType, kBytes);
    BigEndian::Write32(buffer + 4, ssrc);
    return kBytes;
}

bool Bye::Parse(const uint8_t* packet, size_t packetBytes)
{
    if (packet == nullptr || packetBytes < kBytes) {
        return false;
    }
    ssrc = BigEndian::Read32(packet + 4);
    return true;
}

}  // namespace rtcp
