#pragma once
// One thread of the receive service: an epoll set of its clients' sockets,
// an eventfd that wakes it to stop, and a timerfd that ticks its clients
// (armed only while it has any). Under load it serves its sockets in
// batches (see BatchPacer). At each tick it measures how busy it was; once
// busier than the spread share over a second, it asks the service to take
// half its clients to a new thread.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <optional>
#include <span>
#include <thread>
#include <unordered_map>
#include <vector>

#include "service/batchpacer.h"
#include "service/receiveservice.h"

struct epoll_event;

namespace zqm {

class ReceiveService::Worker {
public:
    Worker(ReceiveService& service, double spreadShare);
    ~Worker();  // stops and joins the thread
    Worker(const Worker&) = delete;
    Worker& operator=(const Worker&) = delete;

    // False when the thread or its descriptors could not be made.
    bool IsUsable() const { return m_thread.joinable(); }
    bool Add(ReceiveClient* client, std::span<const int> descriptors);
    // False when the client is not served here. No callback of it starts
    // after this; one may be running (see WaitUntilNotRunning).
    bool Remove(ReceiveClient* client);
    // Returns once no callback of `client` runs here, at once when called
    // on this worker's thread (from the callback itself).
    void WaitUntilNotRunning(ReceiveClient* client);
    // Moves every other client to `to`. On this worker's thread, between
    // callbacks, under the service lock.
    void HandOverHalf(Worker& to);
    // The share of a core the thread used over its last measured second.
    double BusyShare() const { return m_busyShare.load(std::memory_order_relaxed); }
    bool HasDescriptor(int descriptor) const;
    size_t ClientCount() const;
    // Whether the calling thread is a worker's (of any service).
    static bool IsWorkerThread();

private:
    struct Registration {
        ReceiveClient* client;
        int descriptor;
    };

    void Run();
    // Waits as `pacer` says; the number of events written to `events`.
    int Wait(const BatchPacer& pacer, epoll_event* events);
    // Serves the `ready` events; the number of client sockets served.
    int Handle(const epoll_event* events, int ready, int budget);
    void Serve(uint64_t registration, int budget);
    void Tick();
    // At each tick: the thread's CPU time over the last second.
    void MeasureLoad();
    // A callback marks its client running (under the lock, after checking
    // it is still served) so that Remove waits for it; this ends the mark.
    void EndCallback();
    void ArmTimer(bool on);
    void RemoveDescriptor(int descriptor);
    // The tables' part of Remove, under the worker's lock: the client's
    // descriptors, none when it is not served here.
    std::optional<std::vector<int>> Detach(ReceiveClient* client);

    ReceiveService& m_service;
    const double m_spreadShare;
    std::atomic<double> m_busyShare{0.0};
    uint64_t m_windowStartNs = 0;     // the thread's own: the load window
    uint64_t m_windowStartCpuNs = 0;
    bool m_spreadWanted = false;
    int m_epoll = -1;
    int m_wake = -1;
    int m_timer = -1;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;  // the worker's lock: the tables below
    std::condition_variable m_callbackEnded;
    std::unordered_map<uint64_t, Registration> m_registrations;
    std::unordered_map<ReceiveClient*, std::vector<uint64_t>> m_clients;
    uint64_t m_nextRegistration = 1;
    ReceiveClient* m_running = nullptr;
    std::vector<ReceiveClient*> m_tickList;  // the thread's own, reused
    std::thread m_thread;
};

}  // namespace zqm
