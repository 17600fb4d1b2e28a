#pragma once
// Full intra request: payload-specific feedback, format 4 (RFC 4585 6.1,
// RFC 5104 4.3.1), with one FCI entry:
//
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//  |V=2|P|  FMT=4  |   PT=PSFB=206 |           length=4            |  0
//  |                  SSRC of packet sender                        |  4
//  |                  SSRC of media source                         |  8
//  |                              SSRC                             | 12
//  | Seq nr.       |    Reserved                                   | 16
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//
// On input only the format and the packet sender are read (any 205/206
// feedback packet carries them).
#include <cstddef>
#include <cstdint>

namespace rtcp {

class Fir {
public:
    static constexpr uint8_t kPacketType = 206;
    static constexpr uint8_t kFormat = 4;
    static constexpr size_t kBytes = 20;

    uint32_t senderSsrc = 0;
    uint32_t mediaSsrc = 0;
    uint32_t fciSsrc = 0;
    uint8_t sequenceNumber = 0;

    size_t BlockLength() const { return kBytes; }
    size_t Create(uint8_t* buffer, size_t capacity) const;
};

// The sender SSRC of a feedback packet (types 205 and 206); false when the
// packet is too short for it.
bool ReadFeedbackSender(const uint8_t* packet, size_t packetBytes, uint32_t* senderSsrc);

}  // namespace rtcp
