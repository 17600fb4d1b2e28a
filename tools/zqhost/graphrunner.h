#pragma once
// Running a graph from the command line: start it, print the stack modules'
// statistics every two seconds on standard output, and stop it cleanly when
// the time is up or on SIGINT/SIGTERM.
#include <optional>
#include <string>

class Arguments;
class ZQFGraph;

struct RunOptions {
    std::optional<double> seconds;  // none: until a signal
};

// Takes "--seconds N" and "--log-level L" (see logoptions.h). Throws
// CommandError for a bad value.
RunOptions TakeRunOptions(Arguments& arguments);

// Starts, reports, stops. Throws std::runtime_error("<what>: <why>") when the
// graph does not start (it is then stopped again). Answers the exit code.
int RunGraph(ZQFGraph& graph, const std::string& what, const RunOptions& options);
