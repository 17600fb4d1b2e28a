#include "inputrtpstack/rtpsequencenumbers.h"

namespace zqm {

void MoveMaxSeq(uint16_t& maxSeq, uint16_t& cycles, uint16_t seq)
{
    const int64_t extended = static_cast<int64_t>(ExtendedSeq(cycles, maxSeq)) + SeqDistance(seq, maxSeq);
    // The low 16 bits of `extended` are `seq`; the rest are the cycles.
    cycles = extended < 0 ? 0 : static_cast<uint16_t>(extended >> 16);
    maxSeq = seq;
}

HeldPackets::iterator EarliestHeld(HeldPackets& held, uint16_t maxSeq)
{
    // Seen from maxSeq, the furthest-behind number is maxSeq + 32768; from
    // there the plain order runs forward, wrapping at 65535.
    const auto first = held.lower_bound(static_cast<uint16_t>(maxSeq + 32768));
    return first != held.end() ? first : held.begin();
}

}  // namespace zqm
