#include <cstdio>
#include <ctime>
#include <mutex>

#include "zqcclock.h"
#include "zqwin32.h"

namespace {

std::mutex g_sinkMutex;
zqwin32::DebugStringSink g_debugSink;

std::mutex g_timeMutex;
bool g_timeFixed = false;
SYSTEMTIME g_fixedTime{};

std::mutex g_disableMutex;
int g_disableCount = 0;
HMODULE g_lastDisabled = nullptr;

bool IsLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

// Days from 1601-01-01 to the first day of `year`.
int64_t DaysBeforeYear(int year)
{
    const int64_t y = year - 1601;
    return y * 365 + y / 4 - y / 100 + y / 400;
}

}  // namespace

BOOL DisableThreadLibraryCalls(HMODULE module)
{
    std::lock_guard<std::mutex> lock(g_disableMutex);
    ++g_disableCount;
    g_lastDisabled = module;
    return TRUE;
}

void OutputDebugStringA(const char* text)
{
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    if (g_debugSink) {
        g_debugSink(text ? text : "");
    } else {
        std::fputs(text ? text : "", stderr);
    }
}

void GetSystemTime(SYSTEMTIME* out)
{
    if (out == nullptr) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(g_timeMutex);
        if (g_timeFixed) {
            *out = g_fixedTime;
            return;
        }
    }
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    tm utc{};
    gmtime_r(&now.tv_sec, &utc);
    out->wYear = static_cast<WORD>(utc.tm_year + 1900);
    out->wMonth = static_cast<WORD>(utc.tm_mon + 1);
    out->wDayOfWeek = static_cast<WORD>(utc.tm_wday);
    out->wDay = static_cast<WORD>(utc.tm_mday);
    out->wHour = static_cast<WORD>(utc.tm_hour);
    out->wMinute = static_cast<WORD>(utc.tm_min);
    out->wSecond = static_cast<WORD>(utc.tm_sec);
    out->wMilliseconds = static_cast<WORD>(now.tv_nsec / 1000000);
}

BOOL SystemTimeToFileTime(const SYSTEMTIME* time, FILETIME* fileTime)
{
    if (time == nullptr || fileTime == nullptr || time->wYear < 1601 || time->wMonth < 1 ||
        time->wMonth > 12 || time->wDay < 1 || time->wHour > 23 || time->wMinute > 59 ||
        time->wSecond > 59 || time->wMilliseconds > 999) {
        return FALSE;
    }
    static const int kDaysBeforeMonth[12] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int64_t days = DaysBeforeYear(time->wYear) + kDaysBeforeMonth[time->wMonth - 1] + (time->wDay - 1);
    if (time->wMonth > 2 && IsLeapYear(time->wYear)) {
        ++days;
    }
    const int64_t seconds = days * 86400 + time->wHour * 3600 + time->wMinute * 60 + time->wSecond;
    const uint64_t units = static_cast<uint64_t>(seconds) * 10000000ULL + time->wMilliseconds * 10000ULL;
    fileTime->dwLowDateTime = static_cast<DWORD>(units & 0xFFFFFFFFu);
    fileTime->dwHighDateTime = static_cast<DWORD>(units >> 32);
    return TRUE;
}

DWORD GetTickCount(void) { return ZQCClock::GetTickCount(); }

namespace zqwin32 {

void SetOutputDebugStringSink(DebugStringSink sink)
{
    std::lock_guard<std::mutex> lock(g_sinkMutex);
    g_debugSink = std::move(sink);
}

void SetSystemTimeOverride(const SYSTEMTIME* fixed)
{
    std::lock_guard<std::mutex> lock(g_timeMutex);
    g_timeFixed = fixed != nullptr;
    if (fixed) {
        g_fixedTime = *fixed;
    }
}

int GetDisableThreadLibraryCallsCount()
{
    std::lock_guard<std::mutex> lock(g_disableMutex);
    return g_disableCount;
}

HMODULE GetLastDisabledModule()
{
    std::lock_guard<std::mutex> lock(g_disableMutex);
    return g_lastDisabled;
}

}  // namespace zqwin32
