// Start and stop of the receiving stack: the end-of-flush announcement, the
// sockets and threads of OnStart, and Cleanup.
#include <cstring>

#include "inputrtpstack/zqminputrtpstack.h"
#include "inputrtpstack/zqminputrtpstackcommon.h"
#include "inputrtpstack/zqminputrtpstackrtcplisteningthread.h"
#include "stdafx.h"
#include "zqfmodule.h"
#include "zqfnotify.h"
#include "zqfpin.h"
#include "zqirtpstack.h"
#include "zqmlog.h"
#include "zqmrtpsocket.h"

namespace {

using zqm::input::kLogPath;
using zqm::input::StackLock;
using zqm::input::TraceAddress;

constexpr int kThreadStopTimeoutMs = 10000;

}  // namespace

bool ZQMInputRTPStack::OnEndFlush()
{
    bool failed = false;
    {
        StackLock lock(m_stackLock, -1);
        try {
            NotifyDownstream(NOTIFY_SUPPORT_PAYLOAD, 1);
            if (m_ownerModule != nullptr && IsRTCPEnabled()) {
                delete m_rtcpListeningThread;
                m_rtcpListeningThread = nullptr;
                // With shared I/O the receive service listens instead; with
                // RTCP multiplexing the RTP socket's reader does.
                if (GetSharedIO() == 0 && GetRTCPMux() == 0) {
                    m_rtcpListeningThread = new ZQMInputRTPStackRTCPListeningThread(this);
                    m_ownerModule->RegisterThread(m_rtcpListeningThread);
                }
            }
        } catch (...) {
            failed = true;
        }
    }
    // Cleaned up outside the lock: it waits for threads that may need it.
    if (failed) {
        Cleanup();
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] Error throwed while ending flush input rtpStack.", LogPort());
    }
    return !failed;
}

bool ZQMInputRTPStack::IsRTCPEnabled() const
{
    void* rtpStack = nullptr;
    if (!m_ownerModule->QueryInterface(IID_ZQIRTPStack, &rtpStack) || rtpStack == nullptr) {
        return false;
    }
    return static_cast<ZQIRTPStack*>(rtpStack)->GetRTCPEnabled() != 0;
}

void ZQMInputRTPStack::NotifyDownstream(int code, int param)
{
    ZQFPinOut* pin = m_ownerModule != nullptr ? m_ownerModule->GetOutputPin(0) : nullptr;
    if (pin == nullptr) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] Failed to send notify message : outputPin not found.", LogPort());
        return;
    }
    ZQFNotifyInfo info;
    info.code = code;
    info.param = param;
    info.sender = m_ownerModule;
    pin->PassForwardNotify(&info);
}

bool ZQMInputRTPStack::OnStart()
{
    bool started = false;
    {
        StackLock lock(m_stackLock, -1);
        try {
            StartUnderLock();
            started = true;
        } catch (...) {
        }
    }
    // Cleaned up outside the lock: it waits for threads that may need it.
    if (!started) {
        Cleanup();
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->Error throwed while starting input rtpStack.");
    }
    return started;
}

void ZQMInputRTPStack::StartUnderLock()
{
    m_cleanedUp.store(0);
    if ((m_remoteRTPAddress[0] != '\0' && !IsValidAddress(m_remoteRTPAddress)) ||
        !zqm::CheckAddressFamilies(m_localIPAddress, m_remoteRTPAddress, m_remoteRTCPAddress)) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] OnStart failure in input rtp stack: invalid network parameters",
                LogPort());
        ZQM_THROW("<--RTPStack-->OnStart failure in input rtp stack: invalid network parameters.");
    }
    if (m_inputRTPSocket != nullptr) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] OnStart failure input rtp socket already exists.", LogPort());
        ZQM_THROW("<--RTPStack-->OnStart failure input rtp socket already exists.");
    }
    StartSRTP();
    m_inputRTPSocket = AcquireRTPSocket(m_localIPAddress, m_localRTPPort);
    if (m_inputRTPSocket == nullptr) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] OnStart failure input rtp socket creation failure.", LogPort());
        ZQM_THROW("<--RTPStack-->OnStart failure input rtp socket creation failure.");
    }
    m_logPort.store(m_inputRTPSocket->GetPort(), std::memory_order_relaxed);
    m_inputRTPSocket->EnableReceiveTimestamps();

    const uint32_t bufferSize = GetSocketBufferSize();
    if (bufferSize != 0 && GetDataDisabled() == 0) {
        m_inputRTPSocket->SetRecvBufferSize(static_cast<int>(bufferSize));
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%s : %s] SetRecvBufferSize[%d]", m_localIPAddress, m_localRTPPort,
                static_cast<int>(bufferSize));
    }
    // RTCP is opened unless the remote RTCP endpoint is the stack's own;
    // without a configured one, reports go back to where the traffic comes
    // from (LearnRTCPDestination).
    m_rtcpOnRTPPort.store(0);
    m_rtcpDestinationConfigured.store(false);
    StartRTCPMuxRun();
    if (IsRTCPMuxRun()) {
        StartMultiplexedRTCP();
    } else {
        m_ownRTCPEndpoint = EndpointOf(m_localIPAddress, m_localRTCPPort);
        if (m_remoteRTCPAddress[0] == '\0' ||
            EndpointOf(m_remoteRTCPAddress, m_remoteRTCPPort) != m_ownRTCPEndpoint) {
            OpenRTCP();
        }
    }
    if (GetDataDisabled() != 0) {
        ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->Data processing disabled (no receiving socket)");
    }
    if (GetSharedIO() != 0) {
        JoinReceiveService();
    } else if (GetDataDisabled() == 0 && !StartThread(this)) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] OnStart  failed to start thread.", LogPort());
        ZQM_THROW("<--RTPStack-->OnStart failed to start thread");
    }
    ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->[%d] Input RTP Stack started %s:%s/%s <==> %s:%s/%s", LogPort(),
            m_localIPAddress, m_localRTPPort, m_localRTCPPort, m_remoteRTPAddress, m_remoteRTPPort, m_remoteRTCPPort);
}

void ZQMInputRTPStack::OpenRTCP()
{
    if (m_inputRTCPSocket != nullptr) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] OnStart failure input rtcp socket already exists.", LogPort());
        ZQM_THROW("<--RTPStack-->OnStart failure input rtcp socket already exists.");
    }
    m_inputRTCPSocket = AcquireRTPSocket(m_localIPAddress, m_localRTCPPort);
    if (m_inputRTCPSocket == nullptr) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] OnStart failure input rtcp socket creation failure.", LogPort());
        ZQM_THROW("<--RTPStack-->OnStart failure input rtcp socket creation failure.");
    }
    if (m_rtcpListeningThread != nullptr && !m_rtcpListeningThread->StartThread(this)) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] OnStart failed to start thread.", LogPort());
        ZQM_THROW("<--RTPStack-->OnStart failed to start thread");
    }
    if (m_remoteRTCPAddress[0] == '\0' || !IsValidAddress(m_remoteRTCPAddress)) {
        return;
    }
    if (m_outputRTCPSocket != nullptr) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] OnStart failure output rtcp socket already exists.", LogPort());
        ZQM_THROW("<--RTPStack-->OnStart failure output rtcp socket already exists.");
    }
    AcquireOutputRTCPSocket();
    if (m_outputRTCPSocket == nullptr) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] OnStart failure output rtcp socket creation failure.", LogPort());
        ZQM_THROW("<--RTPStack-->OnStart failure output rtcp socket creation failure.");
    }
    delete m_rtcpDestination;
    m_rtcpDestination = nullptr;
    m_rtcpDestination = new ZQCSocketAddress(ZQCSocket::kDatagram, m_remoteRTCPAddress, m_remoteRTCPPort);
    m_rtcpDestinationKey.Store(zqm::Endpoint());
    m_rtcpDestinationConfigured.store(true);
}

// A remote RTP endpoint (with a port) other than the stack's own is where
// the reports go; otherwise they follow the traffic (LearnRTCPDestination),
// to the peer's RTP port itself.
void ZQMInputRTPStack::StartMultiplexedRTCP()
{
    m_ownRTCPEndpoint = EndpointOf(m_localIPAddress, m_localRTPPort);
    m_muxedRTCPListening.store(m_ownerModule != nullptr && IsRTCPEnabled());
    m_rtcpDestinationKey.Store(zqm::Endpoint());
    const zqm::Endpoint remote = EndpointOf(m_remoteRTPAddress, m_remoteRTPPort);
    if (m_remoteRTPAddress[0] == '\0' || remote.port == 0 || remote == m_ownRTCPEndpoint) {
        return;
    }
    delete m_rtcpDestination;
    m_rtcpDestination = new ZQCSocketAddress(ZQCSocket::kDatagram, m_remoteRTPAddress, m_remoteRTPPort);
    m_rtcpDestinationConfigured.store(true);
    ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->[%d] RTCP multiplexed on the RTP port: reports go to %s:%s", LogPort(),
            m_remoteRTPAddress, m_remoteRTPPort);
}

zqm::Endpoint ZQMInputRTPStack::EndpointOf(const char* address, const char* port)
{
    return zqm::Endpoint::Of(ZQCSocketAddress(ZQCSocket::kDatagram, address, port));
}

// The reports leave from the local RTCP port when the settings bind them
// there, else from a port of their own. Null on failure.
void ZQMInputRTPStack::AcquireOutputRTCPSocket()
{
    const char* port = GetBindRTCPToLocalPort() != 0 ? m_localRTCPPort : "0";
    m_outputRTCPSocket = AcquireRTPSocket(m_localIPAddress, port);
    if (m_outputRTCPSocket != nullptr) {
        m_outputRTCPSocket->SetMulticastTileToLive(static_cast<int>(m_multicastTTL.load()));
    }
}

bool ZQMInputRTPStack::OnBeginFlush()
{
    try {
        Cleanup();
        return true;
    } catch (...) {
        Cleanup();
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] Error throwed while stopping input rtpStack.", LogPort());
        return false;
    }
}

void ZQMInputRTPStack::Cleanup()
{
    RTPDebugLog(">> ZQMInputRTPStack::Cleanup %8x", TraceAddress(this));
    try {
        // The threads stop (and the service lets go) before the lock is
        // taken: one of them may be waiting for it.
        LeaveReceiveService();
        StopThreads();
        StackLock lock(m_stackLock, -1);
        ForgetSources();
        delete m_rtcpListeningThread;
        m_rtcpListeningThread = nullptr;
        m_srtp.Stop();
        m_cleanedUp.store(1);
        if (m_inputRTPSocket != nullptr) {
            ZQM_LOG(ZQF_LOG_INFO, "ZQMInputRTPStack::destroy socket on [%s : %s]", m_localIPAddress, m_localRTPPort);
            ReleaseRTPSocket(&m_inputRTPSocket);
            m_logPort.store(0, std::memory_order_relaxed);
        }
        ReleaseRTPSocket(&m_outputRTCPSocket);
        ReleaseRTPSocket(&m_inputRTCPSocket);
        RTPDebugLog("<< ZQMInputRTPStack::Cleanup %8x", TraceAddress(this));
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] Error throwed in Cleanup of input rtp stack.", LogPort());
    }
}

void ZQMInputRTPStack::StopThreads()
{
    StopThreadAsync();
    if (m_rtcpListeningThread != nullptr) {
        m_rtcpListeningThread->StopThreadAsync();
    }
    // Wakes a receiving thread that waits for a free sample.
    ZQFPinOut* pin = m_ownerModule != nullptr ? m_ownerModule->GetOutputPin(0) : nullptr;
    if (pin != nullptr && pin->IsConnected() && pin->GetAllocator() != nullptr) {
        pin->GetAllocator()->BeginFlush(false);
    }
    if (!StopThread(kThreadStopTimeoutMs, 1)) {
        ZQM_LOG(ZQF_LOG_ERROR,
                "<--RTPStack-->[%d] Cleanup Failed to stop rtp thread (we will not try to kill thread (potential "
                "deadlocks !!!)",
                LogPort());
    }
    if (m_rtcpListeningThread != nullptr && !m_rtcpListeningThread->StopThread(kThreadStopTimeoutMs, 1)) {
        ZQM_LOG(ZQF_LOG_ERROR,
                "<--RTPStack-->Cleanup Failed to stop rtp thread (we will not try to kill thread (potential "
                "deadlocks !!!)");
    }
}
