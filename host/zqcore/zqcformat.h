#pragma once
#include <cstdarg>

#include "zqcexport.h"

// Formatting bounded by `size` bytes; the result is always zero-terminated
// (when size > 0) and cut where it does not fit. Answers the number of
// characters written, without the terminator.
extern "C" ZQ_API int zq_sprintf(char* buffer, int size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
extern "C" ZQ_API int zq_vsprintf(char* buffer, int size, const char* format, va_list arguments)
    __attribute__((format(printf, 3, 0)));
