// zqhost run: load a graph file, run it, print the stack statistics.
#include "command.h"
#include "graphrunner.h"
#include "hostmodules.h"

namespace {

int RunRun(Arguments& arguments)
{
    const RunOptions options = TakeRunOptions(arguments);
    const auto path = arguments.TakeOperand();
    if (!path) {
        throw CommandError("no graph file given (see zqhost run --help)");
    }
    arguments.ExpectNoMore();

    const HostGraph graph(*path);
    RunGraph(graph.Get(), *path, options);
    return 0;
}

}  // namespace

extern const Command kRunCommand = {
    "run",
    "run a graph file and print the RTP statistics",
    "usage: zqhost run GRAPH.xml [--seconds N] [--json] [--log-level L]\n\n"
    "Loads the graph file (its plug-ins, modules, settings and connections),\n"
    "starts it, and prints the statistics of every RTP stack module every two\n"
    "seconds on standard output: for each source its SSRC, side, CNAME,\n"
    "packets, octets, fraction lost (%), cumulative loss, jitter (ms), receiver\n"
    "reports and round-trip time (ms). Stops cleanly after N seconds, or on\n"
    "SIGINT or SIGTERM, and exits 0.\n\n"
    "options:\n"
    "  --seconds N     run for N seconds (default: until interrupted)\n"
    "  --json          print the statistics as JSON lines, one per module and\n"
    "                  report: {\"time\":2.0,\"module\":\"RTP out\",\"sources\":[...]}\n"
    "  --log-level L   log on standard error from level L up: 0 or info,\n"
    "                  1 or warning, 2 or error (default 2)\n\n"
    "A graph file that cannot be read or used gives one line naming the file,\n"
    "line and column, and exit code 2; a graph that fails to start, exit code 1.\n"
    "zqhost save writes ready-to-run graph files (see docs/graph-files.md).\n",
    &RunRun,
};
