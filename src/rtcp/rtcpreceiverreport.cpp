#include "rtcp/rtcpreceiverreport.h"

#include "rtcp/rtcpcommonheader.h"
#include "zqmbyteio.h"

namespace rtcp {

namespace {

int32_t SignExtend24(uint32_t value)
{
    return static_cast<int32_t>(value << 8) >> 8;
}

}  // namespace

size_t ReceiverReport::Create(uint8_t* buffer, size_t capacity) const
{
    if (buffer == nullptr || capacity < kBytes) {
        return 0;
    }
    WriteCommonHeader(buffer, 1, kPacketType, kBytes);
    BigEndian::Write32(buffer + 4, senderSsrc);
    BigEndian::Write32(buffer + 8, block.sourceSsrc);
    buffer[12] = block.fractionLost;
    BigEndian::Write24(buffer + 13, static_cast<uint32_t>(block.cumulativeLost) & 0xFFFFFFu);
    BigEndian::Write32(buffer + 16, block.extendedHighestSequence);
    BigEndian::Write32(buffer + 20, block.jitter);
    BigEndian::Write32(buffer + 24, block.lastSenderReport);
    BigEndian::Write32(buffer + 28, block.delaySinceLastSenderReport);
    return kBytes;
}

bool ReceiverReport::Parse(uint8_t reportCount, const uint8_t* packet, size_t packetBytes)
{
    if (packet == nullptr || reportCount == 0 || packetBytes < kBytes) {
        return false;
    }
    senderSsrc = BigEndian::Read32(packet + 4);
    block.sourceSsrc = BigEndian::Read32(packet + 8);
    block.fractionLost = packet[12];
    block.cumulativeLost = SignExtend24(BigEndian::Read24(packet + 13));
    block.extendedHighestSequence = BigEndian::Read32(packet + 16);
    block.jitter = BigEndian::Read32(packet + 20);
    block.lastSenderReport = BigEndian::Read32(packet + 24);
    block.delaySinceLastSenderReport = BigEndian::Read32(packet + 28);
    return true;
}

}  // namespace rtcp
