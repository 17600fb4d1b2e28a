#include <chrono>

#include "zqccriticalsection.h"
#include "zqcmutex.h"

namespace {

int LockTimed(std::recursive_timed_mutex& mutex, int timeoutMs)
{
    if (timeoutMs < 0) {
        mutex.lock();
        return 0;
    }
    return mutex.try_lock_for(std::chrono::milliseconds(timeoutMs)) ? 0 : -1;
}

}  // namespace

int ZQCCriticalSection::Lock(int timeoutMs) { return LockTimed(m_mutex, timeoutMs); }

int ZQCCriticalSection::Unlock()
{
    m_mutex.unlock();
    return 0;
}

int ZQCMutex::Lock(int timeoutMs) { return LockTimed(m_mutex, timeoutMs); }

int ZQCMutex::Unlock()
{
    m_mutex.unlock();
    return 0;
}
