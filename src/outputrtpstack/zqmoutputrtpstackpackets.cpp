// The packetisation of a sample: the RTP header in front of its payload, the
// datagram, and the sender report when one is due.
#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "outputrtpstack/zqmoutputrtpstack.h"
#include "zqcclock.h"
#include "zqclockmng.h"
#include "zqcsocketaddress.h"
#include "zqfformat.h"
#include "zqfmediasample.h"
#include "zqmbyteio.h"
#include "zqmlog.h"
#include "zqmrtpheader.h"
#include "zqmrtpmediatypes.h"
#include "zqmrtpsocket.h"
#include "zqmrtpsource.h"

namespace {

const char* const kLogPath = "outputrtpstack\\zqmoutputrtpstack";

using StackLock = ZQCLockMng<ZQCCriticalSection>;

constexpr int kHeaderBytes = static_cast<int>(rtp::kFixedHeaderBytes);
constexpr size_t kTimestampOffset = 4;  // in the RTP fixed header
constexpr int kFecMainType = 7;
constexpr int64_t kSenderReportIntervalMs = 5000;
constexpr uint32_t kMsPerSecond = 1000;

// Media time in ms of an RTP timestamp, at the payload's clock rate (the
// other class included: its timestamps count ms). Modulo 2^32 / rate-per-ms,
// as the timestamps wrap.
uint32_t MediaTimeMs(uint32_t rtpTimestamp, int32_t mediaType)
{
    const uint32_t unitsPerMs = std::max<uint32_t>(1, zqm::RtpClockRateHz(mediaType) / kMsPerSecond);
    return rtpTimestamp / unitsPerMs;
}

}  // namespace

bool ZQMOutputRTPStack::OnProcessMediaSample(ZQFMediaSample* sample, int)
{
    try {
        StackLock lock(m_stackLock, -1);
        if (!m_started) {
            return RefuseSampleWhileStopped();
        }
        // A remote source took our SSRC: leave it before the next packet.
        if (m_localSource != nullptr && m_localSource->IsSSRCChangeRequested() &&
            m_localSource->TakeSSRCChangeRequest()) {
            ChangeSSRC();
        }
        uint8_t* packet = AddRTPHeader(sample);
        if (packet == nullptr) {
            ZQM_THROW("<--RTPStack-->OnProcessMediaSample failure add rtp header failure.");
        }
        if (!m_localSource->CanSendPacket()) {
            ZQM_LOG(ZQF_LOG_ERROR, "ZQMOutputRTPStack::OnProcessMediaSample CanSendPacket sz[%d]",
                    sample->m_PayloadLength);
            return true;
        }
        // Recorded whether or not the datagram goes out (no destination,
        // data disabled): the sender reports follow media time either way.
        if (!IsFecSample(sample)) {
            RecordSentPacket(packet);
        }
        const int capacity = static_cast<int>(sample->GetBufferSize() - (packet - sample->GetDataBuffer()));
        if (!SendPacket(packet, sample->m_PayloadLength + kHeaderBytes, capacity)) {
            return false;
        }
        // Read after the send and any simulated delay: the time the packet
        // actually left.
        SendSenderReportWhenDue(m_localSource->m_clock.GetElapsed());
        return true;
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR,
                "<--RTPStack-->OnProcessMediaSample failure error throwed while processing media Sample.");
        return false;
    }
}

// Before OnStart or after Cleanup there is nothing to send with, and
// nothing may be opened: a socket acquired now would outlive the run.
bool ZQMOutputRTPStack::RefuseSampleWhileStopped()
{
    if (!m_refusalWhileStoppedLogged) {
        m_refusalWhileStoppedLogged = true;
        ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->OnProcessMediaSample: output rtp stack not started, sample refused.");
    }
    return false;
}

uint8_t* ZQMOutputRTPStack::PacketStart(ZQFMediaSample* sample)
{
    if (sample == nullptr || sample->GetDataBuffer() == nullptr) {
        return nullptr;
    }
    const int64_t offset = sample->GetDataWriteOffset(0);
    const int64_t payloadBytes = sample->m_PayloadLength;
    if (offset < 0 || payloadBytes < 0 || offset + kHeaderBytes + payloadBytes > sample->GetBufferSize()) {
        return nullptr;
    }
    return sample->GetDataBuffer() + offset;
}

bool ZQMOutputRTPStack::IsFecSample(ZQFMediaSample* sample)
{
    const ZQFMediaType* type = sample != nullptr ? sample->GetMediaType() : nullptr;
    return type != nullptr && type->GetMainType() == kFecMainType;
}

uint8_t* ZQMOutputRTPStack::AddRTPHeader(ZQFMediaSample* sample)
{
    uint8_t* header = PacketStart(sample);
    if (header == nullptr || m_localSource == nullptr) {
        return nullptr;
    }
    const ZQFMediaType* type = sample->GetMediaType();
    if (type == nullptr) {
        ZQM_THROW("<--RTPStack-->Failed to get media format.");
    }
    const int8_t payloadType = GetPayloadType(type->GetSubType());
    if (payloadType == -1) {
        ZQM_THROW("<--RTPStack-->payload type not found for rtp header creation.");
    }
    const ZQFFormatBuffer* formatBuffer = sample->GetFormatBuffer();
    if (formatBuffer == nullptr) {
        ZQM_THROW("<--RTPStack-->Failed to get format buffer.");
    }
    if (formatBuffer->GetKind() != NKRMultiplexedPacketFormat::kKind) {
        ZQM_THROW("<--RTPStack-->Unsupported format buffer for rtp header creation.");
    }
    const auto& format = static_cast<const NKRMultiplexedPacketFormat&>(*formatBuffer);
    const auto wirePayloadType = static_cast<uint8_t>(payloadType);
    const int32_t mediaType = GetMediaType(wirePayloadType);
    m_localSource->m_mediaType.store(static_cast<uint32_t>(mediaType), std::memory_order_relaxed);

    const uint32_t ssrc = m_localSource->m_ssrc;
    if (IsFecSample(sample)) {
        // The FEC module wrote its own header; only the payload type and
        // the SSRC are ours. Its timestamp does not move the media clock.
        rtp::WritePayloadTypeAndSsrc(header, wirePayloadType, ssrc);
        return header;
    }
    rtp::WriteFixedHeader(header, format.marker != 0, wirePayloadType, TakeSequenceNumber(format.sequenceNumber),
                          format.timestamp, ssrc);
    m_reportMediaType = mediaType;
    FollowMediaClock(format.timestamp);
    return header;
}

uint16_t ZQMOutputRTPStack::TakeSequenceNumber(uint16_t formatSequenceNumber)
{
    if (m_autoSequenceNumbers.load(std::memory_order_relaxed) != 0) {
        return m_nextSequenceNumber.fetch_add(1, std::memory_order_relaxed);
    }
    // Numbering switched back on goes on from here (this number once more).
    m_nextSequenceNumber.store(formatSequenceNumber, std::memory_order_relaxed);
    return formatSequenceNumber;
}

void ZQMOutputRTPStack::FollowMediaClock(uint32_t rtpTimestamp)
{
    if (rtpTimestamp != m_localSource->m_lastRtpTimestamp) {
        m_localSource->m_clock.Resynchronise(MediaTimeMs(rtpTimestamp, m_reportMediaType));
    }
    m_localSource->m_lastRtpTimestamp = rtpTimestamp;
}

void ZQMOutputRTPStack::RecordSentPacket(const uint8_t* packet)
{
    m_lastSentRtpTimestamp = BigEndian::Read32(packet + kTimestampOffset);
    m_lastSentMicroseconds = ZQCClock::GetMicroseconds();
}

// With SRTP on, the packet is encrypted and authenticated in place: the
// sample is not read again after this.
bool ZQMOutputRTPStack::SendPacket(uint8_t* packet, int length, int capacity)
{
    if (m_rtpDestination == nullptr || m_rtpSocket == nullptr || m_dataDisabled.load(std::memory_order_relaxed) != 0) {
        return true;
    }
    const int wireLength = m_srtp.IsOn() ? m_srtp.ProtectRtp(packet, length, capacity) : length;
    if (wireLength < 0) {
        return false;  // the refusal is logged
    }
    const int sent = m_rtpSocket->SendTo(packet, wireLength, m_rtpDestination.get());
    if (sent == ZQCSocket::kPeerUnreachable) {
        m_localSource->m_unreachableSends.fetch_add(1, std::memory_order_relaxed);
        LogReachabilityChange(m_rtpReachability, m_rtpReachability.NoteUnreachable(), "RTP", *m_rtpDestination);
        CountSentPacket(length, wireLength);
        return true;
    }
    if (sent < 0) {
        LogPacketSendFailure(errno);
        return false;
    }
    LogReachabilityChange(m_rtpReachability, m_rtpReachability.NoteDelivered(), "RTP", *m_rtpDestination);
    if (sent > 0) {
        CountSentPacket(length, sent);
    }
    return true;
}

// The sender report counts payload octets as the application gave them; the
// bit rate on the wire counts the datagram with its SRTP trailer.
void ZQMOutputRTPStack::CountSentPacket(int plainBytes, int datagramBytes)
{
    const auto payloadBytes = static_cast<uint32_t>(plainBytes - kHeaderBytes);
    m_localSource->m_packetCount.fetch_add(1, std::memory_order_relaxed);
    m_localSource->m_octetCount.fetch_add(payloadBytes, std::memory_order_relaxed);
    m_localSource->m_octets.fetch_add(payloadBytes, std::memory_order_relaxed);
    m_localSource->m_wireBytes.fetch_add(static_cast<uint32_t>(datagramBytes) + kIpUdpOverheadBytes,
                                         std::memory_order_relaxed);
}

void ZQMOutputRTPStack::LogReachabilityChange(ZQMSendReachability& reachability, ZQMSendReachability::Change change,
                                              const char* what, const ZQCSocketAddress& destination)
{
    if (change == ZQMSendReachability::Change::BecameUnreachable) {
        ZQM_LOG(ZQF_LOG_WARNING,
                "<--RTPStack-->%s peer %s:%s unreachable (ICMP error): its packets are counted as sent until it "
                "takes them",
                what, destination.GetAddress(), destination.GetPort());
    } else if (change == ZQMSendReachability::Change::BecameReachable) {
        ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->%s peer %s:%s reachable again after %u unreachable sends", what,
                destination.GetAddress(), destination.GetPort(), reachability.UnreachableInRow());
        reachability.ForgetUnreachableRun();
    }
}

// One line for the first refusal of a run of failures, and for each change
// of reason: a full send buffer refuses every packet of a burst.
void ZQMOutputRTPStack::LogPacketSendFailure(int error)
{
    if (m_rtpReachability.NoteFailure(error)) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->OnProcessMediaSample failure: sending to %s:%s failed (%s), sample refused.",
                m_rtpDestination->GetAddress(), m_rtpDestination->GetPort(), std::strerror(error));
    }
}

void ZQMOutputRTPStack::SendSenderReportWhenDue(uint32_t now)
{
    if (m_outputRTCPSocket == nullptr && !IsRTCPMuxRun()) {
        ZQM_LOG(ZQF_LOG_INFO, "ZQMOutputRTPStack::OnProcessMediaSample >> Creation out rtcp socket");
        m_outputRTCPSocket = AcquireOutputRTCPSocket();
        if (m_outputRTCPSocket == nullptr) {
            ZQM_THROW("<--RTPStack-->ZQMOutputRTPStack::OnProcessMediaSample output rtcp socket creation failure.");
        }
    }
    // The timer starts with the first packet of a run.
    if (!m_reportTimerStarted) {
        m_reportTimerStarted = true;
        m_lastReportTime.store(now, std::memory_order_relaxed);
        return;
    }
    const int64_t sinceLastReport =
        static_cast<int64_t>(now) - static_cast<int64_t>(m_lastReportTime.load(std::memory_order_relaxed));
    if (std::llabs(sinceLastReport) >= kSenderReportIntervalMs) {
        SendSenderReport(false);
        m_lastReportTime.store(now, std::memory_order_relaxed);
    }
}
