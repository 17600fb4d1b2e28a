#pragma once
// Where a receiving stack without a configured remote RTCP endpoint sends
// its receiver reports, from what it has heard of the peer. Endpoints are
// packed numbers (zqm::PackEndpoint); 0 is none.
#include <cstdint>

namespace zqm {

// Once the peer's own RTCP has arrived, its origin (symmetric RTCP: a peer
// behind a NAT or with RTCP on a port of its choosing hears us there).
// Before that, the RTP origin with the next port (RFC 3550, section 11).
// None when neither is known or the next port would leave the range.
inline uint64_t LearnedReportDestination(uint64_t rtpOrigin, uint64_t rtcpOrigin)
{
    if (rtcpOrigin != 0) {
        return rtcpOrigin;
    }
    const uint16_t port = static_cast<uint16_t>(rtpOrigin & 0xFFFFu);
    if (rtpOrigin == 0 || port == 0xFFFFu) {
        return 0;
    }
    return rtpOrigin + 1;
}

}  // namespace zqm
