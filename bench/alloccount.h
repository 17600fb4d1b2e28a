#pragma once
// Counts heap allocations: those made by the calling thread through a
// replaced global operator new, and, while switched on, every malloc, calloc
// and realloc of the process, the libraries' own included (linked only into
// the benchmark programs).
#include <cstdint>

namespace bench {

uint64_t AllocationsOnThisThread();

// Off by default: a counter shared by every thread would cost each call an
// atomic increment in the timed measurements.
void CountHeapCalls(bool on);
uint64_t HeapCallsInProcess();

}  // namespace bench
