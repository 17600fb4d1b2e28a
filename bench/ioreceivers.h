#pragma once
// Three ways for one thread to receive from many UDP sockets at once, as a
// receive service thread would: epoll and one recvfrom per datagram (what
// the service does), epoll and recvmmsg, and io_uring multishot recvmsg
// with a ring of provided buffers. Each reads up to 32 datagrams per ready
// socket, takes the sender's address with each, and looks at the bytes.
#include <atomic>
#include <cstdint>
#include <vector>

#include "bare.h"

namespace bench {

constexpr int kIoDatagramsPerTurn = 32;
constexpr int kIoBufferBytes = 2048;

struct IoRun {
    std::vector<int> sockets;  // bound, non-blocking
    int stopDescriptor = -1;   // an eventfd: readable once the run is over
    // Set by the receiving thread: 1 when it waits on every socket, -1 when
    // it cannot (the run is void).
    std::atomic<int> state{0};
    std::atomic<uint64_t> received{0};  // datagrams of the expected size
    uint64_t malformed = 0;             // other sizes, truncated ones
    uint64_t rearmed = 0;               // io_uring: multishot receives armed again
    uint64_t wakeups = 0;               // returns from the wait
    // One-way latencies in µs (send stamp to the first look), in room
    // reserved before the run.
    std::vector<double> latenciesUs;
};

// Each runs on the calling thread until `run.stopDescriptor` is readable.
void ReceiveWithEpollRecvfrom(IoRun& run);
void ReceiveWithEpollRecvmmsg(IoRun& run);
// Not a way the service reads today: epoll + recvmmsg woken by a 1 ms tick
// instead of by the datagrams (at most a tick of added latency).
void ReceiveWithTickedEpollRecvmmsg(IoRun& run);
// Sets state -1 and returns when io_uring cannot be used (not built in,
// or refused by the kernel).
void ReceiveWithUringMultishot(IoRun& run);
bool UringBuiltIn();

// The first look the stack's receiving path takes: the size and the RTP
// version, which reads the datagram where it landed; then its latency.
inline void Tally(IoRun& run, const uint8_t* datagram, long size, uint64_t& counted)
{
    if (size != BARE_DATAGRAM_BYTES || (datagram[0] & 0xc0) != 0x80) {
        ++run.malformed;
        return;
    }
    ++counted;
    if (run.latenciesUs.size() < run.latenciesUs.capacity()) {
        const uint64_t stamp = bare_payload_stamp(datagram + BARE_HEADER_BYTES);
        run.latenciesUs.push_back(static_cast<double>(bare_now_ns() - stamp) / 1000.0);
    }
}

}  // namespace bench
