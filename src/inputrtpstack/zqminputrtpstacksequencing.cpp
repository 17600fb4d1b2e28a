// Sequencing of the packets of one source: probation of a new source, the
// reordering window ("jitter" in the log lines), resynchronisation after a
// jump, and delivery on the output pin with duplicate and loss detection.
// Sequence numbers follow each other modulo 65536 (rtpsequencenumbers.h).
// Nothing goes downstream twice or out of order: a packet at or behind the
// delivery point is recycled and counted as a duplicate or a late packet.
// Everything here runs under the stack lock, taken by the packet check.
#include "inputrtpstack/rtpsequencenumbers.h"
#include "inputrtpstack/zqminputrtpstack.h"
#include "inputrtpstack/zqminputrtpstackcommon.h"
#include "zqfmediasample.h"
#include "zqfmodule.h"
#include "zqfpin.h"
#include "zqmlog.h"
#include "zqmrtpsource.h"

namespace {

using zqm::NextSeq;
using zqm::input::kLogPath;

constexpr uint16_t kResyncPackets = 2;
constexpr uint16_t kNoFecYet = 65535;
// A packet at most this far behind the delivery point is late; further back
// it is a jump (the sender restarted), as RFC 3550's appendix A.1 has it.
constexpr int kMaxMisorder = 100;

int Signed(uint32_t ssrc) { return static_cast<int>(ssrc); }

}  // namespace

RTPCheckResult ZQMInputRTPStack::SequencePacket(ZQMRTPSource& source, uint16_t seq, ZQFMediaSample* sample, bool fec)
{
    // Without a window, and for forward-error-correction packets, nothing waits.
    if (m_rtpWindow == 0 || fec) {
        return DeliverSample(&source, seq, sample, fec) ? RTP_VALID_RTPDATAGRAM : RTP_INVALID_DELIVER_FAILED;
    }
    if (source.m_heldPackets.size() >= m_rtpWindow) {
        ZQM_LOG(ZQF_LOG_WARNING, "<--RTPStack-->[%d] ssrc [%d / 0x%x ] Jitter is full play all old packet .", LogPort(),
                Signed(source.m_ssrc), source.m_ssrc);
        ReleaseEarliestHeld(source);
    }
    if (source.m_probation != 0 && !PassProbation(source, seq, sample)) {
        return RTP_VALID_RTPDATAGRAM_VALIDATING;
    }
    ReleaseHeldSuccessors(source);
    if (seq == NextSeq(source.m_maxSeq)) {
        return DeliverSample(&source, seq, sample, false) ? RTP_VALID_RTPDATAGRAM : RTP_INVALID_DELIVER_FAILED;
    }
    if (IsBehindDeliveryPoint(source, seq)) {
        RecycleBehindDeliveryPoint(source, seq, sample);
        return RTP_VALID_RTPDATAGRAM;
    }
    const int ahead = zqm::SeqDistance(seq, source.m_maxSeq);
    if (ahead > 0 && ahead <= m_rtpWindow) {
        HoldPacket(source, seq, sample);
        return RTP_VALID_RTPDATAGRAM_BUFFERED;
    }
    return SequenceOutsideWindow(source, seq, sample);
}

// Already delivered (within the remembered span), or at most kMaxMisorder
// behind the delivery point: too late to go downstream in order.
bool ZQMInputRTPStack::IsBehindDeliveryPoint(const ZQMRTPSource& source, uint16_t seq) const
{
    const int ahead = zqm::SeqDistance(seq, source.m_maxSeq);
    return (ahead <= 0 && ahead >= -kMaxMisorder) || source.m_delivered.WasDelivered(seq, source.m_maxSeq);
}

void ZQMInputRTPStack::RecycleBehindDeliveryPoint(ZQMRTPSource& source, uint16_t seq, ZQFMediaSample* sample)
{
    if (seq == source.m_maxSeq || source.m_delivered.WasDelivered(seq, source.m_maxSeq)) {
        ZQM_LOG(ZQF_LOG_WARNING, "DeliverSample duplicate packet(same sequence number : %d), sample will be recycle",
                seq);
        source.m_duplicatePackets.fetch_add(1, std::memory_order_relaxed);
    } else {
        ZQM_LOG(ZQF_LOG_WARNING,
                "DeliverSample late packet (last seq num=%d cur seq num=%d), sample will be recycle",
                source.m_maxSeq, seq);
        source.m_latePackets.fetch_add(1, std::memory_order_relaxed);
    }
    sample->Recycle();
}

// A new source is accepted after two packets that each follow the one
// before; any other number starts the probation again from it.
bool ZQMInputRTPStack::PassProbation(ZQMRTPSource& source, uint16_t seq, ZQFMediaSample* sample)
{
    ZQM_LOG(ZQF_LOG_INFO,
            "<--RTPStack-->[%d] validating a new ssrc [%d / 0x%x ] lastBadSeqNum[%d] lastSeqNum[%d] "
            "CurrentSeqNum[%d] ",
            LogPort(), Signed(source.m_ssrc), source.m_ssrc, source.m_lastBadSeq, source.m_maxSeq, seq);
    if (seq == NextSeq(source.m_lastBadSeq)) {
        --source.m_probation;
    } else {
        source.Reset();
    }
    if (source.m_probation != 0) {
        HoldPacket(source, seq, sample);
        return false;
    }
    return true;
}

// A number already held keeps its first sample; the newcomer goes back to
// the pool at once, counted as a duplicate.
void ZQMInputRTPStack::HoldPacket(ZQMRTPSource& source, uint16_t seq, ZQFMediaSample* sample)
{
    if (!source.m_heldPackets.emplace(seq, sample).second) {
        source.m_duplicatePackets.fetch_add(1, std::memory_order_relaxed);
        sample->Recycle();
    }
    source.m_lastBadSeq = seq;
}

void ZQMInputRTPStack::ReleaseHeld(ZQMRTPSource& source, zqm::HeldPackets::iterator entry)
{
    const uint16_t seq = entry->first;
    ZQFMediaSample* sample = entry->second;
    source.m_heldPackets.erase(entry);
    if (!DeliverSample(&source, seq, sample, false)) {
        sample->Recycle();
    }
}

// The first packet ahead of the delivery point; when none is (only jump
// candidates are held), the earliest of those.
void ZQMInputRTPStack::ReleaseEarliestHeld(ZQMRTPSource& source)
{
    auto earliest = zqm::EarliestHeldAhead(source.m_heldPackets, source.m_maxSeq);
    if (earliest == source.m_heldPackets.end()) {
        earliest = zqm::EarliestHeld(source.m_heldPackets, source.m_maxSeq);
    }
    if (earliest != source.m_heldPackets.end()) {
        ReleaseHeld(source, earliest);
    }
}

void ZQMInputRTPStack::ReleaseHeldSuccessors(ZQMRTPSource& source)
{
    if (source.m_heldPackets.empty()) {
        return;
    }
    ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->[%d] ssrc [%d / 0x%x ] Packet ok (validate) , play jitter  .", LogPort(),
            Signed(source.m_ssrc), source.m_ssrc);
    for (auto next = source.m_heldPackets.find(NextSeq(source.m_maxSeq)); next != source.m_heldPackets.end();
         next = source.m_heldPackets.find(NextSeq(source.m_maxSeq))) {
        ReleaseHeld(source, next);
    }
}

// Everything held: first what the window holds ahead of the delivery point,
// in order, then the rest (the packets of the jump) in sequence order as
// seen from there.
void ZQMInputRTPStack::ReleaseAllHeld(ZQMRTPSource& source)
{
    for (auto ahead = zqm::EarliestHeldAhead(source.m_heldPackets, source.m_maxSeq);
         ahead != source.m_heldPackets.end() && zqm::SeqDistance(ahead->first, source.m_maxSeq) <= m_rtpWindow;
         ahead = zqm::EarliestHeldAhead(source.m_heldPackets, source.m_maxSeq)) {
        ReleaseHeld(source, ahead);
    }
    const uint16_t from = source.m_maxSeq;
    while (!source.m_heldPackets.empty()) {
        ReleaseHeld(source, zqm::EarliestHeld(source.m_heldPackets, from));
    }
}

// A jump beyond the window is accepted after three consecutive packets: the
// first sets the resync count to 2, each follower brings it down, and at 0
// everything held goes out, the current packet last.
RTPCheckResult ZQMInputRTPStack::SequenceOutsideWindow(ZQMRTPSource& source, uint16_t seq, ZQFMediaSample* sample)
{
    if (source.m_resyncCount == 0) {
        source.m_resyncCount = kResyncPackets;
        HoldPacket(source, seq, sample);
        ZQM_LOG(ZQF_LOG_INFO,
                "<--RTPStack-->[%d]  ssrc [%d / 0x%x ] RTP_VALID_RTPDATAGRAM_SYNCHRONISING Resynchronising source.",
                LogPort(), Signed(source.m_ssrc), source.m_ssrc);
        return RTP_VALID_RTPDATAGRAM_SYNCHRONISING;
    }
    if (seq == NextSeq(source.m_lastBadSeq)) {
        --source.m_resyncCount;
    } else {
        source.m_resyncCount = kResyncPackets;
    }
    if (source.m_resyncCount != 0) {
        HoldPacket(source, seq, sample);
        ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->[%d]  ssrc [%d / 0x%x ] RTP_INVALID_DELIVER_FAILED ", LogPort(),
                Signed(source.m_ssrc), source.m_ssrc);
        return RTP_VALID_RTPDATAGRAM_SYNCHRONISING;
    }
    ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->[%d] ssrc [%d / 0x%x ] Packet ok (synchro), play jitter  .", LogPort(),
            Signed(source.m_ssrc), source.m_ssrc);
    ReleaseAllHeld(source);
    if (DeliverSample(&source, seq, sample, false)) {
        return RTP_VALID_RTPDATAGRAM;
    }
    ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->[%d] ssrc [%d / 0x%x ] RTP_INVALID_DELIVER_FAILED ", LogPort(),
            Signed(source.m_ssrc), source.m_ssrc);
    return RTP_INVALID_DELIVER_FAILED;
}

bool ZQMInputRTPStack::DeliverSample(ZQMRTPSource* source, uint16_t seq, ZQFMediaSample* sample, bool fec)
{
    ZQFPinOut* pin = m_ownerModule != nullptr ? m_ownerModule->GetOutputPin(0) : nullptr;
    if (!fec) {
        if (IsBehindDeliveryPoint(*source, seq)) {
            RecycleBehindDeliveryPoint(*source, seq, sample);
            return true;
        }
        if (seq != NextSeq(source->m_maxSeq)) {
            ZQM_LOG(ZQF_LOG_WARNING, "DeliverSample packet loss (last seq num=%d cur seq num=%d)", source->m_maxSeq,
                    seq);
        }
        source->m_delivered.Advance(source->m_maxSeq, seq);
        source->m_maxSeq = seq;
    } else {
        if (seq == source->m_lastFecSeq) {
            ZQM_LOG(ZQF_LOG_WARNING,
                    "DeliverSample duplicate FEC packet(same sequence number : %d), sample will be recycle", seq);
            sample->Recycle();
            return true;
        }
        if (seq != NextSeq(source->m_lastFecSeq) && source->m_lastFecSeq != kNoFecYet) {
            ZQM_LOG(ZQF_LOG_WARNING, "DeliverSample FEC packet loss (last seq num=%d cur seq num=%d)",
                    source->m_lastFecSeq, seq);
        }
        source->m_lastFecSeq = seq;
    }
    if (pin == nullptr) {
        ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->[%d] Output pin not found, recycling sample.", LogPort());
        return false;
    }
    if (pin->Deliver(sample)) {
        return true;
    }
    ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->[%d] ******Failed to deliver sample (sequenceNumber : %d)******", LogPort(),
            seq);
    return false;
}
