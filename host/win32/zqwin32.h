#pragma once
// The subset of the Windows API that the plug-in calls, implemented on Linux
// by the framework library. WS2_32's byte-order functions are the POSIX ones.
#include <arpa/inet.h>

#include <cstdint>
#include <functional>
#include <string>

#include "zqcexport.h"

typedef int BOOL;
typedef uint16_t WORD;
typedef uint32_t DWORD;
typedef unsigned int UINT;
typedef void* HMODULE;
typedef HMODULE HINSTANCE;
typedef void* HWND;
typedef uintptr_t WPARAM;
typedef intptr_t LPARAM;
typedef intptr_t LRESULT;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

struct SYSTEMTIME {
    WORD wYear;
    WORD wMonth;
    WORD wDayOfWeek;
    WORD wDay;
    WORD wHour;
    WORD wMinute;
    WORD wSecond;
    WORD wMilliseconds;
};

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

// KERNEL32
extern "C" ZQ_API BOOL DisableThreadLibraryCalls(HMODULE module);
extern "C" ZQ_API void OutputDebugStringA(const char* text);
extern "C" ZQ_API void GetSystemTime(SYSTEMTIME* time);
extern "C" ZQ_API BOOL SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* fileTime);
extern "C" ZQ_API DWORD GetTickCount(void);

// Host side of the stand-in (not Windows API).
namespace zqwin32 {

// Where OutputDebugStringA goes: by default standard error; tests capture it.
using DebugStringSink = std::function<void(const char* text)>;
ZQ_API void SetOutputDebugStringSink(DebugStringSink sink);

// Fixes what GetSystemTime answers (tests); null goes back to the real clock.
ZQ_API void SetSystemTimeOverride(const SYSTEMTIME* fixed);

// How many times DisableThreadLibraryCalls was called, and with which handle.
ZQ_API int GetDisableThreadLibraryCallsCount();
ZQ_API HMODULE GetLastDisabledModule();

}  // namespace zqwin32
