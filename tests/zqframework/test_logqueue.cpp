// The log's queue on its own: a ring of a few slots, and a delivery the test
// lets through record by record. Order, drops and their count, the drain.
#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "zqflogqueue.h"

namespace {

using namespace std::chrono_literals;

ZQFLogRecord Line(const std::string& text)
{
    ZQFLogRecord record;
    ZQFStampLogRecord(record, "test", 1, 0);
    text.copy(record.text, sizeof record.text - 1);
    return record;
}

// What the writer delivered, as "text" for a line and "dropped N" for a count.
// Each record waits at the gate until the test has let that many through.
class GatedDelivery {
public:
    void Deliver(const ZQFLogRecord& record)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        ++m_waiting;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_allowed > m_delivered.size(); });
        --m_waiting;
        m_delivered.push_back(record.kind == ZQFLogRecord::Kind::Dropped
                                  ? "dropped " + std::to_string(record.droppedCount)
                                  : std::string(record.text));
        m_threads.push_back(std::this_thread::get_id());
        m_changed.notify_all();
    }
    void Allow(size_t more)
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_allowed += more;
        m_changed.notify_all();
    }
    void AllowAll() { Allow(1u << 30); }
    // Waits until the writer holds a record at the gate after `delivered` ones.
    bool WaitUntilHeldAfter(size_t delivered)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        return m_changed.wait_for(lock, 10s, [&] { return m_waiting == 1 && m_delivered.size() == delivered; });
    }
    std::vector<std::string> Delivered()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_delivered;
    }
    std::thread::id LastThread()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return m_threads.back();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    size_t m_allowed = 0;
    int m_waiting = 0;
    std::vector<std::string> m_delivered;
    std::vector<std::thread::id> m_threads;
};

struct GatedQueue {
    explicit GatedQueue(size_t capacity) : queue(capacity, [this](const ZQFLogRecord& r) { gate.Deliver(r); }) {}
    ~GatedQueue()
    {
        gate.AllowAll();
        queue.Stop();
    }
    GatedDelivery gate;
    ZQFLogQueue queue;
};

// The count takes the place of the dropped lines: in the first slot that
// frees up, and when nothing follows the drops, once the ring is empty.
TEST(LogQueue, DroppedLinesAreCountedWhereTheyWereDropped)
{
    GatedQueue gated(8);
    ASSERT_TRUE(gated.queue.Push(Line("L1")));
    ASSERT_TRUE(gated.gate.WaitUntilHeldAfter(0));  // L1 taken out, the ring is empty
    for (int n = 2; n <= 9; ++n) {
        EXPECT_TRUE(gated.queue.Push(Line("L" + std::to_string(n))));
    }
    for (int n = 10; n <= 12; ++n) {
        EXPECT_FALSE(gated.queue.Push(Line("L" + std::to_string(n)))) << "the ring is full";
    }
    gated.gate.Allow(1);
    ASSERT_TRUE(gated.gate.WaitUntilHeldAfter(1));  // L2 taken out: one slot free
    EXPECT_FALSE(gated.queue.Push(Line("L13"))) << "the free slot carries the count of three";
    gated.gate.AllowAll();
    gated.queue.Flush();

    const std::vector<std::string> expected = {
        "L1", "L2", "L3", "L4", "L5", "L6", "L7", "L8", "L9", "dropped 3", "dropped 1",
    };
    EXPECT_EQ(gated.gate.Delivered(), expected);
    EXPECT_EQ(gated.queue.DroppedTotal(), 4u);
    ASSERT_TRUE(gated.queue.Push(Line("L14")));
    gated.queue.Flush();
    EXPECT_EQ(gated.gate.Delivered().back(), "L14");
}

// Once stopped (at exit: the drain itself is DebugLogExit's), lines go out
// on the logging thread rather than being lost.
TEST(LogQueue, AfterStopLinesGoOutOnTheLoggingThread)
{
    GatedQueue gated(8);
    gated.queue.Push(Line("a"));
    gated.queue.Push(Line("b"));
    gated.gate.AllowAll();
    gated.queue.Stop();
    EXPECT_EQ(gated.gate.Delivered(), (std::vector<std::string>{"a", "b"}));
    EXPECT_NE(gated.gate.LastThread(), std::this_thread::get_id());
    gated.queue.Push(Line("c"));
    EXPECT_EQ(gated.gate.Delivered().back(), "c");
    EXPECT_EQ(gated.gate.LastThread(), std::this_thread::get_id());
}

}  // namespace
