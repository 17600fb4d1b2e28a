// RTCP on the receiving stack's RTP port. Under multiplexing the RTP
// socket's reader sorts each datagram by its second octet and hands RTCP to
// the same processing as the RTCP socket's (SRTCP checks included). Without
// it, a whole compound there comes from a peer that multiplexes: it is
// counted and dropped, never taken for media.
#include "inputrtpstack/zqminputrtpstack.h"
#include "inputrtpstack/zqminputrtpstackcommon.h"
#include "rtcp/rtcpmuxdemux.h"
#include "zqmlog.h"
#include "zqmpacketfaultthrottle.h"

namespace {

using zqm::input::kLogPath;

}  // namespace

bool ZQMInputRTPStack::TakeRTCPOnRTPPort(uint8_t* datagram, int received, const ZQCSocketAddress& from)
{
    const size_t size = received > 0 ? static_cast<size_t>(received) : 0;
    if (IsRTCPMuxRun()) {
        if (!rtcp::IsMultiplexedRTCP(datagram, size)) {
            return false;
        }
        if (m_muxedRTCPListening.load(std::memory_order_relaxed)) {
            HandleRTCPDatagram(datagram, received, from);
        }
        return true;
    }
    if (!rtcp::IsRTCPCompound(datagram, size)) {
        return false;
    }
    DropRTCPOnRTPPort();
    return true;
}

void ZQMInputRTPStack::DropRTCPOnRTPPort()
{
    const uint32_t dropped = m_rtcpOnRTPPort.fetch_add(1, std::memory_order_relaxed) + 1;
    if (zqm::PacketFaultThrottle::TakeTurn(zqm::PacketFault::RTCPOnRTPPort)) {
        ZQM_LOG(ZQF_LOG_WARNING,
                "<--RTPStack-->[%d] RTCP compound on the RTP port while RTCP multiplexing is off: dropped (%u so "
                "far); the peer multiplexes RTCP (\"RTCPMux\").",
                LogPort(), dropped);
    }
}
