// The packetisation of a sample: the RTP header in front of its payload, the
// datagram, and the sender report when one is due.
#include <cstdint>
#include <cstdlib>

#include "outputrtpstack/zqmoutputrtpstack.h"
#include "zqcclock.h"
#include "zqclockmng.h"
#include "zqcsocketaddress.h"
#include "zqfformat.h"
#include "zqfmediasample.h"
#include "zqmbyteio.h"
#include "zqmlog.h"
#include "zqmrtpheader.h"
#include "zqmrtpsocket.h"
#include "zqmrtpsource.h"

namespace {

const char* const kLogPath = "outputrtpstack\\zqmoutputrtpstack";

using StackLock = ZQCLockMng<ZQCCriticalSection>;

constexpr int kHeaderBytes = static_cast<int>(rtp::kFixedHeaderBytes);
constexpr size_t kTimestampOffset = 4;  // in the RTP fixed header
constexpr int kFecMainType = 7;
constexpr int64_t kSenderReportIntervalMs = 5000;

}  // namespace

bool ZQMOutputRTPStack::OnProcessMediaSample(ZQFMediaSample* sample, int)
{
    try {
        StackLock lock(m_stackLock, -1);
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
        // The sender-report timer starts with the first packet.
        if (m_lastReportTime.load(std::memory_order_relaxed) == 0) {
            m_lastReportTime.store(m_localSource->m_clock.GetElapsed(), std::memory_order_relaxed);
        }
        if (!SendPacket(packet, sample->m_PayloadLength + kHeaderBytes)) {
            return false;
        }
        SendSenderReportWhenDue(PacketClockMs());
        return true;
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR,
                "<--RTPStack-->OnProcessMediaSample failure error throwed while processing media Sample.");
        return false;
    }
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
    m_localSource->m_mediaType.store(static_cast<uint32_t>(GetMediaType(wirePayloadType)), std::memory_order_relaxed);

    const uint32_t ssrc = m_localSource->m_ssrc;
    if (type->GetMainType() == kFecMainType) {
        // The FEC module wrote its own header; only the payload type and
        // the SSRC are ours.
        rtp::WritePayloadTypeAndSsrc(header, wirePayloadType, ssrc);
    } else {
        rtp::WriteFixedHeader(header, format.marker != 0, wirePayloadType,
                              TakeSequenceNumber(format.sequenceNumber), format.timestamp, ssrc);
    }
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
    m_clockJustSet = false;
    if (rtpTimestamp != m_localSource->m_lastRtpTimestamp) {
        const auto mediaType = static_cast<int32_t>(m_localSource->m_mediaType.load(std::memory_order_relaxed));
        m_clockJustSetMs = ZQMRTPClock::ToMilliseconds(rtpTimestamp, mediaType);
        m_clockJustSet = m_localSource->m_clock.Resynchronise(m_clockJustSetMs);
    }
    m_localSource->m_lastRtpTimestamp = rtpTimestamp;
}

// Just resynchronised, the clock reads the media time it was set to (the
// same millisecond): one clock read per packet instead of two.
uint32_t ZQMOutputRTPStack::PacketClockMs()
{
    return m_clockJustSet ? m_clockJustSetMs : m_localSource->m_clock.GetElapsed();
}

void ZQMOutputRTPStack::RecordSentPacket(const uint8_t* packet)
{
    m_lastSentRtpTimestamp = BigEndian::Read32(packet + kTimestampOffset);
    m_lastSentMicroseconds = ZQCClock::GetMicroseconds();
}

// Recorded whether or not the datagram goes out (no destination, data
// disabled): the sender reports follow media time either way.
bool ZQMOutputRTPStack::SendPacket(const uint8_t* packet, int length)
{
    RecordSentPacket(packet);
    if (m_rtpDestination == nullptr || m_rtpSocket == nullptr || m_dataDisabled.load(std::memory_order_relaxed) != 0) {
        return true;
    }
    const int sent = m_rtpSocket->SendTo(packet, length, m_rtpDestination.get());
    if (sent < 0) {
        return false;
    }
    if (sent > 0) {
        const auto payloadBytes = static_cast<uint32_t>(sent - kHeaderBytes);
        m_localSource->m_packetCount.fetch_add(1, std::memory_order_relaxed);
        m_localSource->m_octetCount.fetch_add(payloadBytes, std::memory_order_relaxed);
        m_localSource->m_octets.fetch_add(payloadBytes, std::memory_order_relaxed);
        m_localSource->m_wireBytes.fetch_add(static_cast<uint32_t>(sent) + kIpUdpOverheadBytes,
                                             std::memory_order_relaxed);
    }
    return true;
}

void ZQMOutputRTPStack::SendSenderReportWhenDue(uint32_t now)
{
    if (m_outputRTCPSocket == nullptr) {
        ZQM_LOG(ZQF_LOG_INFO, "ZQMOutputRTPStack::OnProcessMediaSample >> Creation out rtcp socket");
        m_outputRTCPSocket = AcquireOutputRTCPSocket();
        if (m_outputRTCPSocket == nullptr) {
            ZQM_THROW("<--RTPStack-->ZQMOutputRTPStack::OnProcessMediaSample output rtcp socket creation failure.");
        }
    }
    const int64_t sinceLastReport =
        static_cast<int64_t>(now) - static_cast<int64_t>(m_lastReportTime.load(std::memory_order_relaxed));
    if (std::llabs(sinceLastReport) >= kSenderReportIntervalMs) {
        SendSenderReport(false);
        m_lastReportTime.store(now, std::memory_order_relaxed);
    }
}
