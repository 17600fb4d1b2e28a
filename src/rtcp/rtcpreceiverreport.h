#pragma once
// Receiver report with one report block (RFC 3550, section 6.4.2):
//
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//  |V=2|P|  RC=1   |   PT=RR=201   |           length=7            |  0
//  |                     SSRC of packet sender                     |  4
//  +=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+
//  |                 SSRC_1 (SSRC of first source)                 |  8
//  | fraction lost |       cumulative number of packets lost       | 12
//  |           extended highest sequence number received           | 16
//  |                      interarrival jitter                      | 20
//  |                         last SR (LSR)                         | 24
//  |                   delay since last SR (DLSR)                  | 28
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//
// Only the first report block is read on input; further blocks are skipped.
// The cumulative loss is a signed 24-bit number.
#include <cstddef>
#include <cstdint>

namespace rtcp {

struct ReportBlock {
    uint32_t sourceSsrc = 0;
    uint8_t fractionLost = 0;     // 1/256 units
    // Signed 24 bits on the wire: duplicates can make it negative, and some
    // peers send -1 (0xFFFFFF) on a clean stream. Parse sign-extends it.
    int32_t cumulativeLost = 0;
    uint32_t extendedHighestSequence = 0;
    uint32_t jitter = 0;  // RTP timestamp units
    uint32_t lastSenderReport = 0;
    uint32_t delaySinceLastSenderReport = 0;  // 1/65536 s
};

class ReceiverReport {
public:
    static constexpr uint8_t kPacketType = 201;
    static constexpr size_t kBytes = 32;

    uint32_t senderSsrc = 0;
    ReportBlock block;

    size_t BlockLength() const { return kBytes; }
    size_t Create(uint8_t* buffer, size_t capacity) const;
    // False when the packet holds no report block or is too short for one.
    bool Parse(uint8_t reportCount, const uint8_t* packet, size_t packetBytes);
};

}  // namespace rtcp
