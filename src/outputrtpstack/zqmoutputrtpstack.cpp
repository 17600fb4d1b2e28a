#include "outputrtpstack/zqmoutputrtpstack.h"

#include "zqclockmng.h"
#include "zqmlog.h"
#include "zqmrtpsource.h"

namespace {

const char* const kLogPath = "outputrtpstack\\zqmoutputrtpstack";

using StackLock = ZQCLockMng<ZQCCriticalSection>;

}  // namespace

ZQMOutputRTPStack::ZQMOutputRTPStack(ZQFModule* owner) : ZQMRTPStack(owner)
{
    SetLocalRTPPort("8000");
    SetLocalRTCPPort("8001");
    SetRemoteRTPPort("8000");
    SetRemoteRTCPPort("8001");
    SetRemoteRTPAddress(GetLocalIPAddress());
    SetRemoteRTCPAddress(GetLocalIPAddress());
}

ZQMOutputRTPStack::~ZQMOutputRTPStack() = default;

bool ZQMOutputRTPStack::OnProcessMediaSample(ZQFMediaSample*, int)
{
    ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->sending is not available in this build.");
    return false;
}

bool ZQMOutputRTPStack::OnStart()
{
    ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->sending is not available in this build.");
    return false;
}

bool ZQMOutputRTPStack::GetSourceIdentifier(int index, uint32_t& ssrc)
{
    ssrc = 0;
    if (index != 0) {
        return false;
    }
    StackLock lock(m_stackLock, -1);
    ssrc = m_localSource ? m_localSource->m_ssrc : 0;
    return m_localSource != nullptr;
}

void ZQMOutputRTPStack::SetAutoSequenceNumbers(bool on)
{
    m_autoSequenceNumbers.store(on ? 1 : 0, std::memory_order_relaxed);
}

bool ZQMOutputRTPStack::GetAutoSequenceNumbers() { return m_autoSequenceNumbers.load(std::memory_order_relaxed) != 0; }
