#include "zqmrtpsource.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <iterator>

#include "zqcclock.h"
#include "zqcrandom.h"
#include "zqcthread.h"
#include "zqfdebuglog.h"
#include "zqmrtpmediatypes.h"
#include "zqmrtpsocket.h"

namespace {

const char* const kLogPath = "zqmrtpsource";

constexpr uint16_t kProbation = 2;
constexpr uint16_t kResyncPackets = 2;
constexpr uint32_t kTimeoutReports = 10;
constexpr uint32_t kDefaultMaxJitterMs = 40;
constexpr uint32_t kRateIntervalMs = 1000;
constexpr uint32_t kMaxLossPercent = 100;
constexpr double kDrawRange = 32767.0;

// Lives from load to unload. Function-local so that a source built during
// another file's static initialisation still finds it.
struct SourceRegistry {
    ZQCCriticalSection localLock;
    ZQCCriticalSection remoteLock;
    ZQMRTPSourceList local;
    ZQMRTPSourceList remote;
};

SourceRegistry& Registry()
{
    static SourceRegistry registry;
    return registry;
}

[[maybe_unused]] const bool g_registryReady = (Registry(), true);

ZQMRTPSourceList& ListOf(bool local) { return local ? Registry().local : Registry().remote; }

// Payload or wire bit rate over `elapsedMs`: the quotient is rounded to
// single precision before it is scaled to seconds.
uint32_t BitRate(uint32_t octets, uint32_t elapsedMs)
{
    const float bitsPerMs = static_cast<float>(octets * 8.0 / elapsedMs);
    const double bitsPerSecond = bitsPerMs * 1000.0;
    return bitsPerSecond >= static_cast<double>(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(bitsPerSecond);
}

// Runs `action` on the listed source under both list locks; `fallback` when
// there is none.
template <class Result, class Action>
Result WithListedSource(uint32_t ssrc, bool local, Result fallback, Action action)
{
    zqm::SourceListsLock lock;
    ZQMRTPSource* source = zqm::FindListedSource(ssrc, local);
    return source ? action(*source) : fallback;
}

// The simulation settings are written only on local sources.
template <class Store>
bool SetLocalSimulation(uint32_t ssrc, bool local, Store store)
{
    return WithListedSource(ssrc, local, false, [&](ZQMRTPSource& source) {
        if (!source.m_local) {
            return false;
        }
        return store(source);
    });
}

}  // namespace

ZQMRTPSource::ZQMRTPSource(ZQMRTPStack* owner, uint32_t ssrc, uint16_t seq, bool local, const zqm::Endpoint* origin)
    : m_ssrc(ssrc),
      m_local(local),
      m_probation(kProbation),
      m_maxSeq(static_cast<uint16_t>(seq - 1)),
      m_lastFecSeq(0xFFFF),
      m_lastBadSeq(seq),
      m_resyncCount(kResyncPackets),
      m_ownerStack(owner),
      m_discard(false),
      m_cname{},
      m_mediaType(0),
      m_timeoutCount(kTimeoutReports),
      m_packetCount(0),
      m_octetCount(0),
      m_fractionLost(0),
      m_cumulativeLost(0),
      m_extendedHighestSeq(0xFFFFFFFF),
      m_jitter(0.0f),
      m_jitterMs(0.0f),
      m_lsr(0),
      m_lastSenderReport(0),
      m_refusedRoundTrips(0),
      m_dlsr(0),
      m_roundTripTime(0),
      m_duplicatePackets(0),
      m_latePackets(0),
      m_octets(0),
      m_octetsAtLastRate(0),
      m_wireBytes(0),
      m_wireBytesAtLastRate(0),
      m_payloadBitRate(0),
      m_wireBitRate(0),
      m_packetLossPercent(0),
      m_simulatePacketLoss(false),
      m_maxJitter(kDefaultMaxJitterMs),
      m_generateJitter(false),
      m_rrCount(0),
      m_lastRtpTimestamp(0),
      m_lastRateTick(ZQCClock::GetTickCount()),
      m_srWallClock(0),
      m_srMediaTime(0)
{
    if (origin != nullptr) {
        m_origin = *origin;
    }
    zqm::SourceListsLock lock;
    CheckCollisions(origin);
    // Does not overwrite: after a collision the list keeps the earlier source.
    ListOf(m_local).emplace(m_ssrc, this);
}

void ZQMRTPSource::CheckCollisions(const zqm::Endpoint* origin)
{
    if (ZQMRTPSource* same = zqm::FindListedSource(m_ssrc, m_local)) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_INFO, "Collision detected : same ssrc.");
        if (same->m_local) {
            DebugLog(kLogPath, __LINE__, ZQF_LOG_ERROR,
                     "New local source is using a ssrc already assigned to a another local source.");
        } else {
            DebugLog(kLogPath, __LINE__, ZQF_LOG_WARNING,
                     "New remote source is using a ssrc already used by a remote source.");
        }
    }
    // Across kinds the local source yields: its stack picks a new SSRC on
    // its sending path. Only a flag is raised here, so nothing runs under
    // the list locks that could wait for a stack lock.
    ZQMRTPSource* other = zqm::FindListedSource(m_ssrc, !m_local);
    // Our own packets heard back (a sender and a receiver of this process
    // on one path) carry our SSRC by right: a loop, not a collision.
    if (other != nullptr && !m_local && origin != nullptr && other->SendsFrom(*origin)) {
        return;
    }
    if (other != nullptr) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_INFO, "Collision detected : same ssrc.");
        if (m_local) {
            DebugLog(kLogPath, __LINE__, ZQF_LOG_WARNING,
                     "New local source is using a ssrc already used by a remote source.");
            RequestSSRCChange();
        } else {
            DebugLog(kLogPath, __LINE__, ZQF_LOG_WARNING,
                     "New remote source is using a ssrc already used by a local source.");
            other->RequestSSRCChange();
        }
    }
}

void ZQMRTPSource::OnTransportChange(const zqm::Endpoint& origin)
{
    m_origin = origin;
    zqm::SourceListsLock lock;
    ZQMRTPSource* local = zqm::FindListedSource(m_ssrc, true);
    if (local != nullptr && !local->SendsFrom(origin) && !local->IsSSRCChangeRequested()) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_WARNING,
                 "Collision detected : a local ssrc comes from another transport address.");
        local->RequestSSRCChange();
    }
}

void ZQMRTPSource::SetSendingTransport(const zqm::Endpoint& from) { m_sendingTransport.Store(from); }

bool ZQMRTPSource::SendsFrom(const zqm::Endpoint& origin) const
{
    const zqm::Endpoint mine = m_sendingTransport.Load();
    if (mine.IsNone() || mine.port != origin.port) {
        return false;
    }
    // A socket bound to any address sends from whichever one the route picks.
    return mine.IsAnyAddress() || mine.SameAddress(origin);
}

ZQMRTPSource::~ZQMRTPSource()
{
    zqm::SourceListsLock lock;
    ZQMRTPSourceList& list = ListOf(m_local);
    auto entry = list.find(m_ssrc);
    // An entry under our SSRC that is another source's (a collision) stays.
    if (entry == list.end() || entry->second != this) {
        DebugLog(kLogPath, __LINE__, ZQF_LOG_INFO,
                 m_local ? "Cannot delete source from static local source list."
                         : "Cannot delete source from static remote source list.");
        return;
    }
    list.erase(entry);
}

void ZQMRTPSource::Reset()
{
    m_probation = kProbation;
    m_maxSeq = 0;
    m_lastFecSeq = 0;
    m_resyncCount = kResyncPackets;
    m_lastBadSeq = 0;
    m_packetCount = 0;
    m_octetCount = 0;
    m_cumulativeLost = 0;
    m_fractionLost = 0;
    m_roundTripTime = 0;
    m_timeoutCount = kTimeoutReports;
    m_delivered.Clear();
    m_lastSenderReport = 0;
    m_refusedRoundTrips = 0;
}

bool ZQMRTPSource::CanSendPacket()
{
    if (m_simulatePacketLoss.load(std::memory_order_relaxed) &&
        zqm::ShouldDropPacket(m_packetLossPercent.load(std::memory_order_relaxed), zqm::RandomDraw())) {
        return false;
    }
    if (m_generateJitter.load(std::memory_order_relaxed)) {
        const uint32_t delayMs = zqm::SimulatedDelayMs(zqm::RandomDraw(), m_maxJitter.load(std::memory_order_relaxed));
        ZQCThread::Sleep(static_cast<int>(std::min<uint32_t>(delayMs, INT_MAX)));
    }
    return true;
}

void ZQMRTPSource::StoreCNAME(const char* cname)
{
    zqm::SourceListsLock lock;
    std::memset(m_cname, 0, sizeof m_cname);
    if (cname != nullptr) {
        std::strncpy(m_cname, cname, sizeof m_cname - 1);
    }
}

bool ZQMRTPSource::GetSimulatePacketLoss(uint32_t ssrc, bool local)
{
    return WithListedSource(ssrc, local, false, [](ZQMRTPSource& s) { return s.m_simulatePacketLoss.load(); });
}

uint32_t ZQMRTPSource::GetPacketLossPercent(uint32_t ssrc, bool local)
{
    return WithListedSource(ssrc, local, 0u, [](ZQMRTPSource& s) { return s.m_packetLossPercent.load(); });
}

bool ZQMRTPSource::SetSimulatePacketLoss(uint32_t ssrc, bool local, bool on)
{
    return SetLocalSimulation(ssrc, local, [on](ZQMRTPSource& s) {
        s.m_simulatePacketLoss = on;
        return true;
    });
}

bool ZQMRTPSource::SetPacketLossPercent(uint32_t ssrc, bool local, uint32_t percent)
{
    return SetLocalSimulation(ssrc, local, [percent](ZQMRTPSource& s) {
        if (percent > kMaxLossPercent) {
            return false;
        }
        s.m_packetLossPercent = percent;
        return true;
    });
}

bool ZQMRTPSource::SetGenerateJitter(uint32_t ssrc, bool local, bool on)
{
    return SetLocalSimulation(ssrc, local, [on](ZQMRTPSource& s) {
        s.m_generateJitter = on;
        return true;
    });
}

bool ZQMRTPSource::SetMaxJitter(uint32_t ssrc, bool local, uint32_t maxJitterMs)
{
    return SetLocalSimulation(ssrc, local, [maxJitterMs](ZQMRTPSource& s) {
        s.m_maxJitter = maxJitterMs;
        return true;
    });
}

bool ZQMRTPSource::GetGenerateJitter(uint32_t ssrc, bool local)
{
    return WithListedSource(ssrc, local, false, [](ZQMRTPSource& s) { return s.m_generateJitter.load(); });
}

uint32_t ZQMRTPSource::GetMaxJitter(uint32_t ssrc, bool local)
{
    return WithListedSource(ssrc, local, 0u, [](ZQMRTPSource& s) { return s.m_maxJitter.load(); });
}

bool ZQMRTPSource::GetSourceAt(int index, uint32_t* ssrc, bool* local)
{
    if (index < 0) {
        return false;
    }
    zqm::SourceListsLock lock;
    size_t position = static_cast<size_t>(index);
    for (const ZQMRTPSourceList* list : {&Registry().local, &Registry().remote}) {
        if (position >= list->size()) {
            position -= list->size();
            continue;
        }
        const ZQMRTPSource* source = std::next(list->begin(), static_cast<std::ptrdiff_t>(position))->second;
        if (source == nullptr) {
            return false;
        }
        if (ssrc != nullptr) {
            *ssrc = source->m_ssrc;
        }
        if (local != nullptr) {
            *local = source->m_local;
        }
        return true;
    }
    return false;
}

const char* ZQMRTPSource::GetSourceCNAME(uint32_t ssrc, bool local)
{
    static const char kEmpty[] = "";
    return WithListedSource(ssrc, local, static_cast<const char*>(kEmpty),
                            [](ZQMRTPSource& s) -> const char* { return s.m_cname; });
}

bool ZQMRTPSource::GetStatistics(uint32_t ssrc, bool local, uint32_t* payloadBitRate, uint32_t* wireBitRate,
                                 uint32_t* packetCount, uint32_t* octetCount, uint32_t* fractionLostPercent,
                                 uint32_t* cumulativeLost, float* jitterMs, uint32_t* rrCount,
                                 uint32_t* roundTripTimeMs)
{
    return WithListedSource(ssrc, local, false, [&](ZQMRTPSource& s) {
        const uint32_t now = ZQCClock::GetTickCount();
        const uint32_t elapsedMs = now - s.m_lastRateTick;
        if (elapsedMs >= kRateIntervalMs) {
            s.m_lastRateTick = now;
            const uint32_t octets = s.m_octets.load(std::memory_order_relaxed);
            const uint32_t wireBytes = s.m_wireBytes.load(std::memory_order_relaxed);
            s.m_payloadBitRate = BitRate(octets - s.m_octetsAtLastRate, elapsedMs);
            s.m_octetsAtLastRate = octets;
            s.m_wireBitRate = BitRate(wireBytes - s.m_wireBytesAtLastRate, elapsedMs);
            s.m_wireBytesAtLastRate = wireBytes;
        }
        auto put = [](auto* out, auto value) {
            if (out != nullptr) {
                *out = value;
            }
        };
        put(payloadBitRate, s.m_payloadBitRate);
        put(wireBitRate, s.m_wireBitRate);
        put(packetCount, s.m_packetCount.load(std::memory_order_relaxed));
        put(octetCount, s.m_octetCount.load(std::memory_order_relaxed));
        put(fractionLostPercent, static_cast<uint32_t>(s.m_fractionLost.load(std::memory_order_relaxed)));
        put(cumulativeLost, static_cast<uint32_t>(s.m_cumulativeLost.load(std::memory_order_relaxed)));
        put(jitterMs, s.m_local ? zqm::JitterToMs(s.m_jitter.load(std::memory_order_relaxed),
                                                  static_cast<int32_t>(s.m_mediaType.load(std::memory_order_relaxed)))
                                : s.m_jitterMs.load(std::memory_order_relaxed));
        put(rrCount, s.m_rrCount.load(std::memory_order_relaxed));
        put(roundTripTimeMs, s.m_roundTripTime.load(std::memory_order_relaxed));
        return true;
    });
}

namespace zqm {

ZQMRTPSourceList& LocalSourceList() { return Registry().local; }
ZQMRTPSourceList& RemoteSourceList() { return Registry().remote; }
ZQCCriticalSection& LocalSourceListLock() { return Registry().localLock; }
ZQCCriticalSection& RemoteSourceListLock() { return Registry().remoteLock; }

SourceListsLock::SourceListsLock() : m_local(LocalSourceListLock(), -1), m_remote(RemoteSourceListLock(), -1) {}

ZQMRTPSource* FindListedSource(uint32_t ssrc, bool local)
{
    const ZQMRTPSourceList& list = ListOf(local);
    auto entry = list.find(ssrc);
    return entry != list.end() ? entry->second : nullptr;
}

uint32_t DrawUnusedSSRC()
{
    for (;;) {
        const uint32_t ssrc = ZQCRandom::Draw32();
        if (FindListedSource(ssrc, true) == nullptr && FindListedSource(ssrc, false) == nullptr) {
            return ssrc;
        }
    }
}

int RandomDraw()
{
    static_assert(RAND_MAX >= 32767);
    return std::rand() % 32768;
}

bool ShouldDropPacket(uint32_t lossPercent, int draw)
{
    const double threshold = lossPercent / 100.0 * kDrawRange;
    return threshold > draw;
}

uint32_t SimulatedDelayMs(int draw, uint32_t maxJitterMs)
{
    if (draw < 0) {
        return 0;
    }
    const uint64_t delay = static_cast<uint64_t>(draw) * maxJitterMs / 32767u;
    return static_cast<uint32_t>(std::min<uint64_t>(delay, UINT32_MAX));
}

}  // namespace zqm
