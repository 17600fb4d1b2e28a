#pragma once
// RTP fixed header (RFC 3550, section 5.1):
//
//   0                   1                   2                   3
//   0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1 2 3 4 5 6 7 8 9 0 1
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//  |V=2|P|X|  CC   |M|     PT      |       sequence number         |  0
//  |                           timestamp                           |  4
//  |           synchronization source (SSRC) identifier            |  8
//  +=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+=+
//  |            contributing source (CSRC) identifiers             | 12
//  |                             ....                              |
//  +-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+-+
//
// The receiving side reads it, the sending side writes it; neither parses or
// writes a header extension or a CSRC list.
#include <cstddef>
#include <cstdint>

namespace rtp {

constexpr size_t kFixedHeaderBytes = 12;
constexpr uint8_t kVersion = 2;

struct FixedHeader {
    uint8_t version = 0;
    bool padding = false;
    bool extension = false;
    uint8_t csrcCount = 0;
    bool marker = false;
    uint8_t payloadType = 0;
    uint16_t sequenceNumber = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = 0;

    // Where the payload starts: after the fixed header and the CSRC list.
    size_t PayloadOffset() const { return kFixedHeaderBytes + 4u * csrcCount; }
};

// False when fewer than 12 bytes are there.
bool ReadFixedHeader(const uint8_t* data, size_t size, FixedHeader* header);

// Writes a complete fixed header: version 2, no padding, no extension, no
// CSRC.
void WriteFixedHeader(uint8_t* data, bool marker, uint8_t payloadType, uint16_t sequenceNumber,
                      uint32_t timestamp, uint32_t ssrc);

// For a header that another module wrote (forward error correction): only
// the payload type (marker bit kept) and the SSRC change.
void WritePayloadTypeAndSsrc(uint8_t* data, uint8_t payloadType, uint32_t ssrc);

}  // namespace rtp
