#pragma once
// Arithmetic on 16-bit RTP sequence numbers: 0 follows 65535 and distances
// are taken modulo 65536. The receiving stack's delivery order is built on
// these; the statistics' own bookkeeping is in rtpreceptionstatistics.h.
#include <bitset>
#include <cstdint>
#include <map>
#include <memory_resource>

class ZQFMediaSample;

namespace zqm {

inline uint16_t NextSeq(uint16_t seq) { return static_cast<uint16_t>(seq + 1); }

// How far `seq` lies ahead of `from` (negative: behind), modulo 65536.
inline int SeqDistance(uint16_t seq, uint16_t from) { return static_cast<int16_t>(static_cast<uint16_t>(seq - from)); }

// Packets held in a source's reordering window, by sequence number (nodes
// from a pool, so that holding a packet does not allocate).
using HeldPackets = std::pmr::map<uint16_t, ZQFMediaSample*>;

// The held packet that comes first in sequence order as seen from
// `maxSeq` (the one furthest behind it), so that the order survives the
// wrap: from 65534, 65535 comes before 0. End when none is held.
HeldPackets::iterator EarliestHeld(HeldPackets& held, uint16_t maxSeq);

// The first held packet ahead of `maxSeq` (1 to 32767 ahead), in sequence
// order; end when none is.
HeldPackets::iterator EarliestHeldAhead(HeldPackets& held, uint16_t maxSeq);

// Which of the last kSpan sequence numbers up to the delivery point went
// downstream, so that a repeat of any of them is recognised as a duplicate
// and the other numbers behind the point as late.
class DeliveredHistory {
public:
    static constexpr int kSpan = 1024;

    // The delivery point moved from `from` to `to`: numbers skipped on the
    // way were not delivered. A move back, or a jump beyond the span,
    // forgets everything before `to`.
    void Advance(uint16_t from, uint16_t to);
    // `seq` lies within the span behind (or at) `point` and was delivered.
    bool WasDelivered(uint16_t seq, uint16_t point) const;
    void Clear() { m_bits.reset(); }

private:
    static size_t Slot(uint16_t seq) { return seq % kSpan; }

    std::bitset<kSpan> m_bits;
};

}  // namespace zqm
