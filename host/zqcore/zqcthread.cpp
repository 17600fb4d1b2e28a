#include "zqcthread.h"

#include <chrono>
#include <thread>

void ZQCThread::Sleep(int ms)
{
    if (ms <= 0) {
        std::this_thread::yield();
        return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}
