// RTCP multiplexing as both stacks take it: the setting, and the payload
// types it keeps out of the table.
#include "rtcp/rtcpmuxdemux.h"
#include "zqclockmng.h"
#include "zqmlog.h"
#include "zqmrtpstack.h"

namespace {

const char* const kLogPath = "zqmrtpstack";

using StackLock = ZQCLockMng<ZQCCriticalSection>;

}  // namespace

// Checked against the table under the stack lock, which AddMediaType holds
// too: no colliding payload type can slip in between.
bool ZQMRTPStack::SetRTCPMux(int on)
{
    StackLock lock(m_stackLock, -1);
    if (on != 0) {
        for (const auto& [mediaType, payloadType] : m_forwardPayloadTable) {
            if (rtcp::CollidesWithMultiplexedRTCP(payloadType)) {
                ZQM_LOG(ZQF_LOG_ERROR,
                        "<--ZQMRTPStack-->SetRTCPMux refused: payload type %d (media type 0x%x) would read as RTCP "
                        "on a multiplexed port (64-95); remove it before turning \"RTCPMux\" on.",
                        payloadType, static_cast<unsigned>(mediaType));
                return false;
            }
        }
    }
    m_rtcpMux.store(on != 0);
    return true;
}

bool ZQMRTPStack::RefusedUnderRTCPMux(uint8_t payloadType)
{
    if (!m_rtcpMux.load() || !rtcp::CollidesWithMultiplexedRTCP(payloadType)) {
        return false;
    }
    ZQM_LOG(ZQF_LOG_ERROR,
            "<--ZQMRTPStack-->AddMediaType failure: payload type %d would read as RTCP on a multiplexed port (64-95) "
            "while \"RTCPMux\" is on.",
            payloadType);
    return true;
}
