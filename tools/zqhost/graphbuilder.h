#pragma once
// The two graphs zqhost builds from command-line options, in memory:
//   sender:   stock source (a tone in the codec) -> "RTP out"
//   receiver: "RTP in" -> dispatcher -> one capture sink per codec
// `save` writes them to graph files; commands that run them directly build
// the same graphs here.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "codecs.h"

class ZQCaptureSink;
class ZQFGraph;
class ZQFModule;
class ZQFModuleRegistry;
class ZQStockSource;

struct Endpoint {
    std::string host;
    uint16_t port = 0;
};

// "HOST:PORT" (the port from 1 to 65535). Throws CommandError naming `option`.
Endpoint ParseEndpoint(const std::string& option, const std::string& text);
// A port from 1 to 65535. Throws CommandError naming `option`.
uint16_t ParsePort(const std::string& option, const std::string& text);

struct SenderOptions {
    Endpoint remote;              // where RTP goes
    uint16_t remoteRTCPPort = 0;  // 0: remote port + 1
    std::string localAddress = "127.0.0.1";
    uint16_t localPort = 0;        // 0: the remote port; RTCP on the next one
    const Codec* codec = nullptr;  // null: audioG711A
    double toneHz = 440.0;
};

struct SenderGraph {
    ZQStockSource* source = nullptr;
    ZQFModule* rtpOut = nullptr;
};

struct ReceiverOptions {
    Endpoint local;                         // where RTP arrives; RTCP on the next port
    std::string peerAddress = "127.0.0.1";  // where receiver reports go
    uint16_t peerPort = 0;                  // 0: the local port (the sender's default)
    std::vector<const Codec*> codecs;       // empty: audioG711A
    std::string outputPath;                 // empty: no files; FILE.<key> when several codecs
    size_t keepLimit = 0;                   // packets each sink keeps in memory
};

struct ReceiverGraph {
    ZQFModule* rtpIn = nullptr;
    ZQFModule* dispatcher = nullptr;
    std::vector<ZQCaptureSink*> sinks;  // in the order of the codecs
};

// Add the modules to `graph` and connect them. The plug-in's kinds must be in
// the registry. Throws CommandError for options the stack refuses and
// std::runtime_error when the graph cannot be built.
SenderGraph BuildSenderGraph(ZQFGraph& graph, const ZQFModuleRegistry& registry, const SenderOptions& options);
ReceiverGraph BuildReceiverGraph(ZQFGraph& graph, const ZQFModuleRegistry& registry, const ReceiverOptions& options);

// The file a receiver's sink writes for `codec`.
std::string OutputPathFor(const ReceiverOptions& options, const Codec& codec);
