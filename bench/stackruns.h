#pragma once
// The stack on its two packet paths, one run each, as the measurements take
// them: "RTP out" sending as fast as one thread can to a bare reader, and
// "RTP in" receiving what a sender thread blasts at it or what waits queued
// in its socket; in the clear or with SRTP.
#include <cstdint>
#include <functional>

#include "bare.h"
#include "benchsink.h"
#include "datagrambatch.h"

namespace bench {

enum class Protection { Clear, Srtp };

void SleepMs(int ms);
// Waits until `sink` has `count` packets or nothing came for half a second.
void WaitDelivered(const BenchSink& sink, uint64_t count);

// `count` frames pushed into a started "stock source -> RTP out" sending to
// 127.0.0.1:`port`; CPU of the pushing thread, which carries each packet
// down to the socket (`read` is left at 0).
bare_send_result OurSend(int port, uint64_t count, Protection protection);
// The same towards a bare reader of its own, and what it read.
bare_send_result OurSendRate(uint64_t count, Protection protection);

struct ReceiveRun {
    // OurReceive: process CPU minus the sender's, per delivered datagram;
    // OurReceiveQueued: the receiving thread's own.
    double cpuNsPerDatagram = 0;
    uint64_t delivered = 0;
    uint64_t outOfOrder = 0;
    // Measured on datagrams read queued only: the receiving thread's
    // operator new calls, and the process's heap calls when counted.
    double allocationsPerDatagram = 0;
    double heapCallsPerDatagram = 0;
};
// A started "RTP in -> bench sink" (4 MB socket buffer, `window`) takes
// `count` datagrams from `blast(port)`, which sends them from its own thread
// and answers that thread's CPU.
ReceiveRun OurReceive(uint64_t count, int window, const std::function<uint64_t(int port)>& blast);
// The same chain (window 0) reading `batch` queued: its first datagram is
// held in the sink while the others are sent, then all of them are read one
// after another, without a wait between two. CPU and allocations of the
// receiving thread per datagram after datagram `measuredFrom` (from 1).
ReceiveRun OurReceiveQueued(const DatagramBatch& batch, Protection protection, uint64_t measuredFrom = 1);

}  // namespace bench
