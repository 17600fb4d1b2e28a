#pragma once
// One RTP synchronisation source: a stack's own (local) source or a remote
// one heard by a receiving stack. Every source of the process is listed by
// SSRC in one of two process-wide lists, the local list and the remote
// list; RTCP processing and the statistics find sources only through them.
#include <atomic>
#include <cstdint>
#include <map>
#include <memory_resource>

#include "inputrtpstack/rtpreceptionstatistics.h"
#include "inputrtpstack/rtpsequencenumbers.h"
#include "zqccriticalsection.h"
#include "zqclockmng.h"
#include "zqmatomicendpoint.h"
#include "zqmendpoint.h"
#include "zqmrtpclock.h"

class ZQFMediaSample;
class ZQMRTPStack;
class ZQMRTPSource;

using ZQMRTPSourceList = std::map<uint32_t, ZQMRTPSource*>;

// Fields are public: the record is shared state of the stacks, RTCP
// processing and the statistics. Fields that a stack writes under its own
// lock while others read them under the list locks (or the reverse) are
// atomics; the sequence state belongs to the receiving stack alone.
class ZQMRTPSource {
public:
    static constexpr int kCNAMESize = 256;

    // `origin`, for a remote source, is where its first packet came from:
    // a remote source that a local source of this process sent (its own
    // traffic heard back) is no collision.
    ZQMRTPSource(ZQMRTPStack* owner, uint32_t ssrc, uint16_t seq, bool local, const zqm::Endpoint* origin = nullptr);
    virtual ~ZQMRTPSource();
    ZQMRTPSource(const ZQMRTPSource&) = delete;
    ZQMRTPSource& operator=(const ZQMRTPSource&) = delete;

    // Back to the state of a source that has just been heard of (sequence
    // state, counters, loss figures, time-out).
    void Reset();

    // Sending side, once per packet: the loss and delay simulation. False
    // drops the packet; a delay sleeps on the caller's thread.
    bool CanSendPacket();

    // Copies a CNAME in (cut to 255 characters) under the list locks, which
    // is where RTCP and the statistics read it.
    void StoreCNAME(const char* cname);

    // A remote source with this local source's SSRC appeared (or this new
    // local source found a remote one with its SSRC): its stack must change
    // the SSRC. The flag is raised under the list locks and taken by the
    // owning stack on its sending path, outside them.
    void RequestSSRCChange() { m_ssrcChangeRequested.store(true, std::memory_order_relaxed); }
    bool TakeSSRCChangeRequest() { return m_ssrcChangeRequested.exchange(false, std::memory_order_relaxed); }
    bool IsSSRCChangeRequested() const { return m_ssrcChangeRequested.load(std::memory_order_relaxed); }

    // Local sources: the address and port their stack sends RTP from, set
    // when the stack opens its socket (none until then).
    void SetSendingTransport(const zqm::Endpoint& from);
    bool SendsFrom(const zqm::Endpoint& origin) const;

    // Remote sources: where their packets come from (none: unknown).
    // A known SSRC heard from another transport may be a third party that
    // took it, or one of our own SSRCs replayed (RFC 3550, 8.2): raises the
    // local source's change request when this process sends that SSRC from
    // elsewhere. Stack lock held; takes the list locks.
    bool ComesFrom(const zqm::Endpoint& origin) const { return m_origin == origin; }
    void OnTransportChange(const zqm::Endpoint& origin);

    // Statistics and simulation over the process-wide lists. Each takes both
    // list locks and acts on the source with that SSRC in the list `local`
    // names; false or 0 when there is none.
    static bool GetSimulatePacketLoss(uint32_t ssrc, bool local);
    static uint32_t GetPacketLossPercent(uint32_t ssrc, bool local);
    static bool SetSimulatePacketLoss(uint32_t ssrc, bool local, bool on);
    static bool SetPacketLossPercent(uint32_t ssrc, bool local, uint32_t percent);
    static bool SetGenerateJitter(uint32_t ssrc, bool local, bool on);
    static bool SetMaxJitter(uint32_t ssrc, bool local, uint32_t maxJitterMs);
    static bool GetGenerateJitter(uint32_t ssrc, bool local);
    static uint32_t GetMaxJitter(uint32_t ssrc, bool local);

    // The index-th source: the local list, then the remote list, each in
    // ascending SSRC order.
    static bool GetSourceAt(int index, uint32_t* ssrc, bool* local);
    // The source's CNAME, or an empty text; valid while the source lives.
    static const char* GetSourceCNAME(uint32_t ssrc, bool local);
    // Bit rates (recomputed at most once a second), counters, jitter in ms.
    // Null out-parameters are skipped.
    static bool GetStatistics(uint32_t ssrc, bool local, uint32_t* payloadBitRate, uint32_t* wireBitRate,
                              uint32_t* packetCount, uint32_t* octetCount, uint32_t* fractionLostPercent,
                              uint32_t* cumulativeLost, float* jitterMs, uint32_t* rrCount,
                              uint32_t* roundTripTimeMs);

    uint32_t m_ssrc;                 // host order
    bool m_local;
    uint16_t m_probation;            // sequential packets still needed before the source is valid
    uint16_t m_maxSeq;               // delivery point: the last sequence number handed downstream
    uint16_t m_lastFecSeq;           // last FEC packet's sequence number
    uint16_t m_lastBadSeq;           // last packet held back
    uint16_t m_resyncCount;          // packets still needed to resynchronise after a jump
    // The reordering window's nodes come from the source's own pool: once the
    // window has been full once, holding a packet allocates nothing.
    std::pmr::unsynchronized_pool_resource m_heldNodes;
    std::pmr::map<uint16_t, ZQFMediaSample*> m_heldPackets{&m_heldNodes};  // the stack recycles them
    ZQMRTPStack* m_ownerStack;
    std::atomic<bool> m_discard;     // timed out: its packets are refused
    char m_cname[kCNAMESize];
    ZQMRTPClock m_clock;
    std::atomic<uint32_t> m_mediaType;       // identifier of the current packets
    uint32_t m_timeoutCount;                 // report intervals left without packets
    std::atomic<uint32_t> m_packetCount;     // local: sent; remote: from the last SR
    std::atomic<uint32_t> m_octetCount;      // local: payload sent; remote: from the last SR
    std::atomic<uint8_t> m_fractionLost;     // percent
    std::atomic<int32_t> m_cumulativeLost;   // signed 24-bit range; a peer may report -1
    std::atomic<uint32_t> m_extendedHighestSeq;
    std::atomic<float> m_jitter;             // RTP units (local: as a peer reported it)
    std::atomic<float> m_jitterMs;           // remote: the estimate in ms
    std::atomic<uint32_t> m_lsr;             // local: the LSR a peer's receiver report echoed
    // Remote: the last sender report heard, LSR and arrival packed in one
    // word (zqm::SenderReportReception) so that they are read together.
    std::atomic<uint64_t> m_lastSenderReport;
    std::atomic<uint32_t> m_refusedRoundTrips;  // receiver reports whose LSR/DLSR gave no valid round trip
    std::atomic<uint32_t> m_dlsr;            // 1/65536 s
    std::atomic<uint32_t> m_roundTripTime;   // ms
    // Remote sources, receiving thread under the stack lock: the sequence
    // bookkeeping and jitter estimate the reports are made of, and which
    // recent numbers went downstream.
    zqm::ReceptionCounters m_reception;
    zqm::JitterEstimate m_jitterEstimate;
    zqm::DeliveredHistory m_delivered;
    std::atomic<uint32_t> m_duplicatePackets;  // recycled: already delivered or held
    std::atomic<uint32_t> m_latePackets;       // recycled: behind the delivery point
    std::atomic<uint32_t> m_octets;          // payload octets sent or received, plus RTCP
    uint32_t m_octetsAtLastRate;
    std::atomic<uint32_t> m_wireBytes;       // octets including transport overhead
    uint32_t m_wireBytesAtLastRate;
    uint32_t m_payloadBitRate;               // bit/s
    uint32_t m_wireBitRate;                  // bit/s
    std::atomic<uint32_t> m_packetLossPercent;  // simulation, 0-100
    std::atomic<bool> m_simulatePacketLoss;
    std::atomic<uint32_t> m_maxJitter;          // simulation, ms
    std::atomic<bool> m_generateJitter;
    std::atomic<uint32_t> m_rrCount;            // receiver reports about this source
    // Local: packets and reports sent while the peer answered with an ICMP
    // error (port or host unreachable): counted as sent, not refused.
    std::atomic<uint32_t> m_unreachableSends{0};
    uint32_t m_lastRtpTimestamp;
    uint32_t m_lastRateTick;                    // ms, ZQCClock::GetTickCount
    std::atomic<uint64_t> m_srWallClock;        // ms
    std::atomic<uint32_t> m_srMediaTime;        // ms

private:
    void CheckCollisions(const zqm::Endpoint* origin);

    std::atomic<bool> m_ssrcChangeRequested{false};
    zqm::AtomicEndpoint m_sendingTransport;  // local: set by the sending stack, read by receiving ones
    zqm::Endpoint m_origin;                  // remote: the last transport
};

namespace zqm {

// The process-wide lists. Hold their locks (SourceListsLock) while using them.
ZQMRTPSourceList& LocalSourceList();
ZQMRTPSourceList& RemoteSourceList();
ZQCCriticalSection& LocalSourceListLock();
ZQCCriticalSection& RemoteSourceListLock();

// Takes the local-list lock, then the remote-list lock, and releases them in
// reverse order: the one order every user of the lists keeps.
class SourceListsLock {
public:
    SourceListsLock();
    SourceListsLock(const SourceListsLock&) = delete;
    SourceListsLock& operator=(const SourceListsLock&) = delete;

private:
    ZQCLockMng<ZQCCriticalSection> m_local;
    ZQCLockMng<ZQCCriticalSection> m_remote;
};

// The source listed under `ssrc` in the list `local` names, or null. The
// caller holds the list locks.
ZQMRTPSource* FindListedSource(uint32_t ssrc, bool local);

// A random SSRC (RFC 3550, 8.1) that no source of the process uses, local
// or remote. The caller holds the list locks and lists the new source
// before it lets them go, so that two stacks never draw the same.
uint32_t DrawUnusedSSRC();

// rand() brought to 0..32767, the range the network simulation assumes
// whatever the C library's RAND_MAX.
int RandomDraw();

// The simulation's decisions, apart from rand() so that their thresholds
// can be checked: drop when percent/100 of 32767 exceeds the draw (0..32767).
bool ShouldDropPacket(uint32_t lossPercent, int draw);
// Delay of a packet: draw x maxJitter / 32767 ms.
uint32_t SimulatedDelayMs(int draw, uint32_t maxJitterMs);

}  // namespace zqm
