// Receiver reports: one compound per remote source to the RTCP destination,
// with the loss figures of RFC 3550 (A.3), the time-out of silent sources,
// and the full intra request on demand.
#include <algorithm>
#include <cstdlib>
#include <iterator>

#include "inputrtpstack/receiverreportcompound.h"
#include "inputrtpstack/rtpreceptionstatistics.h"
#include "inputrtpstack/rtpsequencenumbers.h"
#include "inputrtpstack/zqminputrtpstack.h"
#include "inputrtpstack/zqminputrtpstackcommon.h"
#include "zqmlog.h"
#include "zqmrtpreporttime.h"
#include "zqmrtpsocket.h"
#include "zqmrtpsource.h"

namespace {

using zqm::input::kLogPath;
using zqm::input::StackLock;

constexpr uint32_t kSilentReportsBeforeDiscard = 10;

}  // namespace

bool ZQMInputRTPStack::SendFIR() { return SendReceiverReport(true); }

bool ZQMInputRTPStack::SendReceiverReport(bool fir)
{
    try {
        StackLock lock(m_stackLock, -1);
        // A remote source took our SSRC: leave it before this report.
        const bool collided = m_localSource != nullptr && m_localSource->TakeSSRCChangeRequest();
        if (m_rtcpDestination != nullptr && std::atoi(m_rtcpDestination->GetPort()) == 0) {
            delete m_rtcpDestination;
            m_rtcpDestination = nullptr;
        }
        if (collided) {
            if (m_rtcpDestination != nullptr) {
                ReportOnSources(false, true);  // the last reports under the old SSRC, with its goodbye
            }
            ReplaceLocalSSRC();
        }
        if (m_rtcpDestination == nullptr) {
            return false;
        }
        ReportOnSources(fir, false);
        return true;
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] Error throwed in SendReceiverReport of input rtp stack.", LogPort());
        return false;
    }
}

void ZQMInputRTPStack::ReportOnSources(bool fir, bool goodbye)
{
    // The local CNAME is written under the source-list locks.
    char localCname[ZQMRTPSource::kCNAMESize] = {};
    uint32_t localSsrc = 0;
    if (m_localSource != nullptr) {
        zqm::SourceListsLock lists;
        localSsrc = m_localSource->m_ssrc;
        std::copy(std::begin(m_localSource->m_cname), std::end(m_localSource->m_cname), localCname);
    }
    localCname[ZQMRTPSource::kCNAMESize - 1] = '\0';
    for (auto& [ssrc, source] : m_sources) {
        if (source != nullptr) {
            ReportOnSource(*source, {localSsrc, localCname, fir, goodbye});
        }
    }
}

void ZQMInputRTPStack::ReportOnSource(ZQMRTPSource& source, const ReportSender& sender)
{
    const zqm::ReceptionLoss loss = zqm::ComputeReceptionLoss(source.m_reception);
    source.m_fractionLost.store(loss.fractionLostPercent, std::memory_order_relaxed);

    // A source silent for ten report periods is dropped from reception.
    if (loss.receivedInterval == 0) {
        if (source.m_timeoutCount != 0) {
            --source.m_timeoutCount;
        }
        if (source.m_timeoutCount == 0) {
            source.Reset();
            source.m_discard.store(true);
            return;
        }
    } else {
        source.m_timeoutCount = kSilentReportsBeforeDiscard;
    }
    if (!source.m_reception.started) {
        return;  // only forward-error-correction packets so far: nothing to report
    }
    zqm::CloseReportInterval(source.m_reception, loss);
    source.m_cumulativeLost.store(loss.cumulativeLost, std::memory_order_relaxed);

    zqm::ReceiverReportContent content;
    content.localSsrc = sender.ssrc;
    content.localCname = sender.cname;
    content.reportedSsrc = source.m_ssrc;
    content.lostWord = zqm::LostWord(loss.fractionLost, loss.cumulativeLost);
    content.extendedHighestSeq = loss.extendedMax;
    content.jitterUnits = zqm::JitterReportUnits(source.m_jitter.load(std::memory_order_relaxed));
    const zqm::SenderReportReception reception =
        zqm::UnpackSenderReportReception(source.m_lastSenderReport.load(std::memory_order_relaxed));
    content.lsr = reception.lsr;
    content.dlsr = zqm::DelaySinceLastSenderReport(reception, zqm::MonotonicReportUnits());
    content.fullIntraRequest = sender.fir;
    content.goodbye = sender.goodbye;
    source.m_extendedHighestSeq.store(content.extendedHighestSeq, std::memory_order_relaxed);
    source.m_dlsr.store(content.dlsr, std::memory_order_relaxed);

    // With room for the SRTCP trailer behind the compound.
    uint8_t packet[zqm::kMaxReceiverReportCompoundBytes + zqm::srtp::kMaxTrailerBytes];
    const size_t bytes = zqm::BuildReceiverReportCompound(content, packet, zqm::kMaxReceiverReportCompoundBytes);
    if (sender.fir) {
        ZQM_LOG(ZQF_LOG_INFO, "<--RTCPStack-->[%d] Send FIR .", LogPort());
    }
    const int wireBytes = ProtectRTCPToSend(packet, static_cast<int>(bytes), static_cast<int>(sizeof packet));
    if (wireBytes < 0) {
        return;  // the refusal is logged
    }
    RTPSocket* socket = ReportSocket();
    if (socket == nullptr || socket->SendTo(packet, wireBytes, m_rtcpDestination) <= 0) {
        ZQM_LOG(ZQF_LOG_INFO,
                "<--RTCPStack-->[%d] SendReceiverReport failure error throwed while sending rtcp packet.", LogPort());
    }
}
