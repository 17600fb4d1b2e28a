#include "graphrunner.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <stdexcept>

#include "arguments.h"
#include "logoptions.h"
#include "statisticsreport.h"
#include "stopsignal.h"
#include "valueoptions.h"
#include "zqfgraph.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kReportInterval = std::chrono::seconds(2);
// How often the done and progress hooks are looked at.
constexpr auto kHookInterval = std::chrono::milliseconds(250);

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

const char* RunEndName(RunEnd how)
{
    switch (how) {
    case RunEnd::Signal:
        return "signal";
    case RunEnd::Done:
        return "done";
    default:
        return "seconds";
    }
}

RunOptions TakeRunOptions(Arguments& arguments)
{
    RunOptions options;
    if (const auto seconds = arguments.TakeValue("--seconds")) {
        options.seconds = ParseSeconds(*seconds);
    }
    options.json = arguments.TakeFlag("--json");
    TakeLogLevelOption(arguments);
    return options;
}

RunEnd RunGraph(ZQFGraph& graph, const std::string& what, const RunOptions& options, const RunHooks& hooks)
{
    std::function<void(double)> report = hooks.report;
    if (!report) {
        report = [&graph, &options](double elapsed) { PrintStackStatistics(stdout, graph, elapsed, options.json); };
    }
    const StopSignal stopSignal;
    std::string error;
    if (!graph.Start(&error)) {
        throw std::runtime_error(what + ": " + error);
    }
    const Clock::time_point start = Clock::now();
    const Clock::time_point end =
        options.seconds
            ? start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(*options.seconds))
            : Clock::time_point::max();
    const bool hooked = hooks.done || hooks.progress;
    Clock::time_point nextReport = start + kReportInterval;
    RunEnd how = RunEnd::TimeUp;
    for (;;) {
        if (stopSignal.Raised()) {
            how = RunEnd::Signal;
            break;
        }
        const Clock::time_point now = Clock::now();
        if (now >= end) {
            how = RunEnd::TimeUp;
            break;
        }
        if (hooks.done && hooks.done()) {
            how = RunEnd::Done;
            break;
        }
        if (now >= nextReport) {
            report(SecondsSince(start));
            while (nextReport <= now) {  // a late report does not bring a burst of them
                nextReport += kReportInterval;
            }
        }
        if (hooks.progress) {
            hooks.progress(SecondsSince(start));
        }
        Clock::time_point wake = std::min(nextReport, end);
        if (hooked) {
            wake = std::min(wake, Clock::now() + kHookInterval);
        }
        stopSignal.WaitUntil(wake);
    }
    if (hooks.ending) {
        hooks.ending(SecondsSince(start), how);
    } else {
        report(SecondsSince(start));
    }
    graph.Stop();
    return how;
}
