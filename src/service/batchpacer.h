#pragma once
// When a receive service thread waits next, and how: blocked until a socket
// is readable, or asleep until the next batch instant and then a look at
// every socket without waiting.
//
// Woken by each datagram, a thread serving many quiet streams pays a
// wake-up (and its sender the waking) per datagram. Once datagrams come
// faster than one a batch period, the thread instead sleeps to the next
// batch instant and serves all that came meanwhile in one turn: fewer
// wake-ups for at most one period of added delay. A look that finds
// nothing ends the batching, so a thread whose streams go quiet blocks
// again, and a lone slow stream is never delayed. (What is still ready at
// the end of a turn is the turn's own business: see ReceiveService::Worker.)
#include <cstdint>

namespace zqm {

class BatchPacer {
public:
    static constexpr uint64_t kBatchPeriodNs = 1000000;  // 1 ms

    enum class Wait { Block, SleepThenLook };

    // How the next wait is done.
    Wait Next() const;
    // The instant to sleep until when Next() is SleepThenLook (monotonic ns).
    uint64_t WakeAt() const { return m_wakeAt; }

    // What the last turn, ending at `nowNs`, served: `served` socket events.
    void Record(uint64_t nowNs, int served);

private:
    bool m_batching = false;
    bool m_servedBefore = false;
    uint64_t m_lastServedNs = 0;
    uint64_t m_wakeAt = 0;
};

}  // namespace zqm
