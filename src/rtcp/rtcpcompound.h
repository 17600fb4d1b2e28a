#pragma once
// A compound RTCP datagram is a run of packets, each (length + 1) * 4 bytes
// long (RFC 3550, 6.1). Padding comes in two forms, both accepted:
//
//  - RFC 3550 (6.4.1): the LAST packet has its padding flag set and its
//    length counts the padding; the datagram's last byte is the padding
//    count, 1 up to the bytes of that packet after its header.
//  - The form older senders of this system used: the FIRST packet has the
//    flag, the lengths leave the padding out, and the packets end where
//    the datagram's last byte (1 up to the datagram less a header) says.
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
    int expected = 0;  // code 1: 2; code 3: the offset where the packets
                       // should end (the datagram less its padding count)
};

// Where the packets of a compound lie.
struct CompoundLayout {
    size_t end = 0;                // the packets end here (old form: padding removed)
    size_t lastPacketPadding = 0;  // RFC form: padding bytes inside the last packet
};

// The checks a received compound must pass before anything of it is applied:
// the first packet is an SR or RR, every packet has version 2, the padding
// count fits its form and the packet lengths end exactly where the compound
// ends. Never reads past `size`.
CompoundCheck CheckCompound(const uint8_t* data, size_t size);

// The layout of a compound's packets by its padding form; false when the
// padding count is 0 or larger than what it may cover.
bool LocateCompound(const uint8_t* data, size_t size, CompoundLayout* layout);

// Where the compound's packets end (LocateCompound's end). A reader built
// on it alone leaves RFC-form padding inside the last packet.
bool CompoundEnd(const uint8_t* data, size_t size, size_t* end);

// Walks the packets of a compound that passed CheckCompound.
class CompoundReader {
public:
    struct Packet {
        CommonHeader header;
        const uint8_t* data = nullptr;
        size_t bytes = 0;  // the packet's bytes without padding, never past the compound's end
    };

    CompoundReader(const uint8_t* data, size_t end) : m_data(data), m_end(end) {}
    CompoundReader(const uint8_t* data, const CompoundLayout& layout)
        : m_data(data), m_end(layout.end), m_lastPacketPadding(layout.lastPacketPadding)
    {
    }
    bool Next(Packet* packet);

private:
    const uint8_t* m_data;
    size_t m_end;
    size_t m_lastPacketPadding = 0;
    size_t m_position = 0;
};

}  // namespace rtcp
