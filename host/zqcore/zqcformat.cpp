#include "zqcformat.h"

#include <cstdio>

int zq_vsprintf(char* buffer, int size, const char* format, va_list arguments)
{
    if (buffer == nullptr || size <= 0) {
        return 0;
    }
    const int wanted = std::vsnprintf(buffer, static_cast<size_t>(size), format ? format : "", arguments);
    if (wanted < 0) {
        buffer[0] = '\0';
        return 0;
    }
    return wanted < size ? wanted : size - 1;
}

int zq_sprintf(char* buffer, int size, const char* format, ...)
{
    va_list arguments;
    va_start(arguments, format);
    const int written = zq_vsprintf(buffer, size, format, arguments);
    va_end(arguments);
    return written;
}
