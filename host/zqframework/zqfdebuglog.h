#pragma once
#include <cstdint>
#include <functional>

#include "zqcexport.h"

// Levels: 0 information and per-packet details, 1 warning, 2 error.
enum { ZQF_LOG_INFO = 0, ZQF_LOG_WARNING = 1, ZQF_LOG_ERROR = 2 };

// Logs one line without ever making the caller wait for the sink. A line
// below the level of the installed sink is dropped before it is formatted.
// The text is formatted into a fixed slot (511 characters; longer texts are
// cut) and queued, with the time and the calling thread's name, for the one
// writer thread, which hands it to the sink. When the queue is full the line
// is dropped and counted; the writer then reports "N log lines dropped".
ZQ_API void DebugLog(const char* path, int line, int level, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

namespace zqf {

// A line as a sink sees it. The pointers are valid during the call only.
struct DebugLogLine {
    const char* path;
    int line;
    int level;
    const char* text;
    int64_t timeMs;          // monotonic, milliseconds since the process started
    const char* threadName;  // the thread that logged
};

using DebugLogSink = std::function<void(const char* path, int line, int level, const char* text)>;
using DebugLogLineSink = std::function<void(const DebugLogLine& line)>;

// Replaces the sink (an empty function restores the default one, which
// writes to standard error). Lines logged before the call still go to the
// previous sink: the call waits until they were delivered. Sinks run on the
// log's writer thread, one call at a time; lines below `minLevel` never reach
// them.
ZQ_API void SetDebugLogSink(DebugLogSink sink, int minLevel = ZQF_LOG_INFO);
ZQ_API void SetDebugLogLineSink(DebugLogLineSink sink, int minLevel = ZQF_LOG_INFO);

// Threshold of the default sink; lines below it are dropped. Default 2.
ZQ_API void SetDebugLogLevel(int level);
ZQ_API int GetDebugLogLevel();

// Waits until the lines logged before the call were delivered (a no-op when
// called from a sink). Call it before writing to standard error directly, so
// the order there stays the order of events. At exit the log flushes itself.
ZQ_API void FlushDebugLog();

// Queues a line logged earlier, keeping its time and thread, if it reaches
// the level of the installed sink (lines held back and let go later).
ZQ_API void RepostDebugLogLine(const DebugLogLine& line);

// The default sink's form of a line: "<ms> ms [<thread>] [<level>] <path>(<line>): <text>",
// without a line end; cut to `size`. Answers the characters written.
ZQ_API int FormatDebugLogLine(const DebugLogLine& line, char* buffer, int size);

struct DebugLogCounts {
    uint64_t formatted;  // lines that reached the level and were formatted
    uint64_t dropped;    // lines dropped because the queue was full
};
ZQ_API DebugLogCounts GetDebugLogCounts();

}  // namespace zqf
