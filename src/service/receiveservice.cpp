#include "service/receiveservice.h"

#include <algorithm>
#include <thread>

#include "service/receiveworker.h"

namespace zqm {

ReceiveService::ReceiveService(size_t maxThreads, double spreadShare)
    : m_maxThreads(maxThreads != 0 ? maxThreads : std::max<size_t>(1, std::thread::hardware_concurrency())),
      m_spreadShare(spreadShare)
{
}

// The threads may call Spread until they are joined: they are taken out
// under the lock, then joined while the service still stands.
ReceiveService::~ReceiveService()
{
    std::vector<std::unique_ptr<Worker>> workers;
    std::lock_guard lock(m_mutex);
    workers.swap(m_workers);
}

uint8_t* ReceiveService::ScratchBuffer()
{
    thread_local std::unique_ptr<uint8_t[]> buffer;
    if (buffer == nullptr) {
        buffer = std::make_unique<uint8_t[]>(kScratchBytes);
    }
    return buffer.get();
}

ReceiveService& ReceiveService::Shared()
{
    static ReceiveService service;
    return service;
}

bool ReceiveService::Register(ReceiveClient* client, std::span<const int> descriptors)
{
    std::lock_guard lock(m_mutex);
    for (const auto& worker : m_workers) {
        for (const int descriptor : descriptors) {
            if (worker->HasDescriptor(descriptor)) {
                return false;
            }
        }
    }
    Worker* worker = PickWorker();
    if (worker == nullptr || !worker->Add(client, descriptors)) {
        return false;
    }
    ++m_clients;
    return true;
}

// Found and removed under the service lock, so that no hand-over moves the
// client meanwhile; the wait for a running callback happens outside it, so
// that a callback may itself register or unregister clients. The holder
// lives on while the client still counts.
void ReceiveService::Unregister(ReceiveClient* client)
{
    Worker* holder = nullptr;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& worker : m_workers) {
            if (worker->Remove(client)) {
                holder = worker.get();
                break;
            }
        }
    }
    if (holder == nullptr) {
        return;
    }
    holder->WaitUntilNotRunning(client);
    // The last client gone: the threads end with it (joined after the lock
    // is let go), unless this runs on one of them.
    std::vector<std::unique_ptr<Worker>> retired;  // destroyed after the lock below
    std::lock_guard lock(m_mutex);
    if (--m_clients == 0 && !Worker::IsWorkerThread()) {
        retired.swap(m_workers);
    }
}

size_t ReceiveService::ThreadCount() const
{
    std::lock_guard lock(m_mutex);
    return m_workers.size();
}

size_t ReceiveService::ClientCount() const
{
    std::lock_guard lock(m_mutex);
    return m_clients;
}

// The least busy thread (then the one with the fewest clients); a new one
// when there is none, or every one is busy and the limit allows.
ReceiveService::Worker* ReceiveService::PickWorker()
{
    const bool allBusy = std::all_of(m_workers.begin(), m_workers.end(),
                                     [&](const auto& worker) { return worker->BusyShare() > m_spreadShare; });
    if (m_workers.size() < m_maxThreads && allBusy) {
        auto worker = std::make_unique<Worker>(*this, m_spreadShare);
        if (worker->IsUsable()) {
            m_workers.push_back(std::move(worker));
            return m_workers.back().get();
        }
    }
    const auto least = std::min_element(m_workers.begin(), m_workers.end(), [](const auto& a, const auto& b) {
        const double aBusy = a->BusyShare(), bBusy = b->BusyShare();
        return aBusy != bBusy ? aBusy < bBusy : a->ClientCount() < b->ClientCount();
    });
    return least != m_workers.end() ? least->get() : nullptr;
}

void ReceiveService::Spread(Worker& busy)
{
    std::lock_guard lock(m_mutex);
    const bool serving = std::any_of(m_workers.begin(), m_workers.end(),
                                     [&](const auto& worker) { return worker.get() == &busy; });
    if (!serving) {
        return;  // retired meanwhile: the last client left
    }
    if (m_workers.size() < m_maxThreads) {
        auto worker = std::make_unique<Worker>(*this, m_spreadShare);
        if (worker->IsUsable()) {
            busy.HandOverHalf(*worker);
            m_workers.push_back(std::move(worker));
        }
        return;
    }
    // At the limit: to a thread less than half as busy, which half the
    // clients leave the less busy of the two (no clients going back and
    // forth).
    Worker* idlest = nullptr;
    for (const auto& worker : m_workers) {
        if (worker.get() != &busy && (idlest == nullptr || worker->BusyShare() < idlest->BusyShare())) {
            idlest = worker.get();
        }
    }
    if (idlest != nullptr && idlest->BusyShare() < busy.BusyShare() / 2) {
        busy.HandOverHalf(*idlest);
    }
}

}  // namespace zqm
