#include "stackloads.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <time.h>
#include <unistd.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "bare.h"
#include "stackchains.h"
#include "stackruns.h"

namespace bench {
namespace {

void SleepUntil(uint64_t deadlineNs)
{
    timespec ts{static_cast<time_t>(deadlineNs / 1000000000u), static_cast<long>(deadlineNs % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
    }
}

void Apply(IOMode mode, ZQMRTPStackModule* module)
{
    module->SetSharedIO(mode == IOMode::Shared ? 1 : 0);
}

ReceiveChain AddReceive(ZQFGraph& graph, size_t latencyRoom, IOMode mode)
{
    ReceiveChain chain = AddReceiveChain(graph, 0, latencyRoom);
    Apply(mode, chain.rtpIn);
    return chain;
}

SendChain AddSend(ZQFGraph& graph, int port, IOMode mode)
{
    SendChain chain = AddSendChain(graph, port);
    Apply(mode, chain.rtpOut);
    return chain;
}

void StartOrThrow(ZQFGraph& graph, const char* what)
{
    if (!graph.Start()) {
        throw std::runtime_error(std::string(what) + " graph does not start");
    }
}

// What the pacing thread pushes: each stream's frame k, stamped when sent.
struct Pacing {
    std::vector<SendChain>* outs;
    std::vector<uint64_t> sent;
};

void PushPaced(void* context, int stream, int k)
{
    auto& pacing = *static_cast<Pacing*>(context);
    uint8_t payload[BARE_PAYLOAD_BYTES];
    bare_fill_payload(payload, static_cast<uint16_t>(k), bare_now_ns());
    const auto at = static_cast<size_t>(stream);
    pacing.sent[at] += (*pacing.outs)[at].source->PushFrame(payload, BARE_PAYLOAD_BYTES) ? 1 : 0;
}

// `count` bare datagrams (numbered from 0) to each port, from one socket.
void SendToEach(const std::vector<ReceiveChain>& ins, int count)
{
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        throw std::runtime_error("no sending socket");
    }
    uint8_t datagram[BARE_DATAGRAM_BYTES];
    for (int k = 0; k < count; ++k) {
        bare_fill_datagram(datagram, static_cast<uint16_t>(k), 0);
        for (const ReceiveChain& in : ins) {
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(static_cast<uint16_t>(in.port));
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            sendto(fd, datagram, sizeof datagram, 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
        }
    }
    close(fd);
}

double KbPer(long before, int modules) { return static_cast<double>(bare_resident_kb() - before) / modules; }

}  // namespace

ScaleRun StackScale(int pairs, int rate, double seconds, IOMode mode)
{
    const int perPair = static_cast<int>(seconds * rate);
    ZQFGraph graph;
    std::vector<ReceiveChain> ins;
    std::vector<SendChain> outs;
    for (int i = 0; i < pairs; ++i) {
        ins.push_back(AddReceive(graph, static_cast<size_t>(perPair), mode));
        outs.push_back(AddSend(graph, ins.back().port, mode));
    }
    StartOrThrow(graph, "scale");
    Pacing pacing{&outs, std::vector<uint64_t>(static_cast<size_t>(pairs), 0)};
    const uint64_t start = bare_now_ns() + 300000000u;
    SleepUntil(start);
    const uint64_t cpu0 = bare_process_cpu_ns(), t0 = bare_now_ns();
    bare_pace_streams(pairs, rate, perPair, start, PushPaced, &pacing);
    SleepMs(50);
    ScaleRun run;
    run.cpuShare = static_cast<double>(bare_process_cpu_ns() - cpu0) / static_cast<double>(bare_now_ns() - t0);
    graph.Stop();
    std::vector<double> all;
    uint64_t delivered = 0;
    for (int i = 0; i < pairs; ++i) {
        const BenchSink& sink = *ins[static_cast<size_t>(i)].sink;
        all.insert(all.end(), sink.GetLatenciesUs().begin(), sink.GetLatenciesUs().end());
        run.sent += pacing.sent[static_cast<size_t>(i)];
        delivered += sink.GetDelivered();
        run.disorder += sink.GetOutOfOrder();
    }
    run.p99Us = bare_percentile(all.data(), static_cast<int>(all.size()), 99);
    run.lost = static_cast<uint64_t>(pairs) * static_cast<uint64_t>(perPair) - delivered;
    return run;
}

double StackIdleShare(int modules, double seconds, IOMode mode)
{
    ZQFGraph graph;
    for (int i = 0; i < modules; ++i) {
        AddReceive(graph, 0, mode);
        AddSend(graph, ReportSinkholePort(), mode);
    }
    StartOrThrow(graph, "idle");
    SleepMs(300);  // past the threads' start
    const uint64_t cpu0 = bare_process_cpu_ns(), t0 = bare_now_ns();
    SleepMs(static_cast<int>(seconds * 1000));
    const double share =
        static_cast<double>(bare_process_cpu_ns() - cpu0) / static_cast<double>(bare_now_ns() - t0);
    graph.Stop();
    return share;
}

MemoryRun StackMemory(int modules, bool input, IOMode mode, int packetsEach)
{
    const long before = bare_resident_kb();
    auto graph = std::make_unique<ZQFGraph>();
    std::vector<ReceiveChain> ins;
    for (int i = 0; i < modules; ++i) {
        if (input) {
            ins.push_back(AddReceive(*graph, 0, mode));
        } else {
            AddSend(*graph, ReportSinkholePort(), mode);
        }
    }
    StartOrThrow(*graph, "memory");
    SleepMs(300);
    MemoryRun run;
    run.startedKb = KbPer(before, modules);
    if (input && packetsEach > 0) {
        SendToEach(ins, packetsEach);
        for (const ReceiveChain& in : ins) {
            WaitDelivered(*in.sink, static_cast<uint64_t>(packetsEach));
        }
        run.trafficKb = KbPer(before, modules);
    }
    graph->Stop();
    return run;
}

}  // namespace bench
