// The RTCP listening thread's loop: every compound that arrives on the input
// RTCP socket while the module runs goes to the base's RTCP processing,
// which may call back RemoveSource (BYE) and ComputeLipSync (SR).
#include "inputrtpstack/zqminputrtpstack.h"
#include "inputrtpstack/zqminputrtpstackcommon.h"
#include "inputrtpstack/zqminputrtpstackrtcplisteningthread.h"
#include "stdafx.h"
#include "zqfmodule.h"
#include "zqmlog.h"
#include "zqmpacketfaultthrottle.h"
#include "zqmrtpsocket.h"

namespace {

using zqm::input::kLogPath;
using zqm::input::TraceAddress;

// The socket is waited on, not polled, for as long as it takes: a stop
// request ends the wait, and nothing else is due while no RTCP comes (a
// thread waking every so often for nothing costs hundreds of idle stacks a
// share of a core).
constexpr int kReceiveWaitMs = 100;  // only while the socket is not there yet
constexpr int kWaitForever = -1;
constexpr int kShortestCompoundBytes = 5;

}  // namespace

int ZQMInputRTPStack::RTCPEntryPoint(ZQMInputRTPStackRTCPListeningThread* thread)
{
    RTPDebugLog(">> ZQMInputRTPStack::RTCPEntryPoint %8x", TraceAddress(this));
    if (thread == nullptr || m_ownerModule == nullptr) {
        return 0;
    }
    try {
        uint8_t* buffer = thread->GetReceiveBuffer();
        const int size = static_cast<int>(ZQMInputRTPStackRTCPListeningThread::kReceiveBufferBytes);
        while (m_ownerModule->IsRunning() && !thread->MustQuit()) {
            // Set before the thread starts and released only after it ended.
            RTPSocket* socket = m_inputRTCPSocket;
            if (socket == nullptr) {
                thread->GetStopEvent().Wait(kReceiveWaitMs);
                continue;
            }
            ZQCSocketAddress from;
            const int received = socket->RecvFrom(buffer, size, &from);
            if (received <= 0) {
                socket->WaitReadable(kWaitForever, &thread->GetStopEvent());
            } else {
                HandleRTCPDatagram(buffer, received, from);
            }
        }
        RTPDebugLog("<< ZQMInputRTPStack::RTCPEntryPoint %8x", TraceAddress(this));
        return 0;
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] Error throwed in RTCP listenning ThreadFunc.", LogPort());
        return -1;
    }
}

// One datagram from the RTCP socket, on the listening thread or on the
// receive service's.
void ZQMInputRTPStack::HandleRTCPDatagram(uint8_t* buffer, int received, const ZQCSocketAddress& from)
{
    if (received < kShortestCompoundBytes) {
        if (zqm::PacketFaultThrottle::TakeTurn(zqm::PacketFault::RTCPShort)) {  // foreign traffic: throttled
            ZQM_LOG(ZQF_LOG_WARNING,
                    "<--RTPStack-->[%d] RTCPEntryPoint failed to receive a correct rtcp packet on input rtcp socket.",
                    LogPort());
        }
        return;
    }
    if (!UnprotectReceivedRTCP(buffer, &received, LogPort())) {
        return;  // counted and logged: never processed
    }
    if (m_ownerModule->IsRunning() && ProcessRTCPDatagram(buffer, received, "ZQMInputRTPStack") && !from.IsEmpty()) {
        // The peer's RTCP origin: where our reports reach it.
        m_peerRTCPOrigin.Store(zqm::Endpoint::Of(from));
    }
}
