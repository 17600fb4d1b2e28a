#pragma once
// Counts heap allocations made by the calling thread, through a replaced
// global operator new (linked only into the benchmark programs).
#include <cstdint>

namespace bench {

uint64_t AllocationsOnThisThread();

}  // namespace bench
