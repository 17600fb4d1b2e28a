#pragma once
// The per-packet paths driven in memory, without a socket in the loop: the
// allocation counts of target 6 and the instruction count under callgrind.
#include <cstdint>
#include <memory>
#include <vector>

#include "stackchains.h"

class ZQMInputRTPStack;
class ZQFMediaSample;

namespace bench {

using Datagram = std::vector<uint8_t>;

// A 172-byte datagram as the bare sender sends it.
Datagram MakeDatagram(uint16_t seq);
// A sender report compound (SR + SDES CNAME) from `ssrc`.
Datagram MakeSenderReport(uint32_t ssrc);

// An "RTP in" wired to a bench sink, not started: datagrams are handed to
// its packet check and sequencing as the receiving thread would.
class InputHarness {
public:
    explicit InputHarness(uint16_t window);
    ~InputHarness();
    // One datagram through check and sequencing; false when refused.
    bool Feed(const Datagram& datagram);
    // The two halves of Feed: a pool sample holding the datagram as the
    // receiving loop leaves it, then the check and sequencing of it.
    ZQFMediaSample* Prepare(const Datagram& datagram);
    bool Process(ZQFMediaSample* sample);
    ZQMInputRTPStack& Stack() { return *m_stack; }
    const BenchSink& Sink() const { return *m_chain.sink; }

private:
    ZQFGraph m_graph;
    ReceiveChain m_chain;
    ZQMInputRTPStack* m_stack = nullptr;
};

}  // namespace bench
