#pragma once
#include <functional>

#include "zqcexport.h"

// Levels: 0 information and per-packet details, 1 warning, 2 error.
enum { ZQF_LOG_INFO = 0, ZQF_LOG_WARNING = 1, ZQF_LOG_ERROR = 2 };

// Formats into a bounded buffer and hands (path, line, level, text) to the
// installed sink. The default sink writes lines at or above the threshold to
// standard error.
ZQ_API void DebugLog(const char* path, int line, int level, const char* format, ...)
    __attribute__((format(printf, 4, 5)));

namespace zqf {

using DebugLogSink = std::function<void(const char* path, int line, int level, const char* text)>;

// Replaces the sink (an empty function restores the default one). The sink is
// called from whichever thread logs, one call at a time.
ZQ_API void SetDebugLogSink(DebugLogSink sink);
// Threshold of the default sink; lines below it are dropped. Default 2.
ZQ_API void SetDebugLogLevel(int level);
ZQ_API int GetDebugLogLevel();

}  // namespace zqf
