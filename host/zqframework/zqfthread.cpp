#include "zqfthread.h"

#include <chrono>
#include <exception>
#include <system_error>

#include "zqcthread.h"
#include "zqfdebuglog.h"
#include "zqfmodule.h"

namespace {

const char kLogPath[] = "zqframework\\zqfthread";

}  // namespace

ZQFThread::ZQFThread() : ZQFThread(nullptr) {}

ZQFThread::ZQFThread(const char* name) : m_name(name ? name : "") {}

ZQFThread::~ZQFThread()
{
    StopThreadAsync();
    // Joined outside the lock: the ending thread may still call StopThread.
    std::thread thread;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        thread = std::move(m_thread);
    }
    if (thread.joinable()) {
        if (thread.get_id() == std::this_thread::get_id()) {
            // Joining itself is impossible; the object dies under its own
            // thread, which must return without touching it again.
            DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQFThread %s destroyed by its own thread", m_name.c_str());
            thread.detach();
        } else {
            thread.join();
        }
    }
    if (ZQFModule* registrar = m_registrar.exchange(nullptr, std::memory_order_acq_rel)) {
        registrar->UnregisterThread(this);
    }
}

bool ZQFThread::StartThread(void* param)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (IsThreadRunning()) {
        return false;
    }
    if (m_thread.joinable()) {
        if (m_thread.get_id() == std::this_thread::get_id()) {
            return false;  // still inside the previous run
        }
        m_thread.join();
    }
    m_quit.store(false, std::memory_order_release);
    m_stopEvent.Reset();
    m_exitCode.store(0, std::memory_order_release);
    // Running before the first instruction of ThreadFunc, so a loop that
    // tests it never sees a false start.
    m_running.store(true, std::memory_order_release);
    try {
        m_thread = std::thread(&ZQFThread::Run, this, param);
    } catch (const std::system_error& error) {
        m_running.store(false, std::memory_order_release);
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQFThread %s could not start: %s", m_name.c_str(), error.what());
        return false;
    }
    return true;
}

void ZQFThread::StopThreadAsync()
{
    m_quit.store(true, std::memory_order_release);
    m_stopEvent.Signal();
}

// `flags` is accepted for the callers' sake; a thread is never killed.
bool ZQFThread::StopThread(int timeoutMs, int /*flags*/)
{
    StopThreadAsync();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_thread.joinable() && m_thread.get_id() == std::this_thread::get_id()) {
            return false;  // it cannot wait for itself to end
        }
    }
    {
        std::unique_lock<std::mutex> lock(m_doneMutex);
        const auto ended = [this] { return !IsThreadRunning(); };
        if (timeoutMs < 0) {
            m_done.wait(lock, ended);
        } else if (!m_done.wait_for(lock, std::chrono::milliseconds(timeoutMs), ended)) {
            return false;
        }
    }
    JoinIfEnded();
    return true;
}

void ZQFThread::SetRegistrar(ZQFModule* module) { m_registrar.store(module, std::memory_order_release); }

void ZQFThread::Run(void* param)
{
    // The name shows in log lines, debuggers and top.
    ZQCThread::SetCurrentName(m_name.c_str());
    int exitCode = -1;
    try {
        exitCode = ThreadFunc(param);
    } catch (const std::exception& error) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQFThread %s ended by an exception: %s", m_name.c_str(),
                 error.what());
    } catch (...) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR, "ZQFThread %s ended by an exception", m_name.c_str());
    }
    m_exitCode.store(exitCode, std::memory_order_release);
    // The last touch of the object from this thread; the destructor joins,
    // so the object outlives it.
    std::lock_guard<std::mutex> lock(m_doneMutex);
    m_running.store(false, std::memory_order_release);
    m_done.notify_all();
}

void ZQFThread::JoinIfEnded()
{
    std::thread ended;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_thread.joinable() && !IsThreadRunning() && m_thread.get_id() != std::this_thread::get_id()) {
            ended = std::move(m_thread);
        }
    }
    if (ended.joinable()) {
        ended.join();
    }
}
