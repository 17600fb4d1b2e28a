#include "relayloop.h"

#include <poll.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <stdexcept>

#include "endpointoptions.h"
#include "freeports.h"
#include "stopsignal.h"

namespace {

using Clock = std::chrono::steady_clock;

// Room for a second of a fast video stream held back by a long delay.
constexpr size_t kPoolSlots = 2048;
// A duplicate shares its original's slot but takes a place of its own.
constexpr size_t kQueuePlaces = 2 * kPoolSlots;
// Attempts at binding a pair that was free a moment ago.
constexpr int kBindAttempts = 8;

int64_t NowUs()
{
    return std::chrono::duration_cast<std::chrono::microseconds>(Clock::now().time_since_epoch()).count();
}

int64_t ToUs(Clock::time_point when)
{
    if (when == Clock::time_point::max()) {
        return INT64_MAX;
    }
    return std::chrono::duration_cast<std::chrono::microseconds>(when.time_since_epoch()).count();
}

timespec Timeout(int64_t untilUs, int64_t nowUs)
{
    // A day at most: ppoll needs no longer and the arithmetic stays small.
    const int64_t waitUs = std::clamp<int64_t>(untilUs - nowUs, 0, 86'400'000'000);
    return timespec{static_cast<time_t>(waitUs / 1'000'000), static_cast<long>(waitUs % 1'000'000) * 1000};
}

// SIGINT and SIGTERM blocked while the loop works and let through only while
// it waits, so that a signal can never slip in between the look at the flag
// and the wait (the wait would then sleep through it).
class SignalsOnlyWhileWaiting {
public:
    SignalsOnlyWhileWaiting()
    {
        sigset_t stops;
        sigemptyset(&stops);
        sigaddset(&stops, SIGINT);
        sigaddset(&stops, SIGTERM);
        sigprocmask(SIG_BLOCK, &stops, &m_previous);
        m_waiting = m_previous;
        sigdelset(&m_waiting, SIGINT);
        sigdelset(&m_waiting, SIGTERM);
    }
    ~SignalsOnlyWhileWaiting() { sigprocmask(SIG_SETMASK, &m_previous, nullptr); }
    SignalsOnlyWhileWaiting(const SignalsOnlyWhileWaiting&) = delete;
    SignalsOnlyWhileWaiting& operator=(const SignalsOnlyWhileWaiting&) = delete;

    const sigset_t* Waiting() const { return &m_waiting; }

private:
    sigset_t m_previous;
    sigset_t m_waiting;
};

}  // namespace

Relay::Relay(const RelayConfig& config)
    : m_config(config),
      m_schedule(config.impairments),
      m_pool(kPoolSlots),
      m_overflow(new uint8_t[DatagramPool::kSlotBytes]),
      m_queue(kQueuePlaces)
{
    if (!config.logPath.empty() && !m_log.Open(config.logPath)) {
        throw std::runtime_error("option --log: cannot write '" + config.logPath + "'");
    }
    m_sockets[ListenRtp] = UdpSocket::Bind(config.listenAddress, config.listenPort, "option --listen");
    if (config.rtcp) {
        m_sockets[ListenRtcp] =
            UdpSocket::Bind(config.listenAddress, static_cast<uint16_t>(config.listenPort + 1), "option --rtcp");
    }
    m_relayAddress = LocalAddressToward(config.toAddress, config.toPort);
    for (int attempt = 0; attempt < kBindAttempts && !m_sockets[RelayRtcp].IsOpen(); ++attempt) {
        m_relayPort = FindFreePortPair({m_relayAddress}, config.listenPort);
        try {
            m_sockets[RelayRtp] = UdpSocket::Bind(m_relayAddress, m_relayPort, "relay port");
            m_sockets[RelayRtcp] = UdpSocket::Bind(m_relayAddress, static_cast<uint16_t>(m_relayPort + 1), "relay port");
        } catch (const std::runtime_error&) {
            m_sockets[RelayRtp] = UdpSocket();  // taken meanwhile: another pair
        }
    }
    if (!m_sockets[RelayRtcp].IsOpen()) {
        throw std::runtime_error("no free port pair on " + m_relayAddress + " to send from");
    }
    m_toRtp = MakeAddress(config.toAddress, config.toPort);
    m_toRtcp = MakeAddress(config.toAddress, static_cast<uint16_t>(config.toPort + 1));
}

std::string Relay::Describe() const
{
    return "listening on " + EndpointText(m_config.listenAddress, m_config.listenPort) +
           (m_config.rtcp ? " (RTCP on the next port)" : "") + ", sending to " +
           EndpointText(m_config.toAddress, m_config.toPort) + " from " + EndpointText(m_relayAddress, m_relayPort);
}

RelayCounts Relay::Run(const StopSignal& stopSignal, Clock::time_point end)
{
    const SignalsOnlyWhileWaiting signals;
    const int64_t endUs = ToUs(end);
    std::array<pollfd, kRoles> waits{};
    std::array<Role, kRoles> roles{};
    nfds_t count = 0;
    for (int role = 0; role < kRoles; ++role) {
        if (m_sockets[role].IsOpen()) {
            waits[count] = pollfd{m_sockets[role].Descriptor(), POLLIN, 0};
            roles[count++] = static_cast<Role>(role);
        }
    }
    for (;;) {
        int64_t nowUs = NowUs();
        SendDue(nowUs);
        if (stopSignal.Raised() || nowUs >= endUs) {
            break;
        }
        const int64_t wakeUs = m_queue.Empty() ? endUs : std::min(endUs, m_queue.NextDueUs());
        const timespec timeout = Timeout(wakeUs, nowUs);
        // EINTR (a stop signal) leads back to the flag at the top.
        if (ppoll(waits.data(), count, &timeout, signals.Waiting()) <= 0) {
            continue;
        }
        nowUs = NowUs();
        for (nfds_t index = 0; index < count; ++index) {
            // An error is read (and so cleared) like a datagram; left
            // alone it would wake every wait at once.
            if ((waits[index].revents & (POLLIN | POLLERR)) != 0) {
                ReceiveAll(roles[index], nowUs);
            }
        }
    }
    SendDue(NowUs());
    DiscardPending();
    return m_counts;
}

void Relay::ReceiveAll(Role role, int64_t nowUs)
{
    for (;;) {
        const std::optional<uint32_t> slot = m_pool.Take();
        if (!slot) {
            if (!ReceiveOverflow(role, nowUs)) {
                return;
            }
            continue;
        }
        ZQCInetAddress from{};
        const ssize_t length = m_sockets[role].Receive(m_pool.Data(*slot), DatagramPool::kSlotBytes, from);
        if (length < 0) {
            m_pool.Release(*slot);
            return;
        }
        // Larger than a UDP datagram can be: cannot happen, but never trust it.
        m_pool.Length(*slot) = std::min(static_cast<size_t>(length), DatagramPool::kSlotBytes);
        OnArrival(role, *slot, from, nowUs);
    }
}

// Every slot holds a datagram that waits for its time: one more arrival is
// read and dropped, so that the socket does not keep the loop awake.
bool Relay::ReceiveOverflow(Role role, int64_t nowUs)
{
    ZQCInetAddress from{};
    const ssize_t length = m_sockets[role].Receive(m_overflow.get(), DatagramPool::kSlotBytes, from);
    if (length < 0) {
        return false;
    }
    if (!m_toldFull) {
        std::fprintf(stderr, "zqhost relay: more than %zu datagrams held back at once: dropping arrivals\n",
                     m_pool.Slots());
        m_toldFull = true;
    }
    DatagramEvent event = ArrivalEvent(role, m_overflow.get(), static_cast<size_t>(length), from, nowUs);
    event.length = std::min(event.length, DatagramPool::kSlotBytes);
    LogDropped(event);
    return true;
}

DatagramEvent Relay::ArrivalEvent(Role role, const uint8_t* data, size_t length, const ZQCInetAddress& from,
                                  int64_t nowUs)
{
    DatagramEvent event;
    event.data = data;
    event.length = length;
    event.from = from;
    event.arrivedUs = nowUs;
    event.kind = role == ListenRtp || role == RelayRtp ? RelayKind::Rtp : RelayKind::Rtcp;
    event.direction = role == ListenRtp || role == ListenRtcp ? RelayDirection::Forward : RelayDirection::Reverse;
    return event;
}

void Relay::OnArrival(Role role, uint32_t slot, const ZQCInetAddress& from, int64_t nowUs)
{
    Pending pending{slot, ListenRtp, {}, ArrivalEvent(role, m_pool.Data(slot), m_pool.Length(slot), from, nowUs)};
    DatagramEvent& event = pending.event;
    switch (role) {
    case ListenRtp:
        m_senderRtp = from;
        OnForwardRtp(slot, event);
        return;
    case ListenRtcp:
        m_senderRtcp = from;
        pending.out = RelayRtcp;
        pending.to = m_toRtcp;
        break;
    default: {
        const std::optional<ZQCInetAddress> back = ReverseDestination(role);
        if (!back) {
            Drop(slot, event);
            return;
        }
        pending.out = role == RelayRtp ? ListenRtp : ListenRtcp;
        pending.to = *back;
        break;
    }
    }
    Schedule(m_schedule.Delayed(nowUs), pending);
}

void Relay::OnForwardRtp(uint32_t slot, DatagramEvent& event)
{
    const ForwardDecision decision = m_schedule.ForwardRtp(event.arrivedUs);
    if (decision.dropped) {
        Drop(slot, event);
        return;
    }
    Pending pending{slot, RelayRtp, m_toRtp, event};
    Schedule(decision.dueUs, pending);
    if (decision.duplicate) {
        m_pool.AddReference(slot);
        pending.event.duplicate = true;
        Schedule(decision.dueUs, pending);
    }
}

// Reverse RTP goes back to where the sender's RTP came from; reverse RTCP to
// where its RTCP came from, or, before any, to its RTP port + 1. Without
// --rtcp there is no socket to send RTCP back from.
std::optional<ZQCInetAddress> Relay::ReverseDestination(Role role) const
{
    if (role == RelayRtp) {
        return m_senderRtp;
    }
    if (!m_sockets[ListenRtcp].IsOpen()) {
        return std::nullopt;
    }
    if (m_senderRtcp) {
        return m_senderRtcp;
    }
    if (!m_senderRtp) {
        return std::nullopt;
    }
    ZQCInetAddress rtcp = *m_senderRtp;
    ZQCSetInetAddressPort(&rtcp, static_cast<uint16_t>(ZQCInetAddressPort(rtcp) + 1));
    return rtcp;
}

void Relay::Schedule(int64_t dueUs, const Pending& pending)
{
    if (!m_queue.Push(dueUs, pending)) {
        DatagramEvent event = pending.event;
        Drop(pending.slot, event);
    }
}

void Relay::Drop(uint32_t slot, DatagramEvent& event)
{
    LogDropped(event);
    m_pool.Release(slot);
}

void Relay::LogDropped(DatagramEvent& event)
{
    event.dropped = true;
    m_log.Write(event);
    ++Counts(event).dropped;
}

void Relay::SendDue(int64_t nowUs)
{
    while (!m_queue.Empty() && m_queue.NextDueUs() <= nowUs) {
        Pending pending = m_queue.Pop();
        DatagramEvent& event = pending.event;
        // Read before the send: on loopback the receiver gets the datagram
        // inside sendto, which may then hand the core to the woken reader.
        const int64_t leavingUs = NowUs();
        if (!m_sockets[pending.out].SendTo(event.data, event.length, pending.to)) {
            Drop(pending.slot, event);
            continue;
        }
        event.forwardedUs = leavingUs;
        m_log.Write(event);
        RelayCounts::Way& way = Counts(event);
        ++way.forwarded;
        way.duplicated += event.duplicate ? 1 : 0;
        m_pool.Release(pending.slot);
    }
}

// At the end: what is still held back never leaves, but the log says so.
void Relay::DiscardPending()
{
    while (!m_queue.Empty()) {
        Pending pending = m_queue.Pop();
        Drop(pending.slot, pending.event);
    }
}

RelayCounts::Way& Relay::Counts(const DatagramEvent& event)
{
    const bool forward = event.direction == RelayDirection::Forward;
    if (event.kind == RelayKind::Rtp) {
        return forward ? m_counts.forwardRtp : m_counts.reverseRtp;
    }
    return forward ? m_counts.forwardRtcp : m_counts.reverseRtcp;
}
