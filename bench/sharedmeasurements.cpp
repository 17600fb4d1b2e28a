// The shared-I/O figures: the stack's modules served by the process's
// receive service (a few epoll threads for all of them) instead of threads
// of their own, each beside its baseline in the same process.
#include <sys/resource.h>

#include <stdexcept>
#include <string>

#include "bare.h"
#include "measurements.h"
#include "stackloads.h"

namespace bench {
namespace {

// A thousand pairs hold some six thousand descriptors (three sockets a
// module) besides the baseline's: more than the usual soft limit.
void RaiseDescriptorLimit()
{
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
        limit.rlim_cur = limit.rlim_max;
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Datagrams sent to each "RTP in" before memory is read again: enough for
// its pool, sources and sink to have done their work once.
constexpr int kPacketsPerInput = 20;

}  // namespace

void MeasureSharedScale(int pairs, int rate, double seconds)
{
    RaiseDescriptorLimit();
    const std::string prefix = "shared.scale" + std::to_string(pairs) + ".";
    bare_scale_result bare{};
    if (bare_scale(pairs, rate, seconds, &bare) != 0) {
        throw std::runtime_error("the bare pairs do not start");
    }
    Report((prefix + "bare.share").c_str(), bare.cpuShare);
    Report((prefix + "bare.p99_us").c_str(), bare.p99Us);
    Report((prefix + "bare.lost").c_str(), static_cast<double>(bare.sent - bare.received));

    const ScaleRun ours = StackScale(pairs, rate, seconds, IOMode::Shared);
    Report((prefix + "ours.share").c_str(), ours.cpuShare);
    Report((prefix + "ours.p99_us").c_str(), ours.p99Us);
    Report((prefix + "ours.lost").c_str(), static_cast<double>(ours.lost));
    Report((prefix + "ours.disorder").c_str(), static_cast<double>(ours.disorder));
    Report((prefix + "ours.sent").c_str(), static_cast<double>(ours.sent));
}

void MeasureSharedIdle(int modules, double seconds)
{
    RaiseDescriptorLimit();
    // As target 4's baseline: a bare thread per module, each waiting on a
    // quiet socket with 100 ms time-outs.
    Report("shared.idle.bare.share", bare_idle(2 * modules, 100, seconds));
    Report("shared.idle.ours.share", StackIdleShare(modules, seconds, IOMode::Shared));
}

// One mode a process, so that neither mode's figure is taken on memory the
// other one freed.
void MeasureMemoryIO(int modules, bool shared)
{
    RaiseDescriptorLimit();
    const std::string prefix = std::string("shared.memory.") + (shared ? "shared" : "own") + ".";
    const MemoryRun run = StackMemory(modules, true, shared ? IOMode::Shared : IOMode::Own, kPacketsPerInput);
    Report((prefix + "in_kb").c_str(), run.startedKb);
    Report((prefix + "in_traffic_kb").c_str(), run.trafficKb);
}

}  // namespace bench
