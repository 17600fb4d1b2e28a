#pragma once
// Bare programs with SRTP: what libsrtp costs a program that does nothing
// else, in the same circumstances as the stack (a system call, and the
// kernel's work, between two packets). A sender protects each datagram just
// before its sendto, a receiver checks each one just after its recv; each
// also runs with the protection left out, so that the difference is
// libsrtp's cost in such a loop.
#include <cstdint>

#include "datagrambatch.h"

namespace bench {

// Thread CPU per packet of a bare sendto loop of `count` datagrams to
// 127.0.0.1:`port` (where a bare reader reads), each protected first when
// `protect`.
double BareSrtpSendCpuNs(int port, uint64_t count, bool protect);

struct BareReceiveResult {
    double cpuNsPerDatagram = 0;  // thread CPU per datagram read
    uint64_t delivered = 0;
    uint64_t outOfOrder = 0;
};
// A bare receiver reading `batch`, all queued in its socket beforehand, one
// recv a datagram, each unprotected before the order and payload check when
// `protect` (the batch is then protected).
BareReceiveResult BareReceiveQueued(const DatagramBatch& batch, bool protect);

}  // namespace bench
