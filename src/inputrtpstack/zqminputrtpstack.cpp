#include "inputrtpstack/zqminputrtpstack.h"

#include <iterator>

#include "inputrtpstack/zqminputrtpstackcommon.h"
#include "inputrtpstack/zqminputrtpstackrtcplisteningthread.h"
#include "zqfmodule.h"
#include "zqmlog.h"
#include "zqmrtpsource.h"

namespace {

using zqm::input::kLogPath;
using zqm::input::StackLock;

}  // namespace

ZQMInputRTPStack::ZQMInputRTPStack(ZQFModule* owner) : ZQMRTPStack(owner), ZQFThread("ZQMInputRTPStack")
{
    SetPriority(1);
    if (owner != nullptr) {
        owner->RegisterThread(this);
    }
    // Until told otherwise the stack listens only: with the remote RTCP
    // address equal to the local one, no RTCP socket is opened at start and
    // reports go back to wherever the RTP comes from.
    SetDefaultNetworkParameters();
    SetRTPwindow(0);
}

ZQMInputRTPStack::~ZQMInputRTPStack()
{
    try {
        if (m_cleanedUp.load() == 0) {
            Cleanup();
        }
        StackLock lock(m_stackLock, -1);
        // Samples handed in directly after a clean-up may still be held.
        ForgetSources();
        delete m_rtcpListeningThread;
        m_rtcpListeningThread = nullptr;
        delete m_rtcpDestination;
        m_rtcpDestination = nullptr;
    } catch (...) {
        ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[%d] Error throwed in ~ZQMInputRTPStack of input rtp stack.", LogPort());
    }
    // The receiving thread runs code of this class: it must be over before
    // the members go.
    StopThread(-1, 1);
}

int ZQMInputRTPStack::ThreadFunc(void*) { return EntryPoint(); }

bool ZQMInputRTPStack::GetSourceIdentifier(int index, uint32_t& ssrc)
{
    StackLock lock(m_stackLock, -1);
    ssrc = 0;
    if (index < 0 || static_cast<size_t>(index) >= m_sources.size()) {
        return false;
    }
    const ZQMRTPSource* source = std::next(m_sources.begin(), index)->second;
    if (source == nullptr) {
        return false;
    }
    ssrc = source->m_ssrc;
    return true;
}

bool ZQMInputRTPStack::GetReceptionStatistics(uint32_t ssrc, bool local, Reception* reception)
{
    if (local) {
        return false;  // a local source only sends
    }
    zqm::SourceListsLock lock;
    const ZQMRTPSource* source = zqm::FindListedSource(ssrc, false);
    if (source == nullptr) {
        return false;
    }
    if (reception != nullptr) {
        reception->figures = source->m_reception.published.Read();
        reception->lateOrDuplicate = source->m_latePackets.load(std::memory_order_relaxed) +
                                     source->m_duplicatePackets.load(std::memory_order_relaxed);
        reception->jitterMs = source->m_jitterMs.load(std::memory_order_relaxed);
    }
    return true;
}

void ZQMInputRTPStack::RemoveAllMediaTypes()
{
    StackLock lock(m_stackLock, -1);
    ZQMRTPStack::RemoveAllMediaTypes();
}

void ZQMInputRTPStack::SetRTPwindow(uint32_t size)
{
    StackLock lock(m_stackLock, -1);
    ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->[%d]  SetRTPwindow size=%d", LogPort(), static_cast<int>(size));
    m_rtpWindow = static_cast<uint16_t>(size);
}

uint16_t ZQMInputRTPStack::GetRTPwindow()
{
    StackLock lock(m_stackLock, -1);
    return m_rtpWindow;
}

void ZQMInputRTPStack::SetUseLipSync(bool use)
{
    ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->[%d]  SetUseLipSync %d", LogPort(), use ? 1 : 0);
    m_useLipSync.store(use ? 1 : 0, std::memory_order_relaxed);
}

bool ZQMInputRTPStack::GetUseLipSync() { return m_useLipSync.load(std::memory_order_relaxed) != 0; }

// A BYE does not end reception: the source stays. Runs inside RTCP
// processing with the source-list locks held, so no stack lock here.
bool ZQMInputRTPStack::RemoveSource(uint32_t)
{
    ZQM_LOG(ZQF_LOG_INFO, "<--RTPStack-->[%d] RemoveSource called (probably a RTCP BYE packet has been received).",
            LogPort());
    return true;
}
