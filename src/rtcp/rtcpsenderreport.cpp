#include "rtcp/rtcpsenderreport.h"

#include "rtcp/rtcpcommonheader.h"
#include "zqmbyteio.h"

namespace rtcp {

size_t SenderReport::Create(uint8_t* buffer, size_t capacity) const
{
    if (buffer == nullptr || capacity < kBytes) {
        return 0;
    }
    WriteCommonHeader(buffer, 0, kPacketType, kBytes);
    BigEndian::Write32(buffer + 4, senderSsrc);
    BigEndian::Write32(buffer + 8, timestampHigh);
    BigEndian::Write32(buffer + 12, timestampLow);
    BigEndian::Write32(buffer + 16, rtpTimestamp);
    BigEndian::Write32(buffer + 20, packetCount);
    BigEndian::Write32(buffer + 24, octetCount);
    return kBytes;
}

bool SenderReport::Parse(const uint8_t* packet, size_t packetBytes)
{
    if (packet == nullptr || packetBytes < kBytes) {
        return false;
    }
    senderSsrc = BigEndian::Read32(packet + 4);
    timestampHigh = BigEndian::Read32(packet + 8);
    timestampLow = BigEndian::Read32(packet + 12);
    rtpTimestamp = BigEndian::Read32(packet + 16);
    packetCount = BigEndian::Read32(packet + 20);
    octetCount = BigEndian::Read32(packet + 24);
    return true;
}

}  // namespace rtcp
