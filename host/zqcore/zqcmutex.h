#pragma once
#include <mutex>

#include "zqcexport.h"

// Mutex taken with a time-out. Lock(ms) answers 0 when obtained; -1 waits for
// ever. Like the system mutex it stands for, the owner may take it again.
class ZQ_API ZQCMutex {
public:
    ZQCMutex() = default;
    ZQCMutex(const ZQCMutex&) = delete;
    ZQCMutex& operator=(const ZQCMutex&) = delete;

    int Lock(int timeoutMs);
    int Unlock();

private:
    std::recursive_timed_mutex m_mutex;
};
