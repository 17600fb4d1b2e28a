#include "rtcp/rtcpsdes.h"

#include <cstring>

#include "rtcp/rtcpcommonheader.h"
#include "zqmbyteio.h"

namespace rtcp {

size_t Sdes::Create(uint8_t* buffer, size_t capacity) const
{
    const size_t bytes = BlockLength();
    if (buffer == nullptr || text.size() > kMaxItemBytes || capacity < bytes) {
        return 0;
    }
    WriteCommonHeader(buffer, 1, kPacketType, bytes);
    BigEndian::Write32(buffer + 4, ssrc);
    buffer[8] = itemType;
    buffer[9] = static_cast<uint8_t>(text.size());
    std::memcpy(buffer + 10, text.data(), text.size());
    std::memset(buffer + 10 + text.size(), 0, PaddingFor(text.size()));
    return bytes;
}

bool Sdes::Parse(const uint8_t* packet, size_t packetBytes)
{
    if (packet == nullptr || packetBytes < 10) {
        return false;
    }
    const size_t textBytes = packet[9];
    if (10 + textBytes > packetBytes) {
        return false;
    }
    ssrc = BigEndian::Read32(packet + 4);
    itemType = packet[8];
    text = std::string_view(reinterpret_cast<const char*>(packet + 10), textBytes);
    return true;
}

}  // namespace rtcp
