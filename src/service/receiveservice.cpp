#include "service/receiveservice.h"

#include <algorithm>
#include <thread>

#include "service/receiveworker.h"

namespace zqm {

ReceiveService::ReceiveService(size_t maxThreads)
    : m_maxThreads(maxThreads != 0 ? maxThreads : std::max<size_t>(1, std::thread::hardware_concurrency()))
{
}

ReceiveService::~ReceiveService() = default;

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

// The wait for a running callback happens outside the service lock, so
// that a callback may itself register or unregister clients. Workers live
// as long as the service, so the pointers stay valid.
void ReceiveService::Unregister(ReceiveClient* client)
{
    std::vector<Worker*> workers;
    {
        std::lock_guard lock(m_mutex);
        for (const auto& worker : m_workers) {
            workers.push_back(worker.get());
        }
    }
    for (Worker* worker : workers) {
        if (!worker->Remove(client)) {
            continue;
        }
        // The last client gone: the threads end with it (joined after the
        // lock is let go), unless this runs on one of them.
        std::vector<std::unique_ptr<Worker>> retired;  // destroyed after the lock below
        std::lock_guard lock(m_mutex);
        if (--m_clients == 0 && !Worker::IsWorkerThread()) {
            retired.swap(m_workers);
        }
        return;
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

// A new thread while there are fewer threads than clients (the new one
// included) and the limit allows; otherwise the least loaded one.
ReceiveService::Worker* ReceiveService::PickWorker()
{
    if (m_workers.size() < std::min(m_maxThreads, m_clients + 1)) {
        auto worker = std::make_unique<Worker>();
        if (worker->IsUsable()) {
            m_workers.push_back(std::move(worker));
            return m_workers.back().get();
        }
    }
    const auto least = std::min_element(m_workers.begin(), m_workers.end(), [](const auto& a, const auto& b) {
        return a->ClientCount() < b->ClientCount();
    });
    return least != m_workers.end() ? least->get() : nullptr;
}

}  // namespace zqm
