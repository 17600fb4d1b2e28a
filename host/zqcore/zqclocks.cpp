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
    // Uncontended, the lock is taken without reading the clock for a deadline
    // (a clock read costs more than the lock on the per-packet paths).
    if (mutex.try_lock()) {
        return 0;
    }
#if defined(__SANITIZE_THREAD__)
    // ThreadSanitizer does not intercept pthread_mutex_clocklock, which the
    // steady-clock wait uses, and then reports every unlock as foreign. The
    // system-clock wait goes through pthread_mutex_timedlock, which it sees.
    return mutex.try_lock_until(std::chrono::system_clock::now() + std::chrono::milliseconds(timeoutMs)) ? 0 : -1;
#else
    return mutex.try_lock_for(std::chrono::milliseconds(timeoutMs)) ? 0 : -1;
#endif
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
