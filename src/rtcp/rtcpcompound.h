#pragma once
// A compound RTCP datagram is a run of packets, each (length + 1) * 4 bytes
// long. When the first packet's padding flag is set, the datagram's last byte
// counts the padding bytes at its end (RFC 3550, 6.4.1).
#include <cstddef>
#include <cstdint>

#include "rtcp/rtcpcommonheader.h"

namespace rtcp {

enum CompoundCheckCode {
    kCompoundValid = 0,
    kCompoundBadVersion = 1,
    kCompoundBadFirstType = 2,
    kCompoundBadLength = 3,
};

struct CompoundCheck {
    int code = kCompoundValid;
    int found = 0;     // code 1: the version seen; code 2: the packet type seen;
                       // code 3: the offset the walk reached
    int expected = 0;  // code 1: 2; code 3: the offset where the compound ends
};

// The checks a received compound must pass before anything of it is applied:
// the first packet is an SR or RR, every packet has version 2, and the packet
// lengths end exactly where the compound ends. Never reads past `size`.
CompoundCheck CheckCompound(const uint8_t* data, size_t size);

// Where the compound's packets end, padding removed; false when the padding
// count does not fit in the datagram.
bool CompoundEnd(const uint8_t* data, size_t size, size_t* end);

// Walks the packets of a compound that passed CheckCompound.
class CompoundReader {
public:
    struct Packet {
        CommonHeader header;
        const uint8_t* data = nullptr;
        size_t bytes = 0;  // the packet's bytes, never past the compound's end
    };

    CompoundReader(const uint8_t* data, size_t end) : m_data(data), m_end(end) {}
    bool Next(Packet* packet);

private:
    const uint8_t* m_data;
    size_t m_end;
    size_t m_position = 0;
};

}  // namespace rtcp
