// zqhost demo: the main job in one process. A chirp goes out of an "RTP out"
// on 127.0.0.1 and comes back in through an "RTP in" on 127.0.0.2 (over IPv6:
// out of [::], into [::1]); at the end the payloads, the losses and the RTCP
// traffic are judged.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <random>
#include <stdexcept>

#include "command.h"
#include "logoptions.h"
#include "demoverdict.h"
#include "endpointoptions.h"
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
#include "zqfdebuglog.h"
#include "zqfgraph.h"
#include "zqfmodule.h"
#include "zqfmoduleregistry.h"

namespace {

using Clock = std::chrono::steady_clock;

// Where the two stacks sit. A sending stack whose remote RTCP address is its
// own local address sends no RTCP, and IPv6 has a single loopback address:
// there the sender binds the any address and its packets leave from ::1.
struct DemoAddresses {
    const char* sender;
    const char* receiver;
    const char* senderSeenAt;  // where the receiver reaches the sender
    // Bound to [::], the sender's sockets take their ports on ::1 too: ports
    // free there are free on both.
    bool senderOnEveryAddress;
};
constexpr DemoAddresses kIPv4Addresses = {"127.0.0.1", "127.0.0.2", "127.0.0.1", false};
constexpr DemoAddresses kIPv6Addresses = {"::", "::1", "::1", true};
constexpr double kDefaultSeconds = 12.0;
// The first reports leave at the first 5 s tick after the traffic began: a
// shorter run cannot see RTCP both ways.
constexpr double kShortestJudgedSeconds = 6.0;
constexpr long kMaxJitterMs = 1000;
constexpr int kFrameMs = 20;
// After the last frame, how long the receiver has to deliver what is on its way.
constexpr auto kDrain = std::chrono::milliseconds(500);

struct DemoRequest {
    std::optional<std::string> plugin;
    double seconds = kDefaultSeconds;
    bool json = false;
    const Codec* codec = nullptr;
    std::optional<uint32_t> lossPercent;
    std::optional<uint32_t> maxJitterMs;
    uint16_t window = 0;
    SRTPOptions srtp;  // both stacks alike: what one sends the other receives
    bool sharedIO = false;  // both stacks on the process's receive service
    bool rtcpMux = false;   // both stacks: RTCP on the RTP ports
    DemoAddresses addresses = kIPv4Addresses;
};

DemoRequest TakeRequest(Arguments& arguments)
{
    DemoRequest request;
    request.plugin = arguments.TakeValue("--plugin");
    request.srtp = TakeSRTPOptions(arguments, MissingSRTPKey::Draw);
    RunOptions run = TakeRunOptions(arguments);
    request.seconds = run.seconds.value_or(kDefaultSeconds);
    request.json = run.json;
    request.codec = &FindCodec(arguments.TakeValue("--codec").value_or("audioG711A"));
    if (const auto loss = TakeWholeNumber(arguments, "--loss", 0, 100)) {
        request.lossPercent = static_cast<uint32_t>(*loss);
    }
    if (const auto jitter = TakeWholeNumber(arguments, "--jitter", 0, kMaxJitterMs)) {
        request.maxJitterMs = static_cast<uint32_t>(*jitter);
    }
    if (const auto window = TakeWholeNumber(arguments, "--window", 0, 65535)) {
        request.window = static_cast<uint16_t>(*window);
    }
    request.sharedIO = TakeIOOption(arguments) == ZQFIOMode::Shared;
    request.rtcpMux = arguments.TakeFlag("--rtcp-mux");
    if (arguments.TakeFlag("--ipv6")) {
        request.addresses = kIPv6Addresses;
    }
    arguments.ExpectNoMore();
    if (request.codec->defaultPayloadType < 0) {
        throw CommandError(std::string("option --codec: ") + request.codec->key + " has no default payload type");
    }
    return request;
}

// Everything the demo looks at, in one place for the hooks.
struct Demo {
    DemoRequest request;
    // The sender's ports and the receiver's (RTP, and RTCP on the next one):
    // stacks of one process share sockets by port number, so the two pairs
    // differ.
    uint16_t senderPort = 0;
    uint16_t receiverPort = 0;
    int64_t frames = 0;
    uint16_t firstSequenceNumber = 0;
    SenderGraph sender;
    ReceiverGraph receiver;
    bool progressShown = false;
    std::optional<Clock::time_point> finishedAt;
    DemoVerdict verdict;
};

SenderOptions SenderOptionsFor(const Demo& demo)
{
    SenderOptions options;
    options.remote = Endpoint{demo.request.addresses.receiver, demo.receiverPort};
    options.localAddress = demo.request.addresses.sender;
    options.localPort = demo.senderPort;
    options.codec = demo.request.codec;
    // Every frame of a chirp differs, so a lost or swapped packet shows.
    options.content = ZQStockSourceConfig::Content::Chirp;
    options.packetTimeMs = kFrameMs;
    options.maxFrames = demo.frames;
    // The source numbers the frames, so that a sequence number names one.
    options.autoSequenceNumbers = false;
    options.firstSequenceNumber = demo.firstSequenceNumber;
    options.firstTimestamp = std::random_device{}() | 1u;
    options.srtp = demo.request.srtp;
    options.rtcpMux = demo.request.rtcpMux;
    return options;
}

ReceiverOptions ReceiverOptionsFor(const Demo& demo)
{
    ReceiverOptions options;
    options.local = Endpoint{demo.request.addresses.receiver, demo.receiverPort};
    options.peerAddress = demo.request.addresses.senderSeenAt;
    options.peerPort = demo.senderPort;
    options.codecs = {demo.request.codec};
    options.keepLimit = SIZE_MAX;
    options.window = demo.request.window;
    options.srtp = demo.request.srtp;
    options.rtcpMux = demo.request.rtcpMux;
    return options;
}

ZQIRTPStackStatistics& StatisticsOf(ZQFModule* module)
{
    ZQIRTPStackStatistics* statistics = RTPStackStatisticsOf(module);
    if (statistics == nullptr) {
        throw std::runtime_error(std::string("module '") + module->GetName() + "' gives no statistics");
    }
    return *statistics;
}

// The process's sources; the lists are shared by every stack of the process.
std::vector<SourceStatistics> AllSources(const Demo& demo)
{
    return CollectSourceStatistics(StatisticsOf(demo.receiver.rtpIn), RTPStackOf(demo.receiver.rtpIn));
}

SourceStatistics SenderSource(const Demo& demo, const std::vector<SourceStatistics>& sources)
{
    return FindSource(sources, SenderSSRCOf(demo.sender.rtpOut), true).value_or(SourceStatistics{});
}

// The sender's source as the receiver knows it, with the fields of its SRs.
SourceStatistics RemoteSource(const Demo& demo, const std::vector<SourceStatistics>& sources)
{
    return FindSource(sources, SenderSSRCOf(demo.sender.rtpOut), false).value_or(SourceStatistics{});
}

void ClearProgress(Demo& demo)
{
    if (demo.progressShown) {
        std::fputs("\r\033[K", stderr);
        std::fflush(stderr);
        demo.progressShown = false;
    }
}

void ShowProgress(Demo& demo, double elapsed)
{
    const SourceStatistics sent = SenderSource(demo, AllSources(demo));
    const uint64_t delivered = demo.receiver.sinks.front()->GetPacketCount();
    zqf::FlushDebugLog();  // the log's lines so far, then the progress line after them
    std::fprintf(stderr, "\r[%5.1f / %.0f s] sent %u, delivered %llu, receiver reports %u\033[K", elapsed,
                 demo.request.seconds, sent.packets, static_cast<unsigned long long>(delivered), sent.rrCount);
    std::fflush(stderr);
    demo.progressShown = true;
}

bool DeliveredEverythingSent(const Demo& demo)
{
    const SourceStatistics sent = SenderSource(demo, AllSources(demo));
    return demo.receiver.sinks.front()->GetPacketCount() >= sent.packets;
}

// Done once the source has produced its frames and the receiver has had the
// time to deliver them.
bool Finished(Demo& demo)
{
    if (!demo.finishedAt && demo.sender.source->WaitFinished(0)) {
        demo.finishedAt = Clock::now();
    }
    return demo.finishedAt && (DeliveredEverythingSent(demo) || Clock::now() >= *demo.finishedAt + kDrain);
}

// Ends the source early (a signal) so that its counts hold still.
void StopSource(Demo& demo)
{
    ZQStockSource* source = demo.sender.source;
    if (source->WaitFinished(0)) {
        return;
    }
    source->SetRunning(false);
    source->OnStop();
    const SourceStatistics sent = SenderSource(demo, AllSources(demo));
    demo.receiver.sinks.front()->WaitForPackets(sent.packets, static_cast<int>(kDrain.count()));
}

DemoFigures FiguresOf(const Demo& demo, const SourceStatistics& sender, const SourceStatistics& remote)
{
    DemoFigures figures;
    figures.produced = demo.sender.source->GetProducedFrames();
    figures.firstSequenceNumber = demo.firstSequenceNumber;
    figures.framesSkipped = demo.sender.source->GetFramesWithoutSample();
    figures.datagramsSent = sender.packets;
    for (ZQCapturedPacket& packet : demo.receiver.sinks.front()->GetPackets()) {
        figures.delivered.push_back(DeliveredFrame{packet.sequenceNumber, std::move(packet.payload)});
    }
    figures.senderReceiverReports = sender.rrCount;
    figures.receiverGotSenderReport = remote.available && (remote.packets != 0 || remote.octets != 0);
    figures.reportsDue = demo.request.seconds >= kShortestJudgedSeconds;
    return figures;
}

void PrintSetup(const Demo& demo)
{
    const DemoRequest& request = demo.request;
    if (request.json) {
        JsonObject setup;
        setup.AddText("codec", request.codec->key).AddInteger("frames", demo.frames);
        setup.AddText("sender_address", request.addresses.sender);
        setup.AddText("receiver_address", request.addresses.receiver);
        const int rtcpOffset = request.rtcpMux ? 0 : 1;  // multiplexed: RTCP on the RTP port itself
        setup.AddInteger("sender_rtp_port", demo.senderPort);
        setup.AddInteger("sender_rtcp_port", demo.senderPort + rtcpOffset);
        setup.AddInteger("receiver_rtp_port", demo.receiverPort);
        setup.AddInteger("receiver_rtcp_port", demo.receiverPort + rtcpOffset);
        setup.AddInteger("sender_ssrc", SenderSSRCOf(demo.sender.rtpOut));
        setup.AddInteger("loss_percent", request.lossPercent.value_or(0));
        setup.AddInteger("max_jitter_ms", request.maxJitterMs.value_or(0)).AddInteger("window", request.window);
        if (request.srtp.IsOn()) {
            setup.AddText("srtp_suite", request.srtp.suite);
        }
        if (request.sharedIO) {
            setup.AddText("io", "shared");
        }
        if (request.rtcpMux) {
            setup.AddBool("rtcp_mux", true);
        }
        std::printf("%s\n", JsonObject().AddJson("demo", setup.Text()).Text().c_str());
    } else {
        std::printf("demo: %lld frames of %s (a chirp, 20 ms each) from %s to %s, RTCP on %s ports; "
                    "loss %u %%, jitter up to %u ms, window %u",
                    static_cast<long long>(demo.frames), request.codec->key,
                    EndpointText(request.addresses.sender, demo.senderPort).c_str(),
                    EndpointText(request.addresses.receiver, demo.receiverPort).c_str(),
                    request.rtcpMux ? "the same" : "the next",
                    request.lossPercent.value_or(0),
                    request.maxJitterMs.value_or(0), request.window);
        if (request.srtp.IsOn()) {
            std::printf("; SRTP %s", request.srtp.suite.c_str());
        }
        if (request.sharedIO) {
            std::printf("; shared I/O");
        }
        std::printf("\n\n");
    }
    std::fflush(stdout);
}

// What both stacks' SRTP dropped, added up.
SRTPCounters DemoSRTPDrops(const Demo& demo)
{
    SRTPCounters total;
    for (ZQFModule* module : {demo.sender.rtpOut, demo.receiver.rtpIn}) {
        const SRTPCounters counters = ReadSRTPCounters(module).value_or(SRTPCounters{});
        total.rtpAuthenticationFailures += counters.rtpAuthenticationFailures;
        total.rtpReplays += counters.rtpReplays;
        total.rtcpAuthenticationFailures += counters.rtcpAuthenticationFailures;
        total.rtcpReplays += counters.rtcpReplays;
    }
    return total;
}

void PrintSRTPVerdictLine(const Demo& demo)
{
    const SRTPCounters drops = DemoSRTPDrops(demo);
    std::printf("the stream and its reports were protected with SRTP (%s); the stacks dropped %u packets that "
                "failed authentication and %u replays\n",
                demo.request.srtp.suite.c_str(), drops.rtpAuthenticationFailures + drops.rtcpAuthenticationFailures,
                drops.rtpReplays + drops.rtcpReplays);
}

void PrintVerdict(const Demo& demo, const SourceStatistics& sender, const SourceStatistics& remote)
{
    const DemoVerdict& verdict = demo.verdict;
    if (demo.request.json) {
        std::vector<std::string> reasons;
        for (size_t i = 0; i < verdict.reasons.size(); ++i) {
            reasons.push_back(JsonObject().AddBool("holds", verdict.reasonHolds[i]).AddText("text", verdict.reasons[i]).Text());
        }
        JsonObject senderSide = JsonObject()
                                    .AddInteger("rr_count", sender.rrCount)
                                    .AddInteger("rtt_ms", sender.roundTripMs)
                                    .AddInteger("fraction_lost", sender.fractionLostPercent)
                                    .AddInteger("cumulative_lost", sender.cumulativeLost);
        JsonObject receiverSide = JsonObject()
                                      .AddInteger("received", remote.received)
                                      .AddInteger("expected", remote.expected)
                                      .AddInteger("lost", remote.lost)
                                      .AddInteger("late_or_duplicate", remote.lateOrDuplicate)
                                      .AddInteger("sr_packets", remote.packets)
                                      .AddInteger("sr_octets", remote.octets)
                                      .AddInteger("fraction_lost", remote.fractionLostPercent);
        JsonObject json;
        json.AddBool("holds", verdict.holds).AddJson("reasons", JsonArray(reasons));
        json.AddInteger("frames_produced", static_cast<int64_t>(verdict.produced));
        json.AddInteger("dropped", static_cast<int64_t>(verdict.dropped));
        json.AddInteger("delivered", static_cast<int64_t>(verdict.delivered));
        json.AddInteger("intact", static_cast<int64_t>(verdict.intact));
        json.AddInteger("missed_inside", static_cast<int64_t>(verdict.missedInside));
        json.AddInteger("missed_before", static_cast<int64_t>(verdict.missedBefore));
        json.AddInteger("missed_after", static_cast<int64_t>(verdict.missedAfter));
        json.AddJson("sender", senderSide.Text()).AddJson("receiver", receiverSide.Text());
        if (demo.request.srtp.IsOn()) {
            json.AddText("srtp_suite", demo.request.srtp.suite);
        }
        if (const std::optional<uint32_t> poolEmpty = ReadModuleDrops(demo.receiver.rtpIn).poolEmpty) {
            json.AddInteger("pool_empty_drops", *poolEmpty);
        }
        std::printf("%s\n", JsonObject().AddJson("verdict", json.Text()).Text().c_str());
    } else {
        std::printf("verdict: %s\n", verdict.holds ? "PASS" : "FAIL");
        for (size_t i = 0; i < verdict.reasons.size(); ++i) {
            std::printf("  %-4s %s\n", verdict.reasonHolds[i] ? "ok" : "FAIL", verdict.reasons[i].c_str());
        }
        std::printf("loss as the stacks report it: the receiver received %u of %u packets expected, lost %d, "
                    "late or duplicate %u (last report interval %u %%); the sender's last receiver report %u %% "
                    "(cumulative %d); round-trip time %u ms\n",
                    remote.received, remote.expected, remote.lost, remote.lateOrDuplicate,
                    remote.fractionLostPercent, sender.fractionLostPercent, sender.cumulativeLost,
                    sender.roundTripMs);
        if (demo.request.srtp.IsOn()) {
            PrintSRTPVerdictLine(demo);
        }
        if (const std::optional<uint32_t> poolEmpty = ReadModuleDrops(demo.receiver.rtpIn).poolEmpty) {
            std::printf("both stacks read their sockets on the shared receive threads; the receiving stack "
                        "dropped %u datagrams for want of a free sample\n",
                        *poolEmpty);
        }
    }
    std::fflush(stdout);
}

RunHooks DemoHooks(Demo& demo)
{
    RunHooks hooks;
    hooks.done = [&demo] { return Finished(demo); };
    if (isatty(STDERR_FILENO)) {
        hooks.progress = [&demo](double elapsed) { ShowProgress(demo, elapsed); };
    }
    hooks.report = [&demo](double elapsed) {
        ClearProgress(demo);
        PrintModuleStatistics(stdout, {demo.sender.rtpOut, demo.receiver.rtpIn}, elapsed, demo.request.json);
    };
    hooks.ending = [&demo](double elapsed, RunEnd) {
        ClearProgress(demo);
        StopSource(demo);
        const std::vector<SourceStatistics> sources = AllSources(demo);
        PrintModuleStatistics(stdout, {demo.sender.rtpOut, demo.receiver.rtpIn}, elapsed, demo.request.json);
        const SourceStatistics sender = SenderSource(demo, sources);
        const SourceStatistics remote = RemoteSource(demo, sources);
        demo.verdict = JudgeDemo(FiguresOf(demo, sender, remote));
        PrintVerdict(demo, sender, remote);
    };
    return hooks;
}

int RunDemo(Arguments& arguments)
{
    Demo demo;
    demo.request = TakeRequest(arguments);
    demo.frames = std::max<int64_t>(1, std::llround(demo.request.seconds * 1000.0 / kFrameMs));
    demo.firstSequenceNumber = static_cast<uint16_t>(std::random_device{}());
    const DemoAddresses& addresses = demo.request.addresses;
    std::vector<std::string> probe = {addresses.sender};
    if (!addresses.senderOnEveryAddress) {
        probe.emplace_back(addresses.receiver);
    }
    demo.senderPort = FindFreePortPair(probe);
    demo.receiverPort = FindFreePortPair(probe, demo.senderPort);
    if (demo.senderPort == 0 || demo.receiverPort == 0) {
        throw std::runtime_error(std::string("no two free pairs of UDP ports on ") + addresses.sender + " and " +
                                 addresses.receiver);
    }

    ZQFModuleRegistry registry;
    AddStockModules(registry);
    AddPlugin(registry, demo.request.plugin);
    ZQFGraph graph;
    // The graph starts the modules it got last first, downstream before
    // upstream: built in this order, "RTP in" listens before the source's
    // first frame leaves, and no packet meets a closed port.
    demo.sender = BuildSenderGraph(graph, registry, SenderOptionsFor(demo));
    demo.receiver = BuildReceiverGraph(graph, registry, ReceiverOptionsFor(demo));
    demo.sender.source->SetKeepFrames(true);
    UseIOMode(graph, demo.request.sharedIO ? ZQFIOMode::Shared : ZQFIOMode::Own);
    ApplySimulation(demo.sender.rtpOut, demo.request.lossPercent, demo.request.maxJitterMs);
    PrintSetup(demo);

    RunOptions run;
    run.json = demo.request.json;  // the source's frame count ends the run, or a signal
    RunGraph(graph, "zqhost demo", run, DemoHooks(demo));
    return demo.verdict.holds ? 0 : 1;
}

}  // namespace

extern const Command kDemoCommand = {
    "demo",
    "send a chirp to ourselves over RTP and judge what comes back",
    "usage: zqhost demo [--seconds N] [--loss PCT] [--jitter MS] [--window W]\n"
    "                   [--codec NAME] [--io shared|own] [--rtcp-mux] [--ipv6]\n"
    "                   [--json]\n"
    "                   [SRTP OPTIONS] [LOG OPTIONS] [--plugin PATH]\n\n"
    "In one process: a stock source (a rising chirp, so every 20 ms frame\n"
    "differs) -> \"RTP out\" on 127.0.0.1, sending to an \"RTP in\" on 127.0.0.2\n"
    "-> dispatcher -> capture. The ports are picked free at run time. Every two\n"
    "seconds the statistics of every source go to standard output (a progress\n"
    "line goes to standard error when it is a terminal). At the end comes a\n"
    "verdict with its reasons:\n"
    "  - every payload the receiver delivered equals the frame of its sequence\n"
    "    number, and the sequence numbers only go up;\n"
    "  - the frames the receiver missed are those the simulation dropped (the\n"
    "    frames produced less the datagrams sent; losses before the first or\n"
    "    after the last packet received cannot be seen);\n"
    "  - RTCP went both ways: the sender got receiver reports, the receiver\n"
    "    got sender reports. Both go every 5 s, the first 5 s after the\n"
    "    traffic began, so this takes runs of about 6 s or more.\n"
    "Exit code 0 when the verdict holds, 1 when it does not.\n\n"
    "  --seconds N     frames to send, in seconds of media (default 12)\n"
    "  --loss PCT      the sender's simulation drops PCT % of the packets\n"
    "  --jitter MS     the sender's simulation delays each packet up to MS ms\n"
    "  --window W      the receiver reorders within W packets (default 0)\n"
    "  --codec NAME    what the frames are labelled (default audioG711A)\n"
    "  --io shared|own shared: both stacks read their sockets on the process's\n"
    "                  shared receive threads; own (default): on their own\n"
    "  --rtcp-mux      both stacks send and read RTCP on their RTP ports\n"
    "                  (RFC 5761) and open no RTCP port\n"
    "  --ipv6          over IPv6: \"RTP out\" on [::] (its packets leave from\n"
    "                  ::1, the one IPv6 loopback address), \"RTP in\" on [::1]\n"
    "  --json          setup, statistics and verdict as JSON lines\n"
    "  --plugin PATH   the plug-in to use\n\n"
    ZQHOST_SRTP_HELP
    "Both stacks send with the key and receive with the receive key; without\n"
    "a key, demo draws a fresh one.\n\n"
    ZQHOST_LOG_HELP,
    &RunDemo,
};
