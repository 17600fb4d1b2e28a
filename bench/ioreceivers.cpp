// The epoll receivers. Level-triggered, as the receive service's: a socket
// left with datagrams after its turn is reported again by the next wait.
#include <netinet/in.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <array>

#include "ioreceivers.h"

namespace bench {
namespace {

constexpr int kEventsPerWait = 64;  // as the service's threads

class EpollSet {
public:
    // Socket i is tagged i; the stop descriptor is tagged with the count.
    explicit EpollSet(const IoRun& run) : m_epoll(epoll_create1(EPOLL_CLOEXEC)), m_stopTag(run.sockets.size())
    {
        bool watching = m_epoll >= 0 && Watch(run.stopDescriptor, m_stopTag);
        for (size_t i = 0; watching && i < run.sockets.size(); ++i) {
            watching = Watch(run.sockets[i], i);
        }
        m_usable = watching;
    }
    ~EpollSet()
    {
        if (m_epoll >= 0) {
            close(m_epoll);
        }
    }
    EpollSet(const EpollSet&) = delete;
    EpollSet& operator=(const EpollSet&) = delete;

    bool IsUsable() const { return m_usable; }
    uint64_t StopTag() const { return m_stopTag; }
    int Wait(epoll_event* events, int timeoutMs) const { return epoll_wait(m_epoll, events, kEventsPerWait, timeoutMs); }

private:
    bool Watch(int descriptor, uint64_t tag) const
    {
        epoll_event event{};
        event.events = EPOLLIN;
        event.data.u64 = tag;
        return epoll_ctl(m_epoll, EPOLL_CTL_ADD, descriptor, &event) == 0;
    }

    int m_epoll;
    uint64_t m_stopTag;
    bool m_usable = false;
};

// Waiting on the sockets themselves: each datagram that finds the thread
// asleep wakes it.
struct WaitOnSockets {
    int operator()(const EpollSet& set, epoll_event* events, int /*lastReady*/) { return set.Wait(events, -1); }
};

// Waiting on a 1 ms tick, then taking what is ready without waiting: a
// sender never has to wake the thread (the kernel only marks the socket
// ready), and a wake-up serves whatever the tick brought (more than one
// wait's worth of sockets is taken before sleeping again).
class WaitOnTick {
public:
    int operator()(const EpollSet& set, epoll_event* events, int lastReady)
    {
        if (lastReady == kEventsPerWait) {
            return set.Wait(events, 0);
        }
        const uint64_t now = bare_now_ns();
        m_next = m_next > now ? m_next : now + kTickNs;
        const timespec at{static_cast<time_t>(m_next / 1000000000u), static_cast<long>(m_next % 1000000000u)};
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) != 0) {
        }
        m_next += kTickNs;
        return set.Wait(events, 0);
    }

private:
    static constexpr uint64_t kTickNs = 1000000;
    uint64_t m_next = 0;
};

// Waits and hands each ready socket to `readSocket(descriptor, counted)`
// until the stop descriptor is readable.
template <typename Waiter, typename ReadSocket>
void ServeReadySockets(IoRun& run, Waiter wait, ReadSocket readSocket)
{
    const EpollSet set(run);
    if (!set.IsUsable()) {
        run.state.store(-1);
        return;
    }
    run.state.store(1);
    std::array<epoll_event, kEventsPerWait> events{};
    uint64_t counted = 0;
    for (int ready = 0;;) {
        ready = wait(set, events.data(), ready);
        ++run.wakeups;
        for (int i = 0; i < ready; ++i) {
            const uint64_t tag = events[static_cast<size_t>(i)].data.u64;
            if (tag == set.StopTag()) {
                return;
            }
            readSocket(run.sockets[tag], counted);
        }
        run.received.store(counted, std::memory_order_relaxed);
    }
}

}  // namespace

// One call a datagram, and one more that finds the socket empty (unless the
// turn's budget ends first).
void ReceiveWithEpollRecvfrom(IoRun& run)
{
    std::array<uint8_t, kIoBufferBytes> buffer{};
    ServeReadySockets(run, WaitOnSockets{}, [&](int socket, uint64_t& counted) {
        for (int turn = 0; turn < kIoDatagramsPerTurn; ++turn) {
            sockaddr_in from{};
            socklen_t fromBytes = sizeof from;
            const ssize_t size = recvfrom(socket, buffer.data(), buffer.size(), MSG_DONTWAIT,
                                          reinterpret_cast<sockaddr*>(&from), &fromBytes);
            if (size < 0) {
                return;
            }
            Tally(run, buffer.data(), size, counted);
        }
    });
}

// One call per ready socket: it answers what is queued, up to the budget,
// and returns at once when fewer are there.
class MmsgReader {
public:
    MmsgReader() : m_slots(kIoDatagramsPerTurn)
    {
        for (size_t i = 0; i < m_slots.size(); ++i) {
            m_slots[i].io = {m_slots[i].bytes.data(), m_slots[i].bytes.size()};
            m_messages[i].msg_hdr.msg_iov = &m_slots[i].io;
            m_messages[i].msg_hdr.msg_iovlen = 1;
            m_messages[i].msg_hdr.msg_name = &m_slots[i].from;
            m_messages[i].msg_hdr.msg_namelen = sizeof(sockaddr_in);
        }
    }

    void Read(IoRun& run, int socket, uint64_t& counted)
    {
        const int read = recvmmsg(socket, m_messages.data(), kIoDatagramsPerTurn, MSG_DONTWAIT, nullptr);
        for (int i = 0; i < read; ++i) {
            const auto at = static_cast<size_t>(i);
            Tally(run, m_slots[at].bytes.data(), m_messages[at].msg_len, counted);
            m_messages[at].msg_hdr.msg_namelen = sizeof(sockaddr_in);  // the call wrote the length it used
        }
    }

private:
    struct Slot {
        std::array<uint8_t, kIoBufferBytes> bytes;
        sockaddr_in from;
        iovec io;
    };
    std::vector<Slot> m_slots;
    std::array<mmsghdr, kIoDatagramsPerTurn> m_messages{};
};

void ReceiveWithEpollRecvmmsg(IoRun& run)
{
    MmsgReader reader;
    ServeReadySockets(run, WaitOnSockets{},
                      [&](int socket, uint64_t& counted) { reader.Read(run, socket, counted); });
}

void ReceiveWithTickedEpollRecvmmsg(IoRun& run)
{
    MmsgReader reader;
    ServeReadySockets(run, WaitOnTick{}, [&](int socket, uint64_t& counted) { reader.Read(run, socket, counted); });
}

}  // namespace bench
