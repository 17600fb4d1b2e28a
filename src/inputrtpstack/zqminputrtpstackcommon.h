#pragma once
// Shared by the files of the receiving stack: the source path of its log
// lines, its scoped lock and the address form of its traces.
#include <cstdint>

#include "zqccriticalsection.h"
#include "zqclockmng.h"

namespace zqm::input {

inline constexpr char kLogPath[] = "inputrtpstack\\zqminputrtpstack";

using StackLock = ZQCLockMng<ZQCCriticalSection>;

// Traces print an address with %8x: its low 32 bits.
inline unsigned TraceAddress(const void* address) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(address)); }

}  // namespace zqm::input
