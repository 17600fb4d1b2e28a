// Lip synchronisation: when a sender report of an audio or video source
// arrives, its delay against every other source of the same participant
// (same CNAME) that has had a sender report is announced downstream.
#include <cstring>

#include "inputrtpstack/lipsyncdelay.h"
#include "inputrtpstack/zqminputrtpstack.h"
#include "inputrtpstack/zqminputrtpstackcommon.h"
#include "zqfnotify.h"
#include "zqmlog.h"
#include "zqmrtpmediatypes.h"
#include "zqmrtpsource.h"

namespace {

using zqm::input::kLogPath;

zqm::LipSyncTiming TimingOf(ZQMRTPSource& source)
{
    zqm::LipSyncTiming timing;
    timing.srWallClockMs = source.m_srWallClock.load(std::memory_order_relaxed);
    timing.srMediaTimeMs = source.m_srMediaTime.load(std::memory_order_relaxed);
    timing.mediaNowMs = source.m_clock.GetElapsed();
    return timing;
}

bool SameParticipant(const ZQMRTPSource& a, const ZQMRTPSource& b) { return std::strcmp(a.m_cname, b.m_cname) == 0; }

bool HasSenderReport(const ZQMRTPSource& source) { return source.m_srMediaTime.load(std::memory_order_relaxed) != 0; }

}  // namespace

// Called by RTCP processing with both source-list locks held: it walks the
// process-wide remote list and takes no lock of its own.
void ZQMInputRTPStack::ComputeLipSync(ZQMRTPSource* source)
{
    try {
        if (m_useLipSync.load(std::memory_order_relaxed) == 0 || source == nullptr) {
            return;
        }
        const auto mediaType = static_cast<int32_t>(source->m_mediaType.load(std::memory_order_relaxed));
        const bool audio = zqm::IsLipSyncAudio(mediaType);
        if (!audio && !zqm::IsVideoMediaType(mediaType)) {
            return;
        }
        for (const auto& [ssrc, other] : zqm::RemoteSourceList()) {
            if (other == nullptr || other == source || !SameParticipant(*source, *other) ||
                !HasSenderReport(*source) || !HasSenderReport(*other)) {
                continue;
            }
            const int32_t delayMs = zqm::LipSyncDelayMs(TimingOf(*source), TimingOf(*other));
            if (audio) {
                ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->[%d] Audio delay computed for lip sync %d ms", LogPort(), delayMs);
            } else {
                ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->[%d] Video delay computed for lip sync %d ms", LogPort(), delayMs);
            }
            NotifyDownstream(audio ? NOTIFY_AUDIO_LIPSYNC_DELAY : NOTIFY_VIDEO_LIPSYNC_DELAY, delayMs);
        }
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] Error throwed in ComputeLipSync of input rtp stack.", LogPort());
    }
}
