#pragma once
// The stack with many modules at once, in either I/O mode: paced pairs,
// started modules without traffic, and resident memory per started module.
// Each run is one figure of the table, taken the same way in both modes.
#include <cstdint>

namespace bench {

// Threads of each module's own, or the process's receive service
// (SetSharedIO(1) on every module before the start).
enum class IOMode { Own, Shared };

struct ScaleRun {
    double cpuShare = 0;  // process CPU over wall time while the streams are paced
    double p99Us = 0;     // one-way, payload stamp to the sink's hook
    uint64_t sent = 0;    // frames "RTP out" took
    uint64_t lost = 0;    // frames paced minus frames delivered
    uint64_t disorder = 0;
};
// `pairs` "stock source -> RTP out" / "RTP in -> bench sink" pairs, paced
// by the host's media clock (one thread, 1 ms ticks) at `rate` packets/s
// each for `seconds`.
ScaleRun StackScale(int pairs, int rate, double seconds, IOMode mode);

// `modules` "RTP in" and as many "RTP out" started, RTCP on, no traffic:
// the share of a core the process uses over `seconds`.
double StackIdleShare(int modules, double seconds, IOMode mode);

struct MemoryRun {
    double startedKb = 0;  // per module, started and idle
    double trafficKb = 0;  // per module, after `packetsEach` came to each (inputs only; 0 if none)
};
// Resident memory growth of the process per module, from before the
// modules are made: `modules` "RTP in" (with their sinks) or "RTP out".
MemoryRun StackMemory(int modules, bool input, IOMode mode, int packetsEach = 0);

}  // namespace bench
