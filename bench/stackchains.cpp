#include "stackchains.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>

#include "bare.h"
#include "module/zqmrtpstackids.h"
#include "srtpbench.h"

namespace bench {

// Ports are taken below the ephemeral range, one after another, so that a
// port handed out is never handed out again nor given to a socket bound to
// port 0 before its module binds it (thousands of modules start at once:
// a run takes up to some 3,000 ports, which stay under 32768 from any base).
int FreePort()
{
    static std::atomic<int> next{10000 + static_cast<int>(getpid() % 500) * 20};
    for (int tries = 0; tries < 10000; ++tries) {
        const int port = next.fetch_add(1);
        const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in sa{};
        sa.sin_family = AF_INET;
        sa.sin_port = htons(static_cast<uint16_t>(port));
        sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        const bool free = fd >= 0 && bind(fd, reinterpret_cast<sockaddr*>(&sa), sizeof sa) == 0;
        if (fd >= 0) {
            close(fd);
        }
        if (free) {
            return port;
        }
    }
    throw std::runtime_error("no free port");
}

int ReportSinkholePort()
{
    static const int port = [] {
        int bound = 0;
        if (bare_bound_socket(&bound) < 0) {  // kept open for the process's life
            throw std::runtime_error("no report socket");
        }
        return bound;
    }();
    return port;
}

SendChain AddSendChain(ZQFGraph& graph, int port)
{
    ZQStockSourceConfig config;
    config.content = ZQStockSourceConfig::Content::Pushed;
    config.mediaType = kPCMA;
    config.frameBytes = BARE_PAYLOAD_BYTES;
    SendChain chain;
    chain.source = new ZQStockSource(config);
    chain.rtpOut = new ZQMRTPStackModule(ZQMID_RTPOut, "RTP out");
    graph.AddModule(chain.source);
    graph.AddModule(chain.rtpOut);
    chain.rtpOut->EnableMediaType(kPCMA);
    chain.rtpOut->SetLocalIPAddress("127.0.0.1");
    chain.rtpOut->SetLocalRTPPort("0");
    chain.rtpOut->SetLocalRTCPPort(std::to_string(FreePort()).c_str());
    chain.rtpOut->SetRemoteRTPAddress("127.0.0.1");
    chain.rtpOut->SetRemoteRTPPort(std::to_string(port).c_str());
    chain.rtpOut->SetRemoteRTCPAddress("127.0.0.1");
    chain.rtpOut->SetRemoteRTCPPort(std::to_string(ReportSinkholePort()).c_str());
    chain.rtpOut->SetCNAME("bench@loopback");
    if (!graph.Connect(chain.source, 0, chain.rtpOut, 0)) {
        throw std::runtime_error("send chain does not connect");
    }
    return chain;
}

ReceiveChain AddReceiveChain(ZQFGraph& graph, uint16_t window, size_t latencyRoom)
{
    ReceiveChain chain;
    chain.rtpIn = new ZQMRTPStackModule(ZQMID_RTPIn, "RTP in");
    chain.sink = new BenchSink(latencyRoom);
    graph.AddModule(chain.rtpIn);
    graph.AddModule(chain.sink);
    chain.port = FreePort();
    chain.rtpIn->SetLocalIPAddress("127.0.0.1");
    chain.rtpIn->SetLocalRTPPort(std::to_string(chain.port).c_str());
    chain.rtpIn->SetLocalRTCPPort(std::to_string(FreePort()).c_str());
    chain.rtpIn->SetRemoteRTCPAddress("127.0.0.1");
    chain.rtpIn->SetRemoteRTCPPort(std::to_string(ReportSinkholePort()).c_str());
    chain.rtpIn->SetSocketBufferSize(kReceiveBufferBytes);
    chain.rtpIn->SetRTPwindow(window);
    chain.rtpIn->EnableMediaType(kPCMA);
    if (!graph.Connect(chain.rtpIn, 0, chain.sink, 0)) {
        throw std::runtime_error("receive chain does not connect");
    }
    return chain;
}

void ProtectWithSrtp(ZQMRTPStackModule* module)
{
    const std::string key = SrtpMasterKeyBase64();
    int refused = -1;
    if (!module->SetSRTP(kSrtpSuite, key.c_str(), key.c_str(), &refused)) {
        throw std::runtime_error("SRTP settings refused (" + std::to_string(refused) + ")");
    }
}

}  // namespace bench
