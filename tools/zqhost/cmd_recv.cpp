// zqhost recv: an "RTP in" module, its dispatcher and one file per codec,
// receiving what a peer sends.
#include <cstdio>
#include <stdexcept>

#include "command.h"
#include "freeports.h"
#include "graphbuilder.h"
#include "graphrunner.h"
#include "hostmodules.h"
#include "jsonline.h"
#include "stackidentities.h"
#include "statisticsreport.h"
#include "valueoptions.h"
#include "zqcapturesink.h"
#include "zqfgraph.h"
#include "zqfgraphfile.h"
#include "zqfmodule.h"
#include "zqfmoduleregistry.h"
#include "zqfnotify.h"

namespace {

struct RecvRequest {
    std::optional<std::string> plugin;
    std::optional<std::string> saveGraph;
    RunOptions run;
    ReceiverOptions receiver;
};

void TakePeer(Arguments& arguments, ReceiverOptions& receiver)
{
    const auto peer = arguments.TakeValue("--peer");
    if (!peer) {
        receiver.learnPeer = true;
        return;
    }
    if (peer->find(':') != std::string::npos) {
        const Endpoint endpoint = ParseEndpoint("--peer", *peer);
        receiver.peerAddress = ResolveAddress("--peer", endpoint.host);
        receiver.peerPort = endpoint.port;
    } else {
        receiver.peerAddress = ResolveAddress("--peer", *peer);
    }
}

RecvRequest TakeRequest(Arguments& arguments)
{
    RecvRequest request;
    request.plugin = arguments.TakeValue("--plugin");
    request.saveGraph = arguments.TakeValue("--save-graph");
    request.run = TakeRunOptions(arguments);
    ReceiverOptions& receiver = request.receiver;
    const auto on = arguments.TakeValue("--on");
    if (!on) {
        throw CommandError("say where to receive: --on HOST:PORT");
    }
    receiver.local = ParseEndpoint("--on", *on);
    receiver.local.host = ResolveAddress("--on", receiver.local.host);
    if (const auto port = arguments.TakeValue("--rtcp-port")) {
        receiver.localRTCPPort = ParsePort("--rtcp-port", *port);
    }
    TakePeer(arguments, receiver);
    for (const std::string& name : arguments.TakeValues("--codec")) {
        receiver.codecs.push_back(&FindCodec(name));
    }
    const auto out = arguments.TakeValue("--out");
    if (const auto window = TakeWholeNumber(arguments, "--window", 0, 65535)) {
        receiver.window = static_cast<uint16_t>(*window);
    }
    receiver.lipSync = arguments.TakeFlag("--lipsync");
    arguments.ExpectNoMore();
    if (!out) {
        throw CommandError("say where the payloads go: --out FILE");
    }
    receiver.outputPath = *out;
    receiver.keepLimit = 0;  // the file has them; memory need not
    return request;
}

// A graph file holds the graph and its settings, not these.
void RefuseUnsavable(const RecvRequest& request)
{
    const std::pair<bool, const char*> unsavable[] = {
        {request.receiver.window != 0, "--window"},
        {request.receiver.lipSync, "--lipsync"},
        {request.run.seconds.has_value(), "--seconds"},
        {request.run.json, "--json"},
    };
    for (const auto& [given, option] : unsavable) {
        if (given) {
            throw CommandError(std::string("option ") + option + " cannot go into a graph file (--save-graph)");
        }
    }
}

void CheckOutputFiles(const ReceiverOptions& receiver)
{
    ReceiverOptions named = receiver;
    if (named.codecs.empty()) {
        named.codecs.push_back(&FindCodec("audioG711A"));
    }
    for (const Codec* codec : named.codecs) {
        CheckWritableFile("--out", OutputPathFor(named, *codec));
    }
}

struct Written {
    uint64_t packets = 0;
    uint64_t octets = 0;
};

Written TotalWritten(const ReceiverGraph& built)
{
    Written total;
    for (const ZQCaptureSink* sink : built.sinks) {
        total.packets += sink->GetPacketCount();
        total.octets += sink->GetOctetCount();
    }
    return total;
}

// The last lip-sync delay announced downstream, if any.
std::optional<int> LipSyncDelay(const ReceiverGraph& built)
{
    std::optional<int> delay;
    for (const ZQCaptureSink* sink : built.sinks) {
        for (const ZQFNotifyInfo& info : sink->GetNotifications()) {
            if (info.code == NOTIFY_AUDIO_LIPSYNC_DELAY || info.code == NOTIFY_VIDEO_LIPSYNC_DELAY) {
                delay = info.param;
            }
        }
    }
    return delay;
}

// A remote source the receiving stack knows, while it still runs.
std::optional<uint32_t> HeardSource(const ReceiverGraph& built)
{
    uint32_t ssrc = 0;
    ZQIRTPStack* stack = RTPStackOf(built.rtpIn);
    if (stack != nullptr && stack->GetSourceIdentifier(0, ssrc)) {
        return ssrc;
    }
    return std::nullopt;
}

void PrintSummary(const RecvRequest& request, const ReceiverGraph& built, RunEnd how)
{
    const Written total = TotalWritten(built);
    const std::optional<int> lipSync = LipSyncDelay(built);
    if (request.run.json) {
        JsonObject summary;
        summary.AddText("command", "recv").AddText("ended", RunEndName(how));
        summary.AddInteger("packets", static_cast<int64_t>(total.packets));
        summary.AddInteger("octets", static_cast<int64_t>(total.octets));
        if (lipSync) {
            summary.AddInteger("lipsync_delay_ms", *lipSync);
        }
        std::printf("%s\n", JsonObject().AddJson("summary", summary.Text()).Text().c_str());
    } else {
        std::printf("received %llu packets (%llu payload octets) on %s:%u (ended: %s)",
                    static_cast<unsigned long long>(total.packets), static_cast<unsigned long long>(total.octets),
                    request.receiver.local.host.c_str(), request.receiver.local.port, RunEndName(how));
        if (lipSync) {
            std::printf("; last lip-sync delay %d ms", *lipSync);
        }
        std::printf("\n");
    }
    std::fflush(stdout);
}

// The receiving stack's block, then what went into the files so far.
void PrintReport(const RecvRequest& request, const ReceiverGraph& built, double elapsed)
{
    ZQIRTPStackStatistics* statistics = RTPStackStatisticsOf(built.rtpIn);
    PrintStatisticsBlock(stdout, elapsed, built.rtpIn->GetName(),
                         CollectSourceStatistics(*statistics, RTPStackOf(built.rtpIn)), request.run.json);
    const Written total = TotalWritten(built);
    if (request.run.json) {
        JsonObject delivered;
        delivered.AddInteger("packets", static_cast<int64_t>(total.packets));
        delivered.AddInteger("octets", static_cast<int64_t>(total.octets));
        JsonObject line;
        line.AddDecimal("time", elapsed, 1).AddJson("delivered", delivered.Text());
        std::printf("%s\n", line.Text().c_str());
    } else {
        std::printf("[%.1f s] delivered %llu packets (%llu payload octets)\n\n", elapsed,
                    static_cast<unsigned long long>(total.packets), static_cast<unsigned long long>(total.octets));
    }
    std::fflush(stdout);
}

RunHooks RecvHooks(const RecvRequest& request, const ReceiverGraph& built)
{
    RunHooks hooks;
    hooks.report = [&request, &built](double elapsed) { PrintReport(request, built, elapsed); };
    hooks.ending = [&request, &built](double elapsed, RunEnd how) {
        PrintReport(request, built, elapsed);
        PrintSummary(request, built, how);
    };
    return hooks;
}

int RunRecv(Arguments& arguments)
{
    const RecvRequest request = TakeRequest(arguments);
    CheckOutputFiles(request.receiver);
    if (request.saveGraph) {
        RefuseUnsavable(request);
    } else {
        const uint16_t rtcp = request.receiver.localRTCPPort != 0 ? request.receiver.localRTCPPort
                                                                  : static_cast<uint16_t>(request.receiver.local.port + 1);
        RequireFreePorts("--on", request.receiver.local.host, {request.receiver.local.port});
        RequireFreePorts("--rtcp-port", request.receiver.local.host, {rtcp});
    }
    ZQFModuleRegistry registry;
    AddStockModules(registry);
    AddPlugin(registry, request.plugin);
    ZQFGraph graph;
    const ReceiverGraph built = BuildReceiverGraph(graph, registry, request.receiver);
    if (request.saveGraph) {
        std::string error;
        if (!ZQFSaveGraphFile(graph, registry, *request.saveGraph, &error)) {
            throw std::runtime_error(error);
        }
        std::printf("saved the receiver graph to %s\n", request.saveGraph->c_str());
        return 0;
    }
    std::optional<uint32_t> heard;
    RunHooks hooks = RecvHooks(request, built);
    hooks.ending = [ending = hooks.ending, &built, &heard](double elapsed, RunEnd how) {
        heard = HeardSource(built);
        ending(elapsed, how);
    };
    RunGraph(graph, "zqhost recv", request.run, hooks);
    if (TotalWritten(built).packets != 0) {
        return 0;
    }
    if (heard) {
        char ssrc[16];
        std::snprintf(ssrc, sizeof ssrc, "0x%08x", *heard);
        throw std::runtime_error(std::string("option --codec: RTP came from SSRC ") + ssrc +
                                 " but none of it was of the codecs asked for");
    }
    throw std::runtime_error("option --on: nothing arrived on " + request.receiver.local.host + ":" +
                             std::to_string(request.receiver.local.port));
}

}  // namespace

extern const Command kRecvCommand = {
    "recv",
    "receive RTP with an \"RTP in\" module and write the payloads to files",
    "usage: zqhost recv --on HOST:PORT --out FILE [--codec NAME]... [--rtcp-port P]\n"
    "                   [--peer HOST[:PORT]] [--seconds N] [--window W] [--lipsync]\n"
    "                   [--save-graph FILE] [--json] [--log-level L] [--plugin PATH]\n\n"
    "Runs an \"RTP in\" -> dispatcher -> file graph. Every payload delivered is\n"
    "appended, in delivery order, to FILE (to FILE.<key> for each codec when\n"
    "several are given). Every two seconds the statistics of the receiving\n"
    "stack go to standard output; at the end, a summary line.\n\n"
    "  --on HOST:PORT        where RTP arrives; RTCP on PORT+1\n"
    "  --out FILE            where the payloads go\n"
    "  --codec NAME          a codec to receive, once per codec (default\n"
    "                        audioG711A; see zqhost codecs)\n"
    "  --rtcp-port P         the local RTCP port instead of PORT+1\n"
    "  --peer HOST[:PORT]    where receiver reports go: HOST, RTCP port PORT+1\n"
    "                        (default: the local RTCP port number). Without\n"
    "                        it they go back to the address the RTP comes from\n"
    "  --seconds N           stop after N seconds\n"
    "  --window W            reorder within a window of W packets (default 0:\n"
    "                        deliver in arrival order)\n"
    "  --lipsync             compute the lip-sync delay from sender reports\n"
    "  --save-graph FILE     write the graph to a file for zqhost run instead\n"
    "                        of running it (--window and --lipsync cannot go\n"
    "                        into a file)\n"
    "  --json                statistics and summary as JSON lines\n"
    "  --log-level L         log on standard error from level L up: 0 or info,\n"
    "                        1 or warning, 2 or error (default 2), none\n"
    "  --plugin PATH         the plug-in to use\n\n"
    "Ctrl-C (SIGINT) or SIGTERM stops it cleanly. A bad argument gives one\n"
    "line on standard error and exit code 2; a failure while running, and a\n"
    "run in which nothing arrived, exit code 1.\n",
    &RunRecv,
};
