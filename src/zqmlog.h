#pragma once
// Logging and raising inside the plug-in. A file that uses them defines
// `kLogPath`, the source path its lines carry (for example
// "inputrtpstack\\zqminputrtpstack").
#include "zqcexception.h"
#include "zqfdebuglog.h"

#define ZQM_LOG(level, ...) DebugLog(kLogPath, __LINE__, (level), __VA_ARGS__)

// Errors inside an operation are raised with the file's path and line, code
// 0 and an empty detail, and caught at the end of the same operation.
#define ZQM_THROW(text) throw ZQCException(kLogPath, __LINE__, 0, (text), "")
