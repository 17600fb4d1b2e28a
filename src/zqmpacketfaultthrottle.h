#pragma once
// Failure lines caused by received packets are throttled, so that a flood of
// foreign traffic on an RTP port cannot flood the log: of each kind, the
// first and every tenth are written. The kinds an attacker can send at will
// once a stream is protected (packets that fail SRTP checks) are written at
// most once a second, with the number left out since. The counters are
// process-wide, shared by every stack.
#include <cstdint>

namespace zqm {

enum class PacketFault : uint8_t {
    Version,
    Extension,
    PayloadType,
    Discarded,
    DeliverFailed,
    HeaderLength,
    Padding,
    ProcessingFailed,  // the receiving loop's own line for a refused packet
    RTCPVersion,       // received RTCP compounds that fail their check (either stack)
    RTCPFirstType,
    RTCPLength,
    RTCPShort,         // a datagram on an RTCP port too short for a compound
    RTCPOnRTPPort,     // a compound on the RTP port of a stack that does not multiplex
    SrtpAuthentication,  // once a second from here on
    SrtpReplay,
    SrtcpAuthentication,
    SrtcpReplay,
    Count,
};

class PacketFaultThrottle {
public:
    static constexpr uint32_t kEvery = 10;
    static constexpr int64_t kOncePerMs = 1000;

    // Counts one fault of the kind; true when its line is to be written.
    static bool TakeTurn(PacketFault fault);
    // The same; for a timed kind, `skipped` (when the line is due) receives
    // how many faults of the kind were not written since its last line.
    static bool TakeTurn(PacketFault fault, uint32_t* skipped);
    // Whether the next fault of the kind will be written (nothing counted):
    // lets a detail line go with the failure line of the same packet.
    static bool IsDue(PacketFault fault);
    // Starts every kind's count afresh: the next fault of each is written.
    // For a host that restarts its graph, and tests that look for the line
    // of a first fault.
    static void Reset();
};

}  // namespace zqm
