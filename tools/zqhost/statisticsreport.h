#pragma once
// The statistics of the stack modules as zqhost prints them: for each source
// the statistics interface lists, what the statistics page shows (packets,
// octets, fraction lost, cumulative lost, jitter) plus the receiver reports,
// round-trip time and the sends that found the peer unreachable. As text blocks for people, or one JSON object a line
// for scripts.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class ZQFGraph;
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
    uint32_t fractionLostPercent = 0;
    int32_t cumulativeLost = 0;  // signed: a peer may report -1
    float jitterMs = 0;
    uint32_t rrCount = 0;
    uint32_t roundTripMs = 0;
    // Local: packets and reports that went while ICMP said the peer was
    // unreachable (counted in `packets` too).
    uint32_t unreachableSends = 0;
};

// Every source the interface lists, in its order (`stack` names them; it may
// be null).
std::vector<SourceStatistics> CollectSourceStatistics(ZQIRTPStackStatistics& statistics, ZQIRTPStack* stack);
// One source, or none when the interface does not list it.
std::optional<SourceStatistics> FindSource(const std::vector<SourceStatistics>& sources, uint32_t ssrc,
                                           bool isLocal);

std::string SourceJson(const SourceStatistics& source);

// One block: "[2.0 s] <title>" and a line per source; or, with `json`, one
// line {"time":2.0,"module":<module>,"sources":[...]} ("module" only when
// given).
void PrintStatisticsBlock(std::FILE* out, double elapsedSeconds, const char* module,
                          const std::vector<SourceStatistics>& sources, bool json);

// A block for every stack module of the graph.
void PrintStackStatistics(std::FILE* out, const ZQFGraph& graph, double elapsedSeconds, bool json = false);

// While it lives, remembers the last error line of the sending stack, so a
// summary can say why samples were refused; every line still reaches
// standard error as the default sink would show it. Puts the default sink
// back when it goes.
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
    static void WatchLine(State& state, const zqf::DebugLogLine& line, int threshold);

    std::shared_ptr<State> m_state;
};
