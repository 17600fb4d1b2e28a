#pragma once
// Goodbye with one source (RFC 3550, section 6.6):
//
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//  |V=2|P|  SC=1   |   PT=BYE=203  |           length=1            |  0
//  |                           SSRC/CSRC                           |  4
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
#include <cstddef>
#include <cstdint>

namespace rtcp {

class Bye {
public:
    static constexpr uint8_t kPacketType = 203;
    static constexpr size_t kBytes = 8;

    uint32_t ssrc = 0;

    size_t BlockLength() const { return kBytes; }
    size_t Create(uint8_t* buffer, size_t capacity) const;
    // Reads the first SSRC; false when the packet is too short for it.
    bool Parse(const uint8_t* packet, size_t packetBytes);
};

}  // namespace rtcp
