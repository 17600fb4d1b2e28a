#include "inputrtpstack/rtpsequencenumbers.h"

namespace zqm {

HeldPackets::iterator EarliestHeld(HeldPackets& held, uint16_t maxSeq)
{
    // Seen from maxSeq, the furthest-behind number is maxSeq + 32768; from
    // there the plain order runs forward, wrapping at 65535.
    const auto first = held.lower_bound(static_cast<uint16_t>(maxSeq + 32768));
    return first != held.end() ? first : held.begin();
}

HeldPackets::iterator EarliestHeldAhead(HeldPackets& held, uint16_t maxSeq)
{
    // Ahead of maxSeq lie maxSeq + 1 up to 65535, then 0 up (after a wrap).
    const auto above = held.upper_bound(maxSeq);
    if (above != held.end() && SeqDistance(above->first, maxSeq) > 0) {
        return above;
    }
    const auto wrapped = held.begin();
    if (wrapped != held.end() && wrapped->first < maxSeq && SeqDistance(wrapped->first, maxSeq) > 0) {
        return wrapped;
    }
    return held.end();
}

void DeliveredHistory::Advance(uint16_t from, uint16_t to)
{
    const int ahead = SeqDistance(to, from);
    if (ahead <= 0 || ahead >= kSpan) {
        m_bits.reset();
    } else {
        for (uint16_t skipped = NextSeq(from); skipped != to; skipped = NextSeq(skipped)) {
            m_bits.reset(Slot(skipped));
        }
    }
    m_bits.set(Slot(to));
}

bool DeliveredHistory::WasDelivered(uint16_t seq, uint16_t point) const
{
    const int behind = SeqDistance(point, seq);
    return behind >= 0 && behind < kSpan && m_bits.test(Slot(seq));
}

}  // namespace zqm
