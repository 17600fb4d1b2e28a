#include "inputrtpstack/zqminputrtpstack.h"

#include "zqclockmng.h"
#include "zqmlog.h"

namespace {

const char* const kLogPath = "inputrtpstack\\zqminputrtpstack";

using StackLock = ZQCLockMng<ZQCCriticalSection>;

}  // namespace

ZQMInputRTPStack::ZQMInputRTPStack(ZQFModule* owner) : ZQMRTPStack(owner), ZQFThread("ZQMInputRTPStack")
{
    SetLocalRTPPort("8000");
    SetLocalRTCPPort("8001");
    SetRemoteRTPPort("8000");
    SetRemoteRTCPPort("8001");
    SetRemoteRTPAddress(GetLocalIPAddress());
    SetRemoteRTCPAddress(GetLocalIPAddress());
}

ZQMInputRTPStack::~ZQMInputRTPStack() { StopThread(10000, 1); }

bool ZQMInputRTPStack::OnProcessMediaSample(ZQFMediaSample*, int)
{
    ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[0] receiving is not available in this build.");
    return false;
}

bool ZQMInputRTPStack::OnStart()
{
    ZQM_LOG(ZQF_LOG_ERROR, "<--RTPStack-->[0] receiving is not available in this build.");
    return false;
}

bool ZQMInputRTPStack::GetSourceIdentifier(int, uint32_t& ssrc)
{
    ssrc = 0;
    return false;
}

void ZQMInputRTPStack::SetRTPwindow(uint32_t size)
{
    StackLock lock(m_stackLock, -1);
    m_rtpWindow = static_cast<uint16_t>(size);
}

uint16_t ZQMInputRTPStack::GetRTPwindow()
{
    StackLock lock(m_stackLock, -1);
    return m_rtpWindow;
}

int ZQMInputRTPStack::ThreadFunc(void*) { return 0; }
