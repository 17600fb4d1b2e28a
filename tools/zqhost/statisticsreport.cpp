#include "statisticsreport.h"

#include <cstdint>

#include "stackidentities.h"
#include "zqfgraph.h"
#include "zqfmodule.h"

namespace {

// More sources than any session has; ends the walk if a stack never says no.
constexpr int kMaxSources = 1024;

void PrintHeader(std::FILE* out)
{
    std::fprintf(out, "  %-10s  %-6s  %-28s %9s %11s %7s %9s %9s %5s %7s\n", "SSRC", "side", "CNAME", "packets",
                 "octets", "lost %", "cum.lost", "jitter ms", "RRs", "RTT ms");
}

void PrintSource(std::FILE* out, ZQIRTPStack* stack, ZQIRTPStackStatistics& statistics, uint32_t ssrc, bool isLocal)
{
    uint32_t payloadBitRate = 0, wireBitRate = 0, packets = 0, octets = 0, fractionLost = 0, cumulativeLost = 0;
    uint32_t rrCount = 0, roundTripMs = 0;
    float jitterMs = 0;
    const char* cname = stack ? stack->GetSourceCNAME(ssrc, isLocal) : nullptr;
    std::fprintf(out, "  0x%08x  %-6s  %-28s", ssrc, isLocal ? "local" : "remote", cname ? cname : "");
    if (!statistics.GetStatistics(ssrc, isLocal, &payloadBitRate, &wireBitRate, &packets, &octets, &fractionLost,
                                  &cumulativeLost, &jitterMs, &rrCount, &roundTripMs)) {
        std::fprintf(out, " (no statistics)\n");
        return;
    }
    std::fprintf(out, " %9u %11u %7u %9u %9.2f %5u %7u\n", packets, octets, fractionLost, cumulativeLost,
                 static_cast<double>(jitterMs), rrCount, roundTripMs);
}

}  // namespace

void PrintStackStatistics(std::FILE* out, const ZQFGraph& graph, double elapsedSeconds)
{
    for (ZQFModule* module : graph.GetModules()) {
        ZQIRTPStackStatistics* statistics = RTPStackStatisticsOf(module);
        if (statistics == nullptr) {
            continue;
        }
        std::fprintf(out, "[%.1f s] module '%s'\n", elapsedSeconds, module->GetName());
        ZQIRTPStack* stack = RTPStackOf(module);
        uint32_t ssrc = 0;
        bool isLocal = false;
        int index = 0;
        for (; index < kMaxSources && statistics->GetSourceAt(index, &ssrc, &isLocal); ++index) {
            if (index == 0) {
                PrintHeader(out);
            }
            PrintSource(out, stack, *statistics, ssrc, isLocal);
        }
        if (index == 0) {
            std::fprintf(out, "  (no sources)\n");
        }
        std::fprintf(out, "\n");
    }
    std::fflush(out);
}
