#pragma once
// A few threads that wait on the sockets of many stacks at once, instead of
// a thread (or two) per stack: each thread has an epoll set of the sockets
// of its clients and a timer that ticks them. A client is served by one
// thread at a time, so its callbacks never run concurrently with each other.
//
// Threads are added by load, up to a limit (default one per core): one
// thread serves every client until it is busy for more than a share of a
// core over a second (kSpreadShare); it then hands every other client to a
// new thread (at the limit, to one less than half as busy), and new
// clients go to the least busy thread. One thread
// serving many streams wakes once per batch for all of them; two threads
// each wake as often for half as many. Threads end when the last client
// leaves (from outside a callback; otherwise they stay until the service
// ends). A thread without clients sleeps without a timer.
//
// Locks: the service lock guards the set of threads, the client count and
// which thread serves a client (taken over a hand-over and over finding and
// removing a client); a thread's own lock guards its tables and what it is
// running. Order: the service lock, then a thread's lock. Neither is held
// while waiting for a callback. Both are leaves with respect to the stacks:
// the service calls clients back holding neither, and a client unregisters
// without holding any lock its callbacks take (the stack lock in
// particular), since Unregister waits for a running callback.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

namespace zqm {

class ReceiveClient {
public:
    // `descriptor` is readable: read at most `budget` datagrams without
    // blocking. What is left stays readable and is reported again in the
    // thread's next look, which comes at once: first one datagram (a paced
    // stream holds one, and a read that finds the socket empty costs as much
    // as one that finds a datagram), then, for a socket still readable after
    // that, kBacklogBudget.
    virtual void OnReadable(int descriptor, int budget) = 0;
    // About every ReceiveService::kTickMs while registered.
    virtual void OnTick() = 0;

protected:
    ~ReceiveClient() = default;
};

class ReceiveService {
public:
    static constexpr int kTickMs = 100;
    // Datagrams a client reads from a socket with a backlog before the
    // thread serves the others again.
    static constexpr int kBacklogBudget = 32;
    // A thread busier than this share of a core over a second hands half its
    // clients to a new thread (when the limit allows).
    static constexpr double kSpreadShare = 0.5;

    // At most `maxThreads` threads (0: one per core), added when the busy
    // ones exceed `spreadShare` of a core.
    explicit ReceiveService(size_t maxThreads = 0, double spreadShare = kSpreadShare);
    ~ReceiveService();
    ReceiveService(const ReceiveService&) = delete;
    ReceiveService& operator=(const ReceiveService&) = delete;

    // The process's service, shared by every stack that asks for it.
    static ReceiveService& Shared();

    // Serves `client` on the least busy thread (a new one when every thread
    // is busy and the limit allows). False (nothing registered) when a
    // descriptor is already registered or the system refuses.
    bool Register(ReceiveClient* client, std::span<const int> descriptors);
    // After this returns, no callback of `client` runs or will run; a
    // running one is waited for, unless this is called from it.
    void Unregister(ReceiveClient* client);

    size_t ThreadCount() const;
    size_t ClientCount() const;

    // Room of the calling thread's own for a datagram read to be dropped or
    // parsed where it lies (RTCP), made on the thread's first call. On the
    // heap rather than in thread-local storage: every thread of the process
    // would otherwise carry (and touch) it, the stacks' own threads too.
    static constexpr int kScratchBytes = 32768;
    static uint8_t* ScratchBuffer();

private:
    class Worker;

    Worker* PickWorker();
    // Called by `busy` on its own thread, between its callbacks: hands every
    // other client of it to a new thread, or at the limit to a thread less
    // than half as busy.
    void Spread(Worker& busy);

    size_t m_maxThreads;
    double m_spreadShare;
    mutable std::mutex m_mutex;  // the service lock
    std::vector<std::unique_ptr<Worker>> m_workers;
    size_t m_clients = 0;
};

}  // namespace zqm
