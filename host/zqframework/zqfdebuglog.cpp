#include "zqfdebuglog.h"

#include <atomic>
#include <climits>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <utility>

#include "zqcformat.h"
#include "zqcthread.h"
#include "zqflogqueue.h"
#include "zqflogrecord.h"

namespace {

const char kLogPath[] = "zqframework\\zqfdebuglog";

// About 640 KB: seconds of a flood of per-packet lines while the sink is slow.
constexpr size_t kQueueSlots = 1024;
constexpr int kNoCustomSink = INT_MIN;

struct SinkState {
    std::mutex mutex;  // held while the sink runs and while it is replaced
    zqf::DebugLogLineSink sink;  // empty: the default sink
};

// Never destroyed: static destructors that run after the exit drain may
// still log, and are then delivered synchronously through it.
SinkState& Sinks()
{
    static SinkState* const state = new SinkState;
    return *state;
}

std::atomic<int> g_threshold{ZQF_LOG_ERROR};
std::atomic<int> g_customSinkLevel{kNoCustomSink};
std::atomic<uint64_t> g_formatted{0};

int SinkLevel()
{
    const int custom = g_customSinkLevel.load(std::memory_order_relaxed);
    return custom == kNoCustomSink ? g_threshold.load(std::memory_order_relaxed) : custom;
}

void WriteToStandardError(const zqf::DebugLogLine& line)
{
    char buffer[ZQFLogRecord::kTextBytes + ZQFLogRecord::kPathBytes + 64];
    const int length = zqf::FormatDebugLogLine(line, buffer, sizeof buffer - 1);
    buffer[length] = '\n';
    std::fwrite(buffer, 1, static_cast<size_t>(length) + 1, stderr);  // one write per line
}

void DeliverToSink(const zqf::DebugLogLine& line)
{
    SinkState& sinks = Sinks();
    std::lock_guard<std::mutex> lock(sinks.mutex);
    if (!sinks.sink) {
        WriteToStandardError(line);
        return;
    }
    try {
        sinks.sink(line);
    } catch (...) {
        // A sink that throws loses its line; the writer must go on.
    }
}

void DeliverRecord(const ZQFLogRecord& record)
{
    if (record.kind == ZQFLogRecord::Kind::Dropped) {
        char notice[64];
        zq_sprintf(notice, sizeof notice, "%llu log lines dropped", static_cast<unsigned long long>(record.droppedCount));
        DeliverToSink({kLogPath, __LINE__, ZQF_LOG_WARNING, notice, record.timeMs, ZQCThread::CurrentName()});
        return;
    }
    DeliverToSink({record.path, record.line, record.level, record.text, record.timeMs, record.thread});
}

void StopQueueAtExit();

// Made on first use and never destroyed; stopped (drained, writer joined) by
// an exit handler, after which lines are delivered synchronously.
ZQFLogQueue& Queue()
{
    static ZQFLogQueue* const queue = [] {
        auto* made = new ZQFLogQueue(kQueueSlots, DeliverRecord);
        std::atexit(StopQueueAtExit);
        return made;
    }();
    return *queue;
}

void StopQueueAtExit() { Queue().Stop(); }

}  // namespace

void DebugLog(const char* path, int line, int level, const char* format, ...)
{
    if (level < SinkLevel()) {
        return;
    }
    ZQFLogRecord record;
    ZQFStampLogRecord(record, path, line, level);
    va_list arguments;
    va_start(arguments, format);
    zq_vsprintf(record.text, sizeof record.text, format, arguments);
    va_end(arguments);
    g_formatted.fetch_add(1, std::memory_order_relaxed);
    Queue().Push(record);
}

namespace zqf {

void SetDebugLogLineSink(DebugLogLineSink sink, int minLevel)
{
    // Sinks run on the writer: it starts here rather than at some later
    // line, so a test that counts threads counts it from the start.
    Queue().Start();
    FlushDebugLog();
    SinkState& sinks = Sinks();
    std::lock_guard<std::mutex> lock(sinks.mutex);
    sinks.sink = std::move(sink);
    g_customSinkLevel.store(sinks.sink ? minLevel : kNoCustomSink, std::memory_order_relaxed);
}

void SetDebugLogSink(DebugLogSink sink, int minLevel)
{
    if (!sink) {
        SetDebugLogLineSink({}, minLevel);
        return;
    }
    SetDebugLogLineSink(
        [sink = std::move(sink)](const DebugLogLine& line) { sink(line.path, line.line, line.level, line.text); },
        minLevel);
}

void SetDebugLogLevel(int level) { g_threshold.store(level, std::memory_order_relaxed); }

int GetDebugLogLevel() { return g_threshold.load(std::memory_order_relaxed); }

void FlushDebugLog() { Queue().Flush(); }

void RepostDebugLogLine(const DebugLogLine& line)
{
    if (line.level < SinkLevel()) {
        return;
    }
    ZQFLogRecord record;
    ZQFStampLogRecord(record, line.path, line.line, line.level);
    record.timeMs = line.timeMs;
    zq_sprintf(record.thread, sizeof record.thread, "%s", line.threadName ? line.threadName : "");
    zq_sprintf(record.text, sizeof record.text, "%s", line.text ? line.text : "");
    Queue().Push(record);
}

int FormatDebugLogLine(const DebugLogLine& line, char* buffer, int size)
{
    return zq_sprintf(buffer, size, "%lld ms [%s] [%d] %s(%d): %s", static_cast<long long>(line.timeMs),
                      line.threadName ? line.threadName : "", line.level, line.path ? line.path : "", line.line,
                      line.text ? line.text : "");
}

DebugLogCounts GetDebugLogCounts()
{
    return {g_formatted.load(std::memory_order_relaxed), Queue().DroppedTotal()};
}

}  // namespace zqf
