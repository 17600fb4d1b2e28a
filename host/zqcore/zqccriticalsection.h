#pragma once
#include <mutex>

#include "zqcexport.h"

// Re-entrant lock: the thread that holds it may take it again.
// Lock(timeoutMs) answers 0 when obtained; -1 waits for ever.
class ZQ_API ZQCCriticalSection {
public:
    ZQCCriticalSection() = default;
    ZQCCriticalSection(const ZQCCriticalSection&) = delete;
    ZQCCriticalSection& operator=(const ZQCCriticalSection&) = delete;

    int Lock(int timeoutMs = -1);
    int Unlock();

private:
    std::recursive_timed_mutex m_mutex;
};
