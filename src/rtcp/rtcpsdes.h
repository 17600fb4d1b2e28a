#pragma once
// Source description with one chunk and one CNAME item (RFC 3550, 6.5):
//
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//  |V=2|P|  SC=1   |  PT=SDES=202  |             length            |  0
//  |                          SSRC/CSRC_1                          |  4
//  |    CNAME=1    |     length    | user and domain name        ...  8
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//
// The item list ends with at least one zero byte and the packet with a
// 32-bit boundary: pad = 4 - ((L + 10) mod 4), 1 to 4 zero bytes.
// On input only the first item of the first chunk is read.
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace rtcp {

class Sdes {
public:
    static constexpr uint8_t kPacketType = 202;
    static constexpr uint8_t kCnameItem = 1;
    static constexpr size_t kMaxItemBytes = 255;

    uint32_t ssrc = 0;
    uint8_t itemType = kCnameItem;
    // Points into the caller's text (Create) or into the parsed packet (Parse).
    std::string_view text;

    static size_t PaddingFor(size_t textBytes) { return 4 - ((textBytes + 10) % 4); }
    size_t BlockLength() const { return 10 + text.size() + PaddingFor(text.size()); }
    // Texts longer than 255 bytes are refused (0).
    size_t Create(uint8_t* buffer, size_t capacity) const;
    // False when the packet is too short for the chunk's SSRC, the item
    // header or the item text.
    bool Parse(const uint8_t* packet, size_t packetBytes);
};

}  // namespace rtcp
