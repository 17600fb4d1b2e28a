#pragma once
// Sender report (RFC 3550, section 6.4.1), without report blocks:
//
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//  |V=2|P|    RC   |   PT=SR=200   |             length            |  0
//  |                         SSRC of sender                        |  4
//  |              NTP timestamp, most significant word             |  8
//  |             NTP timestamp, least significant word             | 12
//  |                         RTP timestamp                         | 16
//  |                     sender's packet count                     | 20
//  |                      sender's octet count                     | 24
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//
// We send NTP time in the two timestamp words (seconds since 1900, binary
// fraction), as RFC 3550 peers do; older senders of this system put seconds
// since 1970 and nanoseconds there (see zqmrtpreporttime.h). Report blocks
// that follow on input are not read.
#include <cstddef>
#include <cstdint>

namespace rtcp {

class SenderReport {
public:
    static constexpr uint8_t kPacketType = 200;
    static constexpr size_t kBytes = 28;

    uint32_t senderSsrc = 0;
    uint32_t timestampHigh = 0;
    uint32_t timestampLow = 0;
    uint32_t rtpTimestamp = 0;
    uint32_t packetCount = 0;
    uint32_t octetCount = 0;

    size_t BlockLength() const { return kBytes; }
    // Writes the packet; answers the bytes written, 0 when it does not fit.
    size_t Create(uint8_t* buffer, size_t capacity) const;
    // Reads a packet of `packetBytes` bytes; false when it is too short.
    bool Parse(const uint8_t* packet, size_t packetBytes);
};

}  // namespace rtcp
