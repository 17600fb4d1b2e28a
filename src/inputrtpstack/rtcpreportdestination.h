#pragma once
// Where a receiving stack without a configured remote RTCP endpoint sends
// its receiver reports, from what it has heard of the peer.
#include <cstdint>

#include "zqmendpoint.h"

namespace zqm {

// Once the peer's own RTCP has arrived, its origin (symmetric RTCP: a peer
// behind a NAT or with RTCP on a port of its choosing hears us there).
// Before that, the RTP origin with the next port (RFC 3550, section 11), or
// the RTP origin itself when RTCP is multiplexed on the RTP port (RFC 5761).
// None when neither is known or the next port would leave the range.
inline Endpoint LearnedReportDestination(const Endpoint& rtpOrigin, const Endpoint& rtcpOrigin,
                                         bool multiplexed = false)
{
    if (!rtcpOrigin.IsNone()) {
        return rtcpOrigin;
    }
    if (multiplexed) {
        return rtpOrigin;
    }
    if (rtpOrigin.IsNone() || rtpOrigin.port == 0xFFFFu) {
        return Endpoint();
    }
    return rtpOrigin.WithPort(static_cast<uint16_t>(rtpOrigin.port + 1));
}

}  // namespace zqm
