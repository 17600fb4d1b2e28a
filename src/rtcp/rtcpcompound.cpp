#include "rtcp/rtcpcompound.h"

namespace rtcp {

bool CompoundEnd(const uint8_t* data, size_t size, size_t* end)
{
    if (data == nullptr || size == 0) {
        return false;
    }
    size_t padding = 0;
    if (data[0] & 0x20) {
        padding = data[size - 1];
    }
    if (padding > size) {
        return false;
    }
    *end = size - padding;
    return true;
}

CompoundCheck CheckCompound(const uint8_t* data, size_t size)
{
    CompoundCheck result;
    if (data == nullptr || size < kCommonHeaderBytes) {
        result.code = kCompoundBadLength;
        result.expected = static_cast<int>(size);
        return result;
    }
    if (data[1] != kSenderReport && data[1] != kReceiverReport) {
        result.code = kCompoundBadFirstType;
        result.found = data[1];
        return result;
    }
    size_t end = 0;
    if (!CompoundEnd(data, size, &end)) {
        result.code = kCompoundBadLength;
        result.expected = static_cast<int>(size) - static_cast<int>(data[size - 1]);
        return result;
    }
    size_t position = 0;
    while (position < end) {
        CommonHeader header;
        if (end - position < kCommonHeaderBytes || !ReadCommonHeader(data + position, end - position, &header)) {
            break;
        }
        if (header.version != kVersion) {
            result.code = kCompoundBadVersion;
            result.found = header.version;
            result.expected = kVersion;
            return result;
        }
        position += header.PacketBytes();
    }
    if (position != end) {
        result.code = kCompoundBadLength;
        result.found = static_cast<int>(position);
        result.expected = static_cast<int>(end);
    }
    return result;
}

bool CompoundReader::Next(Packet* packet)
{
    if (m_position >= m_end || m_end - m_position < kCommonHeaderBytes) {
        return false;
    }
    const uint8_t* at = m_data + m_position;
    ReadCommonHeader(at, m_end - m_position, &packet->header);
    const size_t available = m_end - m_position;
    const size_t bytes = packet->header.PacketBytes();
    packet->data = at;
    packet->bytes = bytes < available ? bytes : available;
    m_position += bytes;
    return true;
}

}  // namespace rtcp
