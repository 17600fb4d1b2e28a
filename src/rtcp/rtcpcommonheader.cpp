#include "rtcp/rtcpcommonheader.h"

#include "zqmbyteio.h"

namespace rtcp {

bool ReadCommonHeader(const uint8_t* data, size_t size, CommonHeader* header)
{
    if (data == nullptr || size < kCommonHeaderBytes) {
        return false;
    }
    header->version = static_cast<uint8_t>(data[0] >> 6);
    header->padding = (data[0] & 0x20) != 0;
    header->count = static_cast<uint8_t>(data[0] & 0x1F);
    header->packetType = data[1];
    header->lengthWords = BigEndian::Read16(data + 2);
    return true;
}

void WriteCommonHeader(uint8_t* data, uint8_t count, uint8_t packetType, size_t packetBytes)
{
    data[0] = static_cast<uint8_t>((kVersion << 6) | (count & 0x1F));
    data[1] = packetType;
    BigEndian::Write16(data + 2, static_cast<uint16_t>(packetBytes / 4 - 1));
}

}  // namespace rtcp
