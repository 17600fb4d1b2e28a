#include "zqfallocator.h"

#include <chrono>

#include "zqfdebuglog.h"
#include "zqfmediasample.h"

namespace {
const char kLogPath[] = "zqframework\\zqfallocator";
}

ZQFAllocator::ZQFAllocator(const ZQFAllocatorConfig& config) : m_config(config)
{
    if (m_config.count < 0) {
        m_config.count = 0;
    }
    if (m_config.size < 0) {
        m_config.size = 0;
    }
    const size_t count = static_cast<size_t>(m_config.count);
    const size_t size = static_cast<size_t>(m_config.size);
    // Default-initialised: the pages a pool never touches stay non-resident.
    m_memory = count * size > 0 ? new uint8_t[count * size] : nullptr;
    m_samples.reserve(count);
    m_free.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        uint8_t* buffer = m_memory ? m_memory + i * size : nullptr;
        m_samples.push_back(new ZQFMediaSample(this, buffer, m_config.size));
    }
    // LIFO: the first sample handed out is the first buffer.
    for (auto it = m_samples.rbegin(); it != m_samples.rend(); ++it) {
        m_free.push_back(*it);
    }
}

ZQFAllocator::~ZQFAllocator()
{
    for (ZQFMediaSample* sample : m_samples) {
        delete sample;
    }
    delete[] m_memory;
}

ZQFMediaSample* ZQFAllocator::GetNewSample(int waitMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_released) {
        return nullptr;
    }
    const uint64_t generation = m_flushGeneration;
    auto ready = [&] { return !m_free.empty() || m_flushGeneration != generation; };

    if (!ready() && waitMs != 0) {
        ++m_waiters;
        if (waitMs < 0) {
            m_available.wait(lock, ready);
        } else {
            m_available.wait_for(lock, std::chrono::milliseconds(waitMs), ready);
        }
        --m_waiters;
    }

    ZQFMediaSample* sample = nullptr;
    if (m_flushGeneration == generation && !m_free.empty()) {
        sample = m_free.back();
        m_free.pop_back();
        sample->m_inPool = false;
        sample->SetFirstReference();
    }
    const bool freeNow = CanBeFreed();
    lock.unlock();
    if (freeNow) {
        delete this;
    }
    return sample;
}

// `running` tells whether the owner still runs; a flush wakes the waiters of
// the moment either way, so the pool does not need it.
void ZQFAllocator::BeginFlush(bool /*running*/)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_flushGeneration;
    m_available.notify_all();
}

int ZQFAllocator::GetFreeCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_free.size());
}

int ZQFAllocator::GetWaiterCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_waiters;
}

void ZQFAllocator::Release()
{
    bool freeNow = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_released) {
            DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQFAllocator::Release on pool[%p] released twice",
                     static_cast<void*>(this));
            return;
        }
        m_released = true;
        // Waiters must leave before the pool can go.
        ++m_flushGeneration;
        m_available.notify_all();
        freeNow = CanBeFreed();
    }
    if (freeNow) {
        delete this;
    }
}

void ZQFAllocator::ReturnSample(ZQFMediaSample* sample)
{
    bool freeNow = false;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (sample->m_inPool) {
            // Listing it twice would hand the same buffer to two owners.
            zqf::CountSampleReferenceFault();
            DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQFAllocator::ReturnSample of sample[%p] already in pool[%p]",
                     static_cast<void*>(sample), static_cast<void*>(this));
            return;
        }
        sample->m_inPool = true;
        m_free.push_back(sample);
        // Notified under the lock: once it is released, whoever sees the pool
        // complete deletes it, so nothing may touch it after unlocking. With
        // no one waiting (the usual case) the condition is left untouched.
        if (m_waiters > 0) {
            m_available.notify_one();
        }
        freeNow = CanBeFreed();
    }
    if (freeNow) {
        delete this;
    }
}

bool ZQFAllocator::CanBeFreed() const
{
    return m_released && m_waiters == 0 && m_free.size() == m_samples.size();
}
