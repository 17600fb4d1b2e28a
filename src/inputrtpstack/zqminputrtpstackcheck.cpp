// The packet check of every received datagram: header validation, the
// sample's labels, the source for the SSRC, its arrival statistics, then the
// sequencing.
#include <algorithm>
#include <cstdint>
#include <new>

#include "inputrtpstack/rtpdatagramcheck.h"
#include "inputrtpstack/rtpreceptionstatistics.h"
#include "inputrtpstack/zqminputrtpstack.h"
#include "inputrtpstack/zqminputrtpstackcommon.h"
#include "zqcclock.h"
#include "zqfformat.h"
#include "zqfmediasample.h"
#include "zqmlog.h"
#include "zqmpacketfaultthrottle.h"
#include "zqmrtpmediatypes.h"
#include "zqmrtpsocket.h"
#include "zqmrtpsource.h"

namespace {

using zqm::PacketFault;
using zqm::PacketFaultThrottle;
using zqm::input::kLogPath;
using zqm::input::StackLock;

constexpr int kFecMainType = 7;
// What a packet costs on the wire besides its payload: IP, UDP, RTP header.
constexpr uint32_t kPacketOverheadBytes = 20 + 8 + 12;

struct FaultInfo {
    RTPCheckResult result;
    PacketFault throttle;
    const char* failureLine;  // OnProcessMediaSample's line for the fault
};

constexpr FaultInfo kFaults[] = {
    {RTP_INVALID_VERSION, PacketFault::Version,
     "<--RTPStack-->[%d] OnProcessMediaSample failure in input stack : wrong version in rtp header."},
    {RTP_INVALID_EXTENSION, PacketFault::Extension,
     "<--RTPStack-->[%d] OnProcessMediaSample failure in input stack : wrong extension in rtp header."},
    {RTP_INVALID_PAYLOAD_TYPE, PacketFault::PayloadType,
     "<--RTPStack-->[%d] OnProcessMediaSample failure in input stack : invalid payload type."},
    {RTP_INVALID_SOURCE_DISCARDED, PacketFault::Discarded,
     "<--RTPStack-->[%d] OnProcessMediaSample failure in input stack : source discarded."},
    {RTP_INVALID_DELIVER_FAILED, PacketFault::DeliverFailed,
     "<--RTPStack-->[%d] OnProcessMediaSample failure in input stack : failed to deliver sample"},
    {RTP_INVALID_HEADER_LENGTH, PacketFault::HeaderLength,
     "<--RTPStack-->[%d] OnProcessMediaSample failure in input stack : rtp datagram shorter than its header."},
    {RTP_INVALID_PADDING, PacketFault::Padding,
     "<--RTPStack-->[%d] OnProcessMediaSample failure in input stack : invalid padding in rtp packet."},
};

const FaultInfo* FindFault(RTPCheckResult result)
{
    for (const FaultInfo& fault : kFaults) {
        if (fault.result == result) {
            return &fault;
        }
    }
    return nullptr;
}

RTPCheckResult ResultOf(rtp::DatagramFault fault)
{
    switch (fault) {
    case rtp::DatagramFault::Version:
        return RTP_INVALID_VERSION;
    case rtp::DatagramFault::Extension:
        return RTP_INVALID_EXTENSION;
    case rtp::DatagramFault::HeaderLength:
        return RTP_INVALID_HEADER_LENGTH;
    case rtp::DatagramFault::Padding:
        return RTP_INVALID_PADDING;
    case rtp::DatagramFault::PayloadType:
        return RTP_INVALID_PAYLOAD_TYPE;
    case rtp::DatagramFault::None:
        break;
    }
    return RTP_VALID_RTPDATAGRAM;
}

// The check's own line for a refused header goes out with the failure line
// of the same packet, so a flood writes both once per ten packets.
void LogHeaderFault(int port, const rtp::ReceivedDatagram& datagram, size_t size)
{
    const RTPCheckResult result = ResultOf(datagram.fault);
    const FaultInfo* fault = FindFault(result);
    if (fault == nullptr || !PacketFaultThrottle::IsDue(fault->throttle)) {
        return;
    }
    const rtp::FixedHeader& header = datagram.header;
    switch (datagram.fault) {
    case rtp::DatagramFault::Version:
        ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->[%d] Invalid rtp header version [%d]", port, header.version);
        break;
    case rtp::DatagramFault::Extension:
        ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->[%d] Invalid rtp extension [%d]", port, header.extension ? 1 : 0);
        break;
    case rtp::DatagramFault::PayloadType:
        ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->[%d] Invalid rtp header payloadType [%d]", port, header.payloadType);
        break;
    case rtp::DatagramFault::HeaderLength:
        ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->[%d] Invalid rtp datagram length [%d] for csrc count [%d]", port,
                static_cast<int>(size), header.csrcCount);
        break;
    case rtp::DatagramFault::Padding:
        ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->[%d] Invalid rtp padding for datagram length [%d]", port,
                static_cast<int>(size));
        break;
    case rtp::DatagramFault::None:
        break;
    }
}

// The datagram's bytes as the receiving loop left them: a 12-byte header
// and the payload length, never beyond the sample's buffer.
size_t DatagramBytes(const ZQFMediaSample& sample)
{
    const int64_t bytes = static_cast<int64_t>(ZQFMediaSample::kPacketHeaderBytes) + sample.m_PayloadLength;
    if (bytes <= 0) {
        return 0;
    }
    return static_cast<size_t>(std::min<int64_t>(bytes, sample.GetBufferSize()));
}

// Arrival statistics of a source: counters, the source clock that follows
// the media timestamps (lip sync reads it), the sequence bookkeeping and the
// interarrival jitter of RFC 3550 (A.1, A.8).
void CountArrival(ZQMRTPSource& source, int32_t mediaType, uint32_t payloadBytes, const rtp::FixedHeader& header,
                  uint64_t arrivalMicroseconds)
{
    source.m_mediaType.store(static_cast<uint32_t>(mediaType), std::memory_order_relaxed);
    source.m_octets.fetch_add(payloadBytes, std::memory_order_relaxed);
    source.m_wireBytes.fetch_add(payloadBytes + kPacketOverheadBytes, std::memory_order_relaxed);
    if (header.timestamp != source.m_lastRtpTimestamp) {
        source.m_clock.Resynchronise(ZQMRTPClock::ToMilliseconds(header.timestamp, mediaType));
    }
    source.m_lastRtpTimestamp = header.timestamp;
    zqm::UpdateSequence(source.m_reception, header.sequenceNumber);
    source.m_reception.published.AddPayloadOctets(payloadBytes);
    source.m_cumulativeLost.store(zqm::CumulativeLost(source.m_reception), std::memory_order_relaxed);
    zqm::JitterEstimate& jitter = source.m_jitterEstimate;
    zqm::UpdateInterarrivalJitter(jitter, arrivalMicroseconds, header.timestamp, zqm::RtpClockRateHz(mediaType));
    source.m_jitter.store(jitter.jitterUnits, std::memory_order_relaxed);
    source.m_jitterMs.store(zqm::JitterMs(jitter), std::memory_order_relaxed);
}

}  // namespace

bool ZQMInputRTPStack::OnProcessMediaSample(ZQFMediaSample* sample, int)
{
    try {
        const RTPCheckResult result = CheckRTPDatagram(sample);
        if (IsPacketHandled(result)) {
            return true;
        }
        if (result == RTP_INVALID_NO_SOURCE) {
            ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->[%d] OnProcessMediaSample failure in input stack : error throwed.",
                    LogPort());
            return false;
        }
        const FaultInfo* fault = FindFault(result);
        if (fault != nullptr && PacketFaultThrottle::TakeTurn(fault->throttle)) {
            ZQM_LOG(ZQF_LOG_WARNING, fault->failureLine, LogPort());
        }
        return false;
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] Error throwed while processing media sample", LogPort());
        return false;
    }
}

RTPCheckResult ZQMInputRTPStack::CheckRTPDatagram(ZQFMediaSample* sample)
{
    static const NKRMultiplexedPacketFormat kEmptyFormat;

    const uint64_t arrivalMicroseconds = m_datagramArrival != 0 ? ZQCClock::MicrosecondsAtWallClock(m_datagramArrival)
                                                                : ZQCClock::GetMicroseconds();
    const size_t size = DatagramBytes(*sample);
    const rtp::ReceivedDatagram datagram = rtp::CheckReceivedDatagram(sample->GetDataBuffer(), size);
    const rtp::FixedHeader& header = datagram.header;
    if (datagram.fault != rtp::DatagramFault::HeaderLength || size >= rtp::kFixedHeaderBytes) {
        sample->SetDataReadOffset(static_cast<int>(header.PayloadOffset()));
    }
    auto* format = static_cast<NKRMultiplexedPacketFormat*>(sample->AllocFormatBuffer(kEmptyFormat, false));
    if (format == nullptr) {
        ZQM_THROW("<--RTPStack-->CheckRTPDatagram failure: no packet format.");
    }
    if (datagram.fault != rtp::DatagramFault::None) {
        LogHeaderFault(LogPort(), datagram, size);
        return ResultOf(datagram.fault);
    }
    sample->m_PayloadLength -= static_cast<int>(datagram.paddingBytes);
    format->marker = header.marker ? 1 : 0;

    // The payload-type table is read under the stack lock.
    StackLock lock(m_stackLock, -1);
    const int32_t mediaType = GetMediaType(header.payloadType);
    const int mainType = zqm::PacketMainType(mediaType);
    sample->GetMediaType()->SetMainType(mainType);
    sample->GetMediaType()->SetSubType(mediaType);
    format->timestamp = header.timestamp;
    format->sequenceNumber = header.sequenceNumber;

    bool created = false;
    ZQMRTPSource* source = FindOrCreateSource(header.ssrc, header.sequenceNumber, &created);
    if (source == nullptr) {
        ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->[%d] ssrc [%d / 0x%x ] not found ! ", LogPort(),
                static_cast<int>(header.ssrc), header.ssrc);
        return RTP_INVALID_NO_SOURCE;
    }
    if (!created && !m_datagramOrigin.IsEmpty()) {
        const zqm::Endpoint origin = zqm::Endpoint::Of(m_datagramOrigin);
        if (!source->ComesFrom(origin)) {
            source->OnTransportChange(origin);
        }
    }
    const bool fec = mainType == kFecMainType;
    if (!fec) {
        CountArrival(*source, mediaType, static_cast<uint32_t>(sample->m_PayloadLength), header,
                     arrivalMicroseconds);
    }
    // With a reordering window a new source's first packet waits for its
    // probation.
    if (created && m_rtpWindow != 0) {
        HoldPacket(*source, header.sequenceNumber, sample);
        source->m_maxSeq = static_cast<uint16_t>(header.sequenceNumber - 1);
        return RTP_VALID_RTPDATAGRAM_VALIDATING;
    }
    if (source->m_discard.load()) {
        if (PacketFaultThrottle::IsDue(PacketFault::Discarded)) {
            ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->[%d] ssrc [%d / 0x%x ] maked discard  ! ", LogPort(),
                    static_cast<int>(header.ssrc), header.ssrc);
        }
        return RTP_INVALID_SOURCE_DISCARDED;
    }
    format->ssrc = header.ssrc;
    return SequencePacket(*source, header.sequenceNumber, sample, fec);
}

// A new SSRC replaces every source known so far (in practice there is one):
// their held samples go back to the pool. `created` tells a new source.
ZQMRTPSource* ZQMInputRTPStack::FindOrCreateSource(uint32_t ssrc, uint16_t seq, bool* created)
{
    if (const auto found = m_sources.find(ssrc); found != m_sources.end()) {
        return found->second;
    }
    ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->[%d] New ssrc [%d / 0x%x ] seqnum[%d]", LogPort(), static_cast<int>(ssrc),
            ssrc, seq);
    ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->[%d] List of ssrc nb element[%d]", LogPort(),
            static_cast<int>(m_sources.size()));
    ForgetSources();

    const zqm::Endpoint origin = zqm::Endpoint::Of(m_datagramOrigin);
    ZQMRTPSource* source = nullptr;
    try {
        source = new ZQMRTPSource(this, ssrc, seq, false, origin.IsNone() ? nullptr : &origin);
        m_sources.emplace(ssrc, source);
    } catch (const std::bad_alloc&) {
        delete source;
        return nullptr;
    }
    *created = true;
    return source;
}

void ZQMInputRTPStack::ForgetSources()
{
    for (auto& [ssrc, source] : m_sources) {
        if (source == nullptr) {
            continue;
        }
        for (auto& [seq, sample] : source->m_heldPackets) {
            sample->Recycle();
        }
        source->m_heldPackets.clear();
        delete source;
    }
    m_sources.clear();
}
