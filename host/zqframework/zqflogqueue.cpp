#include "zqflogqueue.h"

#include <algorithm>
#include <system_error>
#include <utility>

#include "zqcthread.h"

ZQFLogQueue::ZQFLogQueue(size_t capacity, Deliver deliver, const char* writerName)
    : m_deliver(std::move(deliver)), m_writerName(writerName), m_slots(std::max<size_t>(capacity, 2))
{
}

ZQFLogQueue::~ZQFLogQueue() { Stop(); }

void ZQFLogQueue::Start()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_started && !m_synchronous) {
        StartWriterLocked();
    }
}

bool ZQFLogQueue::Push(const ZQFLogRecord& record)
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_synchronous && (m_started || StartWriterLocked())) {
            if (m_pendingDropped > 0 && m_count < m_slots.size()) {
                PlaceDroppedLocked();
            }
            if (m_count == m_slots.size()) {
                ++m_pendingDropped;
                ++m_droppedTotal;
                return false;
            }
            PlaceLocked(record);
            m_wakeWriter.notify_one();
            return true;
        }
    }
    std::lock_guard<std::mutex> lock(m_synchronousMutex);
    m_deliver(record);
    return true;
}

void ZQFLogQueue::Flush()
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_started || m_synchronous || std::this_thread::get_id() == m_writerId) {
        return;
    }
    // Lines dropped before the call come out as one record, the next one
    // placed in the ring.
    const uint64_t target = m_placedCount + (m_pendingDropped > 0 ? 1 : 0);
    m_delivered.wait(lock, [&] { return m_deliveredCount >= target || m_synchronous; });
}

void ZQFLogQueue::Stop()
{
    std::thread writer;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_synchronous) {
            return;
        }
        m_stopping = true;
        m_wakeWriter.notify_one();
        writer = std::move(m_writer);
    }
    if (writer.joinable()) {
        if (writer.get_id() == std::this_thread::get_id()) {
            // The process is ending from inside a delivery: the writer
            // cannot wait for itself, and what is left is lost.
            writer.detach();
        } else {
            writer.join();
        }
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_synchronous = true;
    m_delivered.notify_all();
}

bool ZQFLogQueue::IsWriterThread() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_started && std::this_thread::get_id() == m_writerId;
}

uint64_t ZQFLogQueue::DroppedTotal() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_droppedTotal;
}

bool ZQFLogQueue::StartWriterLocked()
{
    try {
        m_writer = std::thread(&ZQFLogQueue::WriterLoop, this);
        m_writerId = m_writer.get_id();
        m_started = true;
    } catch (const std::system_error&) {
        m_synchronous = true;  // no thread to spare: the log goes on, synchronously
    }
    return m_started;
}

void ZQFLogQueue::PlaceLocked(const ZQFLogRecord& record)
{
    m_slots[(m_head + m_count) % m_slots.size()] = record;
    ++m_count;
    ++m_placedCount;
}

void ZQFLogQueue::PlaceDroppedLocked()
{
    ZQFLogRecord& slot = m_slots[(m_head + m_count) % m_slots.size()];
    slot.kind = ZQFLogRecord::Kind::Dropped;
    slot.droppedCount = std::exchange(m_pendingDropped, 0);
    slot.timeMs = ZQFLogClockMs();
    slot.text[0] = '\0';
    ++m_count;
    ++m_placedCount;
}

bool ZQFLogQueue::TakeNextLocked(ZQFLogRecord& out)
{
    if (m_count == 0 && m_pendingDropped > 0) {
        PlaceDroppedLocked();  // nothing came after the drops to carry the count
    }
    if (m_count == 0) {
        return false;
    }
    out = m_slots[m_head];
    m_head = (m_head + 1) % m_slots.size();
    --m_count;
    return true;
}

void ZQFLogQueue::WriterLoop()
{
    ZQCThread::SetCurrentName(m_writerName);
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wakeWriter.wait(lock, [this] { return m_count > 0 || m_pendingDropped > 0 || m_stopping; });
        if (!TakeNextLocked(m_current)) {
            return;  // stopping, and everything was delivered
        }
        lock.unlock();
        m_deliver(m_current);
        lock.lock();
        ++m_deliveredCount;
        m_delivered.notify_all();
    }
}
