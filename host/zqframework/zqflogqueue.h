#pragma once
// The log's queue: a ring of fixed-size line slots, allocated once, filled
// by any thread and emptied by one writer thread that hands each line to a
// delivery function. A thread that logs never waits for the writer: when the
// ring is full its line is dropped and counted, and the count takes the
// place of the dropped lines (a `Kind::Dropped` record) as soon as a slot is
// free, or as soon as the writer finds the ring empty.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

#include "zqcexport.h"
#include "zqflogrecord.h"

class ZQ_API ZQFLogQueue {
public:
    using Deliver = std::function<void(const ZQFLogRecord&)>;

    // `capacity` slots (at least 2). The writer starts with the first line.
    ZQFLogQueue(size_t capacity, Deliver deliver, const char* writerName = "zqf log");
    // Stops: what was queued is delivered first.
    ~ZQFLogQueue();
    ZQFLogQueue(const ZQFLogQueue&) = delete;
    ZQFLogQueue& operator=(const ZQFLogQueue&) = delete;

    // Starts the writer now rather than with the first line.
    void Start();

    // Queues a copy of `record`; false when the ring was full and the line
    // was dropped. Once the queue is stopped (or the writer could not start)
    // the line is delivered on the calling thread instead.
    bool Push(const ZQFLogRecord& record);

    // Waits until every line queued before the call (and the count of lines
    // dropped before it) was delivered. Returns at once on the writer thread.
    void Flush();

    // Delivers what is queued, then ends the writer; later lines are
    // delivered synchronously. Safe to call more than once.
    void Stop();

    bool IsWriterThread() const;
    // Lines dropped since the queue was made.
    uint64_t DroppedTotal() const;

private:
    bool StartWriterLocked();
    void PlaceLocked(const ZQFLogRecord& record);
    void PlaceDroppedLocked();
    bool TakeNextLocked(ZQFLogRecord& out);
    void WriterLoop();

    const Deliver m_deliver;
    const char* const m_writerName;
    std::vector<ZQFLogRecord> m_slots;
    mutable std::mutex m_mutex;
    std::mutex m_synchronousMutex;  // one synchronous delivery at a time
    std::condition_variable m_wakeWriter;
    std::condition_variable m_delivered;
    size_t m_head = 0;   // next slot the writer takes
    size_t m_count = 0;  // slots in use
    uint64_t m_pendingDropped = 0;  // dropped, not yet in the ring
    uint64_t m_droppedTotal = 0;
    uint64_t m_placedCount = 0;     // records placed in the ring (or made by the writer)
    uint64_t m_deliveredCount = 0;  // records the writer delivered
    bool m_started = false;
    bool m_stopping = false;
    bool m_synchronous = false;  // no writer: stopped, or it could not start
    std::thread m_writer;
    std::thread::id m_writerId;  // kept after the writer was joined or detached
    ZQFLogRecord m_current;  // the writer's copy of the record it delivers
};
