#include "rtcp/rtcpfir.h"

#include <cstring>

#include "rtcp/rtcpcommonheader.h"
#include "zqmbyteio.h"

namespace rtcp {

size_t Fir::Create(uint8_t* buffer, size_t capacity) const
{
    if (buffer == nullptr || capacity < kBytes) {
        return 0;
    }
    WriteCommonHeader(buffer, kFormat, kPacketType, kBytes);
    BigEndian::Write32(buffer + 4, senderSsrc);
    BigEndian::Write32(buffer + 8, mediaSsrc);
    BigEndian::Write32(buffer + 12, fciSsrc);
    buffer[16] = sequenceNumber;
    std::memset(buffer + 17, 0, 3);
    return kBytes;
}

bool ReadFeedbackSender(const uint8_t* packet, size_t packetBytes, uint32_t* senderSsrc)
{
    if (packet == nullptr || packetBytes < 8) {
        return false;
    }
    *senderSsrc = BigEndian::Read32(packet + 4);
    return true;
}

}  // namespace rtcp
