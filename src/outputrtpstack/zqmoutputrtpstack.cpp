// The sending stack's lifecycle: construction, start, flushes and clean-up,
// and the notifications it sends and consumes.
#include "outputrtpstack/zqmoutputrtpstack.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "outputrtpstack/zqmoutputrtpstackrtcplisteningthread.h"
#include "stdafx.h"
#include "zqclockmng.h"
#include "zqcrandom.h"
#include "zqcsocketaddress.h"
#include "zqfmodule.h"
#include "zqfnotify.h"
#include "zqfpin.h"
#include "zqirtpstack.h"
#include "zqmlog.h"
#include "zqmrtpheader.h"
#include "zqmrtpsocket.h"
#include "zqmrtpsource.h"

namespace {

const char* const kLogPath = "outputrtpstack\\zqmoutputrtpstack";

using StackLock = ZQCLockMng<ZQCCriticalSection>;

constexpr int kHeaderBytes = static_cast<int>(rtp::kFixedHeaderBytes);
constexpr int kThreadStopTimeoutMs = 10000;

}  // namespace

ZQMOutputRTPStack::ZQMOutputRTPStack(ZQFModule* owner) : ZQMRTPStack(owner)
{
    SetDefaultNetworkParameters();
    // Drawn apart from the SSRC (RFC 3550, 5.1): one does not give the other away.
    m_nextSequenceNumber = static_cast<uint16_t>(ZQCRandom::Draw32());
}

ZQMOutputRTPStack::~ZQMOutputRTPStack()
{
    try {
        StackLock lock(m_stackLock, -1);
        if (m_cleanedUp == 0) {
            Cleanup();
        }
        DeleteRTCPListeningThread();
        // Whatever a path that ran after Cleanup acquired.
        ReleaseSockets();
        m_rtpDestination.reset();
        m_rtcpDestination.reset();
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->Error throwed in ~ZQMOutputRTPStack of output rtp stack.");
    }
}

unsigned ZQMOutputRTPStack::TraceId() const { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(this)); }

bool ZQMOutputRTPStack::OnStart()
{
    StackLock lock(m_stackLock, -1);
    try {
        m_cleanedUp = 0;
        if (!IsValidAddress(m_remoteRTPAddress)) {
            ZQM_LOG(ZQF_LOG_ERROR, "ZQMOutputRTPStack: can't resolve %s network address", m_remoteRTPAddress);
            ZQM_THROW("<--RTPStack-->OnStart failure in output rtp stack: invalid network parameters.");
        }
        if (!zqm::CheckAddressFamilies(m_localIPAddress, m_remoteRTPAddress, m_remoteRTCPAddress)) {
            ZQM_THROW("<--RTPStack-->OnStart failure in output rtp stack: invalid network parameters.");
        }
        StartSRTP();
        m_rtpDestination =
            std::make_unique<ZQCSocketAddress>(ZQCSocket::kDatagram, m_remoteRTPAddress, m_remoteRTPPort);
        // A remote RTCP address equal to our own means RTCP is not wanted,
        // whether or not it is multiplexed.
        const bool rtcpWanted = !zqm::IsSameAddress(m_localIPAddress, m_remoteRTCPAddress);
        StartRTCPMuxRun();
        if (rtcpWanted && !IsRTCPMuxRun()) {
            OpenRTCPSockets();
            ListenThroughService(m_inputRTCPSocket);
        }
        if (m_rtpSocket != nullptr) {
            ZQM_THROW("<--RTPStack-->OnStart failure output rtp socket already exists.");
        }
        m_rtpSocket = AcquireRTPSocket(m_localIPAddress, m_localRTPPort);
        if (m_rtpSocket == nullptr) {
            ZQM_THROW("<--RTPStack-->OnStart failure output rtp socket creation failure.");
        }
        if (const uint32_t bufferBytes = m_socketBufferSize.load(std::memory_order_relaxed); bufferBytes != 0) {
            m_rtpSocket->SetSendBufferSize(static_cast<int>(bufferBytes));
        }
        m_rtpSocket->SetMulticastTileToLive(static_cast<int>(m_multicastTTL.load(std::memory_order_relaxed)));
        if (const uint32_t tos = m_ipTOS.load(std::memory_order_relaxed); tos != 0) {
            m_rtpSocket->SetIPTOS(static_cast<int>(tos));
        }
        if (rtcpWanted && IsRTCPMuxRun()) {
            OpenMultiplexedRTCP();
        }
        ConnectOwnRTPSocket();
        AnnounceSendingTransport();
        m_rtpReachability.Reset();
        m_rtcpReachability.Reset();
        m_refusalWhileStoppedLogged = false;
        m_started = true;
        ZQM_LOG(ZQF_LOG_INFO,
                "Output RTP Stack started on local address %s, local RTP port %s, local RTCP port %s, remote addresse "
                "%s, remote RTP port %s, remote RTCP port %s",
                m_localIPAddress, m_localRTPPort, m_localRTCPPort, m_remoteRTCPAddress, m_remoteRTPPort,
                m_remoteRTCPPort);
        return true;
    } catch (...) {
        Cleanup();
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->OnStart failure error throwed while starting output rtpStack.");
        return false;
    }
}

void ZQMOutputRTPStack::OpenRTCPSockets()
{
    if (m_inputRTCPSocket != nullptr) {
        ZQM_THROW("<--RTPStack-->OnStart failure input rtcp socket already exists.");
    }
    m_inputRTCPSocket = AcquireRTPSocket(m_localIPAddress, m_localRTCPPort);
    if (m_inputRTCPSocket == nullptr) {
        ZQM_THROW("<--RTPStack-->OnStart failure input rtcp socket creation failure.");
    }
    if (m_rtcpListeningThread != nullptr && !m_rtcpListeningThread->StartThread(this)) {
        ZQM_THROW("<--RTPStack-->OnStart failed to start thread");
    }
    if (m_remoteRTCPAddress[0] == '\0' || !IsValidAddress(m_remoteRTCPAddress)) {
        return;
    }
    if (m_outputRTCPSocket != nullptr) {
        ZQM_THROW("<--RTPStack-->OnStart failure output rtcp socket already exists.");
    }
    m_outputRTCPSocket = AcquireOutputRTCPSocket();
    if (m_outputRTCPSocket == nullptr) {
        ZQM_THROW("<--RTPStack-->OnStart failure output rtcp socket creation failure.");
    }
    m_outputRTCPSocket->SetMulticastTileToLive(static_cast<int>(m_multicastTTL.load(std::memory_order_relaxed)));
    m_rtcpDestination =
        std::make_unique<ZQCSocketAddress>(ZQCSocket::kDatagram, m_remoteRTCPAddress, m_remoteRTCPPort);
}

// The RTCP destination is the RTP destination; the thread (or the service)
// starts once the socket it reads exists.
void ZQMOutputRTPStack::OpenMultiplexedRTCP()
{
    m_rtcpDestination =
        std::make_unique<ZQCSocketAddress>(ZQCSocket::kDatagram, m_remoteRTPAddress, m_remoteRTPPort);
    if (m_rtcpListeningThread != nullptr && !m_rtcpListeningThread->StartThread(this)) {
        ZQM_THROW("<--RTPStack-->OnStart failed to start thread");
    }
    ListenThroughService(m_rtpSocket);
    ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->RTCP multiplexed on the RTP port: reports go to %s:%s", m_remoteRTPAddress,
            m_remoteRTPPort);
}

// A socket of our own only sends: fixing its peer spares the
// kernel a route lookup per packet. A shared socket stays unconnected, since
// a receiving stack on the same port must hear every peer. Should connecting
// fail, packets still go out, addressed one by one.
// A socket that is also read (RTCP on the RTP port) stays unconnected: a
// connected one hears its peer's address and port only, and it is read by
// the listening thread from the moment that thread starts.
void ZQMOutputRTPStack::ConnectOwnRTPSocket()
{
    if (!m_rtpSocket->IsShared() && !IsRTCPMuxRun()) {
        m_rtpSocket->Connect(*m_rtpDestination);
    }
}

// A receiving stack of this process that hears our packets back then knows
// them for ours rather than a remote source with our SSRC.
void ZQMOutputRTPStack::AnnounceSendingTransport()
{
    if (m_localSource == nullptr) {
        return;
    }
    char port[16];
    std::snprintf(port, sizeof port, "%d", m_rtpSocket->GetBoundPort());
    // Bound to any address: packets leave from whichever one the route picks.
    const char* address = m_localIPAddress[0] != '\0' ? m_localIPAddress : "0.0.0.0";
    const ZQCSocketAddress self(ZQCSocket::kDatagram, address, port);
    m_localSource->SetSendingTransport(zqm::Endpoint::Of(self));
}

RTPSocket* ZQMOutputRTPStack::AcquireOutputRTCPSocket()
{
    const bool bindToLocalPort = m_bindRTCPToLocalPort.load(std::memory_order_relaxed) != 0;
    return AcquireRTPSocket(m_localIPAddress, bindToLocalPort ? m_localRTCPPort : "0");
}

bool ZQMOutputRTPStack::OnBeginFlush()
{
    try {
        // Under the stack lock so that no sample is being sent from a socket
        // that Cleanup releases.
        StackLock lock(m_stackLock, -1);
        Cleanup();
        return true;
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->Error throwed while stopping output rtpStack.");
        return false;
    }
}

bool ZQMOutputRTPStack::OnEndFlush()
{
    StackLock lock(m_stackLock, -1);
    try {
        if (!NotifyUpstream(NOTIFY_INSERT_HEADER, kHeaderBytes)) {
            ZQM_LOG(ZQF_LOG_WARNING,
                    "<--RTPStack-->OnEndFlush failure in output rtp stack: reverse notify insert header not catch.");
        }
        if (!NotifyUpstream(NOTIFY_SUPPORT_PAYLOAD, 1)) {
            ZQM_LOG(ZQF_LOG_WARNING, "ZQMOutputRTPStack notify message NOTIFY_SUPPORT_PAYLOAD not catched.)");
        }
        // With shared I/O the receive service listens instead.
        if (IsRTCPListeningEnabled()) {
            DeleteRTCPListeningThread();
            if (GetSharedIO() == 0) {
                m_rtcpListeningThread = std::make_unique<ZQMOutputRTPStackRTCPListeningThread>(this);
                m_ownerModule->RegisterThread(m_rtcpListeningThread.get());
            }
        }
        return true;
    } catch (...) {
        Cleanup();
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->OnEndFlush failure error throwed while ending flush of output rtpStack.");
        return false;
    }
}

bool ZQMOutputRTPStack::NotifyUpstream(int code, int param)
{
    ZQFPinIn* pin = m_ownerModule != nullptr ? m_ownerModule->GetInputPin(0) : nullptr;
    if (pin == nullptr) {
        return false;
    }
    ZQFNotifyInfo info;
    info.code = code;
    info.param = param;
    info.sender = m_ownerModule;
    return pin->PassReverseNotify(&info);
}

// The switch lives in the owning stack module; any other owner has none.
bool ZQMOutputRTPStack::IsRTCPListeningEnabled()
{
    void* rtpStack = nullptr;
    return m_ownerModule != nullptr && m_ownerModule->QueryInterface(IID_ZQIRTPStack, &rtpStack) &&
           rtpStack != nullptr && static_cast<ZQIRTPStack*>(rtpStack)->GetRTCPEnabled() != 0;
}

bool ZQMOutputRTPStack::IsOwnerRunning() const { return m_ownerModule != nullptr && m_ownerModule->IsRunning(); }

// The thread has ended before the pointer changes, so its loop never reads
// the field while it is being replaced.
void ZQMOutputRTPStack::DeleteRTCPListeningThread()
{
    if (m_rtcpListeningThread != nullptr) {
        m_rtcpListeningThread->StopThread(-1, 1);
        m_rtcpListeningThread.reset();
    }
}

void ZQMOutputRTPStack::Cleanup()
{
    RTPDebugLog(">> ZQMOutputRTPStack::Cleanup %8x", TraceId());
    try {
        LeaveReceiveService();
        if (m_rtcpListeningThread != nullptr && !m_rtcpListeningThread->StopThread(kThreadStopTimeoutMs, 1)) {
            ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->Cleanup Failed to stop rtcp thread (we will not try to kill thread "
                                   "(potential deadlocks !!!)");
        }
        if (m_localSource != nullptr) {
            m_localSource->Reset();
            m_localSource->m_unreachableSends.store(0, std::memory_order_relaxed);
        }
        m_started = false;
        m_lastSentMicroseconds = kNoPacketSent;
        m_reportTimerStarted = false;
        // A thread that did not stop in time is joined here: its socket is
        // released only after it has ended.
        m_rtcpListeningThread.reset();
        m_srtp.Stop();
        m_cleanedUp = 1;
        ReleaseSockets();
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->Error throwed in Cleanup of output rtp stack.");
    }
    RTPDebugLog("<< ZQMOutputRTPStack::Cleanup %8x", TraceId());
}

void ZQMOutputRTPStack::ReleaseSockets()
{
    ReleaseRTPSocket(&m_rtpSocket);
    ReleaseRTPSocket(&m_outputRTCPSocket);
    ReleaseRTPSocket(&m_inputRTCPSocket);
}

bool ZQMOutputRTPStack::OnNotify(ZQFNotifyInfo* info)
{
    if (info == nullptr || info->code != NOTIFY_SEQNUM_OFFSET) {
        return false;
    }
    m_nextSequenceNumber.fetch_add(static_cast<uint16_t>(info->param), std::memory_order_relaxed);
    return true;
}

bool ZQMOutputRTPStack::GetSourceIdentifier(int index, uint32_t& ssrc)
{
    ssrc = 0;
    if (index != 0) {
        return false;
    }
    try {
        StackLock lock(m_stackLock, -1);
        if (m_localSource == nullptr) {
            ZQM_THROW("<--RTPStack-->GetSourceIdentifier failure: no local source.");
        }
        ssrc = m_localSource->m_ssrc;
        return true;
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->GetSourceIdentifier failure error throwed.");
        return false;
    }
}

void ZQMOutputRTPStack::SetAutoSequenceNumbers(bool on)
{
    m_autoSequenceNumbers.store(on ? 1 : 0, std::memory_order_relaxed);
}

bool ZQMOutputRTPStack::GetAutoSequenceNumbers() { return m_autoSequenceNumbers.load(std::memory_order_relaxed) != 0; }

bool ZQMOutputRTPStack::GetUnreachableSends(uint32_t ssrc, bool local, uint32_t* unreachableSends)
{
    zqm::SourceListsLock lock;
    const ZQMRTPSource* source = zqm::FindListedSource(ssrc, local);
    if (source == nullptr) {
        return false;
    }
    if (unreachableSends != nullptr) {
        *unreachableSends = source->m_unreachableSends.load(std::memory_order_relaxed);
    }
    return true;
}
