// zqhost recv: an "RTP in" module, its dispatcher and one file per codec,
// receiving what a peer sends.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "command.h"
#include "logoptions.h"
#include "freeports.h"
#include "graphbuilder.h"
#include "graphrunner.h"
#include "hostmodules.h"
#include "iomode.h"
#include "jsonline.h"
#include "stackidentities.h"
#include "srtpoptions.h"
#include "statisticsreport.h"
#include "valueoptions.h"
#include "zqcapturesink.h"
#include "zqfgraph.h"
#include "zqfgraphfile.h"
#include "zqfmodule.h"
#include "zqfmoduleregistry.h"

namespace {

// --out - : the payloads go to standard output.
constexpr char kStandardOutput[] = "-";

struct RecvRequest {
    std::optional<double> idleSeconds;
    std::optional<std::string> plugin;
    std::optional<std::string> saveGraph;
    RunOptions run;
    ReceiverOptions receiver;
    std::optional<ZQFIOMode> io;
};

void TakePeer(Arguments& arguments, ReceiverOptions& receiver)
{
    const auto peer = arguments.TakeValue("--peer");
    if (!peer) {
        receiver.learnPeer = true;
        return;
    }
    const Endpoint endpoint = ParseHostWithOptionalPort("--peer", *peer);
    receiver.peerAddress = ResolveAddress("--peer", endpoint.host);
    receiver.peerPort = endpoint.port;
    RequireSameFamily("--peer", receiver.peerAddress, "--on", receiver.local.host);
}

RecvRequest TakeRequest(Arguments& arguments)
{
    RecvRequest request;
    request.plugin = arguments.TakeValue("--plugin");
    request.receiver.srtp = TakeSRTPOptions(arguments, MissingSRTPKey::Refuse);
    request.saveGraph = arguments.TakeValue("--save-graph");
    request.run = TakeRunOptions(arguments);
    request.io = TakeIOOption(arguments);
    request.receiver.rtcpMux = arguments.TakeFlag("--rtcp-mux");
    if (const auto idle = arguments.TakeValue("--idle")) {
        request.idleSeconds = ParseNumberAbove("--idle", *idle, 0.0, 3600.0);
    }
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
    arguments.ExpectNoMore();
    if (!out) {
        throw CommandError("say where the payloads go: --out FILE");
    }
    if (*out == kStandardOutput && receiver.codecs.size() > 1) {
        throw CommandError("option --out: '-' (standard output) takes the payloads of one codec only");
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
        {request.receiver.outputPath == kStandardOutput, "--out -"},
        {request.run.seconds.has_value(), "--seconds"},
        {request.idleSeconds.has_value(), "--idle"},
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
    const ReceptionTotals reception = ModuleReception(built.rtpIn);
    // Present only under shared I/O, which the summary then names.
    const std::optional<uint32_t> poolEmpty = ReadModuleDrops(built.rtpIn).poolEmpty;
    if (request.run.json) {
        JsonObject summary;
        summary.AddText("command", "recv").AddText("ended", RunEndName(how));
        summary.AddInteger("received", static_cast<int64_t>(reception.received));
        summary.AddInteger("expected", static_cast<int64_t>(reception.expected));
        summary.AddInteger("lost", reception.lost);
        summary.AddInteger("late_or_duplicate", static_cast<int64_t>(reception.lateOrDuplicate));
        summary.AddInteger("packets", static_cast<int64_t>(total.packets));
        summary.AddInteger("octets", static_cast<int64_t>(total.octets));
        if (poolEmpty) {
            summary.AddText("io", "shared").AddInteger("pool_empty_drops", *poolEmpty);
        }
        std::printf("%s\n", JsonObject().AddJson("summary", summary.Text()).Text().c_str());
    } else {
        std::printf("received %llu packets on %s (expected %llu, lost %lld, late or duplicate %llu); wrote %llu "
                    "packets (%llu payload octets) (ended: %s)",
                    static_cast<unsigned long long>(reception.received),
                    EndpointText(request.receiver.local.host, request.receiver.local.port).c_str(),
                    static_cast<unsigned long long>(reception.expected),
                    static_cast<long long>(reception.lost), static_cast<unsigned long long>(reception.lateOrDuplicate),
                    static_cast<unsigned long long>(total.packets), static_cast<unsigned long long>(total.octets),
                    RunEndName(how));
        if (poolEmpty) {
            std::printf("; shared I/O: %u datagrams dropped for want of a free sample", *poolEmpty);
        }
        std::printf("\n");
    }
    std::fflush(stdout);
}

// The receiving stack's block, then what went into the files so far.
void PrintReport(const RecvRequest& request, const ReceiverGraph& built, double elapsed)
{
    PrintModuleStatistics(stdout, {built.rtpIn}, elapsed, request.run.json);
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

// Whether no payload came for `seconds` since the last one (never before
// the first).
class IdleWatch {
public:
    explicit IdleWatch(std::optional<double> seconds) : m_seconds(seconds) {}

    bool Over(uint64_t packets)
    {
        const auto now = std::chrono::steady_clock::now();
        if (packets != m_packets) {
            m_packets = packets;
            m_lastChange = now;
        }
        return m_seconds && m_packets != 0 && std::chrono::duration<double>(now - m_lastChange).count() >= *m_seconds;
    }

private:
    std::optional<double> m_seconds;
    uint64_t m_packets = 0;
    std::chrono::steady_clock::time_point m_lastChange;
};

// The first write error of the output files; 0 when every write went.
int OutputWriteError(const ReceiverGraph& built)
{
    for (const ZQCaptureSink* sink : built.sinks) {
        if (const int error = sink->GetWriteError(); error != 0) {
            return error;
        }
    }
    return 0;
}

// Payloads for standard output get a descriptor of their own, and what zqhost
// says (statistics, summary) moves to standard error, so the two never mix.
void SendPayloadsToStandardOutput(ReceiverOptions& receiver)
{
    if (receiver.outputPath != kStandardOutput) {
        return;
    }
    const int payloads = fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 3);
    if (payloads < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
        throw std::runtime_error(std::string("cannot write to standard output: ") + std::strerror(errno));
    }
    receiver.outputPath = "/dev/fd/" + std::to_string(payloads);
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
    RecvRequest request = TakeRequest(arguments);
    if (!request.saveGraph) {
        SendPayloadsToStandardOutput(request.receiver);
    }
    CheckOutputFiles(request.receiver);
    if (request.saveGraph) {
        RefuseUnsavable(request);
        CheckWritableFile("--save-graph", *request.saveGraph);
    } else {
        const uint16_t rtcp = request.receiver.localRTCPPort != 0 ? request.receiver.localRTCPPort
                                                                  : static_cast<uint16_t>(request.receiver.local.port + 1);
        RequireFreePorts("--on", request.receiver.local.host, {request.receiver.local.port});
        if (!request.receiver.rtcpMux) {
            RequireFreePorts("--rtcp-port", request.receiver.local.host, {rtcp});
        }
    }
    ZQFModuleRegistry registry;
    AddStockModules(registry);
    AddPlugin(registry, request.plugin);
    ZQFGraph graph;
    const ReceiverGraph built = BuildReceiverGraph(graph, registry, request.receiver);
    UseIOMode(graph, request.io);
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
    // With --idle, a sender that stopped has nothing more to send; a file
    // that cannot be written ends the run too.
    IdleWatch idle(request.idleSeconds);
    hooks.done = [&built, &idle] { return idle.Over(TotalWritten(built).packets) || OutputWriteError(built) != 0; };
    hooks.ending = [ending = hooks.ending, &built, &heard](double elapsed, RunEnd how) {
        heard = HeardSource(built);
        ending(elapsed, how);
    };
    RunGraph(graph, "zqhost recv", request.run, hooks);  // its stop closes the files
    const int writeError = OutputWriteError(built);
    if (writeError == EPIPE) {
        return 0;  // the reader of the payloads went away: a requested stop
    }
    if (writeError != 0) {
        throw std::runtime_error("writing '" + request.receiver.outputPath + "' failed: " + std::strerror(writeError));
    }
    if (TotalWritten(built).packets != 0) {
        return 0;
    }
    if (heard) {
        char ssrc[16];
        std::snprintf(ssrc, sizeof ssrc, "0x%08x", *heard);
        throw std::runtime_error(std::string("RTP came from SSRC ") + ssrc +
                                 " but none of it was of the codecs asked for (--codec)");
    }
    throw std::runtime_error("nothing arrived on " +
                             EndpointText(request.receiver.local.host, request.receiver.local.port));
}

}  // namespace

extern const Command kRecvCommand = {
    "recv",
    "receive RTP with an \"RTP in\" module and write the payloads to files",
    "usage: zqhost recv --on HOST:PORT --out FILE [--codec NAME]... [--rtcp-port P]\n"
    "                   [--peer HOST[:PORT]] [--seconds N] [--idle S] [--window W]\n"
    "                   [--io shared|own] [--rtcp-mux] [--save-graph FILE]\n"
    "                   [--json] [SRTP OPTIONS] [LOG OPTIONS]\n"
    "                   [--plugin PATH]\n\n"
    "Runs an \"RTP in\" -> dispatcher -> file graph. Every payload delivered is\n"
    "appended, in delivery order, to FILE (to FILE.<key> for each codec when\n"
    "several are given). Every two seconds the statistics of the receiving\n"
    "stack go to standard output; at the end, a summary line.\n\n"
    "  --on HOST:PORT        where RTP arrives; RTCP on PORT+1 (an IPv6 address\n"
    "                        in brackets: [::1]:5004)\n"
    "  --out FILE            where the payloads go; - for standard output (the\n"
    "                        statistics then go to standard error)\n"
    "  --codec NAME          a codec to receive, once per codec (default\n"
    "                        audioG711A; see zqhost codecs)\n"
    "  --rtcp-port P         the local RTCP port instead of PORT+1\n"
    "  --peer HOST[:PORT]    where receiver reports go: HOST, RTCP port PORT+1\n"
    "                        (default: the local RTCP port number). Without\n"
    "                        it they go back to the address the RTP comes from\n"
    "  --seconds N           stop after N seconds\n"
    "  --idle S              stop S seconds after the last payload came (not\n"
    "                        before the first)\n"
    "  --window W            reorder within a window of W packets (default 0:\n"
    "                        deliver in arrival order)\n"
    "  --io shared|own       shared: the stack's sockets are read on the\n"
    "                        process's shared receive threads, which drop (and\n"
    "                        count) a datagram when no free sample waits;\n"
    "                        own (default): on threads of its own, which wait\n"
    "  --rtcp-mux            RTCP on the RTP port (RFC 5761): the peer's reports\n"
    "                        are read on PORT and ours go to the --peer PORT\n"
    "                        itself (or back to where the RTP comes from); no\n"
    "                        RTCP port is opened. Without it, RTCP that a\n"
    "                        multiplexing peer sends to PORT is counted and\n"
    "                        dropped (rtcp_on_rtp_port)\n"
    "  --save-graph FILE     write the graph to a file for zqhost run instead\n"
    "                        of running it (--window and --out - cannot go\n"
    "                        into a file)\n"
    "  --json                statistics and summary as JSON lines\n"
    "  --plugin PATH         the plug-in to use\n\n"
    "It ends after N seconds, S seconds after the last payload (--idle), or on\n"
    "Ctrl-C (SIGINT), SIGTERM, SIGHUP or SIGPIPE (the reader of standard output\n"
    "went away): the files then hold every whole payload delivered, the summary\n"
    "is printed (on standard error when standard output is gone) and the exit\n"
    "code is 0. A bad argument gives one line on standard error and exit code\n"
    "2; a failure while running (a file that cannot be written included), and\n"
    "a run in which nothing arrived, exit code 1.\n\n"
    ZQHOST_SRTP_HELP
    "--srtp needs the sender's key. Packets that fail authentication are\n"
    "dropped and counted in the statistics. --save-graph writes the keys into\n"
    "the graph file.\n\n"
    ZQHOST_LOG_HELP,
    &RunRecv,
};
