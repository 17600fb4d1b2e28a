// The sending stack's RTCP: sender reports, the goodbye of an SSRC change
// and the loop that listens for the receivers' reports.
#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "outputrtpstack/zqmoutputrtpstack.h"
#include "outputrtpstack/zqmoutputrtpstackrtcplisteningthread.h"
#include "rtcp/rtcpbye.h"
#include "rtcp/rtcpmuxdemux.h"
#include "rtcp/rtcpsdes.h"
#include "rtcp/rtcpsenderreport.h"
#include "stdafx.h"
#include "zqcclock.h"
#include "zqclockmng.h"
#include "zqcsocketaddress.h"
#include "zqfmodule.h"
#include "zqmlog.h"
#include "zqmrtpclock.h"
#include "zqmrtpsocket.h"
#include "zqmrtpsource.h"

namespace {

const char* const kLogPath = "outputrtpstack\\zqmoutputrtpstack";

using StackLock = ZQCLockMng<ZQCCriticalSection>;

// SR, SDES with the longest CNAME and its padding, BYE.
constexpr size_t kLongestReportBytes =
    rtcp::SenderReport::kBytes + 10 + rtcp::Sdes::kMaxItemBytes + 4 + rtcp::Bye::kBytes;
// Nothing shorter than an RTCP header and one word is worth validating.
constexpr int kShortestRTCPBytes = 5;
// How long the listening loop pauses when its socket cannot be waited on.
constexpr int kIdleWaitMs = 200;
constexpr int kWaitFailed = -2;
constexpr int kReceiveBufferBytes = static_cast<int>(ZQMOutputRTPStackRTCPListeningThread::kReceiveBufferBytes);

// The NTP time and the RTP timestamp are of the same instant, so that a
// receiver can map the stream's media time onto the wall clock.
size_t WriteSenderReport(ZQMRTPSource& source, uint32_t rtpTimestamp, bool bye, uint8_t* buffer, size_t capacity)
{
    const ZQMWallClock wallClock = ZQMRTPClock::GetWallClock();
    rtcp::SenderReport report;
    report.senderSsrc = source.m_ssrc;
    report.timestampHigh = wallClock.ntpSeconds;
    report.timestampLow = wallClock.fraction;
    report.rtpTimestamp = rtpTimestamp;
    report.packetCount = source.m_packetCount.load(std::memory_order_relaxed);
    report.octetCount = source.m_octetCount.load(std::memory_order_relaxed);
    size_t length = report.Create(buffer, capacity);

    rtcp::Sdes description;
    description.ssrc = source.m_ssrc;
    description.text = std::string_view(source.m_cname, strnlen(source.m_cname, rtcp::Sdes::kMaxItemBytes));
    if (!description.text.empty()) {
        length += description.Create(buffer + length, capacity - length);
    }
    if (bye) {
        rtcp::Bye goodbye;
        goodbye.ssrc = source.m_ssrc;
        length += goodbye.Create(buffer + length, capacity - length);
    }
    return length;
}

}  // namespace

bool ZQMOutputRTPStack::SendSenderReport(bool bye)
{
    try {
        StackLock lock(m_stackLock, -1);
        if (m_localSource == nullptr || m_rtcpDestination == nullptr) {
            ZQM_LOG(ZQF_LOG_INFO, "Invalid remote addr");
            return false;
        }
        // On the stack, not the heap: a report goes with a sample. With room
        // for the SRTCP trailer behind it.
        uint8_t compound[kLongestReportBytes + zqm::srtp::kMaxTrailerBytes] = {};
        const size_t length =
            WriteSenderReport(*m_localSource, SenderReportRtpTimestamp(), bye, compound, kLongestReportBytes);
        const int wireBytes = ProtectRTCPToSend(compound, static_cast<int>(length), static_cast<int>(sizeof compound));
        if (wireBytes < 0) {
            return false;  // the refusal is logged
        }
        const int sent = SendReportDatagram(compound, wireBytes);
        // Counted whatever the send gave, as the receiving side counts RTCP.
        m_localSource->m_octets.fetch_add(static_cast<uint32_t>(sent - 4), std::memory_order_relaxed);
        m_localSource->m_wireBytes.fetch_add(static_cast<uint32_t>(sent) + kIpUdpOverheadBytes,
                                             std::memory_order_relaxed);
        return true;
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->Error throwed in SendSenderReport of output rtp stack.");
        return false;
    }
}

// A report that an ICMP error answered went out like any other: it is
// counted, and the peer's state is logged once, as for RTP.
int ZQMOutputRTPStack::SendReportDatagram(const uint8_t* compound, int length)
{
    RTPSocket* socket = ReportSocket();
    if (socket == nullptr) {
        return 0;
    }
    const int sent = socket->SendTo(compound, length, m_rtcpDestination.get());
    if (sent == ZQCSocket::kPeerUnreachable) {
        m_localSource->m_unreachableSends.fetch_add(1, std::memory_order_relaxed);
        LogReachabilityChange(m_rtcpReachability, m_rtcpReachability.NoteUnreachable(), "RTCP", *m_rtcpDestination);
        return length;
    }
    if (sent < 0) {
        ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->SendSenderReport failure error throwed while sendind rtcp packet.");
        return sent;
    }
    LogReachabilityChange(m_rtcpReachability, m_rtcpReachability.NoteDelivered(), "RTCP", *m_rtcpDestination);
    return sent;
}

uint32_t ZQMOutputRTPStack::SenderReportRtpTimestamp()
{
    const int32_t mediaType = m_reportMediaType;
    if (m_lastSentMicroseconds == kNoPacketSent) {
        // The local clock follows the media time of the packets once they
        // flow; its ms become units at the payload's clock rate.
        const uint64_t elapsedMicroseconds = uint64_t{m_localSource->m_clock.GetElapsed()} * 1000u;
        return ZQMRTPClock::MediaTimeAfter(0, elapsedMicroseconds, mediaType);
    }
    const uint64_t now = ZQCClock::GetMicroseconds();
    const uint64_t sinceSent = now > m_lastSentMicroseconds ? now - m_lastSentMicroseconds : 0;
    return ZQMRTPClock::MediaTimeAfter(m_lastSentRtpTimestamp, sinceSent, mediaType);
}

void ZQMOutputRTPStack::ChangeSSRC()
{
    try {
        StackLock lock(m_stackLock, -1);
        zqm::SourceListsLock lists;
        if (m_localSource == nullptr) {
            return;
        }
        SendSenderReport(true);  // the goodbye of the old SSRC
        ReplaceLocalSSRC();
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->Error throwed in ChangeSSRC of output rtp stack.");
    }
}

int ZQMOutputRTPStack::RTCPEntryPoint()
{
    RTPDebugLog(">> ZQMOutputRTPStack::RTCPEntryPoint %8x", TraceId());
    try {
        if (ZQMOutputRTPStackRTCPListeningThread* thread = m_rtcpListeningThread.get()) {
            ListenForRTCP(*thread);
        }
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->Error throwed in ThreadFunc of output rtp stack.");
        return -1;
    }
    RTPDebugLog("<< ZQMOutputRTPStack::RTCPEntryPoint %8x", TraceId());
    return 0;
}

// The socket is acquired before the thread starts and released after it
// ended, so it does not change under the loop.
void ZQMOutputRTPStack::ListenForRTCP(ZQMOutputRTPStackRTCPListeningThread& thread)
{
    ZQCSocketAddress sender;  // filled by each receive; not used further
    uint8_t* buffer = thread.GetReceiveBuffer();
    while (IsOwnerRunning() && !thread.MustQuit()) {
        RTPSocket* socket = RTCPReceiveSocket();
        if (socket == nullptr) {
            thread.GetStopEvent().Wait(kIdleWaitMs);
            continue;
        }
        int received = socket->RecvFrom(buffer, kReceiveBufferBytes, &sender);
        if (received <= 0) {
            WaitForRTCP(socket, thread);
            continue;
        }
        HandleRTCPDatagram(buffer, received, socket->GetPort());
    }
}

// One datagram from the RTCP socket, on the listening thread or on the
// receive service's. Under multiplexing it came to the RTP socket, where
// anything but RTCP is not the sending stack's business.
void ZQMOutputRTPStack::HandleRTCPDatagram(uint8_t* buffer, int received, int port)
{
    if (IsRTCPMuxRun() && !rtcp::IsMultiplexedRTCP(buffer, received > 0 ? static_cast<size_t>(received) : 0)) {
        return;
    }
    if (received < kShortestRTCPBytes) {
        ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->EntryPoint failed to receive on input rtcp socket.");
        return;
    }
    if (UnprotectReceivedRTCP(buffer, &received, port) && IsOwnerRunning()) {
        ProcessRTCPDatagram(buffer, received, "ZQMOutputRTPStack");
    }
}

// RTCP processing takes no stack lock, so a callback never waits for the
// stack lock that Cleanup holds while it leaves the service.
void ZQMOutputRTPStack::ListenThroughService(RTPSocket* socket)
{
    if (GetSharedIO() != 0 && m_rtcpListeningThread == nullptr && IsRTCPListeningEnabled()) {
        JoinReceiveService(socket);
    }
}

void ZQMOutputRTPStack::JoinReceiveService(RTPSocket* socket)
{
    const int descriptor = socket->GetDescriptor();
    if (!zqm::ReceiveService::Shared().Register(this, {&descriptor, 1})) {
        ZQM_THROW("<--RTPStack-->OnStart failure: the receive service refused the rtcp socket.");
    }
    m_inReceiveService.store(true);
}

void ZQMOutputRTPStack::LeaveReceiveService()
{
    if (m_inReceiveService.exchange(false)) {
        zqm::ReceiveService::Shared().Unregister(this);
    }
}

void ZQMOutputRTPStack::OnReadable(int descriptor, int budget)
{
    RTPSocket* socket = RTCPReceiveSocket();  // released only after the stack left the service
    if (socket == nullptr || descriptor != socket->GetDescriptor()) {
        return;
    }
    static_assert(zqm::ReceiveService::kScratchBytes >= kReceiveBufferBytes);
    uint8_t* buffer = zqm::ReceiveService::ScratchBuffer();
    ZQCSocketAddress sender;
    for (int turn = 0; turn < budget; ++turn) {
        const int received = socket->RecvFrom(buffer, kReceiveBufferBytes, &sender);
        if (received <= 0) {
            return;
        }
        HandleRTCPDatagram(buffer, received, socket->GetPort());
    }
}

// Sleeps until a datagram comes or the thread is told to stop (the stop
// request that ends the module's run also ends the wait); never spins on a
// socket that cannot be waited on.
void ZQMOutputRTPStack::WaitForRTCP(const RTPSocket* socket, const ZQMOutputRTPStackRTCPListeningThread& thread)
{
    constexpr int kWaitForever = -1;
    if (socket->WaitReadable(kWaitForever, &thread.GetStopEvent()) == kWaitFailed) {
        thread.GetStopEvent().Wait(kIdleWaitMs);
    }
}
