// zqhost save: write a ready-to-run sender or receiver graph file.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <stdexcept>

#include "command.h"
#include "graphbuilder.h"
#include "hostmodules.h"
#include "iomode.h"
#include "logoptions.h"
#include "srtpoptions.h"
#include "valueoptions.h"
#include "zqfgraph.h"
#include "zqfgraphfile.h"
#include "zqfmoduleregistry.h"

namespace {

constexpr double kMaxToneHz = 100000.0;
constexpr int kMaxEventEvery = 1000000;

struct SaveRequest {
    std::optional<std::string> plugin;
    std::optional<std::string> to, rtcpPort, bind, localPort, tone, events;
    std::optional<std::string> on, peer, out;
    std::vector<std::string> codecs;
    SRTPOptions srtp;
    std::optional<ZQFIOMode> io;
    bool rtcpMux = false;
};

SaveRequest TakeOptions(Arguments& arguments)
{
    SaveRequest request;
    request.plugin = arguments.TakeValue("--plugin");
    request.srtp = TakeSRTPOptions(arguments, MissingSRTPKey::Refuse);
    request.to = arguments.TakeValue("--to");
    request.rtcpPort = arguments.TakeValue("--rtcp-port");
    request.bind = arguments.TakeValue("--bind");
    request.localPort = arguments.TakeValue("--local-port");
    request.tone = arguments.TakeValue("--tone");
    request.events = arguments.TakeValue("--events");
    request.on = arguments.TakeValue("--on");
    request.peer = arguments.TakeValue("--peer");
    request.out = arguments.TakeValue("--out");
    request.codecs = arguments.TakeValues("--codec");
    request.io = TakeIOOption(arguments);
    request.rtcpMux = arguments.TakeFlag("--rtcp-mux");
    return request;
}

void RefuseOption(const std::optional<std::string>& value, const char* option, const char* role)
{
    if (value) {
        throw CommandError(std::string("option ") + option + " does not apply to a " + role);
    }
}

double ParseTone(const std::string& text)
{
    size_t used = 0;
    double hz = 0;
    try {
        hz = std::stod(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || !std::isfinite(hz) || hz <= 0 || hz > kMaxToneHz) {
        throw CommandError("option --tone: '" + text + "' is not a frequency in Hz from above 0 to 100000");
    }
    return hz;
}

int ParseEventEvery(const std::string& text)
{
    const bool digits = !text.empty() && text.size() <= 7 && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
    const long every = digits ? std::stol(text) : 0;
    if (every < 1 || every > kMaxEventEvery) {
        throw CommandError("option --events: '" + text + "' is not a frame count from 1 to 1000000");
    }
    return static_cast<int>(every);
}

SenderOptions SenderOptionsOf(const SaveRequest& request)
{
    RefuseOption(request.on, "--on", "sender");
    RefuseOption(request.peer, "--peer", "sender");
    RefuseOption(request.out, "--out", "sender");
    if (!request.to) {
        throw CommandError("a sender needs --to HOST:PORT");
    }
    if (request.codecs.size() > 1) {
        throw CommandError("a sender sends one codec; --codec is given " + std::to_string(request.codecs.size()) +
                           " times");
    }
    SenderOptions options;
    options.srtp = request.srtp;
    options.rtcpMux = request.rtcpMux;
    options.remote = ParseEndpoint("--to", *request.to);
    if (request.rtcpPort) {
        options.remoteRTCPPort = ParsePort("--rtcp-port", *request.rtcpPort);
    }
    options.localAddress = request.bind ? *request.bind : DefaultSendingAddress(options.remote.host);
    if (request.localPort) {
        options.localPort = ParsePort("--local-port", *request.localPort);
    }
    if (!request.codecs.empty()) {
        options.codec = &FindCodec(request.codecs.front());
    }
    if (request.tone) {
        options.toneHz = ParseTone(*request.tone);
    }
    if (request.events) {
        options.eventEveryFrames = ParseEventEvery(*request.events);
    }
    return options;
}

ReceiverOptions ReceiverOptionsOf(const SaveRequest& request)
{
    RefuseOption(request.to, "--to", "receiver");
    RefuseOption(request.rtcpPort, "--rtcp-port", "receiver");
    RefuseOption(request.bind, "--bind", "receiver");
    RefuseOption(request.localPort, "--local-port", "receiver");
    RefuseOption(request.tone, "--tone", "receiver");
    RefuseOption(request.events, "--events", "receiver");
    if (!request.on) {
        throw CommandError("a receiver needs --on HOST:PORT");
    }
    ReceiverOptions options;
    options.srtp = request.srtp;
    options.rtcpMux = request.rtcpMux;
    options.local = ParseEndpoint("--on", *request.on);
    options.peerAddress = LoopbackLike(options.local.host);
    if (request.peer) {
        const Endpoint peer = ParseHostWithOptionalPort("--peer", *request.peer);
        options.peerAddress = peer.host;
        options.peerPort = peer.port;
    }
    for (const std::string& name : request.codecs) {
        options.codecs.push_back(&FindCodec(name));
    }
    if (request.out) {
        options.outputPath = *request.out;
    }
    return options;
}

int RunSave(Arguments& arguments)
{
    TakeLogLevelOption(arguments);
    const SaveRequest request = TakeOptions(arguments);
    const auto role = arguments.TakeOperand();
    const auto file = arguments.TakeOperand();
    arguments.ExpectNoMore();
    if (!role || (*role != "sender" && *role != "receiver")) {
        throw CommandError("say what to save: sender or receiver (see zqhost save --help)");
    }
    if (!file) {
        throw CommandError("no file to save to given");
    }
    CheckWritableFile("", *file);  // a bad argument like any other
    // Options are checked before the plug-in is loaded: their errors come first.
    const bool sender = *role == "sender";
    const SenderOptions senderOptions = sender ? SenderOptionsOf(request) : SenderOptions{};
    const ReceiverOptions receiverOptions = sender ? ReceiverOptions{} : ReceiverOptionsOf(request);

    ZQFModuleRegistry registry;
    AddStockModules(registry);
    AddPlugin(registry, request.plugin);
    ZQFGraph graph;
    if (sender) {
        BuildSenderGraph(graph, registry, senderOptions);
    } else {
        BuildReceiverGraph(graph, registry, receiverOptions);
    }
    UseIOMode(graph, request.io);
    std::string error;
    if (!ZQFSaveGraphFile(graph, registry, *file, &error)) {
        throw std::runtime_error(error);
    }
    std::printf("saved the %s graph to %s\n", role->c_str(), file->c_str());
    return 0;
}

}  // namespace

extern const Command kSaveCommand = {
    "save",
    "write a ready-to-run sender or receiver graph file",
    "usage: zqhost save sender FILE --to HOST:PORT [--rtcp-port P] [--bind ADDR]\n"
    "                              [--local-port P] [--codec NAME] [--tone HZ]\n"
    "                              [--events EVERY]\n"
    "       zqhost save receiver FILE --on HOST:PORT [--peer HOST[:PORT]]\n"
    "                              [--codec NAME]... [--out FILE]\n"
    "       (both also take [--io shared|own] [--rtcp-mux] [SRTP OPTIONS]\n"
    "       [--plugin PATH] [LOG OPTIONS])\n\n"
    "Writes a graph file that zqhost run loads as it is.\n\n"
    "A sender is a tone source -> \"RTP out\":\n"
    "  --to HOST:PORT    where RTP goes; RTCP goes to PORT+1 ([::1]:5004 for IPv6)\n"
    "  --rtcp-port P     the remote RTCP port instead of PORT+1\n"
    "  --bind ADDR       local address (default 127.0.0.1, :: for an IPv6 --to)\n"
    "  --local-port P    local RTP port (default: the remote port); RTCP on P+1\n"
    "  --codec NAME      what to send (default audioG711A)\n"
    "  --tone HZ         frequency of the tone (default 440)\n"
    "  --events EVERY    every EVERY-th frame is a telephone event\n"
    "                    (audioRFC2833) instead of tone (default: none)\n\n"
    "A receiver is \"RTP in\" -> dispatcher -> one capture sink per codec:\n"
    "  --on HOST:PORT    where RTP arrives; RTCP on PORT+1\n"
    "  --peer HOST[:PORT] where receiver reports go (default 127.0.0.1, ::1 for\n"
    "                    an IPv6 --on, and the local port); RTCP to PORT+1\n"
    "  --codec NAME      a codec to receive, once per codec (default audioG711A)\n"
    "  --out FILE        write the payloads to FILE, or to FILE.<key> for each\n"
    "                    codec when there are several (default: no files)\n\n"
    "Both:\n"
    "  --io shared|own   shared: the file asks for the process's shared receive\n"
    "                    threads (io=\"shared\" on the graph); own (default):\n"
    "                    threads of the stack's own, and nothing is written\n"
    "  --rtcp-mux        RTCP on the RTP port both ways (RFC 5761; the file\n"
    "                    holds RTCPMux): the RTCP ports are then unused\n"
    "  --plugin PATH     the plug-in to use and to name in the file (default:\n"
    "                    zqmrtpstack.so, found where zqhost finds it)\n\n"
    "A codec NAME is a settings key such as audioG711A or audioRFC2833, or one\n"
    "of PCMA, PCMU, telephone-event, in any case.\n\n"
    ZQHOST_SRTP_HELP
    "--srtp needs a key. The file holds the suite and the keys as given\n"
    "(SRTPSuite, SRTPSendKey, SRTPReceiveKey): keep it private.\n\n"
    ZQHOST_LOG_HELP,
    &RunSave,
};
