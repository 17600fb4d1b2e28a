#include "graphrunner.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "arguments.h"
#include "logoptions.h"
#include "statisticsreport.h"
#include "stopsignal.h"
#include "zqfgraph.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr auto kReportInterval = std::chrono::seconds(2);
// A day is longer than any run anyone means to time with --seconds.
constexpr double kMaxSeconds = 86400.0;

double ParseSeconds(const std::string& text)
{
    size_t used = 0;
    double seconds = 0;
    try {
        seconds = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || !std::isfinite(seconds) || seconds <= 0 || seconds > kMaxSeconds) {
        throw CommandError("option --seconds: '" + text + "' is not a number of seconds above 0");
    }
    return seconds;
}

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

}  // namespace

RunOptions TakeRunOptions(Arguments& arguments)
{
    RunOptions options;
    if (const auto seconds = arguments.TakeValue("--seconds")) {
        options.seconds = ParseSeconds(*seconds);
    }
    TakeLogLevelOption(arguments);
    return options;
}

int RunGraph(ZQFGraph& graph, const std::string& what, const RunOptions& options)
{
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
    Clock::time_point nextReport = start + kReportInterval;
    while (!stopSignal.WaitUntil(std::min(nextReport, end)) && Clock::now() < end) {
        PrintStackStatistics(stdout, graph, SecondsSince(start));
        nextReport += kReportInterval;
    }
    PrintStackStatistics(stdout, graph, SecondsSince(start));
    graph.Stop();
    return 0;
}
