#include "zqmrtpheader.h"

#include "zqmbyteio.h"

namespace rtp {

bool ReadFixedHeader(const uint8_t* data, size_t size, FixedHeader* header)
{
    if (data == nullptr || size < kFixedHeaderBytes) {
        return false;
    }
    header->version = static_cast<uint8_t>(data[0] >> 6);
    header->padding = (data[0] & 0x20) != 0;
    header->extension = (data[0] & 0x10) != 0;
    header->csrcCount = static_cast<uint8_t>(data[0] & 0x0F);
    header->marker = (data[1] & 0x80) != 0;
    header->payloadType = static_cast<uint8_t>(data[1] & 0x7F);
    header->sequenceNumber = BigEndian::Read16(data + 2);
    header->timestamp = BigEndian::Read32(data + 4);
    header->ssrc = BigEndian::Read32(data + 8);
    return true;
}

void WriteFixedHeader(uint8_t* data, bool marker, uint8_t payloadType, uint16_t sequenceNumber,
                      uint32_t timestamp, uint32_t ssrc)
{
    data[0] = static_cast<uint8_t>(kVersion << 6);
    data[1] = static_cast<uint8_t>((marker ? 0x80 : 0x00) | (payloadType & 0x7F));
    BigEndian::Write16(data + 2, sequenceNumber);
    BigEndian::Write32(data + 4, timestamp);
    BigEndian::Write32(data + 8, ssrc);
}

void WritePayloadTypeAndSsrc(uint8_t* data, uint8_t payloadType, uint32_t ssrc)
{
    data[1] = static_cast<uint8_t>((data[1] & 0x80) | (payloadType & 0x7F));
    BigEndian::Write32(data + 8, ssrc);
}

}  // namespace rtp
