#include "zqfdebuglog.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <mutex>

#include "zqcformat.h"

namespace {

std::mutex g_sinkMutex;
zqf::DebugLogSink g_sink;
std::atomic<int> g_threshold{ZQF_LOG_ERROR};

void DefaultSink(const char* path, int line, int level, const char* text)
{
    if (level < g_threshold.load(std::memory_order_relaxed)) {
        return;
    }
    std::fprintf(stderr, "[%d] %s(%d): %s\n", level, path, line, text);
}

}  // namespace

void DebugLog(const char* path, int line, int level, const char* format, ...)
{
    char text[4096];
    va_list arguments;
    va_start(arguments, format);
    zq_vsprintf(text, sizeof text, format, arguments);
    va_end(arguments);

    std::lock_guard<std::mutex> lock(g_sinkMutex);
    if (g_sink) {
        g_sink(path ? path : "", line, level, text);
    } else {
        DefaultSink(path ? path : "", line, level, text);
    }
}

namespace zqf {

void SetDebugLogSink(DebugLogSink sink)
{
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_sink = std::move(sink);
}

void SetDebugLogLevel(int level) { g_threshold.store(level, std::memory_order_relaxed); }

int GetDebugLogLevel() { return g_threshold.load(std::memory_order_relaxed); }

}  // namespace zqf
