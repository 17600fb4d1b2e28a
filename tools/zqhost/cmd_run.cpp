// zqhost run: load a graph file, run it, print the stack statistics.
#include <cstdio>

#include "command.h"
#include "logoptions.h"
#include "graphrunner.h"
#include "hostmodules.h"
#include "iomode.h"
#include "jsonline.h"
#include "statisticsreport.h"
#include "zqfgraph.h"
#include "zqfmodule.h"
#include "zqstocksource.h"

namespace {

// The last report, then a line for each stock source whose frames a stack
// refused, with the sending stack's last error line as the reason.
RunHooks RefusalHooks(const ZQFGraph& graph, const RunOptions& options, const SendErrorWatch& errors)
{
    RunHooks hooks;
    hooks.ending = [&graph, &options, &errors](double elapsed, RunEnd) {
        PrintStackStatistics(stdout, graph, elapsed, options.json);
        for (ZQFModule* module : graph.GetModules()) {
            const auto* source = dynamic_cast<const ZQStockSource*>(module);
            if (source == nullptr || source->GetFramesRefused() == 0) {
                continue;
            }
            const std::string reason = errors.LastError().empty() ? "it logged no reason" : errors.LastError();
            const auto refused = static_cast<int64_t>(source->GetFramesRefused());
            if (options.json) {
                JsonObject line;
                line.AddText("module", module->GetName()).AddInteger("frames_refused", refused);
                std::printf("%s\n", line.AddText("refused_because", reason).Text().c_str());
            } else {
                std::printf("'%s': the stack refused %lld frames (%s)\n", module->GetName(),
                            static_cast<long long>(refused), reason.c_str());
            }
        }
        std::fflush(stdout);
    };
    return hooks;
}

int RunRun(Arguments& arguments)
{
    const RunOptions options = TakeRunOptions(arguments);
    const auto plugin = arguments.TakeValue("--plugin");
    const std::optional<ZQFIOMode> io = TakeIOOption(arguments);
    const auto path = arguments.TakeOperand();
    if (!path) {
        throw CommandError("no graph file given (see zqhost run --help)");
    }
    arguments.ExpectNoMore();

    const HostGraph graph(*path, plugin);
    if (io) {
        UseIOMode(graph.Get(), io);
    } else {
        ApplyIOModes(graph.Get());
    }
    const SendErrorWatch errors;
    RunGraph(graph.Get(), *path, options, RefusalHooks(graph.Get(), options, errors));
    return 0;
}

}  // namespace

extern const Command kRunCommand = {
    "run",
    "run a graph file and print the RTP statistics",
    "usage: zqhost run GRAPH.xml [--seconds N] [--json] [--io shared|own]\n"
    "                  [LOG OPTIONS] [--plugin PATH]\n\n"
    "Loads the graph file (its plug-ins, modules, settings and connections),\n"
    "starts it, and prints the statistics of every RTP stack module every two\n"
    "seconds on standard output: for each source its SSRC, side, CNAME,\n"
    "packets, octets, fraction lost (%), cumulative loss, jitter (ms), receiver\n"
    "reports and round-trip time (ms). Stops cleanly after N seconds, or on\n"
    "SIGINT, SIGTERM, SIGHUP or SIGPIPE, and exits 0.\n\n"
    "The stack modules read their sockets as the file says (io=\"shared\" on\n"
    "the graph or a module: on the process's shared receive threads; else on\n"
    "threads of their own).\n\n"
    "options:\n"
    "  --seconds N     run for N seconds (default: until interrupted)\n"
    "  --json          print the statistics as JSON lines, one per module and\n"
    "                  report: {\"time\":2.0,\"module\":\"RTP out\",\"sources\":[...]}\n"
    "                  (see docs/json.md)\n"
    "  --io shared|own every stack module on the shared receive threads, or\n"
    "                  on its own, whatever the file says\n"
    "  --plugin PATH   load PATH wherever the graph names zqmrtpstack.so\n\n"
    "A graph file that cannot be read or used gives one line naming the file,\n"
    "line and column, and exit code 2; a graph that fails to start, exit code 1.\n"
    "zqhost save writes ready-to-run graph files (see docs/graph-files.md).\n\n"
    ZQHOST_LOG_HELP,
    &RunRun,
};
