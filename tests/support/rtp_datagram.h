#pragma once
// RTP datagrams as a peer would send them, and big-endian words read back
// from what the stacks sent.
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <vector>

namespace testsupport {

constexpr uint32_t kPeerSsrc = 0x11223344;
inline constexpr uint8_t kDefaultPayload[] = {0xA1, 0xA2, 0xA3, 0xA4};

struct RtpPacket {
    uint8_t version = 2;
    bool extension = false;
    uint8_t csrcCount = 0;
    bool marker = false;
    uint8_t payloadType = 8;  // PCMA
    uint16_t seq = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = kPeerSsrc;
    std::vector<uint8_t> payload = std::vector<uint8_t>(std::begin(kDefaultPayload), std::end(kDefaultPayload));
    uint8_t paddingCount = 0;  // > 0: padding bit set, this many bytes added

    std::vector<uint8_t> Encode() const
    {
        std::vector<uint8_t> bytes = {
            static_cast<uint8_t>((version << 6) | (paddingCount ? 0x20 : 0) | (extension ? 0x10 : 0) |
                                 (csrcCount & 0x0F)),
            static_cast<uint8_t>((marker ? 0x80 : 0) | (payloadType & 0x7F)), static_cast<uint8_t>(seq >> 8),
            static_cast<uint8_t>(seq)};
        for (uint32_t word : {timestamp, ssrc}) {
            for (int shift = 24; shift >= 0; shift -= 8) {
                bytes.push_back(static_cast<uint8_t>(word >> shift));
            }
        }
        bytes.resize(bytes.size() + 4u * csrcCount, 0xC5);
        bytes.insert(bytes.end(), payload.begin(), payload.end());
        if (paddingCount > 0) {
            bytes.resize(bytes.size() + paddingCount - 1, 0);
            bytes.push_back(paddingCount);
        }
        return bytes;
    }
};

// Packet `seq` of a 20 ms stream.
inline std::vector<uint8_t> Packet(uint16_t seq, uint32_t ssrc = kPeerSsrc, uint8_t payloadType = 8)
{
    RtpPacket packet;
    packet.seq = seq;
    packet.ssrc = ssrc;
    packet.payloadType = payloadType;
    packet.timestamp = 160u * seq;
    return packet.Encode();
}

// The big-endian word at `offset`; 0 past the end.
inline uint32_t Word(const std::vector<uint8_t>& bytes, size_t offset)
{
    if (offset > bytes.size() || bytes.size() - offset < 4) {
        return 0;
    }
    return (uint32_t{bytes[offset]} << 24) | (uint32_t{bytes[offset + 1]} << 16) |
           (uint32_t{bytes[offset + 2]} << 8) | bytes[offset + 3];
}

// Big-endian words as bytes: RTCP packets written out by hand.
inline std::vector<uint8_t> Words(std::initializer_list<uint32_t> words)
{
    std::vector<uint8_t> bytes;
    for (uint32_t word : words) {
        for (int shift = 24; shift >= 0; shift -= 8) {
            bytes.push_back(static_cast<uint8_t>(word >> shift));
        }
    }
    return bytes;
}

}  // namespace testsupport
