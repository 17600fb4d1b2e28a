// zqhost send: an "RTP out" module fed by the stock source, sending a file's
// bytes or a tone to a peer, with the sending-side simulation at hand.
#include <chrono>
#include <cstdio>
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
#include "zqfgraph.h"
#include "zqfgraphfile.h"
#include "zqfmodule.h"
#include "zqcrandom.h"
#include "zqfmoduleregistry.h"

namespace {

using Clock = std::chrono::steady_clock;

// After the last frame, the time the peer has to send its last report.
constexpr auto kDrain = std::chrono::milliseconds(200);
constexpr double kMaxToneHz = 100000.0;
constexpr long kMaxPacketTimeMs = 1000;
constexpr long kMaxJitterMs = 10000;

struct SendRequest {
    std::optional<std::string> plugin;
    std::optional<std::string> saveGraph;
    RunOptions run;
    SenderOptions sender;
    std::optional<uint32_t> lossPercent;
    std::optional<uint32_t> maxJitterMs;
    std::optional<ZQFIOMode> io;
};

int ParsePayloadType(const std::string& text, bool rtcpMux)
{
    const long payloadType = ParseWholeNumber("--pt", text, 0, 127);
    // What RTCP sender and receiver reports show in that place.
    if (payloadType == 72 || payloadType == 73) {
        throw CommandError("option --pt: payload types 72 and 73 are reserved (they would read as RTCP)");
    }
    // On a multiplexed port every RTCP packet type does.
    if (rtcpMux && payloadType >= 64 && payloadType <= 95) {
        throw CommandError("option --pt: payload types 64 to 95 would read as RTCP under --rtcp-mux");
    }
    return static_cast<int>(payloadType);
}

void TakeContent(Arguments& arguments, SenderOptions& sender)
{
    const auto input = arguments.TakeValue("--in");
    const auto tone = arguments.TakeValue("--tone");
    if (input && tone) {
        throw CommandError("give --in FILE or --tone HZ, not both");
    }
    if (!input && !tone) {
        throw CommandError("say what to send: --in FILE or --tone HZ");
    }
    if (input) {
        CheckReadableFile("--in", *input);
        sender.content = ZQStockSourceConfig::Content::File;
        sender.inputPath = *input;
    } else {
        sender.content = ZQStockSourceConfig::Content::Tone;
        sender.toneHz = ParseNumberAbove("--tone", *tone, 0.0, kMaxToneHz);
    }
}

void TakeAddresses(Arguments& arguments, SenderOptions& sender)
{
    const auto to = arguments.TakeValue("--to");
    if (!to) {
        throw CommandError("say where to send: --to HOST:PORT");
    }
    sender.remote = ParseEndpoint("--to", *to);
    sender.remote.host = ResolveAddress("--to", sender.remote.host);
    if (const auto port = arguments.TakeValue("--rtcp-port")) {
        sender.remoteRTCPPort = ParsePort("--rtcp-port", *port);
    }
    if (const auto bind = arguments.TakeValue("--bind")) {
        sender.localAddress = ResolveAddress("--bind", *bind);
        RequireSameFamily("--bind", sender.localAddress, "--to", sender.remote.host);
    } else {
        sender.localAddress = DefaultSendingAddress(sender.remote.host);
    }
    if (const auto port = arguments.TakeValue("--local-port")) {
        sender.localPort = ParsePort("--local-port", *port);
    }
    if (const auto port = arguments.TakeValue("--local-rtcp-port")) {
        sender.localRTCPPort = ParsePort("--local-rtcp-port", *port);
    }
}

SendRequest TakeRequest(Arguments& arguments)
{
    SendRequest request;
    request.plugin = arguments.TakeValue("--plugin");
    request.sender.srtp = TakeSRTPOptions(arguments, MissingSRTPKey::Refuse);
    request.saveGraph = arguments.TakeValue("--save-graph");
    request.run = TakeRunOptions(arguments);
    request.io = TakeIOOption(arguments);
    request.sender.rtcpMux = arguments.TakeFlag("--rtcp-mux");
    TakeAddresses(arguments, request.sender);
    const auto codec = arguments.TakeValue("--codec");
    if (!codec) {
        throw CommandError("say which codec to send: --codec NAME (see zqhost codecs)");
    }
    request.sender.codec = &FindCodec(*codec);
    if (const auto payloadType = arguments.TakeValue("--pt")) {
        request.sender.payloadType = ParsePayloadType(*payloadType, request.sender.rtcpMux);
    }
    if (const auto packetTime = TakeWholeNumber(arguments, "--ptime", 1, kMaxPacketTimeMs)) {
        request.sender.packetTimeMs = static_cast<int>(*packetTime);
    }
    if (const auto loss = TakeWholeNumber(arguments, "--loss", 0, 100)) {
        request.lossPercent = static_cast<uint32_t>(*loss);
    }
    if (const auto jitter = TakeWholeNumber(arguments, "--jitter", 0, kMaxJitterMs)) {
        request.maxJitterMs = static_cast<uint32_t>(*jitter);
    }
    if (arguments.TakeFlag("--no-seq-gen")) {
        // The source's numbers go on the wire: start them anywhere, as a
        // stack that numbers its packets would.
        request.sender.autoSequenceNumbers = false;
        request.sender.firstSequenceNumber = static_cast<uint16_t>(ZQCRandom::Draw32());
    }
    TakeContent(arguments, request.sender);
    // Drawn apart from the sequence number (and the stack's SSRC).
    request.sender.firstTimestamp = ZQCRandom::Draw32() | 1u;
    arguments.ExpectNoMore();
    if (request.sender.payloadType < 0 && request.sender.codec->defaultPayloadType < 0) {
        throw CommandError(std::string("codec ") + request.sender.codec->key +
                           " has no default payload type: give one with --pt");
    }
    return request;
}

// A graph file holds the graph and its settings, not these.
void RefuseUnsavable(const SendRequest& request)
{
    const std::pair<bool, const char*> unsavable[] = {
        {request.lossPercent.has_value(), "--loss"},
        {request.maxJitterMs.has_value(), "--jitter"},
        {request.sender.payloadType >= 0, "--pt"},
        {request.run.seconds.has_value(), "--seconds"},
        {request.run.json, "--json"},
    };
    for (const auto& [given, option] : unsavable) {
        if (given) {
            throw CommandError(std::string("option ") + option + " cannot go into a graph file (--save-graph)");
        }
    }
}

void CheckLocalPorts(const SenderOptions& sender)
{
    const uint16_t rtp = sender.localPort != 0 ? sender.localPort : sender.remote.port;
    const uint16_t rtcp = sender.localRTCPPort != 0 ? sender.localRTCPPort : static_cast<uint16_t>(rtp + 1);
    RequireFreePorts(sender.localPort != 0 ? "--local-port" : "--to (the local port defaults to its port)",
                     sender.localAddress, {rtp});
    if (!sender.rtcpMux) {
        RequireFreePorts("--local-rtcp-port", sender.localAddress, {rtcp});
    }
}

// Frames the source could not hand on: no free sample in time, or refused
// downstream (the stack could not send them).
struct Unsent {
    uint64_t withoutSample = 0;
    uint64_t refused = 0;
    std::string refusalReason;  // the stack's last error line, when it refused some
};

void PrintSummary(const SendRequest& request, const SourceStatistics& local, const Unsent& unsent, RunEnd how)
{
    const char* ended = RunEndName(how);
    if (request.run.json) {
        JsonObject summary;
        summary.AddText("command", "send").AddText("ended", ended).AddInteger("ssrc", local.ssrc);
        summary.AddInteger("packets", local.packets).AddInteger("octets", local.octets);
        summary.AddInteger("frames_without_sample", static_cast<int64_t>(unsent.withoutSample));
        summary.AddInteger("frames_refused", static_cast<int64_t>(unsent.refused));
        if (unsent.refused != 0) {
            summary.AddText("refused_because", unsent.refusalReason);
        }
        summary.AddInteger("unreachable", local.unreachableSends);
        summary.AddInteger("rr_count", local.rrCount).AddInteger("rtt_ms", local.roundTripMs);
        summary.AddInteger("fraction_lost", local.fractionLostPercent);
        summary.AddInteger("cumulative_lost", local.cumulativeLost);
        std::printf("%s\n", JsonObject().AddJson("summary", summary.Text()).Text().c_str());
    } else {
        std::printf("sent %u packets (%u payload octets) as SSRC 0x%08x to %s (ended: %s); %u receiver report%s "
                    "came back",
                    local.packets, local.octets, local.ssrc,
                    EndpointText(request.sender.remote.host, request.sender.remote.port).c_str(), ended,
                    local.rrCount, local.rrCount == 1 ? "" : "s");
        if (local.rrCount != 0) {
            std::printf(" (fraction lost %u %%, cumulative lost %d, RTT %u ms)", local.fractionLostPercent,
                        local.cumulativeLost, local.roundTripMs);
        }
        std::printf("; unreachable %u (packets and reports sent while ICMP said nobody listened)\n",
                    local.unreachableSends);
        if (unsent.withoutSample != 0 || unsent.refused != 0) {
            std::printf("not sent: %llu frames found no free sample in time, the stack refused %llu",
                        static_cast<unsigned long long>(unsent.withoutSample),
                        static_cast<unsigned long long>(unsent.refused));
            if (unsent.refused != 0) {
                std::printf(" (%s)", unsent.refusalReason.empty() ? "it logged no reason"
                                                                  : unsent.refusalReason.c_str());
            }
            std::printf("\n");
        }
    }
    std::fflush(stdout);
}

RunHooks SendHooks(const SendRequest& request, const SenderGraph& built, const SendErrorWatch& errors)
{
    RunHooks hooks;
    if (request.sender.content == ZQStockSourceConfig::Content::File) {
        hooks.done = [source = built.source, finishedAt = std::optional<Clock::time_point>()]() mutable {
            if (!finishedAt && source->WaitFinished(0)) {
                finishedAt = Clock::now();
            }
            return finishedAt && Clock::now() >= *finishedAt + kDrain;
        };
    }
    hooks.ending = [&request, &errors, rtpOut = built.rtpOut, source = built.source](double elapsed, RunEnd how) {
        ZQIRTPStackStatistics* statistics = RTPStackStatisticsOf(rtpOut);
        const std::vector<SourceStatistics> sources = CollectSourceStatistics(*statistics, RTPStackOf(rtpOut));
        PrintStatisticsBlock(stdout, elapsed, rtpOut->GetName(), sources, ReadModuleDrops(rtpOut), request.run.json);
        const std::optional<SourceStatistics> local = FindSource(sources, SenderSSRCOf(rtpOut), true);
        const Unsent unsent{source->GetFramesWithoutSample(), source->GetFramesRefused(), errors.LastError()};
        PrintSummary(request, local.value_or(SourceStatistics{}), unsent, how);
    };
    return hooks;
}

int RunSend(Arguments& arguments)
{
    const SendRequest request = TakeRequest(arguments);
    if (request.saveGraph) {
        RefuseUnsavable(request);
    } else {
        CheckLocalPorts(request.sender);
        if (request.sender.localAddress == request.sender.remote.host) {
            std::fprintf(stderr, "zqhost send: warning: --bind and --to name the same address, so the stack "
                                 "sends no RTCP\n");
        }
    }
    ZQFModuleRegistry registry;
    AddStockModules(registry);
    AddPlugin(registry, request.plugin);
    ZQFGraph graph;
    const SenderGraph built = BuildSenderGraph(graph, registry, request.sender);
    UseIOMode(graph, request.io);
    if (request.saveGraph) {
        std::string error;
        if (!ZQFSaveGraphFile(graph, registry, *request.saveGraph, &error)) {
            throw std::runtime_error(error);
        }
        std::printf("saved the sender graph to %s\n", request.saveGraph->c_str());
        return 0;
    }
    ApplySimulation(built.rtpOut, request.lossPercent, request.maxJitterMs);
    const SendErrorWatch errors;
    RunGraph(graph, "zqhost send", request.run, SendHooks(request, built, errors));
    return 0;
}

}  // namespace

extern const Command kSendCommand = {
    "send",
    "send a file or a tone over RTP with an \"RTP out\" module",
    "usage: zqhost send --to HOST:PORT --codec NAME (--in FILE | --tone HZ)\n"
    "                   [--rtcp-port P] [--bind ADDR] [--local-port P]\n"
    "                   [--local-rtcp-port P] [--pt N] [--ptime MS] [--seconds N]\n"
    "                   [--loss PCT] [--jitter MS] [--no-seq-gen] [--io shared|own]\n"
    "                   [--rtcp-mux] [--save-graph FILE] [--json] [SRTP OPTIONS]\n"
    "                   [LOG OPTIONS] [--plugin PATH]\n\n"
    "Runs a stock source -> \"RTP out\" graph. Each frame of MS milliseconds\n"
    "becomes one RTP packet, paced in real time. Every two seconds the\n"
    "statistics of the sending stack go to standard output; at the end, a\n"
    "summary line with the receiver reports that came back.\n\n"
    "  --to HOST:PORT        where RTP goes; RTCP goes to PORT+1 (an IPv6\n"
    "                        address in brackets: [::1]:5004)\n"
    "  --codec NAME          what the payload is (see zqhost codecs)\n"
    "  --in FILE             send the file's bytes, one frame after the other\n"
    "                        (8 x MS bytes a frame: 160 for PCMA or PCMU at\n"
    "                        20 ms); ends once the whole file is sent\n"
    "  --tone HZ             send a tone (encoded as G.711 for PCMA and PCMU)\n"
    "                        until --seconds or a signal\n"
    "  --rtcp-port P         the remote RTCP port instead of PORT+1\n"
    "  --bind ADDR           local address (default 127.0.0.1, :: for an IPv6\n"
    "                        --to); of the --to address's family, and other\n"
    "                        than the --to address for RTCP to flow\n"
    "  --local-port P        local RTP port (default: the --to port)\n"
    "  --local-rtcp-port P   local RTCP port, where receiver reports are read\n"
    "                        (default: the local RTP port + 1)\n"
    "  --pt N                send as payload type N instead of the codec's\n"
    "  --ptime MS            media time of a frame, 1 to 1000 (default 20)\n"
    "  --seconds N           stop after N seconds\n"
    "  --loss PCT            drop PCT % of the packets (the stack's simulation)\n"
    "  --jitter MS           delay each packet by up to MS ms (likewise)\n"
    "  --no-seq-gen          the stack keeps the source's sequence numbers\n"
    "                        instead of numbering the packets itself\n"
    "  --io shared|own       shared: the stack reads its RTCP on the process's\n"
    "                        shared receive threads; own (default): on a\n"
    "                        thread of its own\n"
    "  --rtcp-mux            RTCP on the RTP port (RFC 5761): reports leave\n"
    "                        from the local RTP port for the --to port and are\n"
    "                        read there; no RTCP port is opened, and payload\n"
    "                        types 64 to 95 are refused\n"
    "  --save-graph FILE     write the graph to a file for zqhost run instead\n"
    "                        of running it (--loss, --jitter and --pt cannot\n"
    "                        go into a file)\n"
    "  --json                statistics and summary as JSON lines\n"
    "  --plugin PATH         the plug-in to use\n\n"
    "Ctrl-C (SIGINT), SIGTERM, SIGHUP or SIGPIPE stop it cleanly. A bad\n"
    "argument gives one line on standard error and exit code 2; a failure\n"
    "while running, 1.\n\n"
    ZQHOST_SRTP_HELP
    "--srtp needs a key, which the receiver must share; --save-graph writes the\n"
    "keys into the graph file.\n\n"
    ZQHOST_LOG_HELP,
    &RunSend,
};
