#pragma once
// Arithmetic on 16-bit RTP sequence numbers (RFC 3550, appendix A.1): 0
// follows 65535, distances are taken modulo 65536, and the number of wraps
// (cycles) extends the highest sequence number to 32 bits.
#include <cstdint>
#include <map>
#include <memory_resource>

class ZQFMediaSample;

namespace zqm {

inline uint16_t NextSeq(uint16_t seq) { return static_cast<uint16_t>(seq + 1); }

// How far `seq` lies ahead of `from` (negative: behind), modulo 65536.
inline int SeqDistance(uint16_t seq, uint16_t from) { return static_cast<int16_t>(static_cast<uint16_t>(seq - from)); }

// cycles x 65536 + max seq: the extended highest sequence number.
inline uint32_t ExtendedSeq(uint16_t cycles, uint16_t maxSeq) { return (static_cast<uint32_t>(cycles) << 16) | maxSeq; }

// Moves the highest sequence number to `seq`, keeping the cycle count in
// step with it: a move forward past 65535 adds a cycle, a move back across
// the wrap (a late packet released after the wrap) takes one back. A move
// back before the first cycle leaves the count at 0.
void MoveMaxSeq(uint16_t& maxSeq, uint16_t& cycles, uint16_t seq);

// Packets held in a source's reordering window, by sequence number (nodes
// from a pool, so that holding a packet does not allocate).
using HeldPackets = std::pmr::map<uint16_t, ZQFMediaSample*>;

// The held packet that comes first in sequence order as seen from
// `maxSeq` (the one furthest behind it), so that the order survives the
// wrap: from 65534, 65535 comes before 0. End when none is held.
HeldPackets::iterator EarliestHeld(HeldPackets& held, uint16_t maxSeq);

}  // namespace zqm
