// Micro-benchmarks of the hot paths, without sockets in the loop: header
// writing, the send path with the datagram switched off, the packet check and
// sequencing (in order, reordered, duplicated), RTCP parsing, and SRTP
// through the stack's sessions against libsrtp called directly. Each reports
// the heap allocations it made per iteration.
#include <benchmark/benchmark.h>

#include "alloccount.h"
#include "bare.h"
#include "hotpaths.h"
#include "inputrtpstack/zqminputrtpstack.h"
#include "rtcp/rtcpcompound.h"
#include "srtp/srtpstackprotection.h"
#include "srtpbench.h"
#include "zqfdebuglog.h"
#include "zqmrtpheader.h"

namespace {

using bench::Datagram;

// Sets the "allocs" counter to the allocations per iteration since `before`.
void CountAllocations(benchmark::State& state, uint64_t before)
{
    state.counters["allocs"] = benchmark::Counter(static_cast<double>(bench::AllocationsOnThisThread() - before),
                                                  benchmark::Counter::kAvgIterations);
}

void HeaderWrite(benchmark::State& state)
{
    uint8_t header[rtp::kFixedHeaderBytes];
    uint16_t seq = 0;
    const uint64_t before = bench::AllocationsOnThisThread();
    for (auto _ : state) {
        rtp::WriteFixedHeader(header, false, 8, seq, 160u * seq, 0x5eed0001u);
        ++seq;
        benchmark::DoNotOptimize(header);
    }
    CountAllocations(state, before);
}
BENCHMARK(HeaderWrite);

void SendPathWithoutSyscall(benchmark::State& state)
{
    ZQFGraph graph;
    const bench::SendChain chain = bench::AddSendChain(graph, bench::ReportSinkholePort());
    graph.Start();
    chain.rtpOut->SetDataDisabled(1);  // everything but the sendto
    uint8_t payload[BARE_PAYLOAD_BYTES] = {};
    chain.source->PushFrame(payload, BARE_PAYLOAD_BYTES);
    const uint64_t before = bench::AllocationsOnThisThread();
    for (auto _ : state) {
        benchmark::DoNotOptimize(chain.source->PushFrame(payload, BARE_PAYLOAD_BYTES));
    }
    CountAllocations(state, before);
    graph.Stop();
}
BENCHMARK(SendPathWithoutSyscall);

// Datagrams of one source whose numbers follow `order` (offsets within each
// run of four), one after another for `count` packets.
std::vector<Datagram> Stream(std::initializer_list<int> order, int count)
{
    std::vector<Datagram> datagrams;
    for (int base = 100; static_cast<int>(datagrams.size()) < count; base += 4) {
        for (int offset : order) {
            datagrams.push_back(bench::MakeDatagram(static_cast<uint16_t>(base + offset)));
        }
    }
    return datagrams;
}

void CheckAndSequence(benchmark::State& state, uint16_t window, std::initializer_list<int> order)
{
    bench::InputHarness harness(window);
    for (int k = 0; k < 100; ++k) {
        harness.Feed(bench::MakeDatagram(static_cast<uint16_t>(k)));
    }
    // 65536 numbers later the stream comes round again, so one stream serves
    // every iteration.
    const std::vector<Datagram> stream = Stream(order, 65536);
    size_t at = 0;
    const uint64_t before = bench::AllocationsOnThisThread();
    for (auto _ : state) {
        benchmark::DoNotOptimize(harness.Feed(stream[at]));
        at = at + 1 == stream.size() ? 0 : at + 1;
    }
    CountAllocations(state, before);
}
BENCHMARK_CAPTURE(CheckAndSequence, in_order_window0, 0, {0, 1, 2, 3});
BENCHMARK_CAPTURE(CheckAndSequence, in_order_window16, 16, {0, 1, 2, 3});
BENCHMARK_CAPTURE(CheckAndSequence, reordered_window16, 16, {1, 0, 3, 2});
BENCHMARK_CAPTURE(CheckAndSequence, duplicated_window16, 16, {0, 1, 1, 2, 3});

void RtcpCompoundParse(benchmark::State& state)
{
    const Datagram report = bench::MakeSenderReport(0x5eed0001u);
    const uint64_t before = bench::AllocationsOnThisThread();
    for (auto _ : state) {
        size_t end = 0;
        int packets = 0;
        if (rtcp::CheckCompound(report.data(), report.size()).code == rtcp::kCompoundValid &&
            rtcp::CompoundEnd(report.data(), report.size(), &end)) {
            rtcp::CompoundReader reader(report.data(), end);
            rtcp::CompoundReader::Packet packet;
            while (reader.Next(&packet)) {
                ++packets;
            }
        }
        benchmark::DoNotOptimize(packets);
    }
    CountAllocations(state, before);
}
BENCHMARK(RtcpCompoundParse);

void RtcpProcessSenderReport(benchmark::State& state)
{
    bench::InputHarness harness(0);
    for (int k = 0; k < 100; ++k) {
        harness.Feed(bench::MakeDatagram(static_cast<uint16_t>(k)));
    }
    const Datagram report = bench::MakeSenderReport(0x5eed0001u);
    const uint64_t before = bench::AllocationsOnThisThread();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            harness.Stack().ProcessRTCPDatagram(report.data(), static_cast<int>(report.size()), "bench"));
    }
    CountAllocations(state, before);
}
BENCHMARK(RtcpProcessSenderReport);

// SRTP on one packet per iteration, protected then checked again: libsrtp's
// own calls, then the same through the stack's protection (its sessions,
// their locks and its refusal bookkeeping). The difference is what the
// stack's SRTP paths add to libsrtp, caches warm.
void SrtpLibsrtpDirect(benchmark::State& state)
{
    bench::LibsrtpSession sender(bench::LibsrtpSession::Side::Send);
    bench::LibsrtpSession receiver(bench::LibsrtpSession::Side::Receive);
    uint8_t packet[256];
    uint16_t seq = 0;
    const uint64_t before = bench::AllocationsOnThisThread();
    for (auto _ : state) {
        bare_fill_datagram(packet, seq++, 0);
        int length = BARE_DATAGRAM_BYTES;
        sender.Protect(packet, &length);
        benchmark::DoNotOptimize(receiver.Unprotect(packet, &length));
    }
    CountAllocations(state, before);
}
BENCHMARK(SrtpLibsrtpDirect);

void SrtpThroughStack(benchmark::State& state)
{
    const std::string key = bench::SrtpMasterKeyBase64();
    zqm::srtp::StackProtection protection;
    std::string why;
    if (!protection.Configure(bench::kSrtpSuite, key.c_str(), key.c_str(), nullptr, &why) || !protection.Start(&why)) {
        state.SkipWithError(why.c_str());
        return;
    }
    uint8_t packet[256];
    uint16_t seq = 0;
    const uint64_t before = bench::AllocationsOnThisThread();
    for (auto _ : state) {
        bare_fill_datagram(packet, seq++, 0);
        int length = protection.ProtectRtp(packet, BARE_DATAGRAM_BYTES, sizeof packet);
        benchmark::DoNotOptimize(protection.UnprotectRtp(packet, &length, 0));
    }
    CountAllocations(state, before);
}
BENCHMARK(SrtpThroughStack);

}  // namespace

int main(int argc, char** argv)
{
    zqf::SetDebugLogSink([](const char*, int, int, const char*) {});
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
