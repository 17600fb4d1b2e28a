// The whole-process measurements: the stack in real graphs over loopback,
// each beside its bare (and oRTP) baseline.
#include "measurements.h"

#include <time.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "bare.h"
#include "ortppeer.h"
#include "stackchains.h"
#include "stackloads.h"
#include "stackruns.h"

namespace bench {
namespace {

void SleepUntil(uint64_t deadlineNs)
{
    timespec ts{static_cast<time_t>(deadlineNs / 1000000000u), static_cast<long>(deadlineNs % 1000000000u)};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) != 0) {
    }
}

void ReportSend(const char* who, const bare_send_result& r)
{
    Report(("send." + std::string(who) + ".rate").c_str(), r.perSecond);
    Report(("send." + std::string(who) + ".cpu_ns").c_str(), r.cpuNsPerPacket);
    Report(("send." + std::string(who) + ".read_share").c_str(),
           static_cast<double>(r.read) / static_cast<double>(r.sent));
}

}  // namespace

void Report(const char* key, double value) { std::printf("%s %.6g\n", key, value); }

// Seven rounds of each sender, interleaved and in a rotating order, so that
// a burst of load on the machine (or the host under it) does not fall on one
// sender alone, nor always on the same position; each figure is the median
// round.
void MeasureSend(uint64_t count)
{
    constexpr int kRounds = 7;
    constexpr int kSenders = 4;
    std::vector<bare_send_result> bare(kRounds), connected(kRounds), ortp(kRounds), ours(kRounds);
    bool haveOrtp = true;
    for (int round = 0; round < kRounds; ++round) {
        const auto at = static_cast<size_t>(round);
        for (int turn = 0; turn < kSenders; ++turn) {
            switch ((round + turn) % kSenders) {
            case 0:
                bare_send_rate(count, &bare[at]);
                break;
            case 1:
                bare_connected_send_rate(count, &connected[at]);
                break;
            case 2:
                haveOrtp = ortp_send_rate(count, &ortp[at]) == 0 && haveOrtp;
                break;
            default:
                ours[at] = OurSendRate(count, Protection::Clear);
                break;
            }
        }
    }
    auto median = [](std::vector<bare_send_result> rounds) {
        std::sort(rounds.begin(), rounds.end(),
                  [](const bare_send_result& a, const bare_send_result& b) { return a.perSecond < b.perSecond; });
        return rounds[rounds.size() / 2];
    };
    ReportSend("bare", median(bare));
    ReportSend("bare_connected", median(connected));
    if (haveOrtp) {
        ReportSend("ortp", median(ortp));
    }
    ReportSend("ours", median(ours));
}

void MeasureReceive(uint64_t count, int window)
{
    const std::string prefix = "receive.w" + std::to_string(window) + ".";
    bare_receive_result bare{};
    bare_receive(count, &bare);
    Report((prefix + "bare.cpu_ns").c_str(), bare.cpuNsPerDatagram);
    Report((prefix + "bare.lost").c_str(), static_cast<double>(bare.lost));
    Report((prefix + "bare.disorder").c_str(), static_cast<double>(bare.outOfOrder));

    const ReceiveRun ours = OurReceive(count, window, [count](int port) { return bare_blast(port, count); });
    Report((prefix + "ours.cpu_ns").c_str(), ours.cpuNsPerDatagram);
    Report((prefix + "ours.lost").c_str(), static_cast<double>(count - ours.delivered));
    Report((prefix + "ours.disorder").c_str(), static_cast<double>(ours.outOfOrder));
}

// The bare pair runs beside the stack's at the same time, so that both see
// the same load on the machine.
void MeasureLatency(int count, int rate)
{
    bare_latency_result bare{};
    std::thread barePair([&] { bare_latency(count, rate, 1, &bare); });

    ZQFGraph graph;
    const ReceiveChain in = AddReceiveChain(graph, 0, static_cast<size_t>(count));
    const SendChain out = AddSendChain(graph, in.port);
    if (!graph.Start()) {
        throw std::runtime_error("latency graph does not start");
    }
    uint8_t payload[BARE_PAYLOAD_BYTES];
    const uint64_t period = 1000000000u / static_cast<uint64_t>(rate);
    const uint64_t start = bare_now_ns() + 20000000u;
    for (int k = 0; k < count; ++k) {
        SleepUntil(start + static_cast<uint64_t>(k) * period);
        bare_fill_payload(payload, static_cast<uint16_t>(k), bare_now_ns());
        out.source->PushFrame(payload, BARE_PAYLOAD_BYTES);
    }
    WaitDelivered(*in.sink, static_cast<uint64_t>(count));
    graph.Stop();
    barePair.join();
    Report("latency.bare.p50_us", bare.p50Us);
    Report("latency.bare.p99_us", bare.p99Us);
    std::vector<double> latencies = in.sink->GetLatenciesUs();
    const int n = static_cast<int>(latencies.size());
    Report("latency.ours.p50_us", bare_percentile(latencies.data(), n, 50));
    Report("latency.ours.p99_us", bare_percentile(latencies.data(), n, 99));
    Report("latency.ours.lost", count - n);
}

void MeasureIdle(int modules, double seconds)
{
    // The baseline: as many bare threads as the stack's modules, each waiting
    // on a quiet socket with 100 ms time-outs.
    Report("idle.bare.share", bare_idle(2 * modules, 100, seconds));
    Report("idle.ours.share", StackIdleShare(modules, seconds, IOMode::Own));
}

void MeasureScale(int pairs, int rate, double seconds)
{
    bare_scale_result bare{};
    bare_scale(pairs, rate, seconds, &bare);
    Report("scale.bare.share", bare.cpuShare);
    Report("scale.bare.p99_us", bare.p99Us);
    Report("scale.bare.lost", static_cast<double>(bare.sent - bare.received));

    const ScaleRun ours = StackScale(pairs, rate, seconds, IOMode::Own);
    Report("scale.ours.share", ours.cpuShare);
    Report("scale.ours.p99_us", ours.p99Us);
    Report("scale.ours.lost", static_cast<double>(ours.lost));
    Report("scale.ours.disorder", static_cast<double>(ours.disorder));
    Report("scale.ours.sent", static_cast<double>(ours.sent));
}

void MeasureMemory(int modules)
{
    {
        // The baseline: a bare receiving thread on its own 4 MB-buffer socket.
        const long before = bare_resident_kb();
        const double idle = bare_idle(modules, 100, 0.2);
        (void)idle;
        Report("memory.bare.kb", static_cast<double>(bare_resident_kb() - before) / modules);
    }
    Report("memory.in.kb", StackMemory(modules, true, IOMode::Own).startedKb);
    Report("memory.out.kb", StackMemory(modules, false, IOMode::Own).startedKb);
}

}  // namespace bench
