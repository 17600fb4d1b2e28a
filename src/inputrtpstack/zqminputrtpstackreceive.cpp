// The receiving thread: one datagram per sample of the output pin's pool,
// read straight into the sample's buffer, checked, ordered and delivered;
// receiver reports every five seconds while datagrams arrive.
#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "inputrtpstack/rtcpreportdestination.h"
#include "inputrtpstack/zqminputrtpstack.h"
#include "inputrtpstack/zqminputrtpstackcommon.h"
#include "stdafx.h"
#include "zqfmediasample.h"
#include "zqfmodule.h"
#include "zqfpin.h"
#include "zqmlog.h"
#include "zqmpacketfaultthrottle.h"
#include "zqmrtpsocket.h"

namespace {

using zqm::input::kLogPath;
using zqm::input::StackLock;
using zqm::input::TraceAddress;

constexpr int kSampleWaitMs = 500;
constexpr int kNoSamplePauseMs = 20;
constexpr uint32_t kNoSampleLogEvery = 50;
// A quiet socket is waited on, not polled; the wait is cut short by a stop
// request. Each wait that times out counts as one receive attempt.
constexpr int kReceiveWaitMs = 100;
constexpr int kFailedWaitPauseMs = 10;
constexpr uint32_t kNoDataLogEvery = 200;
// A wait shorter than this did not sleep: the datagram was already queued.
constexpr std::chrono::microseconds kBacklogWait{10};
constexpr int kFixedHeaderBytes = 12;

}  // namespace

bool ZQMInputRTPStack::KeepReceiving() const { return m_ownerModule->IsRunning() && !MustQuit(); }

int ZQMInputRTPStack::EntryPoint()
{
    RTPDebugLog(">> ZQMInputRTPStack::EntryPoint %8x", TraceAddress(this));
    try {
        ZQFPinOut* pin = m_ownerModule != nullptr ? m_ownerModule->GetOutputPin(0) : nullptr;
        if (pin == nullptr || !pin->IsConnected()) {
            ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] EntryPoint failed to retreive output pin.", LogPort());
            return 0;
        }
        m_lastReportTime.store(m_clock.GetElapsed());
        uint32_t failures = 0;
        // Kept across datagrams: the same sender's address is not formatted again.
        ZQCSocketAddress from;
        while (KeepReceiving()) {
            ZQFMediaSample* sample = pin->GetNewSample(kSampleWaitMs);
            if (sample == nullptr) {
                if (failures % kNoSampleLogEvery == 0) {
                    ZQM_LOG(ZQF_LOG_WARNING,
                            "Failed to get new sample from outputPin, we will loose packets (consecutive failures=%d)",
                            static_cast<int>(failures));
                }
                ++failures;
                GetStopEvent().Wait(kNoSamplePauseMs);
                continue;
            }
            failures = 0;
            RTPSocket* socket = m_inputRTPSocket;
            if (socket == nullptr) {  // not while started; never spin on it
                sample->Recycle();
                GetStopEvent().Wait(kReceiveWaitMs);
                continue;
            }
            const int size = std::min(kMaxDatagramBytes, sample->GetBufferSize());
            const int received = ReceiveDatagram(socket, sample->GetDataBuffer(), size, from);
            if (received <= 0) {  // asked to stop
                sample->Recycle();
                break;
            }
            HandleDatagram(sample, received, from, pin);
        }
        RTPDebugLog("<< ZQMInputRTPStack::EntryPoint %8x", TraceAddress(this));
        return 0;
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] Error throwed in ThreadFunc.", LogPort());
        return -1;
    }
}

// Paced traffic brings one datagram per wake-up: the socket is waited on
// first and read once, two system calls a datagram. When a wait finds data
// already queued, a backlog has built up: the socket is then read until it
// runs dry before waiting again, one call a datagram.
int ZQMInputRTPStack::ReceiveDatagram(RTPSocket* socket, uint8_t* buffer, int size, ZQCSocketAddress& from)
{
    for (uint32_t attempt = 1;;) {
        if (!KeepReceiving()) {
            return 0;
        }
        if (m_receiveBacklog) {
            const int received = socket->RecvFrom(buffer, size, &from, &m_datagramArrival);
            if (received > 0) {
                return received;
            }
            m_receiveBacklog = false;
        }
        const auto waitStart = std::chrono::steady_clock::now();
        const int ready = socket->WaitReadable(kReceiveWaitMs, &GetStopEvent());
        if (ready == 1) {
            m_receiveBacklog = std::chrono::steady_clock::now() - waitStart < kBacklogWait;
            const int received = socket->RecvFrom(buffer, size, &from, &m_datagramArrival);
            if (received > 0) {
                return received;
            }
            continue;  // an error report, or a datagram taken by another reader
        }
        if (ready == -1) {  // a stop request: look again
            continue;
        }
        if (attempt % kNoDataLogEvery == 0) {
            ZQM_LOG(ZQF_LOG_INFO, "ZQMInputRTPStack::EntryPoint dont received data on [%s : %s]", m_localIPAddress,
                    m_localRTPPort);
        }
        ++attempt;
        if (ready < 0) {  // the wait itself failed: do not spin on it
            GetStopEvent().Wait(kFailedWaitPauseMs);
        }
    }
}

// What becomes of one datagram read into `sample`, on the receiving thread or
// on the receive service's.
void ZQMInputRTPStack::HandleDatagram(ZQFMediaSample* sample, int received, const ZQCSocketAddress& from,
                                      ZQFPinOut* pin)
{
    if (TakeRTCPOnRTPPort(sample->GetDataBuffer(), received, from)) {
        sample->Recycle();
        return;
    }
    // A packet that fails SRTP checks never reaches a source.
    if (m_srtp.IsOn() && !m_srtp.UnprotectRtp(sample->GetDataBuffer(), &received, LogPort())) {
        sample->Recycle();
        return;
    }
    if (received <= kFixedHeaderBytes) {
        sample->Recycle();
        return;
    }
    sample->m_PayloadLength = received - kFixedHeaderBytes;
    m_datagramOrigin = from;
    // The report timer goes by the time the datagram was taken up, not by
    // when its delivery downstream returned.
    const uint32_t handledAt = m_clock.GetElapsed();
    ProcessReceived(sample, pin);
    LearnRTCPDestination(from);
    RunReportTimer(handledAt);
}

void ZQMInputRTPStack::ProcessReceived(ZQFMediaSample* sample, ZQFPinOut* pin)
{
    if (!m_ownerModule->IsRunning()) {
        ZQM_LOG(ZQF_LOG_INFO, "[%s : %s] Input RTP Stack Module [%s] received [%d] but module %s not running ",
                m_localIPAddress, m_localRTPPort, pin->GetName(), sample->m_PayloadLength, m_ownerModule->GetName());
        sample->Recycle();
        return;
    }
    if (!OnProcessMediaSample(sample, 0)) {
        if (zqm::PacketFaultThrottle::TakeTurn(zqm::PacketFault::ProcessingFailed)) {
            ZQM_LOG(ZQF_LOG_ERROR, "[%s : %s] Input RTP Stack Module failed processing sample ! Recycling it.",
                    m_localIPAddress, m_localRTPPort);
        }
        sample->Recycle();
    }
}

// Without a configured remote RTCP endpoint the stack reports to the peer:
// where its RTCP comes from once any came (symmetric RTCP), before that the
// RTP source address and the next port (RFC 3550, section 11), or the RTP
// source address itself under multiplexing. Never to its own RTCP endpoint.
// Runs for every datagram: the common case, nothing changed, costs a few
// loads.
void ZQMInputRTPStack::LearnRTCPDestination(const ZQCSocketAddress& from)
{
    if (m_rtcpDestinationConfigured.load(std::memory_order_relaxed) || from.IsEmpty()) {
        return;
    }
    const bool multiplexed = IsRTCPMuxRun();
    const zqm::Endpoint wanted =
        zqm::LearnedReportDestination(zqm::Endpoint::Of(from), m_peerRTCPOrigin.Load(), multiplexed);
    if (wanted == m_rtcpDestinationKey.Load() && (multiplexed || m_outputRTCPSocket != nullptr)) {
        return;
    }
    StackLock lock(m_stackLock, -1);
    if (!multiplexed && m_outputRTCPSocket == nullptr) {
        AcquireOutputRTCPSocket();
        if (m_outputRTCPSocket == nullptr) {
            ZQM_THROW("<--RTPStack-->[%d] EntryPoint failure output rtcp socket creation failure.");
        }
    }
    if (wanted.IsNone() || wanted == m_ownRTCPEndpoint || wanted == m_rtcpDestinationKey.Load()) {
        return;
    }
    auto* destination = new ZQCSocketAddress();
    wanted.ToSocketAddress(destination);
    delete m_rtcpDestination;
    m_rtcpDestination = destination;
    m_rtcpDestinationKey.Store(wanted);
}

void ZQMInputRTPStack::RunReportTimer(uint32_t now)
{
    const int64_t sinceLastReport = static_cast<int32_t>(now - m_lastReportTime.load());
    if (std::llabs(sinceLastReport) >= kReportIntervalMs) {
        SendReceiverReport(false);
        m_lastReportTime.store(now);
    }
}
