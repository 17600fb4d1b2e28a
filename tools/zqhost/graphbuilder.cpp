#include "graphbuilder.h"

#include <algorithm>
#include <cctype>
#include <iterator>
#include <stdexcept>

#include "arguments.h"
#include "stackidentities.h"
#include "zqfgraph.h"
#include "zqfilecapturesink.h"
#include "zqfmediatype.h"
#include "zqfmodule.h"
#include "zqfmoduleregistry.h"
#include "zqfpin.h"
#include "zqstocksource.h"

namespace {

constexpr int kPayloadBytesPerMs = 8;
constexpr int kSampleHeadroomBytes = 64;  // the RTP header and then some
constexpr int kDefaultSampleBytes = 2048;
constexpr uint16_t kMaxRTPPort = 65534;  // RTCP takes the next port

const Codec& DefaultCodec() { return FindCodec("audioG711A"); }
const Codec& EventCodec() { return FindCodec("audioRFC2833"); }

std::string PortText(uint16_t port) { return std::to_string(port); }

uint16_t RTCPPortAfter(const std::string& option, uint16_t port)
{
    if (port > kMaxRTPPort) {
        throw CommandError("option " + option + ": port " + PortText(port) + " leaves no port for RTCP");
    }
    return static_cast<uint16_t>(port + 1);
}

ZQFModule* AddPluginModule(ZQFGraph& graph, const ZQFModuleRegistry& registry, const ZQFID& id, const char* name)
{
    std::string error;
    ZQIModule* module = registry.CreateModule(id, nullptr, &error);
    if (module == nullptr) {
        throw std::runtime_error("cannot create the \"" + std::string(name) + "\" module: " + error);
    }
    ZQFModule* framework = graph.AddModule(module);
    if (framework == nullptr) {
        delete module;
        throw std::runtime_error("the \"" + std::string(name) + "\" module has no framework object");
    }
    framework->SetName(name);
    return framework;
}

ZQIRTPStack& StackOf(ZQFModule* module)
{
    ZQIRTPStack* stack = RTPStackOf(module);
    if (stack == nullptr) {
        throw std::runtime_error(std::string("module '") + module->GetName() + "' is not an RTP stack");
    }
    return *stack;
}

void EnableCodec(ZQIRTPStack& stack, const Codec& codec, int payloadType = -1)
{
    if (payloadType >= 0) {
        if (!stack.AddMediaType(codec.mediaType, static_cast<uint8_t>(payloadType))) {
            throw CommandError(std::string("the RTP stack refuses payload type ") + std::to_string(payloadType) +
                               " for codec " + codec.key);
        }
        return;
    }
    if (!stack.EnableMediaType(codec.mediaType)) {
        throw CommandError(std::string("the RTP stack cannot carry codec ") + codec.key +
                           " (it has no default payload type; give one with --pt)");
    }
}

// The options were checked against the suite already; a refusal here is
// the stack's own, and its log line says why.
void ApplySRTP(ZQIRTPStack& stack, const SRTPOptions& srtp)
{
    if (!srtp.IsOn()) {
        return;
    }
    constexpr const char* kSettingNames[] = {"suite", "send key", "receive key"};  // as `refused` numbers them
    int refused = -1;
    if (!stack.SetSRTP(srtp.suite.c_str(), srtp.sendKey.c_str(), srtp.receiveKey.c_str(), &refused)) {
        const bool named = refused >= 0 && refused < static_cast<int>(std::size(kSettingNames));
        throw CommandError(std::string("the RTP stack refuses the SRTP ") +
                           (named ? kSettingNames[refused] : "settings"));
    }
}

// Before the codecs: the stack then refuses a payload type that would read
// as RTCP, naming it.
void ApplyRTCPMux(ZQIRTPStack& stack, bool on)
{
    if (on && !stack.SetRTCPMux(1)) {
        throw CommandError("the RTP stack refuses RTCP multiplexing (--rtcp-mux)");
    }
}

void Connect(ZQFGraph& graph, ZQFModule* from, int outputPin, ZQFModule* to, int inputPin)
{
    std::string error;
    if (!graph.Connect(from, outputPin, to, inputPin, &error)) {
        throw std::runtime_error(error);
    }
}

// The dispatcher's output pin for a media type, once it knows upstream's types.
int DispatcherPinFor(ZQFModule* dispatcher, const Codec& codec)
{
    for (int i = 0; i < dispatcher->GetOutputPinCount(); ++i) {
        ZQFMediaType type;
        ZQFFormatBuffer* format = nullptr;
        if (dispatcher->GetOutputPin(i)->GetMediaTypeAt(0, &type, &format) && type.GetSubType() == codec.mediaType) {
            return i;
        }
    }
    throw std::runtime_error(std::string("the dispatcher offers no output pin for ") + codec.key);
}

ZQStockSourceConfig SourceConfig(const Codec& codec, const SenderOptions& options)
{
    ZQStockSourceConfig config;
    config.mediaType = codec.mediaType;
    config.mainType = codec.mainType;
    config.clockRateHz = codec.clockRateHz;
    config.frameBytes = FrameBytesFor(options.packetTimeMs);
    config.packetTimeMs = options.packetTimeMs;
    config.content = options.content;
    config.toneHz = options.toneHz;
    config.filePath = options.inputPath;
    config.maxFrames = options.maxFrames;
    config.firstSequenceNumber = options.firstSequenceNumber;
    config.firstTimestamp = options.firstTimestamp;
    config.sampleBytes = std::max(kDefaultSampleBytes, config.frameBytes + kSampleHeadroomBytes);
    if (options.eventEveryFrames > 0) {
        config.eventMediaType = EventCodec().mediaType;
        config.eventEveryFrames = options.eventEveryFrames;
    }
    return config;
}

const char* SourceName(ZQStockSourceConfig::Content content)
{
    switch (content) {
    case ZQStockSourceConfig::Content::Chirp:
        return "chirp source";
    case ZQStockSourceConfig::Content::File:
        return "file source";
    default:
        return "tone source";
    }
}

}  // namespace

int FrameBytesFor(int packetTimeMs) { return packetTimeMs * kPayloadBytesPerMs; }

std::string OutputPathFor(const ReceiverOptions& options, const Codec& codec)
{
    if (options.outputPath.empty() || options.codecs.size() <= 1) {
        return options.outputPath;
    }
    return options.outputPath + "." + codec.key;
}

SenderGraph BuildSenderGraph(ZQFGraph& graph, const ZQFModuleRegistry& registry, const SenderOptions& options)
{
    const Codec& codec = options.codec ? *options.codec : DefaultCodec();
    const uint16_t localPort = options.localPort != 0 ? options.localPort : options.remote.port;
    const uint16_t localRTCPPort =
        options.localRTCPPort != 0 ? options.localRTCPPort
                                   : RTCPPortAfter(options.localPort != 0 ? "--local-port" : "--to", localPort);
    const uint16_t remoteRTCPPort =
        options.remoteRTCPPort != 0 ? options.remoteRTCPPort : RTCPPortAfter("--to", options.remote.port);

    SenderGraph built;
    built.source = new ZQStockSource(SourceConfig(codec, options));
    graph.AddModule(built.source);
    built.source->SetName(SourceName(options.content));
    built.rtpOut = AddPluginModule(graph, registry, kRTPOutModuleId, "RTP out");

    ZQIRTPStack& stack = StackOf(built.rtpOut);
    stack.SetLocalIPAddress(options.localAddress.c_str());
    stack.SetLocalRTPPort(PortText(localPort).c_str());
    stack.SetLocalRTCPPort(PortText(localRTCPPort).c_str());
    stack.SetRemoteRTPAddress(options.remote.host.c_str());
    stack.SetRemoteRTCPAddress(options.remote.host.c_str());
    stack.SetRemoteRTPPort(PortText(options.remote.port).c_str());
    stack.SetRemoteRTCPPort(PortText(remoteRTCPPort).c_str());
    // Reports leave from the port that listens for the peer's (symmetric
    // RTCP): a peer or a middlebox that answers where RTCP came from reaches us.
    stack.SetBindRTCPToLocalPort(1);
    stack.SetAutoSequenceNumbers(options.autoSequenceNumbers);
    ApplyRTCPMux(stack, options.rtcpMux);
    EnableCodec(stack, codec, options.payloadType);
    if (options.eventEveryFrames > 0 && &codec != &EventCodec()) {
        EnableCodec(stack, EventCodec());
    }
    ApplySRTP(stack, options.srtp);

    Connect(graph, built.source, 0, built.rtpOut, 0);
    return built;
}

ReceiverGraph BuildReceiverGraph(ZQFGraph& graph, const ZQFModuleRegistry& registry, const ReceiverOptions& options)
{
    std::vector<const Codec*> codecs = options.codecs;
    if (codecs.empty()) {
        codecs.push_back(&DefaultCodec());
    }
    for (size_t i = 0; i < codecs.size(); ++i) {
        for (size_t j = 0; j < i; ++j) {
            if (codecs[i] == codecs[j]) {
                throw CommandError(std::string("codec ") + codecs[i]->key + " is given twice");
            }
        }
    }
    const uint16_t localRTCPPort =
        options.localRTCPPort != 0 ? options.localRTCPPort : RTCPPortAfter("--on", options.local.port);
    const uint16_t peerPort = options.peerPort != 0 ? options.peerPort : options.local.port;
    const uint16_t peerRTCPPort = options.peerPort != 0 ? RTCPPortAfter("--peer", peerPort) : localRTCPPort;
    // The stack opens its RTCP sockets only for a remote RTCP address other
    // than its own; with none at all it reports to where the RTP comes from.
    const bool learn = options.learnPeer || options.peerAddress == options.local.host;
    const std::string peerAddress = learn ? std::string() : options.peerAddress;

    ReceiverGraph built;
    built.rtpIn = AddPluginModule(graph, registry, kRTPInModuleId, "RTP in");
    ZQIRTPStack& stack = StackOf(built.rtpIn);
    stack.SetLocalIPAddress(options.local.host.c_str());
    stack.SetLocalRTPPort(PortText(options.local.port).c_str());
    stack.SetLocalRTCPPort(PortText(localRTCPPort).c_str());
    stack.SetRemoteRTPAddress(peerAddress.c_str());
    stack.SetRemoteRTCPAddress(peerAddress.c_str());
    stack.SetRemoteRTPPort(PortText(peerPort).c_str());
    stack.SetRemoteRTCPPort(PortText(peerRTCPPort).c_str());
    stack.SetBindRTCPToLocalPort(1);  // symmetric RTCP, as for the sender
    if (options.window != 0) {
        stack.SetRTPwindow(options.window);
    }
    if (options.lipSync) {
        stack.SetUseLipSync(true);
    }
    ApplySRTP(stack, options.srtp);
    ApplyRTCPMux(stack, options.rtcpMux);
    // The media types go in before the dispatcher connects: it makes one
    // output pin per type it finds upstream at that moment.
    for (const Codec* codec : codecs) {
        EnableCodec(stack, *codec);
    }

    built.dispatcher = AddPluginModule(graph, registry, kDispatcherModuleId, "dispatcher");
    Connect(graph, built.rtpIn, 0, built.dispatcher, 0);

    ReceiverOptions named = options;
    named.codecs = codecs;
    for (const Codec* codec : codecs) {
        auto* sink = new ZQFileCaptureSink((std::string("capture ") + codec->key).c_str(),
                                           ZQCaptureSinkSettings{OutputPathFor(named, *codec), options.keepLimit});
        graph.AddModule(sink);
        Connect(graph, built.dispatcher, DispatcherPinFor(built.dispatcher, *codec), sink, 0);
        built.sinks.push_back(sink);
    }
    return built;
}

uint32_t SenderSSRCOf(ZQFModule* rtpOut)
{
    // The sending stack names its local source as its source 0.
    uint32_t ssrc = 0;
    if (!StackOf(rtpOut).GetSourceIdentifier(0, ssrc)) {
        return 0;
    }
    return ssrc;
}

void ApplySimulation(ZQFModule* rtpOut, std::optional<uint32_t> lossPercent, std::optional<uint32_t> maxJitterMs)
{
    ZQIRTPStackStatistics* statistics = RTPStackStatisticsOf(rtpOut);
    const uint32_t ssrc = SenderSSRCOf(rtpOut);
    if (statistics == nullptr || ssrc == 0) {
        throw std::runtime_error("the \"RTP out\" module offers no local source to simulate on");
    }
    if (lossPercent && !(statistics->SetPacketLossPercent(ssrc, true, *lossPercent) &&
                         statistics->SetSimulatePacketLoss(ssrc, true, true))) {
        throw std::runtime_error("the RTP stack refuses a packet loss of " + std::to_string(*lossPercent) + " %");
    }
    if (maxJitterMs &&
        !(statistics->SetMaxJitter(ssrc, true, *maxJitterMs) && statistics->SetGenerateJitter(ssrc, true, true))) {
        throw std::runtime_error("the RTP stack refuses a jitter of " + std::to_string(*maxJitterMs) + " ms");
    }
}
