// RTCP compounds received by any stack: validation, then each packet applied
// to the sources it names. The receive buffers hold up to 32768 bytes; every
// field is read only after its bytes were found inside the packet.
#include <cstring>
#include <mutex>
#include <optional>
#include <string>

#include "rtcp/rtcpbye.h"
#include "rtcp/rtcpcompound.h"
#include "rtcp/rtcpfir.h"
#include "rtcp/rtcpreceiverreport.h"
#include "rtcp/rtcpsdes.h"
#include "rtcp/rtcpsenderreport.h"
#include "zqfmodule.h"
#include "zqfnotify.h"
#include "zqfpin.h"
#include "zqmlog.h"
#include "zqmpacketfaultthrottle.h"
#include "zqmrtpreporttime.h"
#include "zqmrtpsource.h"
#include "zqmrtpstack.h"

namespace {

const char* const kLogPath = "zqmrtpstack";

// Bytes a datagram adds on the wire besides what RTCP counts: IP and UDP.
constexpr uint32_t kIpUdpOverheadBytes = 28;

// The throttle counter of a failed check (CheckRTCPValidity's code).
zqm::PacketFault ThrottleOf(int validity)
{
    switch (validity) {
    case 1:
        return zqm::PacketFault::RTCPVersion;
    case 2:
        return zqm::PacketFault::RTCPFirstType;
    default:
        return zqm::PacketFault::RTCPLength;
    }
}

// A report whose LSR and DLSR cannot come from a real round trip (clocks
// apart, a peer's bad arithmetic) is counted and leaves the last valid
// round-trip time standing: one bad report does not wipe a good figure.
void StoreRoundTripTime(ZQMRTPSource& source, uint32_t lsr, uint32_t dlsr)
{
    const std::optional<uint32_t> roundTripMs = zqm::RoundTripTimeMs(ZQMRTPClock::GetCompactWallClock(), lsr, dlsr);
    if (!roundTripMs) {
        source.m_refusedRoundTrips.fetch_add(1, std::memory_order_relaxed);
        return;
    }
    source.m_roundTripTime.store(*roundTripMs, std::memory_order_relaxed);
}

}  // namespace

int ZQMRTPStack::CheckRTCPValidity(const uint8_t* datagram, int length)
{
    try {
        const rtcp::CompoundCheck check =
            rtcp::CheckCompound(datagram, length > 0 ? static_cast<size_t>(length) : 0);
        // Anyone who reaches an RTCP port can send these: the lines go with
        // the throttled failure line of the compound (first, then every tenth).
        if (check.code != 0 && !zqm::PacketFaultThrottle::IsDue(ThrottleOf(check.code))) {
            return check.code;
        }
        switch (check.code) {
        case rtcp::kCompoundBadVersion:
            ZQM_LOG(ZQF_LOG_ERROR, "<--ZQMRTCPStack--> Invalid RTCP verion: recv[%d] waiting[%d]", check.found,
                    check.expected);
            break;
        case rtcp::kCompoundBadFirstType:
            ZQM_LOG(ZQF_LOG_ERROR, "<--ZQMRTCPStack--> not supprted RTCP type: recv[%d] ", check.found);
            break;
        case rtcp::kCompoundBadLength:
            ZQM_LOG(ZQF_LOG_ERROR, "<--ZQMRTCPStack--> Invalid RTCP length: recv[%d] waiting[%d]", check.found,
                    check.expected);
            break;
        default:
            break;
        }
        return check.code;
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--ZQMRTPStack-->Error Throwed in CheckRTCPValidity of output rtp stack.");
        return 4;
    }
}

bool ZQMRTPStack::ProcessRTCPDatagram(const uint8_t* datagram, int length, const char* caller)
{
    const char* name = caller ? caller : "";
    try {
        zqm::SourceListsLock lists;
        const int validity = CheckRTCPValidity(datagram, length);
        if (validity != 0 && !zqm::PacketFaultThrottle::TakeTurn(ThrottleOf(validity))) {
            return false;
        }
        switch (validity) {
        case 0:
            break;
        case 1:
            ZQM_LOG(ZQF_LOG_ERROR, "<--ZQMRTPStack-->[%s] Invalid RTCP verion..", name);
            return false;
        case 2:
            ZQM_LOG(ZQF_LOG_ERROR, "<--ZQMRTPStack-->[%s] Wrong rtcp packet type int compound packet.", name);
            return false;
        case 3:
            ZQM_LOG(ZQF_LOG_ERROR, "<--ZQMRTPStack-->[%s] Wrong rtcp packet length.", name);
            return false;
        case 4:
            ZQM_LOG(ZQF_LOG_ERROR, "<--ZQMRTPStack-->[%s] Error throwed while checking rtcp packet.", name);
            return false;
        default:
            ZQM_LOG(ZQF_LOG_ERROR, "<--ZQMRTPStack-->[%s] Failed to check rtcp packet.", name);
            return false;
        }

        rtcp::CompoundLayout layout;
        rtcp::LocateCompound(datagram, static_cast<size_t>(length), &layout);
        rtcp::CompoundReader reader(datagram, layout);
        rtcp::CompoundReader::Packet packet;
        for (int index = 0; reader.Next(&packet); ++index) {
            ZQMRTPSource* found = nullptr;
            switch (packet.header.packetType) {
            case rtcp::kSenderReport:
                ApplySenderReport(packet.data, packet.bytes, &found);
                break;
            case rtcp::kReceiverReport:
                ApplyReceiverReport(packet.data, packet.bytes, packet.header.count, &found);
                break;
            case rtcp::kSourceDescription:
                ApplySdes(packet.data, packet.bytes);
                break;
            case rtcp::kGoodbye:
                ApplyBye(packet.data, packet.bytes);
                break;
            case rtcp::kTransportFeedback:
            case rtcp::kPayloadFeedback:
                ApplyFeedback(packet.data, packet.bytes, packet.header.count,
                              packet.header.packetType == rtcp::kPayloadFeedback);
                break;
            default:  // APP and anything else
                break;
            }
            // The first packet is always an SR or RR: the datagram is counted
            // once, on the sender of the SR or on the reported local source.
            if (index == 0 && found != nullptr) {
                found->m_octets.fetch_add(static_cast<uint32_t>(length) - 4, std::memory_order_relaxed);
                found->m_wireBytes.fetch_add(static_cast<uint32_t>(length) + kIpUdpOverheadBytes,
                                             std::memory_order_relaxed);
            }
            if (found != nullptr && packet.header.packetType == rtcp::kReceiverReport) {
                NotifyFractionLost(found->m_fractionLost.load(std::memory_order_relaxed));
            }
        }
        return true;
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--ZQMRTPStack-->[%s] Error throwed in ProcessRTCPDatagram of input rtp stack.",
                name);
        return false;
    }
}

void ZQMRTPStack::ApplySenderReport(const uint8_t* packet, size_t bytes, ZQMRTPSource** found)
{
    rtcp::SenderReport report;
    if (!report.Parse(packet, bytes)) {
        return;
    }
    ZQMRTPSource* source = zqm::FindListedSource(report.senderSsrc, false);
    if (source == nullptr) {
        return;
    }
    *found = source;
    source->m_packetCount.store(report.packetCount, std::memory_order_relaxed);
    source->m_octetCount.store(report.octetCount, std::memory_order_relaxed);
    const zqm::SenderReportReception reception{(report.timestampHigh << 16) | (report.timestampLow >> 16),
                                               zqm::MonotonicReportUnits()};
    source->m_lastSenderReport.store(zqm::PackSenderReportReception(reception), std::memory_order_relaxed);
    source->m_srWallClock.store(zqm::SenderReportWallClockMs(report.timestampHigh, report.timestampLow),
                                std::memory_order_relaxed);
    source->m_srMediaTime.store(
        ZQMRTPClock::ToMilliseconds(report.rtpTimestamp, static_cast<int32_t>(source->m_mediaType.load())),
        std::memory_order_relaxed);
    ComputeLipSync(source);
}

void ZQMRTPStack::ApplyReceiverReport(const uint8_t* packet, size_t bytes, uint8_t count, ZQMRTPSource** found)
{
    rtcp::ReceiverReport report;
    if (!report.Parse(count, packet, bytes)) {
        return;
    }
    // The report is about one of the process's own sources, whichever stack
    // owns it.
    ZQMRTPSource* source = zqm::FindListedSource(report.block.sourceSsrc, true);
    if (source == nullptr) {
        return;
    }
    *found = source;
    source->m_cumulativeLost.store(report.block.cumulativeLost, std::memory_order_relaxed);
    source->m_fractionLost.store(static_cast<uint8_t>(report.block.fractionLost * 100u / 256u),
                                 std::memory_order_relaxed);
    source->m_extendedHighestSeq.store(report.block.extendedHighestSequence, std::memory_order_relaxed);
    source->m_jitter.store(static_cast<float>(report.block.jitter), std::memory_order_relaxed);
    source->m_dlsr.store(report.block.delaySinceLastSenderReport, std::memory_order_relaxed);
    source->m_lsr.store(report.block.lastSenderReport, std::memory_order_relaxed);
    StoreRoundTripTime(*source, report.block.lastSenderReport, report.block.delaySinceLastSenderReport);
    source->m_rrCount.fetch_add(1, std::memory_order_relaxed);
}

void ZQMRTPStack::ApplySdes(const uint8_t* packet, size_t bytes)
{
    rtcp::Sdes sdes;
    if (!sdes.Parse(packet, bytes)) {
        return;
    }
    ZQMRTPSource* source = zqm::FindListedSource(sdes.ssrc, false);
    if (source == nullptr || sdes.itemType != rtcp::Sdes::kCnameItem) {
        return;
    }
    const std::string cname(sdes.text);
    source->StoreCNAME(cname.c_str());
    // A remote source with a local SSRC and the local CNAME is our own
    // traffic come back by another path: a loop, not a collision.
    ZQMRTPSource* local = zqm::FindListedSource(sdes.ssrc, true);
    if (local != nullptr && cname == local->m_cname && local->TakeSSRCChangeRequest()) {
        ZQM_LOG(ZQF_LOG_INFO, "<--ZQMRTPStack--> ssrc 0x%x heard back with our own CNAME: a loop, not a collision",
                sdes.ssrc);
    }
}

void ZQMRTPStack::ApplyBye(const uint8_t* packet, size_t bytes)
{
    rtcp::Bye bye;
    if (!bye.Parse(packet, bytes)) {
        return;
    }
    ZQMRTPSource* source = zqm::FindListedSource(bye.ssrc, false);
    if (source != nullptr && source->m_ownerStack != nullptr) {
        source->m_ownerStack->RemoveSource(bye.ssrc);
    }
}

void ZQMRTPStack::ApplyFeedback(const uint8_t* packet, size_t bytes, uint8_t format, bool payloadSpecific)
{
    uint32_t sender = 0;
    if (!rtcp::ReadFeedbackSender(packet, bytes, &sender)) {
        return;
    }
    ZQMRTPSource* source = zqm::FindListedSource(sender, false);
    if (source == nullptr || !payloadSpecific || format != rtcp::Fir::kFormat) {
        return;
    }
    ZQMFIRCallback callback;
    {
        std::lock_guard<std::mutex> lock(m_firCallbackMutex);
        callback = m_firCallback;
    }
    if (m_ownerModule != nullptr && callback.callback != nullptr) {
        callback.callback(callback.context);
    }
}

void ZQMRTPStack::NotifyFractionLost(uint8_t percent)
{
    if (m_ownerModule == nullptr) {
        return;
    }
    ZQFPinIn* pin = m_ownerModule->GetInputPin(0);
    if (pin == nullptr) {
        return;
    }
    ZQFNotifyInfo info;
    info.code = NOTIFY_FRACTION_LOST;
    info.param = percent;
    info.sender = m_ownerModule;
    pin->PassReverseNotify(&info);
}
