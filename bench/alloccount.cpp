#include "alloccount.h"

#include <atomic>
#include <cstdlib>
#include <new>

namespace {

thread_local uint64_t t_allocations = 0;
std::atomic<bool> g_countHeapCalls{false};
std::atomic<uint64_t> g_heapCalls{0};

void CountHeapCall()
{
    if (g_countHeapCalls.load(std::memory_order_relaxed)) {
        g_heapCalls.fetch_add(1, std::memory_order_relaxed);
    }
}

void* Allocate(std::size_t size)
{
    ++t_allocations;
    if (void* p = std::malloc(size == 0 ? 1 : size)) {
        return p;
    }
    throw std::bad_alloc();
}

void* AllocateAligned(std::size_t size, std::align_val_t align)
{
    ++t_allocations;
    const auto alignment = static_cast<std::size_t>(align);
    if (void* p = std::aligned_alloc(alignment, (size + alignment - 1) / alignment * alignment)) {
        return p;
    }
    throw std::bad_alloc();
}

}  // namespace

uint64_t bench::AllocationsOnThisThread() { return t_allocations; }

void bench::CountHeapCalls(bool on) { g_countHeapCalls.store(on, std::memory_order_relaxed); }

uint64_t bench::HeapCallsInProcess() { return g_heapCalls.load(std::memory_order_relaxed); }

// The C allocator's entry points, replaced in front of the C library's own
// (which they call), so that the libraries' allocations are seen too; free
// stays the library's.
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* p, std::size_t size);

void* malloc(std::size_t size) noexcept
{
    CountHeapCall();
    return __libc_malloc(size);
}

void* calloc(std::size_t count, std::size_t size) noexcept
{
    CountHeapCall();
    return __libc_calloc(count, size);
}

void* realloc(void* p, std::size_t size) noexcept
{
    CountHeapCall();
    return __libc_realloc(p, size);
}
}

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    ++t_allocations;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    ++t_allocations;
    return std::malloc(size == 0 ? 1 : size);
}
void* operator new(std::size_t size, std::align_val_t align) { return AllocateAligned(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return AllocateAligned(size, align); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
