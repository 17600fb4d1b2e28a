#pragma once
// The graphs the benchmarks run: "stock source -> RTP out" towards a
// loopback port, and "RTP in -> bench sink" on a loopback port, with RTCP.
#include <cstdint>
#include <string>

#include "benchsink.h"
#include "module/zqmrtpstackmodule.h"
#include "zqfgraph.h"
#include "zqstocksource.h"

namespace bench {

constexpr int32_t kPCMA = 0x40001;  // payload type 8, as the bare datagrams
constexpr uint32_t kReceiveBufferBytes = 4 * 1024 * 1024;

// A port of 127.0.0.1 that was free a moment ago.
int FreePort();
// A bound socket nobody reads, for the reports the chains send.
int ReportSinkholePort();

struct SendChain {
    ZQStockSource* source = nullptr;
    ZQMRTPStackModule* rtpOut = nullptr;
};
// Adds a pushed-content source and an "RTP out" sending to 127.0.0.1:`port`.
SendChain AddSendChain(ZQFGraph& graph, int port);

struct ReceiveChain {
    ZQMRTPStackModule* rtpIn = nullptr;
    BenchSink* sink = nullptr;
    int port = 0;
};
// Adds an "RTP in" on a free port of 127.0.0.1 (4 MB socket buffer, the
// given reordering window) delivering to a bench sink.
ReceiveChain AddReceiveChain(ZQFGraph& graph, uint16_t window, size_t latencyRoom);

// SRTP (AES_CM_128_HMAC_SHA1_80, the bench key both ways) from the module's
// next start.
void ProtectWithSrtp(ZQMRTPStackModule* module);

}  // namespace bench
