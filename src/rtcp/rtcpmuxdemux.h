#pragma once
// RTP and RTCP on one port (RFC 5761, section 4). The second octet of an
// RTCP packet is its type; RTCP keeps 192-223 for itself, which an RTP
// header shows there as the marker bit and payload types 64-95. A stack that
// multiplexes therefore sorts a datagram by that octet alone and keeps those
// payload types out of its table.
//
// A stack that does not multiplex still recognises a whole RTCP compound on
// its RTP port (a peer that multiplexes sent it) so that it is never taken
// for media.
#include <cstddef>
#include <cstdint>

namespace rtcp {

inline constexpr uint8_t kFirstMultiplexedType = 192;
inline constexpr uint8_t kLastMultiplexedType = 223;
inline constexpr uint8_t kFirstCollidingPayloadType = 64;
inline constexpr uint8_t kLastCollidingPayloadType = 95;

// Under multiplexing: the datagram is RTCP (its second octet is 192-223).
bool IsMultiplexedRTCP(const uint8_t* data, size_t size);

// A payload type (64-95) that would read as RTCP on a multiplexed port.
bool CollidesWithMultiplexedRTCP(uint8_t payloadType);

// Without multiplexing: the datagram is a compound that passes every check
// of a received compound (version 2, an SR or RR first, lengths that end
// where the datagram ends). Never reads past `size`.
bool IsRTCPCompound(const uint8_t* data, size_t size);

}  // namespace rtcp
