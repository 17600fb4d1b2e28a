#pragma once
// The two graphs zqhost builds from command-line options, in memory:
//   sender:   stock source (a tone, a chirp or a file's bytes) -> "RTP out"
//   receiver: "RTP in" -> dispatcher -> one capture sink per codec
// `save` writes them to graph files; send, recv and demo run the same graphs.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "codecs.h"
#include "endpointoptions.h"
#include "srtpoptions.h"
#include "zqstocksource.h"

class ZQCaptureSink;
class ZQFGraph;
class ZQFModule;
class ZQFModuleRegistry;
class ZQStockSource;


struct SenderOptions {
    Endpoint remote;              // where RTP goes
    uint16_t remoteRTCPPort = 0;  // 0: remote port + 1
    std::string localAddress = "127.0.0.1";  // the commands take "::1" for an IPv6 remote
    uint16_t localPort = 0;        // 0: the remote port
    uint16_t localRTCPPort = 0;    // 0: the local port + 1; receiver reports arrive there
    const Codec* codec = nullptr;  // null: audioG711A
    int payloadType = -1;          // -1: the codec's default
    ZQStockSourceConfig::Content content = ZQStockSourceConfig::Content::Tone;
    double toneHz = 440.0;
    std::string inputPath;         // the file that File content sends
    int packetTimeMs = 20;
    int64_t maxFrames = -1;        // -1: no limit
    // The stack numbers the packets itself; false: it takes the source's
    // numbers, which then start at `firstSequenceNumber`.
    bool autoSequenceNumbers = true;
    uint16_t firstSequenceNumber = 0;
    // The media timestamp of the first frame. Commands that run a stream
    // start it anywhere (RFC 3550 5.1); a receiver whose source clock starts
    // at 0 would otherwise take the first packet's transit for jitter.
    uint32_t firstTimestamp = 0;
    // Every this many frames, one is a telephone event (audioRFC2833) instead
    // of media; 0: no events.
    int eventEveryFrames = 0;
    SRTPOptions srtp;  // off unless a suite is given
    // RTCP on the RTP ports both ways (the local and remote RTCP ports are
    // then unused).
    bool rtcpMux = false;
};

// Payload bytes of one frame of `packetTimeMs`: 8 a millisecond, which is
// exactly clock rate x packet time for the 8 kHz codecs that carry one byte
// per tick (PCMA, PCMU, G.722). Other codecs get test payload at that rate.
int FrameBytesFor(int packetTimeMs);

struct SenderGraph {
    ZQStockSource* source = nullptr;
    ZQFModule* rtpOut = nullptr;
};

struct ReceiverOptions {
    Endpoint local;                         // where RTP arrives
    uint16_t localRTCPPort = 0;             // 0: the local port + 1
    std::string peerAddress = "127.0.0.1";  // where receiver reports go
    uint16_t peerPort = 0;                  // the peer's RTP port; reports go to the next one.
                                            // 0: to the local RTCP port number
    // Reports go back to the address the RTP comes from (peerAddress unused).
    bool learnPeer = false;
    uint16_t window = 0;  // reordering window, packets
    bool lipSync = false;
    std::vector<const Codec*> codecs;       // empty: audioG711A
    std::string outputPath;                 // empty: no files; FILE.<key> when several codecs
    size_t keepLimit = 0;                   // packets each sink keeps in memory
    SRTPOptions srtp;                       // off unless a suite is given
    // RTCP on the RTP ports: reports go to the peer's RTP port itself, and
    // no RTCP port is opened.
    bool rtcpMux = false;
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

// The sending-side network simulation, on the local source of an "RTP out":
// drop `lossPercent` of the packets, delay each by up to `maxJitterMs`.
// Nothing for an option not given. Throws std::runtime_error when the stack
// refuses.
void ApplySimulation(ZQFModule* rtpOut, std::optional<uint32_t> lossPercent, std::optional<uint32_t> maxJitterMs);

// The SSRC of an "RTP out" module's local source (0 when it gives none). It
// can change while the module runs (a collision makes the stack pick another).
uint32_t SenderSSRCOf(ZQFModule* rtpOut);

// The file a receiver's sink writes for `codec`.
std::string OutputPathFor(const ReceiverOptions& options, const Codec& codec);
