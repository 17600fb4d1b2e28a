#include "statisticsreport.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "jsonline.h"
#include "stackidentities.h"
#include "zqfdebuglog.h"
#include "zqfgraph.h"
#include "zqfmodule.h"

namespace {

// More sources than any session has; ends the walk if a stack never says no.
constexpr int kMaxSources = 1024;

// A remote CNAME comes from the network: keep terminal controls out of it.
std::string Printable(const std::string& text)
{
    std::string shown = text;
    for (char& c : shown) {
        if (!std::isprint(static_cast<unsigned char>(c))) {
            c = '?';
        }
    }
    return shown;
}

SourceStatistics ReadSource(ZQIRTPStackStatistics& statistics, ZQIRTPStack* stack, uint32_t ssrc, bool isLocal)
{
    SourceStatistics source;
    source.ssrc = ssrc;
    source.isLocal = isLocal;
    const char* cname = stack ? stack->GetSourceCNAME(ssrc, isLocal) : nullptr;
    source.cname = cname ? cname : "";
    // The interface hands the signed cumulative loss over in a uint32.
    uint32_t cumulativeLost = 0;
    source.available = statistics.GetStatistics(ssrc, isLocal, &source.payloadBitRate, &source.wireBitRate,
                                                &source.packets, &source.octets, &source.fractionLostPercent,
                                                &cumulativeLost, &source.jitterMs, &source.rrCount,
                                                &source.roundTripMs);
    source.cumulativeLost = static_cast<int32_t>(cumulativeLost);
    statistics.GetUnreachableSends(ssrc, isLocal, &source.unreachableSends);
    return source;
}

void PrintHeader(std::FILE* out)
{
    std::fprintf(out, "  %-10s  %-6s  %-28s %9s %11s %7s %9s %9s %5s %7s %11s\n", "SSRC", "side", "CNAME",
                 "packets", "octets", "lost %", "cum.lost", "jitter ms", "RRs", "RTT ms", "unreachable");
}

void PrintSource(std::FILE* out, const SourceStatistics& source)
{
    std::fprintf(out, "  0x%08x  %-6s  %-28s", source.ssrc, source.isLocal ? "local" : "remote",
                 Printable(source.cname).c_str());
    if (!source.available) {
        std::fprintf(out, " (no statistics)\n");
        return;
    }
    std::fprintf(out, " %9u %11u %7u %9d %9.2f %5u %7u %11u\n", source.packets, source.octets,
                 source.fractionLostPercent, source.cumulativeLost, static_cast<double>(source.jitterMs),
                 source.rrCount, source.roundTripMs, source.unreachableSends);
}

}  // namespace

std::vector<SourceStatistics> CollectSourceStatistics(ZQIRTPStackStatistics& statistics, ZQIRTPStack* stack)
{
    std::vector<SourceStatistics> sources;
    uint32_t ssrc = 0;
    bool isLocal = false;
    for (int index = 0; index < kMaxSources && statistics.GetSourceAt(index, &ssrc, &isLocal); ++index) {
        sources.push_back(ReadSource(statistics, stack, ssrc, isLocal));
    }
    return sources;
}

std::optional<SourceStatistics> FindSource(const std::vector<SourceStatistics>& sources, uint32_t ssrc,
                                           bool isLocal)
{
    for (const SourceStatistics& source : sources) {
        if (source.ssrc == ssrc && source.isLocal == isLocal) {
            return source;
        }
    }
    return std::nullopt;
}

std::string SourceJson(const SourceStatistics& source)
{
    JsonObject json;
    json.AddInteger("ssrc", source.ssrc).AddText("side", source.isLocal ? "local" : "remote");
    json.AddText("cname", source.cname).AddBool("available", source.available);
    json.AddInteger("packets", source.packets).AddInteger("octets", source.octets);
    json.AddInteger("fraction_lost", source.fractionLostPercent);
    json.AddInteger("cumulative_lost", source.cumulativeLost);
    json.AddDecimal("jitter_ms", source.jitterMs, 3);
    json.AddInteger("rr_count", source.rrCount).AddInteger("rtt_ms", source.roundTripMs);
    json.AddInteger("unreachable", source.unreachableSends);
    json.AddInteger("payload_bit_rate", source.payloadBitRate).AddInteger("wire_bit_rate", source.wireBitRate);
    return json.Text();
}

void PrintStatisticsBlock(std::FILE* out, double elapsedSeconds, const char* module,
                          const std::vector<SourceStatistics>& sources, bool json)
{
    if (json) {
        std::vector<std::string> items;
        for (const SourceStatistics& source : sources) {
            items.push_back(SourceJson(source));
        }
        JsonObject line;
        line.AddDecimal("time", elapsedSeconds, 1);
        if (module != nullptr) {
            line.AddText("module", module);
        }
        line.AddJson("sources", JsonArray(items));
        std::fprintf(out, "%s\n", line.Text().c_str());
        std::fflush(out);
        return;
    }
    if (module != nullptr) {
        std::fprintf(out, "[%.1f s] module '%s'\n", elapsedSeconds, module);
    } else {
        std::fprintf(out, "[%.1f s] sources\n", elapsedSeconds);
    }
    if (sources.empty()) {
        std::fprintf(out, "  (no sources)\n");
    } else {
        PrintHeader(out);
    }
    for (const SourceStatistics& source : sources) {
        PrintSource(out, source);
    }
    std::fprintf(out, "\n");
    std::fflush(out);
}

void PrintStackStatistics(std::FILE* out, const ZQFGraph& graph, double elapsedSeconds, bool json)
{
    for (ZQFModule* module : graph.GetModules()) {
        ZQIRTPStackStatistics* statistics = RTPStackStatisticsOf(module);
        if (statistics == nullptr) {
            continue;
        }
        const std::vector<SourceStatistics> sources = CollectSourceStatistics(*statistics, RTPStackOf(module));
        PrintStatisticsBlock(out, elapsedSeconds, module->GetName(), sources, json);
    }
}

struct SendErrorWatch::State {
    std::mutex mutex;
    std::string lastError;
};

namespace {

// The paths the sending stack logs under.
constexpr const char* kSendingStackPath = "outputrtpstack";

}  // namespace

SendErrorWatch::SendErrorWatch() : m_state(std::make_shared<State>())
{
    const int threshold = zqf::GetDebugLogLevel();
    zqf::SetDebugLogLineSink(
        [state = m_state, threshold](const zqf::DebugLogLine& line) { WatchLine(*state, line, threshold); },
        std::min(threshold, static_cast<int>(ZQF_LOG_ERROR)));
}

SendErrorWatch::~SendErrorWatch() { zqf::SetDebugLogSink({}); }

std::string SendErrorWatch::LastError() const
{
    zqf::FlushDebugLog();
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->lastError;
}

void SendErrorWatch::WatchLine(State& state, const zqf::DebugLogLine& line, int threshold)
{
    if (line.level >= threshold) {
        char text[1024];
        zqf::FormatDebugLogLine(line, text, sizeof text);
        std::fprintf(stderr, "%s\n", text);
    }
    if (line.level >= ZQF_LOG_ERROR && std::strncmp(line.path, kSendingStackPath, std::strlen(kSendingStackPath)) == 0) {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.lastError = line.text;
    }
}
