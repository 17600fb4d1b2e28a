#pragma once
// The statistics of the stack modules as zqhost prints them, one block per
// module with the sources it owns. A local source: what it sent, the sends
// that found the peer unreachable, the receiver reports that came back with
// the round-trip time and the loss the peer reported. A remote source: what
// this process received of it, counted as packets arrive (received,
// expected, lost, late or duplicate, jitter), beside the counts of the
// sender's last report. As text blocks for people, or one JSON object a line
// for scripts (docs/json.md).
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ZQFGraph;
class ZQFModule;
class ZQIRTPStack;
class ZQIRTPStackStatistics;
namespace zqf {
struct DebugLogLine;
}

struct SourceStatistics {
    uint32_t ssrc = 0;
    bool isLocal = false;
    std::string cname;
    bool available = false;  // false: the stack gave no statistics (the source went)
    uint32_t payloadBitRate = 0;
    uint32_t wireBitRate = 0;
    uint32_t packets = 0;  // local: sent; remote: the sender's count from its last SR
    uint32_t octets = 0;   // likewise, payload octets
    // Local: as the peer's last receiver report gave them for our stream.
    // Remote: over the last report interval, and expected - received.
    uint32_t fractionLostPercent = 0;
    int32_t cumulativeLost = 0;  // signed: a peer may report -1
    float jitterMs = 0;
    uint32_t rrCount = 0;
    uint32_t roundTripMs = 0;
    // Local: packets and reports that went while ICMP said the peer was
    // unreachable (counted in `packets` too).
    uint32_t unreachableSends = 0;
    // Local: a receiving stack's own source, which sends reports and no RTP.
    bool reportsOnly = false;
    // Remote: what this process received, from the receiving stack's live
    // counters.
    uint32_t received = 0;
    uint32_t octetsReceived = 0;  // payload
    uint32_t expected = 0;
    int32_t lost = 0;  // expected - received: negative when duplicates came
    uint32_t lateOrDuplicate = 0;
};

// What a stack's SRTP dropped since the stack started: packets that failed
// authentication (forged, damaged or under another key) and replays, RTP
// and RTCP apart.
struct SRTPCounters {
    uint32_t rtpAuthenticationFailures = 0;
    uint32_t rtpReplays = 0;
    uint32_t rtcpAuthenticationFailures = 0;
    uint32_t rtcpReplays = 0;
};

// None when the module is not a stack or its SRTP is off.
std::optional<SRTPCounters> ReadSRTPCounters(ZQFModule* module);

// What a stack module dropped on its own account, beside its sources'
// figures.
struct ModuleDrops {
    std::optional<SRTPCounters> srtp;  // when its SRTP is on
    // A receiving stack under shared I/O: datagrams dropped since it started
    // because its pool had no free sample (the receive service never waits
    // for one).
    std::optional<uint32_t> poolEmpty;
    // A receiving stack without RTCP multiplexing that found RTCP compounds
    // on its RTP port (a peer that multiplexes): how many it dropped since it
    // started. Only once there were any.
    std::optional<uint32_t> rtcpOnRTPPort;
};

ModuleDrops ReadModuleDrops(ZQFModule* module);

// One stack module's block: the sources it owns, and what it dropped.
struct ModuleStatistics {
    std::string module;
    std::vector<SourceStatistics> sources;
    ModuleDrops drops;
};

// Remote sources added up: what a receiver got.
struct ReceptionTotals {
    uint64_t received = 0;
    uint64_t expected = 0;
    int64_t lost = 0;
    uint64_t lateOrDuplicate = 0;
};

// Every source the interface lists, in its order (`stack` names them; it may
// be null). The lists are the process's, whichever module is asked.
std::vector<SourceStatistics> CollectSourceStatistics(ZQIRTPStackStatistics& statistics, ZQIRTPStack* stack);
// One source, or none when the interface does not list it.
std::optional<SourceStatistics> FindSource(const std::vector<SourceStatistics>& sources, uint32_t ssrc,
                                           bool isLocal);

// A block for each stack module of `modules` (others are left out), in
// their order. An "RTP out" module owns its local source, an "RTP in" module
// the remote sources it receives. The local sources no "RTP out" of
// `modules` owns are receiving stacks' own: they go to the first "RTP in"
// block, marked as sending reports only while they have sent no RTP.
std::vector<ModuleStatistics> CollectModuleStatistics(const std::vector<ZQFModule*>& modules);

ReceptionTotals SumReception(const std::vector<SourceStatistics>& sources);
// What a receiving module's remote sources add up to.
ReceptionTotals ModuleReception(ZQFModule* module);

std::string SourceJson(const SourceStatistics& source);

// One block: "[2.0 s] <module>" and a table of the local sources and one of
// the remote sources (a source that only sends reports has no row), then a
// line for each kind of drop given; or, with `json`, one line
// {"time":2.0,"module":<module>,"sources":[...],"srtp":{...},
// "pool_empty_drops":N,"rtcp_on_rtp_port":N} ("module" and the drops only
// when given).
void PrintStatisticsBlock(std::FILE* out, double elapsedSeconds, const char* module,
                          const std::vector<SourceStatistics>& sources, const ModuleDrops& drops, bool json);

// A block for every stack module of `modules`.
void PrintModuleStatistics(std::FILE* out, const std::vector<ZQFModule*>& modules, double elapsedSeconds,
                           bool json);
// A block for every stack module of the graph.
void PrintStackStatistics(std::FILE* out, const ZQFGraph& graph, double elapsedSeconds, bool json = false);

// While it lives, remembers the last error line of the sending stack, so a
// summary can say why samples were refused. It watches zqhost's log (see
// logoptions.h), which still shows every line as it would without it.
class SendErrorWatch {
public:
    SendErrorWatch();
    ~SendErrorWatch();
    SendErrorWatch(const SendErrorWatch&) = delete;
    SendErrorWatch& operator=(const SendErrorWatch&) = delete;

    // The text of the last error line, or empty.
    std::string LastError() const;

private:
    struct State;
    static void WatchLine(State& state, const zqf::DebugLogLine& line);

    std::shared_ptr<State> m_state;
};
