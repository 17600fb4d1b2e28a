#pragma once
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <vector>

#include "zqcexport.h"

class ZQFMediaSample;

struct ZQFAllocatorConfig {
    int count = 0;  // samples in the pool
    int size = 0;   // bytes per sample
};

// A fixed pool of `count` samples of `size` bytes, allocated once.
//
// GetNewSample hands out a free sample with one reference, waiting at most the
// given time. BeginFlush wakes every thread waiting at that moment (they get
// null); later calls work as before. The pool outlives its owner while samples
// are out: Release() by the owner frees it when the last sample comes back
// (and the last waiter has left). Create it with new; never delete it.
class ZQ_API ZQFAllocator {
public:
    explicit ZQFAllocator(const ZQFAllocatorConfig& config);
    ZQFAllocator(const ZQFAllocator&) = delete;
    ZQFAllocator& operator=(const ZQFAllocator&) = delete;

    // Null after `waitMs` (0: do not wait; -1: wait for ever or until a flush).
    ZQFMediaSample* GetNewSample(int waitMs);
    void BeginFlush(bool running);

    int GetCount() const { return m_config.count; }
    int GetSampleSize() const { return m_config.size; }
    int GetFreeCount() const;
    bool IsFull() const { return GetFreeCount() == GetCount(); }
    // Threads blocked in GetNewSample right now (diagnostics and tests).
    int GetWaiterCount() const;

    // The owner lets go of the pool; it is freed now or when the last sample
    // out comes back.
    void Release();

    // Called by a sample whose last reference was dropped.
    void ReturnSample(ZQFMediaSample* sample);

private:
    ~ZQFAllocator();
    // With the lock held: the owner let go and nothing is out or waiting.
    bool CanBeFreed() const;

    ZQFAllocatorConfig m_config;
    uint8_t* m_memory = nullptr;
    std::vector<ZQFMediaSample*> m_samples;
    mutable std::mutex m_mutex;
    std::condition_variable m_available;
    std::vector<ZQFMediaSample*> m_free;  // LIFO: hot buffers stay hot
    uint64_t m_flushGeneration = 0;
    int m_waiters = 0;  // threads inside GetNewSample
    bool m_released = false;
};
