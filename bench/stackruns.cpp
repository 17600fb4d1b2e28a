#include "stackruns.h"

#include <chrono>
#include <stdexcept>
#include <thread>

#include "alloccount.h"
#include "stackchains.h"

namespace bench {

void SleepMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

void WaitDelivered(const BenchSink& sink, uint64_t count)
{
    uint64_t seen = sink.GetDelivered();
    uint64_t quietSince = bare_now_ns();
    while (seen < count && bare_now_ns() - quietSince < 500000000u) {
        SleepMs(1);
        const uint64_t now = sink.GetDelivered();
        if (now != seen) {
            seen = now;
            quietSince = bare_now_ns();
        }
    }
}

bare_send_result OurSend(int port, uint64_t count, Protection protection)
{
    ZQFGraph graph;
    const SendChain chain = AddSendChain(graph, port);
    if (protection == Protection::Srtp) {
        ProtectWithSrtp(chain.rtpOut);
    }
    if (!graph.Start()) {
        throw std::runtime_error("send graph does not start");
    }
    uint8_t payload[BARE_PAYLOAD_BYTES];
    uint64_t sent = 0;
    const uint64_t t0 = bare_now_ns();
    const uint64_t cpu0 = bare_thread_cpu_ns();
    for (uint64_t k = 0; k < count; ++k) {
        bare_fill_payload(payload, static_cast<uint16_t>(k), 0);
        sent += chain.source->PushFrame(payload, BARE_PAYLOAD_BYTES) ? 1 : 0;
    }
    const uint64_t cpu = bare_thread_cpu_ns() - cpu0;
    const uint64_t elapsed = bare_now_ns() - t0;
    graph.Stop();
    bare_send_result result{};
    result.sent = sent;
    result.perSecond = static_cast<double>(sent) * 1e9 / static_cast<double>(elapsed);
    result.cpuNsPerPacket = static_cast<double>(cpu) / static_cast<double>(count);
    return result;
}

bare_send_result OurSendRate(uint64_t count, Protection protection)
{
    int port = 0;
    bare_reader* reader = bare_reader_start(&port);
    bare_send_result result = OurSend(port, count, protection);
    result.read = bare_reader_stop(reader);
    return result;
}

ReceiveRun OurReceive(uint64_t count, int window, const std::function<uint64_t(int port)>& blast)
{
    ZQFGraph graph;
    const ReceiveChain chain = AddReceiveChain(graph, static_cast<uint16_t>(window), 0);
    if (!graph.Start()) {
        throw std::runtime_error("receive graph does not start");
    }
    SleepMs(50);  // the receiving thread is waiting on its socket
    uint64_t senderCpu = 0;
    const uint64_t cpu0 = bare_process_cpu_ns();
    std::thread sender([&] { senderCpu = blast(chain.port); });
    sender.join();
    WaitDelivered(*chain.sink, count);
    const uint64_t cpu = bare_process_cpu_ns() - cpu0 - senderCpu;
    graph.Stop();
    ReceiveRun run;
    run.delivered = chain.sink->GetDelivered();
    run.outOfOrder = chain.sink->GetOutOfOrder();
    run.cpuNsPerDatagram = run.delivered ? static_cast<double>(cpu) / static_cast<double>(run.delivered) : 0;
    return run;
}

ReceiveRun OurReceiveQueued(const DatagramBatch& batch, Protection protection, uint64_t measuredFrom)
{
    ZQFGraph graph;
    const ReceiveChain chain = AddReceiveChain(graph, 0, 0);
    if (protection == Protection::Srtp) {
        ProtectWithSrtp(chain.rtpIn);
    }
    chain.sink->HoldFirstPacket(measuredFrom, batch.Size());
    if (!graph.Start()) {
        throw std::runtime_error("receive graph does not start");
    }
    SendBatch(chain.port, batch, 0, 1);
    if (!chain.sink->WaitUntilHeld(2000)) {
        chain.sink->Release();
        graph.Stop();
        throw std::runtime_error("the receiving stack does not deliver");
    }
    SendBatch(chain.port, batch, 1, batch.Size());
    const uint64_t heapCalls0 = HeapCallsInProcess();
    chain.sink->Release();
    WaitDelivered(*chain.sink, batch.Size());
    const uint64_t heapCalls = HeapCallsInProcess() - heapCalls0;
    graph.Stop();
    ReceiveRun run;
    run.delivered = chain.sink->GetDelivered();
    run.outOfOrder = chain.sink->GetOutOfOrder();
    const BenchSink::HeldRun held = chain.sink->GetHeldRun();
    if (held.packets != 0) {  // 0 when a datagram was lost
        run.cpuNsPerDatagram = static_cast<double>(held.cpuNs) / static_cast<double>(held.packets);
        run.allocationsPerDatagram = static_cast<double>(held.allocations) / static_cast<double>(held.packets);
    }
    if (run.delivered > 1) {
        run.heapCallsPerDatagram = static_cast<double>(heapCalls) / static_cast<double>(run.delivered - 1);
    }
    return run;
}

}  // namespace bench
