#include "service/receiveworker.h"

#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace zqm {

namespace {

// Registrations are numbered from 1; these two are the worker's own.
constexpr uint64_t kWakeEvent = 0;
constexpr uint64_t kTimerEvent = UINT64_MAX;
constexpr int kEventsPerWait = 64;

thread_local bool t_isWorkerThread = false;

bool Watch(int epoll, int descriptor, uint64_t tag)
{
    epoll_event event{};
    event.events = EPOLLIN;
    event.data.u64 = tag;
    return epoll_ctl(epoll, EPOLL_CTL_ADD, descriptor, &event) == 0;
}

void Drain(int descriptor)
{
    uint64_t count = 0;
    while (read(descriptor, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

uint64_t MonotonicNs()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<uint64_t>(now.tv_sec) * 1000000000u + static_cast<uint64_t>(now.tv_nsec);
}

void SleepUntil(uint64_t instantNs)
{
    const timespec at{static_cast<time_t>(instantNs / 1000000000u), static_cast<long>(instantNs % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &at, nullptr) == EINTR) {
    }
}

void CloseIfOpen(int descriptor)
{
    if (descriptor >= 0) {
        close(descriptor);
    }
}

}  // namespace

ReceiveService::Worker::Worker(ReceiveService& service, double spreadShare)
    : m_service(service), m_spreadShare(spreadShare)
{
    m_epoll = epoll_create1(EPOLL_CLOEXEC);
    m_wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    m_timer = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC | TFD_NONBLOCK);
    if (m_epoll < 0 || m_wake < 0 || m_timer < 0 || !Watch(m_epoll, m_wake, kWakeEvent) ||
        !Watch(m_epoll, m_timer, kTimerEvent)) {
        return;
    }
    m_thread = std::thread([this] { Run(); });
}

ReceiveService::Worker::~Worker()
{
    m_stop.store(true);
    const uint64_t one = 1;
    if (m_wake >= 0 && write(m_wake, &one, sizeof one) < 0) {
        // The eventfd counter cannot overflow from one write; nothing to do.
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    CloseIfOpen(m_epoll);
    CloseIfOpen(m_wake);
    CloseIfOpen(m_timer);
}

bool ReceiveService::Worker::Add(ReceiveClient* client, std::span<const int> descriptors)
{
    std::lock_guard lock(m_mutex);
    std::vector<uint64_t> added;
    for (const int descriptor : descriptors) {
        const uint64_t registration = m_nextRegistration++;
        if (!Watch(m_epoll, descriptor, registration)) {
            for (const uint64_t undo : added) {
                RemoveDescriptor(m_registrations[undo].descriptor);
                m_registrations.erase(undo);
            }
            return false;
        }
        m_registrations.emplace(registration, Registration{client, descriptor});
        added.push_back(registration);
    }
    m_clients[client] = std::move(added);
    if (m_clients.size() == 1) {
        ArmTimer(true);
    }
    return true;
}

bool ReceiveService::Worker::Remove(ReceiveClient* client)
{
    std::lock_guard lock(m_mutex);
    return Detach(client).has_value();
}

void ReceiveService::Worker::WaitUntilNotRunning(ReceiveClient* client)
{
    if (std::this_thread::get_id() == m_thread.get_id()) {
        return;
    }
    std::unique_lock lock(m_mutex);
    m_callbackEnded.wait(lock, [&] { return m_running != client; });
}

std::optional<std::vector<int>> ReceiveService::Worker::Detach(ReceiveClient* client)
{
    const auto found = m_clients.find(client);
    if (found == m_clients.end()) {
        return std::nullopt;
    }
    std::vector<int> descriptors;
    for (const uint64_t registration : found->second) {
        descriptors.push_back(m_registrations[registration].descriptor);
        RemoveDescriptor(descriptors.back());
        m_registrations.erase(registration);
    }
    m_clients.erase(found);
    if (m_clients.empty()) {
        ArmTimer(false);  // an idle worker does not wake
    }
    return descriptors;
}

void ReceiveService::Worker::HandOverHalf(Worker& to)
{
    std::vector<std::pair<ReceiveClient*, std::vector<int>>> moving;
    {
        std::lock_guard lock(m_mutex);
        std::vector<ReceiveClient*> clients;
        for (const auto& entry : m_clients) {
            clients.push_back(entry.first);
        }
        for (size_t i = 1; i < clients.size(); i += 2) {
            moving.emplace_back(clients[i], Detach(clients[i]).value_or(std::vector<int>{}));
        }
    }
    // No callback of a moving client runs (this is its thread, between
    // callbacks), and the service lock keeps Unregister out until it is
    // served by `to`. Should `to` refuse one, it stays here.
    for (auto& [client, descriptors] : moving) {
        if (!to.Add(client, descriptors)) {
            Add(client, descriptors);
        }
    }
}

bool ReceiveService::Worker::HasDescriptor(int descriptor) const
{
    std::lock_guard lock(m_mutex);
    return std::any_of(m_registrations.begin(), m_registrations.end(),
                       [&](const auto& entry) { return entry.second.descriptor == descriptor; });
}

size_t ReceiveService::Worker::ClientCount() const
{
    std::lock_guard lock(m_mutex);
    return m_clients.size();
}

bool ReceiveService::Worker::IsWorkerThread() { return t_isWorkerThread; }

void ReceiveService::Worker::Run()
{
    t_isWorkerThread = true;
    epoll_event events[kEventsPerWait];
    BatchPacer pacer;
    while (!m_stop.load()) {
        // One datagram a ready socket, then looks at once until nothing is
        // left: sockets still readable (a backlog, or more than a full
        // event list) come up in them. One look a turn instead of a read
        // that finds each socket empty.
        int served = Handle(events, Wait(pacer, events), 1);
        int servedInTurn = served;
        while (served > 0 && !m_stop.load()) {
            const int ready = epoll_wait(m_epoll, events, kEventsPerWait, 0);
            served = Handle(events, ready < 0 ? 0 : ready, ReceiveService::kBacklogBudget);
            servedInTurn += served;
        }
        pacer.Record(MonotonicNs(), servedInTurn);
        if (m_spreadWanted) {
            m_spreadWanted = false;
            m_service.Spread(*this);
        }
    }
}

int ReceiveService::Worker::Wait(const BatchPacer& pacer, epoll_event* events)
{
    int timeoutMs = -1;
    if (pacer.Next() == BatchPacer::Wait::SleepThenLook) {
        SleepUntil(pacer.WakeAt());
        timeoutMs = 0;
    }
    const int ready = epoll_wait(m_epoll, events, kEventsPerWait, timeoutMs);
    return ready < 0 ? 0 : ready;
}

int ReceiveService::Worker::Handle(const epoll_event* events, int ready, int budget)
{
    int served = 0;
    for (int i = 0; i < ready; ++i) {
        const uint64_t tag = events[i].data.u64;
        if (tag == kWakeEvent) {
            Drain(m_wake);
        } else if (tag == kTimerEvent) {
            Drain(m_timer);
            Tick();
        } else {
            Serve(tag, budget);
            ++served;
        }
    }
    return served;
}

void ReceiveService::Worker::Serve(uint64_t registration, int budget)
{
    ReceiveClient* client = nullptr;
    int descriptor = -1;
    {
        std::lock_guard lock(m_mutex);
        const auto found = m_registrations.find(registration);
        if (found == m_registrations.end()) {
            return;  // removed after the wait returned it
        }
        // A client's registrations go with it: found means still served.
        client = found->second.client;
        descriptor = found->second.descriptor;
        m_running = client;
    }
    client->OnReadable(descriptor, budget);
    EndCallback();
}

void ReceiveService::Worker::MeasureLoad()
{
    constexpr uint64_t kWindowNs = 1000000000;
    timespec cpu{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &cpu);
    const uint64_t cpuNs = static_cast<uint64_t>(cpu.tv_sec) * 1000000000u + static_cast<uint64_t>(cpu.tv_nsec);
    const uint64_t nowNs = MonotonicNs();
    if (m_windowStartNs == 0) {
        m_windowStartNs = nowNs;
        m_windowStartCpuNs = cpuNs;
        return;
    }
    if (nowNs - m_windowStartNs < kWindowNs) {
        return;
    }
    const double share = static_cast<double>(cpuNs - m_windowStartCpuNs) / static_cast<double>(nowNs - m_windowStartNs);
    m_busyShare.store(share, std::memory_order_relaxed);
    m_spreadWanted = share > m_spreadShare;
    m_windowStartNs = nowNs;
    m_windowStartCpuNs = cpuNs;
}

void ReceiveService::Worker::Tick()
{
    MeasureLoad();
    m_tickList.clear();
    {
        std::lock_guard lock(m_mutex);
        for (const auto& entry : m_clients) {
            m_tickList.push_back(entry.first);
        }
    }
    for (ReceiveClient* client : m_tickList) {
        {
            std::lock_guard lock(m_mutex);
            if (m_clients.find(client) == m_clients.end()) {
                continue;  // removed since the list was taken
            }
            m_running = client;
        }
        client->OnTick();
        EndCallback();
    }
}

void ReceiveService::Worker::EndCallback()
{
    {
        std::lock_guard lock(m_mutex);
        m_running = nullptr;
    }
    m_callbackEnded.notify_all();
}

void ReceiveService::Worker::ArmTimer(bool on)
{
    itimerspec period{};
    if (on) {
        period.it_interval.tv_nsec = static_cast<long>(ReceiveService::kTickMs) * 1000000L;
        period.it_value = period.it_interval;
    }
    timerfd_settime(m_timer, 0, &period, nullptr);
}

void ReceiveService::Worker::RemoveDescriptor(int descriptor)
{
    epoll_ctl(m_epoll, EPOLL_CTL_DEL, descriptor, nullptr);
}

}  // namespace zqm
