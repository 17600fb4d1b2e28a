#pragma once
// RTCP common header (RFC 3550, section 6.4):
//
//   0                   1                   2                   3
//   0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//  |V=2|P|  count  |       PT      |             length            |
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//
// count is the report count (SR, RR), the source count (SDES, BYE) or the
// feedback message type (RFC 4585); length is in 32-bit words minus one.
#include <cstddef>
#include <cstdint>

namespace rtcp {

enum PacketType : uint8_t {
    kSenderReport = 200,
    kReceiverReport = 201,
    kSourceDescription = 202,
    kGoodbye = 203,
    kApplication = 204,
    kTransportFeedback = 205,
    kPayloadFeedback = 206,
};

constexpr size_t kCommonHeaderBytes = 4;
constexpr uint8_t kVersion = 2;

struct CommonHeader {
    uint8_t version = 0;
    bool padding = false;
    uint8_t count = 0;
    uint8_t packetType = 0;
    uint16_t lengthWords = 0;  // the length field as sent

    // Bytes of the whole packet, header included: (length + 1) * 4.
    size_t PacketBytes() const { return (static_cast<size_t>(lengthWords) + 1) * 4; }
};

// Reads the header at `data`; false when fewer than 4 bytes are there.
bool ReadCommonHeader(const uint8_t* data, size_t size, CommonHeader* header);

// Writes a version-2 header without padding for a packet of `packetBytes`
// bytes (a multiple of 4, at least 4).
void WriteCommonHeader(uint8_t* data, uint8_t count, uint8_t packetType, size_t packetBytes);

}  // namespace rtcp
