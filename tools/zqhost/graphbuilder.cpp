#include "graphbuilder.h"

#include <algorithm>
#include <cctype>
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

// One 20 ms frame of 160 bytes, whatever the codec: the payload is a tone,
// not real media, and only its pacing and numbering matter to the stacks.
constexpr int kFrameBytes = 160;
constexpr int kPacketTimeMs = 20;
constexpr uint16_t kMaxRTPPort = 65534;  // RTCP takes the next port

const Codec& DefaultCodec() { return FindCodec("audioG711A"); }

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

void EnableCodec(ZQIRTPStack& stack, const Codec& codec)
{
    if (!stack.EnableMediaType(codec.mediaType)) {
        throw CommandError(std::string("the RTP stack cannot carry codec ") + codec.key +
                           " (it has no default payload type)");
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

ZQStockSourceConfig ToneSourceConfig(const Codec& codec, double toneHz)
{
    ZQStockSourceConfig config;
    config.mediaType = codec.mediaType;
    config.mainType = codec.mainType;
    config.clockRateHz = codec.clockRateHz;
    config.frameBytes = kFrameBytes;
    config.packetTimeMs = kPacketTimeMs;
    config.content = ZQStockSourceConfig::Content::Tone;
    config.toneHz = toneHz;
    return config;
}

}  // namespace

uint16_t ParsePort(const std::string& option, const std::string& text)
{
    const bool digits = !text.empty() && text.size() <= 5 && std::all_of(text.begin(), text.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c));
    });
    const long port = digits ? std::stol(text) : 0;
    if (port < 1 || port > 65535) {
        throw CommandError("option " + option + ": '" + text + "' is not a port from 1 to 65535");
    }
    return static_cast<uint16_t>(port);
}

Endpoint ParseEndpoint(const std::string& option, const std::string& text)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0) {
        throw CommandError("option " + option + ": '" + text + "' is not HOST:PORT");
    }
    return Endpoint{text.substr(0, colon), ParsePort(option, text.substr(colon + 1))};
}

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
    const uint16_t remoteRTCPPort =
        options.remoteRTCPPort != 0 ? options.remoteRTCPPort : RTCPPortAfter("--to", options.remote.port);

    SenderGraph built;
    built.source = new ZQStockSource(ToneSourceConfig(codec, options.toneHz));
    graph.AddModule(built.source);
    built.source->SetName("tone source");
    built.rtpOut = AddPluginModule(graph, registry, kRTPOutModuleId, "RTP out");

    ZQIRTPStack& stack = StackOf(built.rtpOut);
    stack.SetLocalIPAddress(options.localAddress.c_str());
    stack.SetLocalRTPPort(PortText(localPort).c_str());
    stack.SetLocalRTCPPort(PortText(RTCPPortAfter("--local-port", localPort)).c_str());
    stack.SetRemoteRTPAddress(options.remote.host.c_str());
    stack.SetRemoteRTCPAddress(options.remote.host.c_str());
    stack.SetRemoteRTPPort(PortText(options.remote.port).c_str());
    stack.SetRemoteRTCPPort(PortText(remoteRTCPPort).c_str());
    EnableCodec(stack, codec);

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
    const uint16_t peerPort = options.peerPort != 0 ? options.peerPort : options.local.port;

    ReceiverGraph built;
    built.rtpIn = AddPluginModule(graph, registry, kRTPInModuleId, "RTP in");
    ZQIRTPStack& stack = StackOf(built.rtpIn);
    stack.SetLocalIPAddress(options.local.host.c_str());
    stack.SetLocalRTPPort(PortText(options.local.port).c_str());
    stack.SetLocalRTCPPort(PortText(RTCPPortAfter("--on", options.local.port)).c_str());
    stack.SetRemoteRTPAddress(options.peerAddress.c_str());
    stack.SetRemoteRTCPAddress(options.peerAddress.c_str());
    stack.SetRemoteRTPPort(PortText(peerPort).c_str());
    stack.SetRemoteRTCPPort(PortText(RTCPPortAfter("--peer", peerPort)).c_str());
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
