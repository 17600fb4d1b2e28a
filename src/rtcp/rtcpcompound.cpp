#include "rtcp/rtcpcompound.h"

namespace rtcp {

namespace {

constexpr uint8_t kPaddingFlag = 0x20;

// Packet lengths followed from the start up to `limit`: where they lead
// (possibly past `limit`: that is what the check reports), where the last
// packet started, and the first version other than 2.
struct PacketWalk {
    size_t reached = 0;
    size_t lastPacketStart = 0;
    size_t packets = 0;
    int badVersion = -1;
};

PacketWalk WalkPackets(const uint8_t* data, size_t limit)
{
    PacketWalk walk;
    CommonHeader header;
    while (walk.reached < limit && ReadCommonHeader(data + walk.reached, limit - walk.reached, &header)) {
        if (header.version != kVersion && walk.badVersion < 0) {
            walk.badVersion = header.version;
        }
        walk.lastPacketStart = walk.reached;
        ++walk.packets;
        walk.reached += header.PacketBytes();
    }
    return walk;
}

CompoundCheck LengthError(size_t reached, size_t end, size_t paddingCount = 0)
{
    CompoundCheck result;
    result.code = kCompoundBadLength;
    result.found = static_cast<int>(reached);
    // Negative when the padding count is beyond the datagram.
    result.expected = static_cast<int>(end) - static_cast<int>(paddingCount);
    return result;
}

// Locates the packets; on a padding count out of range, the length error
// to report.
bool Locate(const uint8_t* data, size_t size, CompoundLayout* layout, CompoundCheck* error)
{
    const size_t paddingCount = data[size - 1];
    const PacketWalk whole = WalkPackets(data, size);
    if (whole.reached == size && whole.packets > 0 && (data[whole.lastPacketStart] & kPaddingFlag) != 0) {
        const size_t lastPacketBody = size - whole.lastPacketStart - kCommonHeaderBytes;
        if (paddingCount == 0 || paddingCount > lastPacketBody) {
            *error = LengthError(size, size, paddingCount);
            return false;
        }
        *layout = {size, paddingCount};
        return true;
    }
    if ((data[0] & kPaddingFlag) != 0) {
        // At least the first packet's header stays in front of the padding.
        if (paddingCount == 0 || paddingCount > size - kCommonHeaderBytes) {
            *error = LengthError(0, size, paddingCount);
            return false;
        }
        *layout = {size - paddingCount, 0};
        return true;
    }
    *layout = {size, 0};
    return true;
}

}  // namespace

bool LocateCompound(const uint8_t* data, size_t size, CompoundLayout* layout)
{
    if (data == nullptr || size < kCommonHeaderBytes || layout == nullptr) {
        return false;
    }
    CompoundCheck error;
    return Locate(data, size, layout, &error);
}

bool CompoundEnd(const uint8_t* data, size_t size, size_t* end)
{
    CompoundLayout layout;
    if (end == nullptr || !LocateCompound(data, size, &layout)) {
        return false;
    }
    *end = layout.end;
    return true;
}

CompoundCheck CheckCompound(const uint8_t* data, size_t size)
{
    CompoundCheck result;
    if (data == nullptr || size < kCommonHeaderBytes) {
        return LengthError(0, size);
    }
    if (data[1] != kSenderReport && data[1] != kReceiverReport) {
        result.code = kCompoundBadFirstType;
        result.found = data[1];
        return result;
    }
    CompoundLayout layout;
    if (!Locate(data, size, &layout, &result)) {
        return result;
    }
    const PacketWalk walk = WalkPackets(data, layout.end);
    if (walk.badVersion >= 0) {
        result.code = kCompoundBadVersion;
        result.found = walk.badVersion;
        result.expected = kVersion;
        return result;
    }
    if (walk.reached != layout.end) {
        return LengthError(walk.reached, layout.end);
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
    // The last packet carries the RFC-form padding: its parser never sees it.
    if (bytes >= available && m_lastPacketPadding < packet->bytes) {
        packet->bytes -= m_lastPacketPadding;
    }
    m_position += bytes;
    return true;
}

}  // namespace rtcp
