#pragma once
#include "zqcexport.h"

// A level-triggered event that a waiting socket can watch besides its own
// descriptor: Signal() wakes every current and later wait until Reset().
// Used to cut a socket wait short when a thread is asked to stop.
class ZQ_API ZQCWakeEvent {
public:
    ZQCWakeEvent();
    ~ZQCWakeEvent();
    ZQCWakeEvent(const ZQCWakeEvent&) = delete;
    ZQCWakeEvent& operator=(const ZQCWakeEvent&) = delete;

    void Signal();
    void Reset();
    bool IsSignaled() const;
    // Waits until the event is signalled, at most `timeoutMs` (-1: no limit).
    // True when signalled.
    bool Wait(int timeoutMs) const;
    int GetDescriptor() const { return m_fd; }

private:
    int m_fd;
};
