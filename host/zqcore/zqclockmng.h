#pragma once

// Scoped lock over anything with Lock(timeout) answering 0 on success and
// Unlock(). Releases in its destructor only what it obtained.
template <class Lockable>
class ZQCLockMng {
public:
    ZQCLockMng(Lockable& lock, int timeoutMs) : m_lock(lock), m_locked(lock.Lock(timeoutMs) == 0) {}
    virtual ~ZQCLockMng()
    {
        if (m_locked) {
            m_lock.Unlock();
        }
    }
    ZQCLockMng(const ZQCLockMng&) = delete;
    ZQCLockMng& operator=(const ZQCLockMng&) = delete;

    virtual bool IsLocked() const { return m_locked; }

private:
    Lockable& m_lock;
    bool m_locked;
};
