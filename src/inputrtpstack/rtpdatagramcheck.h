#pragma once
// What the receiving stack accepts of a datagram on its RTP port, before it
// looks at sources: the fixed header (see zqmrtpheader.h), the CSRC list it
// skips and the padding it removes. Nothing is read past the datagram.
#include <cstddef>
#include <cstdint>

#include "zqmrtpheader.h"

namespace rtp {

enum class DatagramFault {
    None,
    Version,      // V is not 2
    Extension,    // X is 1: header extensions are not supported
    HeaderLength, // shorter than the fixed header and its CSRC list
    Padding,      // the padding count exceeds the payload
    PayloadType,  // PT 72 or 73: the place where RTCP SR and RR show their type
};

struct ReceivedDatagram {
    FixedHeader header;
    DatagramFault fault = DatagramFault::None;
    size_t paddingBytes = 0;  // to remove from the payload (0 without padding)
};

// Checks a datagram of `size` bytes in the order the faults are answered:
// length of the fixed header, version, extension, CSRC list, padding,
// payload type. `header` is filled as far as the bytes allow.
ReceivedDatagram CheckReceivedDatagram(const uint8_t* data, size_t size);

}  // namespace rtp
