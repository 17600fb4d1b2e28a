#pragma once
// Running a graph from the command line: start it, print the stack modules'
// statistics every two seconds on standard output, and stop it cleanly when
// the time is up, when the command says it is done, or on a stop signal
// (SIGINT, SIGTERM, SIGHUP, SIGPIPE).
#include <functional>
#include <optional>
#include <string>

class Arguments;
class ZQFGraph;

struct RunOptions {
    std::optional<double> seconds;  // none: until a signal (or the command is done)
    bool json = false;              // statistics as JSON lines
};

// Takes "--seconds N", "--json" and "--log-level L" (see logoptions.h).
// Throws CommandError for a bad value.
RunOptions TakeRunOptions(Arguments& arguments);

enum class RunEnd { TimeUp, Signal, Done };
// "seconds", "signal" or "done", as summaries say how a run ended.
const char* RunEndName(RunEnd how);

// What a command adds to the plain run. Every hook is optional.
struct RunHooks {
    // Looked at a few times a second; true ends the run.
    std::function<bool()> done;
    // Called a few times a second with the seconds since the start.
    std::function<void(double)> progress;
    // Prints one statistics report; by default every stack module's block.
    std::function<void(double)> report;
    // Called once when the run ends, before the graph stops (the stacks'
    // figures are still there); by default a last report.
    std::function<void(double, RunEnd)> ending;
};

// Starts, reports, stops. Throws std::runtime_error("<what>: <why>") when the
// graph does not start (it is then stopped again). Answers how it ended.
RunEnd RunGraph(ZQFGraph& graph, const std::string& what, const RunOptions& options, const RunHooks& hooks = {});
