// Target 6: heap allocations per packet on the send, receive and RTCP paths,
// in the clear and with SRTP (after a warm-up: the first packets of a source
// create its record), and the packet check plus sequencing alone under
// callgrind.
#include <valgrind/callgrind.h>

#include <functional>
#include <string>

#include "alloccount.h"
#include "bare.h"
#include "datagrambatch.h"
#include "hotpaths.h"
#include "inputrtpstack/zqminputrtpstack.h"
#include "measurements.h"
#include "outputrtpstack/zqmoutputrtpstack.h"
#include "srtpbench.h"
#include "stackruns.h"

namespace bench {
namespace {

constexpr int kWarmUp = 100;

double AllocationsPer(int packets, const std::function<void(int)>& step)
{
    const uint64_t before = AllocationsOnThisThread();
    for (int k = 0; k < packets; ++k) {
        step(k);
    }
    return static_cast<double>(AllocationsOnThisThread() - before) / packets;
}

// In order, swapped pairs and duplicates: each run of four numbers arrives
// as b+1, b, b+2, b+2, b+3.
std::vector<uint16_t> ShuffledSequence(int packets, uint16_t first)
{
    std::vector<uint16_t> seqs;
    for (int b = 0; static_cast<int>(seqs.size()) < packets; b += 4) {
        const auto base = static_cast<uint16_t>(first + b);
        for (int offset : {1, 0, 2, 2, 3}) {
            seqs.push_back(static_cast<uint16_t>(base + offset));
        }
    }
    seqs.resize(static_cast<size_t>(packets));
    return seqs;
}

void MeasureReceiveAllocations(int packets, uint16_t window, const char* key)
{
    InputHarness harness(window);
    std::vector<Datagram> datagrams;
    for (int k = 0; k < kWarmUp; ++k) {
        harness.Feed(MakeDatagram(static_cast<uint16_t>(k)));
    }
    // With a window, the warm-up also holds packets back, as the measured
    // stream does.
    const std::vector<uint16_t> seqs = ShuffledSequence(window > 0 ? 2 * packets : 0, kWarmUp);
    for (int k = 0; window > 0 && k < packets; ++k) {
        harness.Feed(MakeDatagram(seqs[static_cast<size_t>(k)]));
    }
    for (int k = 0; k < packets; ++k) {
        datagrams.push_back(MakeDatagram(window > 0 ? seqs[static_cast<size_t>(packets + k)]
                                                    : static_cast<uint16_t>(kWarmUp + k)));
    }
    Report(key, AllocationsPer(packets, [&](int k) { harness.Feed(datagrams[static_cast<size_t>(k)]); }));

    const Datagram report = MakeSenderReport(0x5eed0001u);
    if (window == 0) {
        Report("allocs.rtcp_in", AllocationsPer(packets, [&](int) {
                   harness.Stack().ProcessRTCPDatagram(report.data(), static_cast<int>(report.size()), "bench");
               }));
    }
}

// Heap calls of the whole process per step, any caller's: with SRTP on,
// libsrtp's own among them.
double HeapCallsPer(int packets, const std::function<void(int)>& step)
{
    CountHeapCalls(true);
    const uint64_t before = HeapCallsInProcess();
    for (int k = 0; k < packets; ++k) {
        step(k);
    }
    const uint64_t calls = HeapCallsInProcess() - before;
    CountHeapCalls(false);
    return static_cast<double>(calls) / packets;
}

void MeasureSendAllocations(int packets, Protection protection)
{
    const bool srtp = protection == Protection::Srtp;
    ZQFGraph graph;
    const SendChain chain = AddSendChain(graph, ReportSinkholePort());
    if (srtp) {
        ProtectWithSrtp(chain.rtpOut);
    }
    if (!graph.Start()) {
        throw std::runtime_error("send graph does not start");
    }
    uint8_t payload[BARE_PAYLOAD_BYTES] = {};
    for (int k = 0; k < kWarmUp; ++k) {
        chain.source->PushFrame(payload, BARE_PAYLOAD_BYTES);
    }
    // Every 250 frames of 20 ms is one sender report, so the loop also
    // crosses the report path.
    auto send = [&](int) { chain.source->PushFrame(payload, BARE_PAYLOAD_BYTES); };
    Report(srtp ? "allocs.send_srtp" : "allocs.send", AllocationsPer(packets, send));
    Report(srtp ? "heap.send_srtp" : "heap.send", HeapCallsPer(packets, send));
    auto* stack = static_cast<ZQMOutputRTPStack*>(chain.rtpOut->GetStack());
    Report(srtp ? "allocs.rtcp_sr_srtp" : "allocs.rtcp_sr",
           AllocationsPer(packets, [&](int) { stack->SendSenderReport(false); }));
    graph.Stop();
}

// The receiving thread of a started "RTP in", past the first packets of the
// source, reading datagrams queued in its socket, as in the timed receiving
// measurement with SRTP.
void MeasureQueuedReceiveAllocations(int packets, Protection protection)
{
    const bool srtp = protection == Protection::Srtp;
    LibsrtpSession sender(LibsrtpSession::Side::Send);
    const DatagramBatch batch = MakeDatagramBatch(static_cast<uint64_t>(kWarmUp + packets), srtp ? &sender : nullptr);
    CountHeapCalls(true);
    const ReceiveRun run = OurReceiveQueued(batch, protection, kWarmUp);
    CountHeapCalls(false);
    if (run.delivered != batch.Size()) {
        throw std::runtime_error("datagrams lost in the allocation count");
    }
    Report(srtp ? "allocs.recv_srtp" : "allocs.recv_queued", run.allocationsPerDatagram);
    Report(srtp ? "heap.recv_srtp" : "heap.recv_queued", run.heapCallsPerDatagram);
}

}  // namespace

void MeasureAllocations(int packets)
{
    MeasureSendAllocations(packets, Protection::Clear);
    MeasureReceiveAllocations(packets, 0, "allocs.recv_w0");
    MeasureReceiveAllocations(packets, 16, "allocs.recv_w16");
    MeasureSendAllocations(packets, Protection::Srtp);
    MeasureQueuedReceiveAllocations(packets, Protection::Clear);
    MeasureQueuedReceiveAllocations(packets, Protection::Srtp);
}

void RunCheckLoop(int packets)
{
    InputHarness harness(0);
    for (int k = 0; k < kWarmUp; ++k) {
        harness.Feed(MakeDatagram(static_cast<uint16_t>(k)));
    }
    std::vector<Datagram> datagrams;
    for (int k = 0; k < packets; ++k) {
        datagrams.push_back(MakeDatagram(static_cast<uint16_t>(kWarmUp + k)));
    }
    for (const Datagram& datagram : datagrams) {
        ZQFMediaSample* sample = harness.Prepare(datagram);
        if (sample == nullptr) {
            continue;
        }
        CALLGRIND_TOGGLE_COLLECT;
        harness.Process(sample);
        CALLGRIND_TOGGLE_COLLECT;
    }
    Report("check.delivered", static_cast<double>(harness.Sink().GetDelivered()));
}

}  // namespace bench
