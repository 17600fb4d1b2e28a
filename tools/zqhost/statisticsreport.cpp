#include "statisticsreport.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <mutex>

#include "iomode.h"
#include "jsonline.h"
#include "logoptions.h"
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

// What this process received of a remote source; false when the stack no
// longer knows it.
bool ReadReception(ZQIRTPStackStatistics& statistics, SourceStatistics& source)
{
    return statistics.GetReceptionStatistics(source.ssrc, false, &source.received, &source.octetsReceived,
                                             &source.expected, &source.lost, &source.lateOrDuplicate,
                                             &source.jitterMs);
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
    if (isLocal) {
        statistics.GetUnreachableSends(ssrc, isLocal, &source.unreachableSends);
    } else {
        source.available = source.available && ReadReception(statistics, source);
    }
    return source;
}

// The SSRCs a stack module owns: an "RTP out" its local source, an "RTP in"
// the remote sources it receives.
struct Ownership {
    bool sending = false;
    std::vector<uint32_t> ssrcs;

    bool Owns(const SourceStatistics& source) const
    {
        return source.isLocal == sending && std::find(ssrcs.begin(), ssrcs.end(), source.ssrc) != ssrcs.end();
    }
};

Ownership OwnershipOf(ZQIRTPStack& stack)
{
    Ownership ownership;
    ownership.sending = stack.GetStackDirection() == 1;
    uint32_t ssrc = 0;
    const int count = ownership.sending ? 1 : kMaxSources;
    for (int index = 0; index < count && stack.GetSourceIdentifier(index, ssrc); ++index) {
        ownership.ssrcs.push_back(ssrc);
    }
    return ownership;
}

struct StackModule {
    ZQFModule* module = nullptr;
    ZQIRTPStackStatistics* statistics = nullptr;
    ZQIRTPStack* stack = nullptr;
};

std::vector<StackModule> StackModulesOf(const std::vector<ZQFModule*>& modules)
{
    std::vector<StackModule> stacks;
    for (ZQFModule* module : modules) {
        StackModule found{module, RTPStackStatisticsOf(module), RTPStackOf(module)};
        if (found.statistics != nullptr && found.stack != nullptr) {
            stacks.push_back(found);
        }
    }
    return stacks;
}

// Where the sources nobody owns go: the first receiving module, or else the
// first one.
size_t HomeOfUnowned(const std::vector<Ownership>& owners)
{
    for (size_t i = 0; i < owners.size(); ++i) {
        if (!owners[i].sending) {
            return i;
        }
    }
    return 0;
}

// A local source no sending module owns belongs to a receiving stack, which
// sends RTCP only; while it has sent no RTP it is no row of its own.
bool SendsReportsOnly(const SourceStatistics& source, const std::vector<Ownership>& owners)
{
    if (!source.isLocal || source.packets != 0) {
        return false;
    }
    return std::none_of(owners.begin(), owners.end(), [&](const Ownership& owner) { return owner.Owns(source); });
}

bool IsRow(const SourceStatistics& source) { return !source.reportsOnly; }

void PrintLocalHeader(std::FILE* out)
{
    std::fprintf(out, "  %-11s %-28s %12s %12s %11s %5s %7s %11s %13s\n", "local SSRC", "CNAME", "packets sent",
                 "octets sent", "unreachable", "RRs", "RTT ms", "peer lost %", "peer cum.lost");
}

void PrintRemoteHeader(std::FILE* out)
{
    std::fprintf(out, "  %-11s %-28s %9s %9s %7s %6s %8s %9s %10s %11s %5s %7s\n", "remote SSRC", "CNAME",
                 "received", "expected", "lost", "lost %", "late/dup", "jitter ms", "SR packets", "SR octets", "RRs",
                 "RTT ms");
}

void PrintSourceStart(std::FILE* out, const SourceStatistics& source)
{
    std::fprintf(out, "  0x%08x  %-28s", source.ssrc, Printable(source.cname).c_str());
}

void PrintLocalRow(std::FILE* out, const SourceStatistics& source)
{
    PrintSourceStart(out, source);
    if (!source.available) {
        std::fprintf(out, " (no statistics)\n");
        return;
    }
    std::fprintf(out, " %12u %12u %11u %5u %7u %11u %13d\n", source.packets, source.octets, source.unreachableSends,
                 source.rrCount, source.roundTripMs, source.fractionLostPercent, source.cumulativeLost);
}

void PrintRemoteRow(std::FILE* out, const SourceStatistics& source)
{
    PrintSourceStart(out, source);
    if (!source.available) {
        std::fprintf(out, " (no statistics)\n");
        return;
    }
    std::fprintf(out, " %9u %9u %7d %6u %8u %9.2f %10u %11u %5u %7u\n", source.received, source.expected,
                 source.lost, source.fractionLostPercent, source.lateOrDuplicate,
                 static_cast<double>(source.jitterMs), source.packets, source.octets, source.rrCount,
                 source.roundTripMs);
}

// The rows of one side, under their header when there are any.
void PrintSide(std::FILE* out, const std::vector<SourceStatistics>& sources, bool local)
{
    std::vector<const SourceStatistics*> rows;
    for (const SourceStatistics& source : sources) {
        if (source.isLocal == local && IsRow(source)) {
            rows.push_back(&source);
        }
    }
    if (rows.empty()) {
        return;
    }
    if (local) {
        PrintLocalHeader(out);
    } else {
        PrintRemoteHeader(out);
    }
    for (const SourceStatistics* source : rows) {
        if (local) {
            PrintLocalRow(out, *source);
        } else {
            PrintRemoteRow(out, *source);
        }
    }
}

void PrintSRTPLine(std::FILE* out, const SRTPCounters& srtp)
{
    std::fprintf(out, "  SRTP dropped: RTP %u failed authentication, %u replayed; RTCP %u failed authentication, %u "
                      "replayed\n",
                 srtp.rtpAuthenticationFailures, srtp.rtpReplays, srtp.rtcpAuthenticationFailures, srtp.rtcpReplays);
}

void PrintPoolEmptyLine(std::FILE* out, uint32_t drops)
{
    std::fprintf(out, "  shared I/O: %u datagrams dropped for want of a free sample\n", drops);
}

void PrintRTCPOnRTPPortLine(std::FILE* out, uint32_t compounds)
{
    std::fprintf(out, "  RTCP on the RTP port: %u compounds dropped (the peer multiplexes RTCP; --rtcp-mux takes "
                      "them)\n",
                 compounds);
}

std::string SRTPJson(const SRTPCounters& srtp)
{
    JsonObject json;
    json.AddInteger("rtp_authentication_failures", srtp.rtpAuthenticationFailures);
    json.AddInteger("rtp_replays", srtp.rtpReplays);
    json.AddInteger("rtcp_authentication_failures", srtp.rtcpAuthenticationFailures);
    json.AddInteger("rtcp_replays", srtp.rtcpReplays);
    return json.Text();
}

void PrintJsonBlock(std::FILE* out, double elapsedSeconds, const char* module,
                    const std::vector<SourceStatistics>& sources, const ModuleDrops& drops)
{
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
    if (drops.srtp) {
        line.AddJson("srtp", SRTPJson(*drops.srtp));
    }
    if (drops.poolEmpty) {
        line.AddInteger("pool_empty_drops", *drops.poolEmpty);
    }
    if (drops.rtcpOnRTPPort) {
        line.AddInteger("rtcp_on_rtp_port", *drops.rtcpOnRTPPort);
    }
    std::fprintf(out, "%s\n", line.Text().c_str());
}

void AddLocalJson(JsonObject& json, const SourceStatistics& source)
{
    json.AddInteger("packets_sent", source.packets).AddInteger("octets_sent", source.octets);
    json.AddInteger("unreachable", source.unreachableSends);
    json.AddInteger("rr_count", source.rrCount).AddInteger("rtt_ms", source.roundTripMs);
    json.AddInteger("fraction_lost", source.fractionLostPercent);
    json.AddInteger("cumulative_lost", source.cumulativeLost);
    json.AddBool("reports_only", source.reportsOnly);
}

void AddRemoteJson(JsonObject& json, const SourceStatistics& source)
{
    json.AddInteger("received", source.received).AddInteger("octets_received", source.octetsReceived);
    json.AddInteger("expected", source.expected).AddInteger("lost", source.lost);
    json.AddInteger("fraction_lost", source.fractionLostPercent);
    json.AddInteger("late_or_duplicate", source.lateOrDuplicate);
    json.AddDecimal("jitter_ms", source.jitterMs, 3);
    json.AddInteger("sr_packets", source.packets).AddInteger("sr_octets", source.octets);
    json.AddInteger("rr_count", source.rrCount).AddInteger("rtt_ms", source.roundTripMs);
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

std::vector<ModuleStatistics> CollectModuleStatistics(const std::vector<ZQFModule*>& modules)
{
    const std::vector<StackModule> stacks = StackModulesOf(modules);
    std::vector<ModuleStatistics> blocks;
    if (stacks.empty()) {
        return blocks;
    }
    std::vector<Ownership> owners;
    for (const StackModule& stack : stacks) {
        owners.push_back(OwnershipOf(*stack.stack));
        blocks.push_back(ModuleStatistics{stack.module->GetName(), {}, ReadModuleDrops(stack.module)});
    }
    const size_t home = HomeOfUnowned(owners);
    for (SourceStatistics& source : CollectSourceStatistics(*stacks.front().statistics, stacks.front().stack)) {
        source.reportsOnly = SendsReportsOnly(source, owners);
        const auto owner =
            std::find_if(owners.begin(), owners.end(), [&](const Ownership& o) { return o.Owns(source); });
        const size_t block = owner != owners.end() ? static_cast<size_t>(owner - owners.begin()) : home;
        blocks[block].sources.push_back(std::move(source));
    }
    return blocks;
}

std::optional<SRTPCounters> ReadSRTPCounters(ZQFModule* module)
{
    ZQIRTPStackStatistics* statistics = RTPStackStatisticsOf(module);
    SRTPCounters counters;
    if (statistics == nullptr ||
        !statistics->GetSRTPStatistics(&counters.rtpAuthenticationFailures, &counters.rtpReplays,
                                       &counters.rtcpAuthenticationFailures, &counters.rtcpReplays)) {
        return std::nullopt;
    }
    return counters;
}

ModuleDrops ReadModuleDrops(ZQFModule* module)
{
    ModuleDrops drops;
    drops.srtp = ReadSRTPCounters(module);
    ZQIRTPStackStatistics* statistics = RTPStackStatisticsOf(module);
    uint32_t poolEmpty = 0;
    if (statistics != nullptr && UsesSharedIO(module) && statistics->GetPoolEmptyDrops(&poolEmpty)) {
        drops.poolEmpty = poolEmpty;
    }
    uint32_t rtcpOnRTPPort = 0;
    if (statistics != nullptr && statistics->GetRTCPOnRTPPort(&rtcpOnRTPPort) && rtcpOnRTPPort != 0) {
        drops.rtcpOnRTPPort = rtcpOnRTPPort;
    }
    return drops;
}

ReceptionTotals SumReception(const std::vector<SourceStatistics>& sources)
{
    ReceptionTotals totals;
    for (const SourceStatistics& source : sources) {
        if (source.isLocal || !source.available) {
            continue;
        }
        totals.received += source.received;
        totals.expected += source.expected;
        totals.lost += source.lost;
        totals.lateOrDuplicate += source.lateOrDuplicate;
    }
    return totals;
}

ReceptionTotals ModuleReception(ZQFModule* module)
{
    const std::vector<ModuleStatistics> blocks = CollectModuleStatistics({module});
    return blocks.empty() ? ReceptionTotals{} : SumReception(blocks.front().sources);
}

std::string SourceJson(const SourceStatistics& source)
{
    JsonObject json;
    json.AddInteger("ssrc", source.ssrc).AddText("side", source.isLocal ? "local" : "remote");
    json.AddText("cname", source.cname).AddBool("available", source.available);
    if (source.isLocal) {
        AddLocalJson(json, source);
    } else {
        AddRemoteJson(json, source);
    }
    json.AddInteger("payload_bit_rate", source.payloadBitRate).AddInteger("wire_bit_rate", source.wireBitRate);
    return json.Text();
}

void PrintStatisticsBlock(std::FILE* out, double elapsedSeconds, const char* module,
                          const std::vector<SourceStatistics>& sources, const ModuleDrops& drops, bool json)
{
    if (json) {
        PrintJsonBlock(out, elapsedSeconds, module, sources, drops);
        std::fflush(out);
        return;
    }
    std::fprintf(out, "[%.1f s] %s\n", elapsedSeconds, module != nullptr ? module : "sources");
    if (std::none_of(sources.begin(), sources.end(), IsRow)) {
        std::fprintf(out, "  (no sources)\n");
    }
    PrintSide(out, sources, true);
    PrintSide(out, sources, false);
    if (drops.srtp) {
        PrintSRTPLine(out, *drops.srtp);
    }
    if (drops.poolEmpty) {
        PrintPoolEmptyLine(out, *drops.poolEmpty);
    }
    if (drops.rtcpOnRTPPort) {
        PrintRTCPOnRTPPortLine(out, *drops.rtcpOnRTPPort);
    }
    std::fprintf(out, "\n");
    std::fflush(out);
}

void PrintModuleStatistics(std::FILE* out, const std::vector<ZQFModule*>& modules, double elapsedSeconds,
                           bool json)
{
    for (const ModuleStatistics& block : CollectModuleStatistics(modules)) {
        PrintStatisticsBlock(out, elapsedSeconds, block.module.c_str(), block.sources, block.drops, json);
    }
}

void PrintStackStatistics(std::FILE* out, const ZQFGraph& graph, double elapsedSeconds, bool json)
{
    PrintModuleStatistics(out, graph.GetModules(), elapsedSeconds, json);
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
    SetHostLogWatcher([state = m_state](const zqf::DebugLogLine& line) { WatchLine(*state, line); });
}

SendErrorWatch::~SendErrorWatch() { SetHostLogWatcher({}); }

std::string SendErrorWatch::LastError() const
{
    zqf::FlushDebugLog();
    std::lock_guard<std::mutex> lock(m_state->mutex);
    return m_state->lastError;
}

void SendErrorWatch::WatchLine(State& state, const zqf::DebugLogLine& line)
{
    if (line.level >= ZQF_LOG_ERROR && std::strncmp(line.path, kSendingStackPath, std::strlen(kSendingStackPath)) == 0) {
        std::lock_guard<std::mutex> lock(state.mutex);
        state.lastError = line.text;
    }
}
