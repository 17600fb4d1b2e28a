#include "stdafx.h"

#include <cstdarg>

void RTPDebugLog(const char* format, ...)
{
    char text[2048];
    char line[2048];
    va_list arguments;
    va_start(arguments, format);
    zq_vsprintf(text, sizeof text, format, arguments);
    va_end(arguments);
    zq_sprintf(line, sizeof line, "** RTP_DEBUG ** %s", text);
    DebugLog("stdafx", 40, 0, "%s", line);
}
