#include "zqcthread.h"

#include <pthread.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

namespace {

constexpr size_t kNameBytes = 16;  // 15 characters and the terminator, as the kernel keeps

// Filled on first use or by SetCurrentName; a thread_local keeps the log's
// per-line cost at one copy, with no system call.
thread_local char t_name[kNameBytes];

void CopyName(const char* name)
{
    std::strncpy(t_name, name, kNameBytes - 1);
    t_name[kNameBytes - 1] = '\0';
}

pid_t CurrentThreadId() { return static_cast<pid_t>(syscall(SYS_gettid)); }

// A thread nobody named carries the name of the thread that made it, most
// often the program's: the log then says which thread it is by number.
bool KernelNameIsInherited(const char* kernelName)
{
    return kernelName[0] == '\0' || std::strncmp(kernelName, program_invocation_short_name, kNameBytes - 1) == 0;
}

}  // namespace

void ZQCThread::Sleep(int ms)
{
    if (ms <= 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

void ZQCThread::SetCurrentName(const char* name)
{
    if (name == nullptr || name[0] == '\0') {
        return;
    }
    CopyName(name);
    pthread_setname_np(pthread_self(), t_name);
}

const char* ZQCThread::CurrentName()
{
    if (t_name[0] != '\0') {
        return t_name;
    }
    if (CurrentThreadId() == getpid()) {
        CopyName("main");
    } else if (pthread_getname_np(pthread_self(), t_name, kNameBytes) != 0 || KernelNameIsInherited(t_name)) {
        std::snprintf(t_name, kNameBytes, "thread %d", static_cast<int>(CurrentThreadId()));
    }
    return t_name;
}
