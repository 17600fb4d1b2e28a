#pragma once
// One log line as the log queue carries it: fixed size, so a line is queued
// without a heap allocation, and self-contained (the path is copied), so a
// line outlives the plug-in that wrote it even when that one is unloaded
// before the writer gets to it.
#include <cstddef>
#include <cstdint>

#include "zqcexport.h"

struct ZQFLogRecord {
    static constexpr size_t kTextBytes = 512;   // longer texts are cut
    static constexpr size_t kPathBytes = 96;
    static constexpr size_t kThreadBytes = 16;  // as much as the kernel keeps

    // A line, or the place where lines were dropped because the queue was
    // full (`droppedCount` of them; `text` is then empty).
    enum class Kind : uint8_t { Line, Dropped };

    Kind kind = Kind::Line;
    int level = 0;
    int line = 0;
    int64_t timeMs = 0;  // monotonic, since the process started
    uint64_t droppedCount = 0;
    char thread[kThreadBytes] = {};
    char path[kPathBytes] = {};
    char text[kTextBytes] = {};
};

// Milliseconds of the monotonic clock since the log library was loaded,
// which is the process start for every program linked with it.
ZQ_API int64_t ZQFLogClockMs();

// Stamps `record` with the time, the calling thread's name, the path
// (cut to fit) and the line and level.
ZQ_API void ZQFStampLogRecord(ZQFLogRecord& record, const char* path, int line, int level);
