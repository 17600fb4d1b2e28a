// Soak: 4 sender/receiver pairs over loopback at 1,000 packets per second
// each, for a configurable time (default 10 minutes). Every interval it
// prints the resident set, the open descriptors, the pools' occupancy and
// the loss; at the end it answers 1 when the resident set or the descriptor
// count grew (after the first interval, which is the warm-up).
//
//   soak [--seconds N] [--interval N] [--pairs N]
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "module/zqmrtpstackids.h"
#include "module/zqmrtpstackmodule.h"
#include "process_probes.h"
#include "stack_network.h"
#include "udp_peer.h"
#include "zqcapturesink.h"
#include "zqfallocator.h"
#include "zqfdebuglog.h"
#include "zqfgraph.h"
#include "zqfpin.h"
#include "zqstocksource.h"

namespace {

using testsupport::FreePort;
using testsupport::OpenDescriptors;
using testsupport::ResidentKiB;
using testsupport::SetNetwork;

std::atomic<uint64_t> g_logLines{0};

struct Options {
    int seconds = 600;
    int interval = 30;
    int pairs = 4;
};

bool ParseOptions(int argc, char** argv, Options* options)
{
    for (int i = 1; i < argc; ++i) {
        const std::string name = argv[i];
        int* field = name == "--seconds" ? &options->seconds
                     : name == "--interval" ? &options->interval
                     : name == "--pairs"    ? &options->pairs
                                            : nullptr;
        if (field == nullptr || i + 1 >= argc || (*field = std::atoi(argv[++i])) <= 0) {
            std::fprintf(stderr, "usage: soak [--seconds N] [--interval N] [--pairs N]\n");
            return false;
        }
    }
    return true;
}

// Stock source (1 ms frames) -> RTP out ~~> RTP in -> capture sink (counts only).
struct Pair {
    explicit Pair(int index)
    {
        ZQStockSourceConfig config;
        config.packetTimeMs = 1;
        config.frameBytes = 8;
        source = new ZQStockSource(config);
        rtpOut = new ZQMRTPStackModule(ZQMID_RTPOut, "Output RTP stack");
        rtpIn = new ZQMRTPStackModule(ZQMID_RTPIn, "Input RTP stack");
        sink = new ZQCaptureSink();
        sink->SetKeepLimit(0);
        for (ZQIModule* module : std::initializer_list<ZQIModule*>{source, rtpOut, rtpIn, sink}) {
            graph.AddModule(module);
        }
        // Each pair on loopback addresses of its own.
        const std::string sender = "127.0.1." + std::to_string(index + 1);
        const std::string receiver = "127.0.2." + std::to_string(index + 1);
        const std::string inRtp = FreePort(receiver.c_str()), inRtcp = FreePort(receiver.c_str());
        const std::string outRtcp = FreePort(sender.c_str());
        ready = SetNetwork(rtpOut, sender.c_str(), "0", outRtcp, receiver.c_str(), inRtp, inRtcp) &&
                SetNetwork(rtpIn, receiver.c_str(), inRtp, inRtcp, sender.c_str(), "0", outRtcp) &&
                graph.Connect(source, 0, rtpOut, 0) && graph.Connect(rtpIn, 0, sink, 0);
    }

    // Samples out of their pools right now, and the pools' size.
    void PoolOccupancy(int* inUse, int* size) const
    {
        for (ZQFModule* module : graph.GetModules()) {
            for (int pin = 0; pin < module->GetOutputPinCount(); ++pin) {
                if (const ZQFAllocator* pool = module->GetOutputPin(pin)->GetAllocator()) {
                    *inUse += pool->GetCount() - pool->GetFreeCount();
                    *size += pool->GetCount();
                }
            }
        }
    }

    ZQFGraph graph;
    ZQStockSource* source = nullptr;
    ZQMRTPStackModule* rtpOut = nullptr;
    ZQMRTPStackModule* rtpIn = nullptr;
    ZQCaptureSink* sink = nullptr;
    bool ready = false;
};

struct Sample {
    long rssKiB;
    int descriptors;
};

Sample Report(int elapsed, const std::vector<std::unique_ptr<Pair>>& pairs)
{
    uint64_t sent = 0, received = 0;
    int inUse = 0, size = 0;
    for (const auto& pair : pairs) {
        sent += pair->source->GetFramesDelivered();
        received += pair->sink->GetPacketCount();
        pair->PoolOccupancy(&inUse, &size);
    }
    const Sample sample{ResidentKiB(), OpenDescriptors()};
    const uint64_t lost = sent > received ? sent - received : 0;
    std::printf("t=%4ds rss=%ld KiB fds=%d pools=%d/%d in use sent=%llu received=%llu lost=%llu (%.3f%%) "
                "log lines=%llu\n",
                elapsed, sample.rssKiB, sample.descriptors, inUse, size, static_cast<unsigned long long>(sent),
                static_cast<unsigned long long>(received), static_cast<unsigned long long>(lost),
                sent ? 100.0 * static_cast<double>(lost) / static_cast<double>(sent) : 0.0,
                static_cast<unsigned long long>(g_logLines.load(std::memory_order_relaxed)));
    std::fflush(stdout);
    return sample;
}

}  // namespace

int main(int argc, char** argv)
{
    Options options;
    if (!ParseOptions(argc, argv, &options)) {
        return 2;
    }
    // The stacks' lines are counted, not printed: the soak's own lines stay readable.
    zqf::SetDebugLogSink([](const char*, int, int, const char*) { g_logLines.fetch_add(1, std::memory_order_relaxed); });
    std::vector<std::unique_ptr<Pair>> pairs;
    for (int i = 0; i < options.pairs; ++i) {
        pairs.push_back(std::make_unique<Pair>(i));
        if (!pairs.back()->ready || !pairs.back()->graph.Start()) {
            std::fprintf(stderr, "soak: pair %d did not start\n", i);
            return 2;
        }
    }
    std::printf("soak: %d pairs at 1000 packets/s each for %d s, report every %d s\n", options.pairs, options.seconds,
                options.interval);

    const auto start = std::chrono::steady_clock::now();
    std::vector<Sample> samples;
    for (int elapsed = options.interval; elapsed <= options.seconds; elapsed += options.interval) {
        std::this_thread::sleep_until(start + std::chrono::seconds(elapsed));
        samples.push_back(Report(elapsed, pairs));
    }
    for (auto& pair : pairs) {
        pair->graph.Stop();
    }
    if (samples.size() < 2) {
        std::printf("soak: too short to judge (two reports needed)\n");
        return 0;
    }
    // Flat: after the warm-up interval, the resident set grows by less than
    // 1 MiB and 2 %, and the descriptor count not at all.
    const Sample& first = samples.front();
    const Sample& last = samples.back();
    const long growth = last.rssKiB - first.rssKiB;
    const bool flat = growth < 1024 + first.rssKiB / 50 && last.descriptors == first.descriptors;
    std::printf("soak: rss %ld -> %ld KiB, fds %d -> %d: %s\n", first.rssKiB, last.rssKiB, first.descriptors,
                last.descriptors, flat ? "flat" : "GROWING");
    return flat ? 0 : 1;
}
