#pragma once
// Common includes of the plug-in and its trace function.
#include "zqcore.h"
#include "zqframework.h"

// Trace line of the library: "** RTP_DEBUG ** " and the formatted text, to
// DebugLog at level 0.
void RTPDebugLog(const char* format, ...) __attribute__((format(printf, 1, 2)));
