#pragma once
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

#include "zqcexport.h"
#include "zqcwakeevent.h"

class ZQFModule;

// A framework thread: StartThread runs ThreadFunc(param) on a new thread.
// StopThreadAsync raises the quit flag (and signals the stop event, which
// cuts socket waits short); StopThread(ms, …) raises it and waits at most ms,
// answering false when the thread did not end. A thread is never killed.
// The object can be started again once its thread has ended.
//
// A class that runs its own code in ThreadFunc must stop the thread in its
// own destructor; the base destructor only raises the flag and joins, as a
// last guard.
class ZQ_API ZQFThread {
public:
    ZQFThread();
    explicit ZQFThread(const char* name);
    virtual ~ZQFThread();
    ZQFThread(const ZQFThread&) = delete;
    ZQFThread& operator=(const ZQFThread&) = delete;

    bool StartThread(void* param);
    void StopThreadAsync();
    bool StopThread(int timeoutMs, int flags);
    bool MustQuit() const { return m_quit.load(std::memory_order_acquire); }
    bool IsThreadRunning() const { return m_running.load(std::memory_order_acquire); }
    void SetPriority(int priority) { m_priority = priority; }
    int GetPriority() const { return m_priority; }
    const char* GetThreadName() const { return m_name.c_str(); }
    // Signalled while the thread is asked to stop; wait on it with the socket.
    const ZQCWakeEvent& GetStopEvent() const { return m_stopEvent; }
    int GetExitCode() const { return m_exitCode.load(std::memory_order_acquire); }

    // Framework use: the module the thread is registered with.
    void SetRegistrar(ZQFModule* module);

protected:
    virtual int ThreadFunc(void* param) = 0;

private:
    void Run(void* param);
    void JoinIfEnded();

    std::string m_name;
    int m_priority = 0;
    std::mutex m_mutex;  // guards m_thread and the start/stop transitions
    std::thread m_thread;
    std::atomic<bool> m_quit{false};
    std::atomic<bool> m_running{false};
    std::atomic<int> m_exitCode{0};
    ZQCWakeEvent m_stopEvent;
    std::mutex m_doneMutex;
    std::condition_variable m_done;
    std::atomic<ZQFModule*> m_registrar{nullptr};
};
