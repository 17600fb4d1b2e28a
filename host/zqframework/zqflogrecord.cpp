#include "zqflogrecord.h"

#include <chrono>
#include <cstring>

#include "zqcthread.h"

namespace {

const auto g_processStart = std::chrono::steady_clock::now();

void CopyCut(char* target, size_t size, const char* source)
{
    std::strncpy(target, source ? source : "", size - 1);
    target[size - 1] = '\0';
}

}  // namespace

int64_t ZQFLogClockMs()
{
    const auto elapsed = std::chrono::steady_clock::now() - g_processStart;
    return std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count();
}

void ZQFStampLogRecord(ZQFLogRecord& record, const char* path, int line, int level)
{
    record.kind = ZQFLogRecord::Kind::Line;
    record.level = level;
    record.line = line;
    record.timeMs = ZQFLogClockMs();
    record.droppedCount = 0;
    CopyCut(record.thread, sizeof record.thread, ZQCThread::CurrentName());
    CopyCut(record.path, sizeof record.path, path);
}
